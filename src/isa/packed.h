// Register models for the packed vector forms.
//
// Pair: one 3DNow! MMX register, two floats. 3DNow! is absent from current
// processors, so each instruction the forms use is reproduced as ordinary
// single-precision arithmetic on both halves (one rounding per result, the
// same as the unit's round-to-nearest mode).
//
// Quad: one SSE register, four floats. On x86 it is the real register and the
// processor's own arithmetic (flush-to-zero included); elsewhere four plain
// floats computed in the same order.
#pragma once

#include <bit>
#include <cfloat>
#include <cstdint>
#include <cstring>

#include "TarnLib2DLL.h"
#include "isa/estimates.h"
#include "isa/fpu_control.h"
#include "isa/isa.h"

namespace tarn::vector::packed {

// ---- 3DNow! -------------------------------------------------------------

struct Pair {
  float lo, hi;
};

// A comparison result: all ones or all zeros per half.
struct Mask {
  std::uint32_t lo, hi;
};

inline Pair movq(const float* p) {
  return {p[0], p[1]};
}  // reads two floats
inline Pair movd(const float* p) {
  return {p[0], 0.0f};
}  // reads one float
inline Pair broadcast(float f) {
  return {f, f};
}
inline void store_pair(float* p, Pair a) {
  p[0] = a.lo;
  p[1] = a.hi;
}
inline void store_lo(float* p, Pair a) {
  p[0] = a.lo;
}

// Each half rounded once to single precision, as the unit's register holds
// it (a 32-bit x86 build runs this arithmetic on the x87 unit).
inline float add1(float a, float b) {
  return fpu::rounded_once(a, b, [](auto x, auto y) { return x + y; });
}
inline float sub1(float a, float b) {
  return fpu::rounded_once(a, b, [](auto x, auto y) { return x - y; });
}
inline float mul1(float a, float b) {
  return estimates::pfmul(a, b);
}

inline Pair pfadd(Pair a, Pair b) {
  return {add1(a.lo, b.lo), add1(a.hi, b.hi)};
}
inline Pair pfsub(Pair a, Pair b) {
  return {sub1(a.lo, b.lo), sub1(a.hi, b.hi)};
}
inline Pair pfmul(Pair a, Pair b) {
  return {mul1(a.lo, b.lo), mul1(a.hi, b.hi)};
}
inline Pair pfacc(Pair a, Pair b) {
  return {add1(a.lo, a.hi), add1(b.lo, b.hi)};
}
inline Pair punpckldq(Pair a, Pair b) {
  return {a.lo, b.lo};
}
inline Pair punpckhdq(Pair a, Pair b) {
  return {a.hi, b.hi};
}

// Extended 3DNow!.
inline Pair pswapd(Pair a) {
  return {a.hi, a.lo};
}
inline Pair pfnacc(Pair a, Pair b) {
  return {sub1(a.lo, a.hi), sub1(b.lo, b.hi)};
}
inline Pair pfpnacc(Pair a, Pair b) {
  return {sub1(a.lo, a.hi), add1(b.lo, b.hi)};
}

// PXOR with a sign mask in both halves, or in the high half only.
inline Pair negate(Pair a) {
  return {-a.lo, -a.hi};
}
inline Pair negate_hi(Pair a) {
  return {a.lo, -a.hi};
}

inline std::uint32_t all_or_none(bool b) {
  return b ? 0xFFFFFFFFu : 0u;
}
inline Mask pfcmpeq(Pair a, Pair b) {
  return {all_or_none(a.lo == b.lo), all_or_none(a.hi == b.hi)};
}
inline Mask pfcmpge(Pair a, Pair b) {
  return {all_or_none(a.lo >= b.lo), all_or_none(a.hi >= b.hi)};
}
inline Mask pand(Mask a, Mask b) {
  return {a.lo & b.lo, a.hi & b.hi};
}
inline Mask punpckldq(Mask a, Mask b) {
  return {a.lo, b.lo};
}

// MMX extensions: the top bit of every byte, low byte first.
inline std::uint32_t pmovmskb(Mask m) {
  return (m.lo ? 0x0Fu : 0u) | (m.hi ? 0xF0u : 0u);
}

// The reciprocal-square-root estimate and its refinement. The unit
// saturates where IEEE division would overflow: zero gives the largest
// float of its sign, so zero times the estimate stays zero.
inline float saturate(float f) {
  if (f == INFINITY) return FLT_MAX;
  if (f == -INFINITY) return -FLT_MAX;
  return f;
}
inline float pfrsqrt(float s) {
  return saturate(estimates::rsqrt_estimate_3dnow(s));
}
// PFRSQRT, the square, PFRSQIT1 and PFRCPIT2 together.
inline float pfrsqrt_refined(float s) {
  return saturate(estimates::rsqrt_refined_3dnow(s));
}

// Sum of squares of one record: x and y as a pair, z beside it.
inline float squared_length(const Mx3DVec* v) {
  const Pair xy = movq(&v->x);
  const Pair z = movd(&v->z);
  const Pair squares = pfmul(xy, xy);
  return pfadd(pfacc(squares, squares), pfmul(z, z)).lo;
}

// ---- SSE ----------------------------------------------------------------
TARN_SSE_BEGIN

#if defined(TARN_HAVE_SSE)
struct Quad {
  __m128 r;
};
// Loads clear the fourth lane, which no result uses: whatever a record holds
// there (a signalling NaN, an infinity, any bits) then raises no exception
// in arithmetic whose lane is discarded.
alignas(16) inline constexpr std::uint32_t kXyzLanes[4] = {~0u, ~0u, ~0u, 0u};
inline __m128 xyz_only(__m128 q) {
  return _mm_and_ps(q, _mm_load_ps(reinterpret_cast<const float*>(kXyzLanes)));
}
inline Quad load(const Mx3DVec* v) {
  return {xyz_only(_mm_loadu_ps(&v->x))};
}  // all 16 bytes
// Columns 0-2 of a row.
inline Quad load_row(const MxMat4x4* m, int row) {
  return {xyz_only(_mm_loadu_ps(&m->m[4 * row]))};
}
inline Quad splat(float f) {
  return {_mm_set1_ps(f)};
}
inline Quad operator+(Quad a, Quad b) {
  return {_mm_add_ps(a.r, b.r)};
}
inline Quad operator-(Quad a, Quad b) {
  return {_mm_sub_ps(a.r, b.r)};
}
inline Quad operator*(Quad a, Quad b) {
  return {_mm_mul_ps(a.r, b.r)};
}
// Scalar SSE arithmetic (on 32-bit x86 plain float code may run on the x87).
inline float add_ss(float a, float b) {
  return _mm_cvtss_f32(_mm_add_ss(_mm_set_ss(a), _mm_set_ss(b)));
}
inline float sub_ss(float a, float b) {
  return _mm_cvtss_f32(_mm_sub_ss(_mm_set_ss(a), _mm_set_ss(b)));
}
inline float mul_ss(float a, float b) {
  return _mm_cvtss_f32(_mm_mul_ss(_mm_set_ss(a), _mm_set_ss(b)));
}
inline float lane0(Quad a) {
  return _mm_cvtss_f32(a.r);
}
inline float lane1(Quad a) {
  return _mm_cvtss_f32(_mm_shuffle_ps(a.r, a.r, _MM_SHUFFLE(1, 1, 1, 1)));
}
inline float lane2(Quad a) {
  return _mm_cvtss_f32(_mm_movehl_ps(a.r, a.r));
}
// (y, z, x, w) and (z, x, y, w).
inline Quad yzx(Quad a) {
  return {_mm_shuffle_ps(a.r, a.r, _MM_SHUFFLE(3, 0, 2, 1))};
}
inline Quad zxy(Quad a) {
  return {_mm_shuffle_ps(a.r, a.r, _MM_SHUFFLE(3, 1, 0, 2))};
}
// Bit i set when lane i of a and b compare unequal or unordered (CMPNEQPS).
inline int unequal_lanes(Quad a, Quad b) {
  return _mm_movemask_ps(_mm_cmpneq_ps(a.r, b.r));
}
// Writes lanes 0-2 only: an 8-byte store of x and y, a 4-byte store of z.
inline void store_xyz(Mx3DVec* v, Quad a) {
  _mm_storel_pi(reinterpret_cast<__m64*>(&v->x), a.r);
  _mm_store_ss(&v->z, _mm_movehl_ps(a.r, a.r));
}
#else
struct Quad {
  float f[4];
};
// The fourth lane cleared, as above.
inline Quad load(const Mx3DVec* v) {
  return {{v->x, v->y, v->z, 0.0f}};
}
inline Quad load_row(const MxMat4x4* m, int row) {
  const float* p = &m->m[4 * row];
  return {{p[0], p[1], p[2], 0.0f}};
}
inline Quad splat(float f) {
  return {{f, f, f, f}};
}
inline Quad operator+(Quad a, Quad b) {
  return {{a.f[0] + b.f[0], a.f[1] + b.f[1], a.f[2] + b.f[2], a.f[3] + b.f[3]}};
}
inline Quad operator-(Quad a, Quad b) {
  return {{a.f[0] - b.f[0], a.f[1] - b.f[1], a.f[2] - b.f[2], a.f[3] - b.f[3]}};
}
inline Quad operator*(Quad a, Quad b) {
  return {{a.f[0] * b.f[0], a.f[1] * b.f[1], a.f[2] * b.f[2], a.f[3] * b.f[3]}};
}
inline float add_ss(float a, float b) {
  return a + b;
}
inline float sub_ss(float a, float b) {
  return a - b;
}
inline float mul_ss(float a, float b) {
  return a * b;
}
inline float lane0(Quad a) {
  return a.f[0];
}
inline float lane1(Quad a) {
  return a.f[1];
}
inline float lane2(Quad a) {
  return a.f[2];
}
inline Quad yzx(Quad a) {
  return {{a.f[1], a.f[2], a.f[0], a.f[3]}};
}
inline Quad zxy(Quad a) {
  return {{a.f[2], a.f[0], a.f[1], a.f[3]}};
}
inline int unequal_lanes(Quad a, Quad b) {
  int bitsset = 0;
  for (int i = 0; i < 4; ++i) bitsset |= (a.f[i] == b.f[i] ? 0 : 1) << i;
  return bitsset;
}
inline void store_xyz(Mx3DVec* v, Quad a) {
  v->x = a.f[0];
  v->y = a.f[1];
  v->z = a.f[2];
}
#endif

// (x·x + y·y) + z·z of a loaded record; the fourth lane is not used.
inline float squared_length(Quad v) {
  const Quad squares = v * v;
  return add_ss(add_ss(lane0(squares), lane1(squares)), lane2(squares));
}

// One Newton-Raphson step on the processor's estimate, in this order:
// p = s·e; p = p·e; h = 0.5·e; d = 3.0 − p; h = h·d.
inline float refined_rsqrt_sse(float s) {
  const float e = estimates::rsqrt_estimate_sse(s);
  float p = mul_ss(s, e);
  p = mul_ss(p, e);
  float h = mul_ss(0.5f, e);
  const float d = sub_ss(3.0f, p);
  h = mul_ss(h, d);
  return h;
}

TARN_SSE_END
}  // namespace tarn::vector::packed
