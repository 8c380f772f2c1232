// Single-axis rotations: the identity through the MxIdMat slot, then one
// table lookup writes the sine and the first cosine straight into the record;
// the second cosine is a copy and the negated sine a sign flip. Everything is
// per call, so these are safe on several threads at once.
#include <bit>
#include <cstdint>

#include "dispatch/slots.h"
#include "matrix/matrix.h"

namespace tarn::matrix {
namespace {

struct AxisLayout {
  int sine, cosine, cosine_copy, negated_sine;
};

constexpr AxisLayout kAboutX{9, 5, 10, 6};
constexpr AxisLayout kAboutY{2, 0, 10, 8};
constexpr AxisLayout kAboutZ{4, 0, 5, 1};

template <typename Lookup>
void rotation(MxMat4x4* m, float angle, const AxisLayout& at, Lookup lookup) {
  slot<SlotId::MxIdMat>()(m);
  lookup(&m->m[at.sine], &m->m[at.cosine], angle);
  m->m[at.cosine_copy] = m->m[at.cosine];
  m->m[at.negated_sine] =
      std::bit_cast<float>(std::bit_cast<std::uint32_t>(m->m[at.sine]) ^ 0x80000000u);
}

void radians(MxMat4x4* m, float angle, const AxisLayout& at) {
  rotation(m, angle, at, slot<SlotId::MxTSinCos>());
}

void degrees(MxMat4x4* m, float angle, const AxisLayout& at) {
  rotation(m, angle, at, slot<SlotId::MxTSinCosOfDeg>());
}

}  // namespace
}  // namespace tarn::matrix

extern "C" {
using namespace tarn::matrix;
MX_API void MX_CALL MxRotXMat(MxMat4x4* m, float a) {
  radians(m, a, kAboutX);
}
MX_API void MX_CALL MxRotYMat(MxMat4x4* m, float a) {
  radians(m, a, kAboutY);
}
MX_API void MX_CALL MxRotZMat(MxMat4x4* m, float a) {
  radians(m, a, kAboutZ);
}
MX_API void MX_CALL MxDegRotXMat(MxMat4x4* m, float a) {
  degrees(m, a, kAboutX);
}
MX_API void MX_CALL MxDegRotYMat(MxMat4x4* m, float a) {
  degrees(m, a, kAboutY);
}
MX_API void MX_CALL MxDegRotZMat(MxMat4x4* m, float a) {
  degrees(m, a, kAboutZ);
}
}
