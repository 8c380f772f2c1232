// Rotations from three angles. Each order names the factors in the order they
// reach a point and how its three-factor product is associated; an absent
// angle drops its factor and everything it would cost. Scratch matrices are
// locals, so these are safe on several threads at once.
#include <cmath>

#include "dispatch/slots.h"
#include "matrix/matrix.h"

namespace tarn::matrix {
namespace {

enum Axis : int { kX, kY, kZ };

using RotationBuilder = void(MX_CALL*)(MxMat4x4*, float);
constexpr RotationBuilder kBuilders[] = {MxRotXMat, MxRotYMat, MxRotZMat};

// factors[0] is applied first. The full product is (F0*F1)*F2, or F0*(F1*F2)
// when last_two_first is set; dropping an absent factor keeps the others'
// order.
struct Order {
  Axis factors[3];
  bool last_two_first;
};

constexpr Order kXYZ{{kY, kX, kZ}, false};
constexpr Order kXZY{{kZ, kX, kY}, false};
constexpr Order kYXZ{{kX, kY, kZ}, false};
constexpr Order kYZX{{kZ, kY, kX}, false};
constexpr Order kZXY{{kY, kX, kZ}, true};  // same matrix as XYZ, other association
constexpr Order kZYX{{kY, kZ, kX}, false};

// P*Q, P applied first: the affine product takes the first-applied factor in
// its last position.
void product(MxMat4x4* out, const MxMat4x4* p, const MxMat4x4* q) {
  slot<SlotId::MxSparseMatMult4x4_4x4>()(out, q, p);
}

template <typename IsAbsent>
void concatenate(MxMat4x4* out, float x, float y, float z, const Order& order, IsAbsent is_absent) {
  const float angle[] = {x, y, z};
  Axis present[3];
  int count = 0;
  for (Axis axis : order.factors) {
    if (!is_absent(angle[axis])) present[count++] = axis;
  }
  if (count == 0) {
    slot<SlotId::MxIdMat>()(out);
    return;
  }
  if (count == 1) {
    kBuilders[present[0]](out, angle[present[0]]);
    return;
  }
  MxMat4x4 factor[3];
  for (int k = 0; k < count; ++k) kBuilders[present[k]](&factor[k], angle[present[k]]);
  if (count == 2) {
    product(out, &factor[0], &factor[1]);
    return;
  }
  MxMat4x4 partial;
  if (order.last_two_first) {
    product(&partial, &factor[1], &factor[2]);
    product(out, &factor[0], &partial);
  } else {
    product(&partial, &factor[0], &factor[1]);
    product(out, &partial, &factor[2]);
  }
}

// The x87 compare reports equal and unordered alike in the status word's
// equality bit, so a zero of either sign and a NaN are both absent.
bool equality_bit(float angle) {
  return angle == 0.0f || std::isunordered(angle, 0.0f);
}

// The compare into the integer flags sets the zero flag in the same two cases.
bool zero_flag(float angle) {
  return !std::islessgreater(angle, 0.0f);
}

}  // namespace

#define TARN_DEFINE_CONCAT(ns, is_absent)                          \
  namespace ns {                                                   \
  void ConcatRotMatXYZ(MxMat4x4* out, float x, float y, float z) { \
    concatenate(out, x, y, z, kXYZ, is_absent);                    \
  }                                                                \
  void ConcatRotMatXZY(MxMat4x4* out, float x, float y, float z) { \
    concatenate(out, x, y, z, kXZY, is_absent);                    \
  }                                                                \
  void ConcatRotMatYXZ(MxMat4x4* out, float x, float y, float z) { \
    concatenate(out, x, y, z, kYXZ, is_absent);                    \
  }                                                                \
  void ConcatRotMatYZX(MxMat4x4* out, float x, float y, float z) { \
    concatenate(out, x, y, z, kYZX, is_absent);                    \
  }                                                                \
  void ConcatRotMatZXY(MxMat4x4* out, float x, float y, float z) { \
    concatenate(out, x, y, z, kZXY, is_absent);                    \
  }                                                                \
  void ConcatRotMatZYX(MxMat4x4* out, float x, float y, float z) { \
    concatenate(out, x, y, z, kZYX, is_absent);                    \
  }                                                                \
  }

TARN_DEFINE_CONCAT(x87, equality_bit)
TARN_DEFINE_CONCAT(cmov, zero_flag)

#undef TARN_DEFINE_CONCAT

}  // namespace tarn::matrix
