// Transformation by a matrix, normalisation and rotation by three angles.
#include <cmath>
#include <cstdint>

#include "dispatch/slots.h"
#include "isa/packed.h"
#include "vector/vector.h"

namespace tarn::vector {
namespace {

struct SinCos {
  float s, c;
};

// Through the slot, so the rotation follows the tier in force.
inline SinCos look_up(float degrees) {
  SinCos sc;
  slot<SlotId::MxTSinCosOfDeg>()(&sc.s, &sc.c, degrees);
  return sc;
}

// The three angles, read one float at a time: exactly twelve bytes.
struct Angles {
  float x, y, z;
};
inline Angles read_angles(const float* angles) {
  return {angles[0], angles[1], angles[2]};
}

using fpu::X87Value;

inline X87Value squared_length(const Mx3DVec* v) {
  const X87Value x = v->x, y = v->y, z = v->z;
  return (x * x + y * y) + z * z;
}

inline void normalize_by_root(Mx3DVec* r, const Mx3DVec* v, X87Value s) {
  const X87Value k = 1.0f / std::sqrt(s);
  const X87Value x = v->x * k, y = v->y * k, z = v->z * k;
  r->x = static_cast<float>(x);
  r->y = static_cast<float>(y);
  r->z = static_cast<float>(z);
}

// One plane rotation of (p, q) by (c, s): (c·p + s·q, c·q − s·p).
struct Turned {
  X87Value p, q;
};
inline Turned turn(SinCos a, X87Value p, X87Value q) {
  const X87Value c = a.c, s = a.s;
  return {c * p + s * q, c * q - s * p};
}

}  // namespace

// ---- x87 and CMOV ---------------------------------------------------------

namespace x87 {

void Transform(Mx3DVec* r, const Mx3DVec* v, const MxMat4x4* m) {
  const float* e = m->m;
  const X87Value vx = v->x, vy = v->y, vz = v->z;
  X87Value out[3];
  for (int c = 0; c < 3; ++c) out[c] = (vx * e[c] + vy * e[4 + c]) + (vz * e[8 + c] + e[12 + c]);
  r->x = static_cast<float>(out[0]);
  r->y = static_cast<float>(out[1]);
  r->z = static_cast<float>(out[2]);
}

// A zero or NaN squared length leaves r as it was.
void Normalize(Mx3DVec* r, const Mx3DVec* v) {
  const X87Value s = squared_length(v);
  if (s == 0.0f || std::isnan(s)) return;
  normalize_by_root(r, v, s);
}

// Each angle is looked up just before its step: z, then x, then y.
void Rotate(Mx3DVec* r, const Mx3DVec* v, const float* angles) {
  const Angles a = read_angles(angles);
  const X87Value vx = v->x, vy = v->y, vz = v->z;
  const Turned about_z = turn(look_up(a.z), vx, vy);                // (x1, y1)
  const Turned about_x = turn(look_up(a.x), about_z.q, vz);         // (y2, z2)
  const Turned about_y = turn(look_up(a.y), about_z.p, about_x.q);  // (x3, z3)
  r->x = static_cast<float>(about_y.p);
  r->y = static_cast<float>(about_x.p);
  r->z = static_cast<float>(about_y.q);
}

}  // namespace x87

namespace cmov {

// FCOMI against zero; the unordered flag catches a NaN length too.
void Normalize(Mx3DVec* r, const Mx3DVec* v) {
  const X87Value s = squared_length(v);
  if (!std::islessgreater(s, 0.0f)) return;
  normalize_by_root(r, v, s);
}

}  // namespace cmov

// ---- 3DNow! ---------------------------------------------------------------

namespace {
using namespace packed;

// Both halves of a record: (x, y) and (z, w).
struct Halves {
  Pair xy, zw;
};
inline Halves load_halves(const float* p) {
  return {movq(p), movq(p + 2)};
}

inline void store_scaled(Mx3DVec* r, const Mx3DVec* v, Pair factor) {
  const Pair xy = pfmul(movq(&v->x), factor);
  const Pair z = pfmul(movd(&v->z), factor);
  store_pair(&r->x, xy);
  store_lo(&r->z, z);
}

// (c·p + s·q, c·q − s·p) as the first products plus the negated second ones.
inline Pair turn_3dnow(SinCos a, Pair pq) {
  const Pair first = pfmul(broadcast(a.c), pq);
  const Pair second = negate_hi(pfmul(broadcast(a.s), Pair{pq.hi, pq.lo}));
  return pfadd(first, second);
}

// The same as a difference and a sum inside pairs, then a swap.
inline Pair turn_ext3dnow(SinCos a, Pair pq) {
  const Pair for_q = pfmul(Pair{a.c, a.s}, pswapd(pq));  // (c·q, s·p)
  const Pair for_p = pfmul(Pair{a.c, a.s}, pq);          // (c·p, s·q)
  return pswapd(pfpnacc(for_q, for_p));
}

// Lookups first, in the order x, y, z; then the three steps.
template <Pair (*Turn)(SinCos, Pair)>
void rotate_packed(Mx3DVec* r, const Mx3DVec* v, const float* angles) {
  const Angles a = read_angles(angles);
  const SinCos sx = look_up(a.x), sy = look_up(a.y), sz = look_up(a.z);
  const Pair xy = movq(&v->x);
  const Pair z = movd(&v->z);
  const Pair x1y1 = Turn(sz, xy);
  const Pair y2z2 = Turn(sx, punpckhdq(x1y1, Pair{z.lo, z.lo}));
  const Pair x3z3 = Turn(sy, Pair{x1y1.lo, y2z2.hi});
  store_pair(&r->x, punpckldq(x3z3, y2z2));
  store_lo(&r->z, punpckhdq(x3z3, x3z3));
}

}  // namespace

namespace threednow {

// Rows as pairs: (x·row0 + y·row1) + (z·row2 + row3), column 3 discarded.
void Transform(Mx3DVec* r, const Mx3DVec* v, const MxMat4x4* m) {
  const Pair vx = broadcast(v->x), vy = broadcast(v->y), vz = broadcast(v->z);
  const Halves row0 = load_halves(&m->m[0]), row1 = load_halves(&m->m[4]);
  const Halves row2 = load_halves(&m->m[8]), row3 = load_halves(&m->m[12]);
  const Pair xy =
      pfadd(pfadd(pfmul(vx, row0.xy), pfmul(vy, row1.xy)), pfadd(pfmul(vz, row2.xy), row3.xy));
  const Pair zw =
      pfadd(pfadd(pfmul(vx, row0.zw), pfmul(vy, row1.zw)), pfadd(pfmul(vz, row2.zw), row3.zw));
  store_pair(&r->x, xy);
  store_lo(&r->z, zw);
}

// Only an exact zero is caught; a NaN length runs through and gives NaNs.
void Normalize(Mx3DVec* r, const Mx3DVec* v) {
  const float s = packed::squared_length(v);
  if (pfcmpeq(broadcast(s), broadcast(0.0f)).lo) return;
  store_scaled(r, v, broadcast(pfrsqrt_refined(s)));
}

void Rotate(Mx3DVec* r, const Mx3DVec* v, const float* angles) {
  rotate_packed<turn_3dnow>(r, v, angles);
}

}  // namespace threednow

namespace ext3dnow {

void Rotate(Mx3DVec* r, const Mx3DVec* v, const float* angles) {
  rotate_packed<turn_ext3dnow>(r, v, angles);
}

}  // namespace ext3dnow

namespace ext3dnow_mmxext {

void Normalize(Mx3DVec* r, const Mx3DVec* v) {
  const float s = packed::squared_length(v);
  if (pmovmskb(pfcmpeq(broadcast(s), broadcast(0.0f))) & 0x0F) return;
  const Pair k = {pfrsqrt_refined(s), 0.0f};
  store_scaled(r, v, punpckldq(k, k));
}

}  // namespace ext3dnow_mmxext

// ---- SSE ------------------------------------------------------------------

TARN_SSE_BEGIN
namespace sse {
using namespace packed;

void Transform(Mx3DVec* r, const Mx3DVec* v, const MxMat4x4* m) {
  const Quad q = load(v);
  const Quad vx = splat(lane0(q)), vy = splat(lane1(q)), vz = splat(lane2(q));
  store_xyz(r,
            (vx * load_row(m, 0) + vy * load_row(m, 1)) + (vz * load_row(m, 2) + load_row(m, 3)));
}

// Zero and NaN return before any estimate is taken.
void Normalize(Mx3DVec* r, const Mx3DVec* v) {
  const Quad q = load(v);
  const float s = packed::squared_length(q);
  if (s == 0.0f || std::isnan(s)) return;
  store_xyz(r, q * splat(refined_rsqrt_sse(s)));
}

// Lookups first, then each step as two products and a sum or difference.
void Rotate(Mx3DVec* r, const Mx3DVec* v, const float* angles) {
  const Angles a = read_angles(angles);
  const SinCos sx = look_up(a.x), sy = look_up(a.y), sz = look_up(a.z);
  const float vx = v->x, vy = v->y, vz = v->z;
  const auto step = [](SinCos t, float p, float q) {
    return Turned{add_ss(mul_ss(t.c, p), mul_ss(t.s, q)), sub_ss(mul_ss(t.c, q), mul_ss(t.s, p))};
  };
  const Turned about_z = step(sz, vx, vy);
  const Turned about_x = step(sx, about_z.q, vz);
  const Turned about_y = step(sy, about_z.p, about_x.q);
  r->x = static_cast<float>(about_y.p);
  r->y = static_cast<float>(about_x.p);
  r->z = static_cast<float>(about_y.q);
}

}  // namespace sse
TARN_SSE_END

}  // namespace tarn::vector
