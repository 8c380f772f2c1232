// Full and affine products, out = b*a. Every form takes its own copy of a and
// reads a row of b before storing that row of out, so out may be a or b. The
// three forms share one order of operations per element; they differ in how
// the work is grouped (element, pair, row) and in column 3 of the affine
// product.
#include <cstring>

#include "isa/fpu_control.h"
#include "isa/isa.h"
#include "isa/packed.h"
#include "matrix/matrix.h"

namespace tarn::matrix {
namespace {

constexpr float kZero = 0.0f;
constexpr float kOne = 1.0f;

// The sixteen elements of a record, copied once so later stores cannot
// change them.
struct Elements {
  float e[16];
};

Elements snapshot(const MxMat4x4* m) {
  Elements copy;
  std::memcpy(copy.e, m->m, sizeof copy.e);
  return copy;
}

void store_row(MxMat4x4* out, int row, const float (&values)[4]) {
  std::memcpy(&out->m[4 * row], values, sizeof values);
}

// ---- 3DNow! unit: the vector family's register model (two lanes, each
// operation rounded once to single precision on any unit).
using vector::packed::broadcast;
using vector::packed::Pair;
using vector::packed::pfadd;
using vector::packed::pfmul;

Pair pair_at(const Elements& a, int index) {
  return {a.e[index], a.e[index + 1]};
}

// Columns (col, col+1) of one output row from three of a's rows.
Pair pair_of_three(const Elements& a, int col, float b0, float b1, float b2) {
  Pair sum =
      pfadd(pfmul(broadcast(b0), pair_at(a, col)), pfmul(broadcast(b1), pair_at(a, 4 + col)));
  return pfadd(sum, pfmul(broadcast(b2), pair_at(a, 8 + col)));
}

TARN_SSE_BEGIN
// ---- SSE unit: four lanes; the portable stand-in computes lane by lane.
#if defined(TARN_HAVE_SSE)
using Lanes = __m128;
Lanes load_lanes(const float* p) {
  return _mm_loadu_ps(p);
}
void store_lanes(float* p, Lanes v) {
  _mm_storeu_ps(p, v);
}
Lanes splat(float f) {
  return _mm_set1_ps(f);
}
Lanes mulps(Lanes x, Lanes y) {
  return _mm_mul_ps(x, y);
}
Lanes addps(Lanes x, Lanes y) {
  return _mm_add_ps(x, y);
}
void prefetch(const void* p) {
  _mm_prefetch(static_cast<const char*>(p), _MM_HINT_T0);
}
#else
struct Lanes {
  float v[4];
};
Lanes load_lanes(const float* p) {
  Lanes r;
  std::memcpy(r.v, p, sizeof r.v);
  return r;
}
void store_lanes(float* p, Lanes v) {
  std::memcpy(p, v.v, sizeof v.v);
}
Lanes splat(float f) {
  return {{f, f, f, f}};
}
Lanes mulps(Lanes x, Lanes y) {
  for (int k = 0; k < 4; ++k) x.v[k] *= y.v[k];
  return x;
}
Lanes addps(Lanes x, Lanes y) {
  for (int k = 0; k < 4; ++k) x.v[k] += y.v[k];
  return x;
}
void prefetch(const void*) {}
#endif

// a's four rows, all loaded before anything is stored.
struct Rows {
  Lanes r[4];
};

Rows load_rows(const MxMat4x4* a) {
  return {
      {load_lanes(&a->m[0]), load_lanes(&a->m[4]), load_lanes(&a->m[8]), load_lanes(&a->m[12])}};
}

// (b0*a0 + b1*a1) + b2*a2, row by row.
Lanes row_of_three(const Rows& a, const float* b) {
  const Lanes sum = addps(mulps(splat(b[0]), a.r[0]), mulps(splat(b[1]), a.r[1]));
  return addps(sum, mulps(splat(b[2]), a.r[2]));
}
TARN_SSE_END

}  // namespace

namespace x87 {

using fpu::X87Value;

void MatMult4x4_4x4(MxMat4x4* out, const MxMat4x4* a, const MxMat4x4* b) {
  const Elements s = snapshot(a);
  for (int i = 0; i < 4; ++i) {
    const X87Value b0 = b->m[4 * i], b1 = b->m[4 * i + 1], b2 = b->m[4 * i + 2],
                   b3 = b->m[4 * i + 3];
    float row[4];
    for (int j = 0; j < 4; ++j) {
      row[j] = static_cast<float>(((b0 * s.e[j] + b1 * s.e[4 + j]) + b2 * s.e[8 + j]) +
                                  b3 * s.e[12 + j]);
    }
    store_row(out, i, row);
  }
}

void SparseMatMult4x4_4x4(MxMat4x4* out, const MxMat4x4* a, const MxMat4x4* b) {
  const Elements s = snapshot(a);
  for (int i = 0; i < 4; ++i) {
    const X87Value b0 = b->m[4 * i], b1 = b->m[4 * i + 1], b2 = b->m[4 * i + 2];
    float row[4];
    for (int j = 0; j < 3; ++j) {
      X87Value sum = (b0 * s.e[j] + b1 * s.e[4 + j]) + b2 * s.e[8 + j];
      if (i == 3) sum = sum + s.e[12 + j];
      row[j] = static_cast<float>(sum);
    }
    row[3] = i == 3 ? kOne : kZero;
    store_row(out, i, row);
  }
}

}  // namespace x87

namespace threednow {

void MatMult4x4_4x4(MxMat4x4* out, const MxMat4x4* a, const MxMat4x4* b) {
  const Elements s = snapshot(a);
  for (int i = 0; i < 4; ++i) {
    const float b0 = b->m[4 * i], b1 = b->m[4 * i + 1], b2 = b->m[4 * i + 2], b3 = b->m[4 * i + 3];
    const Pair left = pfadd(pair_of_three(s, 0, b0, b1, b2), pfmul(broadcast(b3), pair_at(s, 12)));
    const Pair right = pfadd(pair_of_three(s, 2, b0, b1, b2), pfmul(broadcast(b3), pair_at(s, 14)));
    store_row(out, i, {left.lo, left.hi, right.lo, right.hi});
  }
}

void SparseMatMult4x4_4x4(MxMat4x4* out, const MxMat4x4* a, const MxMat4x4* b) {
  const Elements s = snapshot(a);
  for (int i = 0; i < 4; ++i) {
    const float b0 = b->m[4 * i], b1 = b->m[4 * i + 1], b2 = b->m[4 * i + 2];
    Pair left = pair_of_three(s, 0, b0, b1, b2);
    Pair right = pair_of_three(s, 2, b0, b1, b2);
    if (i == 3) {
      left = pfadd(left, pair_at(s, 12));
      right = pfadd(right, pair_at(s, 14));
    }
    // Whatever column 3 computed to is replaced by the affine constant.
    store_row(out, i, {left.lo, left.hi, right.lo, i == 3 ? kOne : kZero});
  }
}

}  // namespace threednow

TARN_SSE_BEGIN
namespace sse {

void MatMult4x4_4x4(MxMat4x4* out, const MxMat4x4* a, const MxMat4x4* b) {
  prefetch(b);
  const Rows rows = load_rows(a);
  for (int i = 0; i < 4; ++i) {
    const float* bi = &b->m[4 * i];
    store_lanes(&out->m[4 * i], addps(row_of_three(rows, bi), mulps(splat(bi[3]), rows.r[3])));
  }
}

void SparseMatMult4x4_4x4(MxMat4x4* out, const MxMat4x4* a, const MxMat4x4* b) {
  prefetch(b);
  const Rows rows = load_rows(a);
  for (int i = 0; i < 3; ++i) store_lanes(&out->m[4 * i], row_of_three(rows, &b->m[4 * i]));
  store_lanes(&out->m[12], addps(row_of_three(rows, &b->m[12]), rows.r[3]));
}

}  // namespace sse
TARN_SSE_END

}  // namespace tarn::matrix
