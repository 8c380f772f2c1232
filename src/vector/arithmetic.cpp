// Magnitudes, products, sums, scaling and comparisons.
#include <bit>
#include <cmath>
#include <cstdint>

#include "isa/estimates.h"
#include "isa/packed.h"
#include "vector/vector.h"

namespace tarn::vector {
namespace {

using fpu::X87Value;

inline X87Value squared_length(const Mx3DVec* v) {
  const X87Value x = v->x, y = v->y, z = v->z;
  return (x * x + y * y) + z * z;
}

// 0 equal, 1 greater, 2 smaller; unordered falls through to 1.
inline std::int32_t order_code(X87Value sa, X87Value sb) {
  if (sa == sb) return 0;
  if (sa < sb) return 2;
  return 1;
}

}  // namespace

// ---- x87 ------------------------------------------------------------------

namespace x87 {

float MagnitudeSquared(const Mx3DVec* v) {
  return static_cast<float>(squared_length(v));
}

float AccMagnitude(const Mx3DVec* v) {
  return static_cast<float>(std::sqrt(squared_length(v)));
}

// A bit-pattern estimate of 1/sqrt(s) and one Newton-Raphson step: no square
// root, no division; relative error below 0.18%.
float RghFastMagnitude(const Mx3DVec* v) {
  const X87Value s = squared_length(v);
  const X87Value h = 0.5f * s;
  // The seed comes from the length stored as a float.
  const std::uint32_t stored = std::bit_cast<std::uint32_t>(static_cast<float>(s));
  const X87Value y0 = std::bit_cast<float>(0x5F3759DFu - (stored >> 1));
  const X87Value a = y0 * y0;
  const X87Value b = a * h;
  const X87Value c = 1.5f - b;
  const X87Value d = s * y0;
  return static_cast<float>(d * c);
}

float DotProd(const Mx3DVec* a, const Mx3DVec* b) {
  const X87Value ax = a->x, ay = a->y, az = a->z;
  return static_cast<float>((ax * b->x + ay * b->y) + az * b->z);
}

void CrossProd(Mx3DVec* r, const Mx3DVec* a, const Mx3DVec* b) {
  const X87Value ax = a->x, ay = a->y, az = a->z;
  const X87Value x = ay * b->z - az * b->y;
  const X87Value y = az * b->x - ax * b->z;
  const X87Value z = ax * b->y - ay * b->x;
  r->x = static_cast<float>(x);
  r->y = static_cast<float>(y);
  r->z = static_cast<float>(z);
}

void Add(Mx3DVec* r, const Mx3DVec* a, const Mx3DVec* b) {
  const float x = a->x + b->x, y = a->y + b->y, z = a->z + b->z;
  r->x = x;
  r->y = y;
  r->z = z;
}

void Sub(Mx3DVec* r, const Mx3DVec* a, const Mx3DVec* b) {
  const float x = a->x - b->x, y = a->y - b->y, z = a->z - b->z;
  r->x = x;
  r->y = y;
  r->z = z;
}

void Scale(Mx3DVec* r, const Mx3DVec* v, float f) {
  const float x = v->x * f, y = v->y * f, z = v->z * f;
  r->x = x;
  r->y = y;
  r->z = z;
}

std::int32_t CmpMagnitude(const Mx3DVec* a, const Mx3DVec* b) {
  return order_code(squared_length(a), squared_length(b));
}

// The status-word test sees an unordered pair as equal.
std::int32_t Cmp(const Mx3DVec* a, const Mx3DVec* b) {
  if (std::islessgreater(a->x, b->x)) return 1;
  if (std::islessgreater(a->y, b->y)) return 1;
  if (std::islessgreater(a->z, b->z)) return 1;
  return 0;
}

}  // namespace x87

// ---- CMOV -----------------------------------------------------------------

namespace cmov {

std::int32_t CmpMagnitude(const Mx3DVec* a, const Mx3DVec* b) {
  const X87Value sa = squared_length(a), sb = squared_length(b);
  const std::int32_t below = std::isless(sa, sb) ? 2 : 1;
  return sa == sb ? 0 : below;
}

// FCOMI sets the equality flag for an unordered pair as well.
std::int32_t Cmp(const Mx3DVec* a, const Mx3DVec* b) {
  const bool differs = std::islessgreater(a->x, b->x) | std::islessgreater(a->y, b->y) |
                       std::islessgreater(a->z, b->z);
  return differs ? 1 : 0;
}

}  // namespace cmov

// ---- 3DNow! ---------------------------------------------------------------

namespace threednow {
using namespace packed;

float MagnitudeSquared(const Mx3DVec* v) {
  return packed::squared_length(v);
}

float AccMagnitude(const Mx3DVec* v) {
  const float s = packed::squared_length(v);
  return mul1(s, pfrsqrt_refined(s));
}

float RghFastMagnitude(const Mx3DVec* v) {
  const float s = packed::squared_length(v);
  return mul1(s, pfrsqrt(s));
}

float DotProd(const Mx3DVec* a, const Mx3DVec* b) {
  const Pair xy = pfmul(movq(&a->x), movq(&b->x));
  const Pair z = pfmul(movd(&a->z), movd(&b->z));
  return pfadd(pfacc(xy, xy), z).lo;
}

// Each difference as the first product plus the negated second.
void CrossProd(Mx3DVec* r, const Mx3DVec* a, const Mx3DVec* b) {
  const Pair a_xy = movq(&a->x), b_xy = movq(&b->x);
  const Pair a_yz = movq(&a->y), b_yz = movq(&b->y);
  const Pair a_zx = punpckldq(movd(&a->z), a_xy), b_zx = punpckldq(movd(&b->z), b_xy);
  const Pair first = pfmul(a_yz, b_zx);   // (ay·bz, az·bx)
  const Pair second = pfmul(a_zx, b_yz);  // (az·by, ax·bz)
  const Pair rxy = pfadd(first, negate(second));
  const Pair z_products = negate_hi(pfmul(a_xy, punpckldq(movd(&b->y), b_xy)));  // (ax·by, −ay·bx)
  const Pair rz = pfacc(z_products, z_products);
  store_pair(&r->x, rxy);
  store_lo(&r->z, rz);
}

void Add(Mx3DVec* r, const Mx3DVec* a, const Mx3DVec* b) {
  const Pair xy = pfadd(movq(&a->x), movq(&b->x));
  const Pair z = pfadd(movd(&a->z), movd(&b->z));
  store_pair(&r->x, xy);
  store_lo(&r->z, z);
}

void Sub(Mx3DVec* r, const Mx3DVec* a, const Mx3DVec* b) {
  const Pair xy = pfsub(movq(&a->x), movq(&b->x));
  const Pair z = pfsub(movd(&a->z), movd(&b->z));
  store_pair(&r->x, xy);
  store_lo(&r->z, z);
}

void Scale(Mx3DVec* r, const Mx3DVec* v, float f) {
  const Pair factor = broadcast(f);
  const Pair xy = pfmul(movq(&v->x), factor);
  const Pair z = pfmul(movd(&v->z), factor);
  store_pair(&r->x, xy);
  store_lo(&r->z, z);
}

// Greater-or-equal and equality masks: an unordered pair sets neither and
// counts as smaller.
std::int32_t CmpMagnitude(const Mx3DVec* a, const Mx3DVec* b) {
  const Pair sa = broadcast(packed::squared_length(a)), sb = broadcast(packed::squared_length(b));
  const Mask ge = pfcmpge(sa, sb), eq = pfcmpeq(sa, sb);
  if (eq.lo) return 0;
  return ge.lo ? 1 : 2;
}

// The z pair is loaded alone, so the fourth floats are never compared; a NaN
// compares unequal.
std::int32_t Cmp(const Mx3DVec* a, const Mx3DVec* b) {
  const Mask xy = pfcmpeq(movq(&a->x), movq(&b->x));
  const Mask z = pfcmpeq(movd(&a->z), movd(&b->z));
  return (xy.lo & xy.hi & z.lo) ? 0 : 1;
}

}  // namespace threednow

namespace threednow_mmxext {
using namespace packed;

std::int32_t Cmp(const Mx3DVec* a, const Mx3DVec* b) {
  const Mask xy = pfcmpeq(movq(&a->x), movq(&b->x));
  const Mask z = pfcmpeq(movd(&a->z), movd(&b->z));
  return pmovmskb(pand(xy, punpckldq(z, z))) == 0xFF ? 0 : 1;
}

}  // namespace threednow_mmxext

// ---- extended 3DNow! ------------------------------------------------------

namespace ext3dnow {
using namespace packed;

// Each difference inside one pair with the negative accumulate.
void CrossProd(Mx3DVec* r, const Mx3DVec* a, const Mx3DVec* b) {
  const Pair a_xy = movq(&a->x), b_xy = movq(&b->x);
  const Pair a_z = movd(&a->z), b_z = movd(&b->z);
  const Pair for_x = pfmul(movq(&a->y), punpckldq(b_z, pswapd(b_xy)));   // (ay·bz, az·by)
  const Pair for_y = pfmul(punpckldq(a_z, a_xy), punpckldq(b_xy, b_z));  // (az·bx, ax·bz)
  const Pair for_z = pfmul(a_xy, pswapd(b_xy));                          // (ax·by, ay·bx)
  const Pair rxy = pfnacc(for_x, for_y);
  const Pair rz = pfnacc(for_z, for_z);
  store_pair(&r->x, rxy);
  store_lo(&r->z, rz);
}

}  // namespace ext3dnow

namespace ext3dnow_mmxext {
using namespace packed;

std::int32_t CmpMagnitude(const Mx3DVec* a, const Mx3DVec* b) {
  const Pair sa_sb = {packed::squared_length(a), packed::squared_length(b)};
  const Pair sb_sa = pswapd(sa_sb);
  const std::uint32_t ge = pmovmskb(pfcmpge(sa_sb, sb_sa)) & 0x0F;
  const std::uint32_t eq = pmovmskb(pfcmpeq(sa_sb, sb_sa)) & 0x0F;
  if (eq) return 0;
  return ge ? 1 : 2;
}

}  // namespace ext3dnow_mmxext

// ---- SSE ------------------------------------------------------------------

TARN_SSE_BEGIN
namespace sse {
using namespace packed;

float MagnitudeSquared(const Mx3DVec* v) {
  return packed::squared_length(load(v));
}

// Zero and NaN return before any estimate is taken.
float AccMagnitude(const Mx3DVec* v) {
  const float s = packed::squared_length(load(v));
  if (s == 0.0f || std::isnan(s)) return s;
  return mul_ss(s, refined_rsqrt_sse(s));
}

float RghFastMagnitude(const Mx3DVec* v) {
  const float s = packed::squared_length(load(v));
  if (s == 0.0f || std::isnan(s)) return s;
  return mul_ss(s, estimates::rsqrt_estimate_sse(s));
}

float DotProd(const Mx3DVec* a, const Mx3DVec* b) {
  const Quad p = load(a) * load(b);
  return add_ss(add_ss(lane0(p), lane1(p)), lane2(p));
}

void CrossProd(Mx3DVec* r, const Mx3DVec* a, const Mx3DVec* b) {
  const Quad qa = load(a), qb = load(b);
  store_xyz(r, yzx(qa) * zxy(qb) - zxy(qa) * yzx(qb));
}

void Add(Mx3DVec* r, const Mx3DVec* a, const Mx3DVec* b) {
  store_xyz(r, load(a) + load(b));
}

void Sub(Mx3DVec* r, const Mx3DVec* a, const Mx3DVec* b) {
  store_xyz(r, load(a) - load(b));
}

void Scale(Mx3DVec* r, const Mx3DVec* v, float f) {
  store_xyz(r, load(v) * splat(f));
}

std::int32_t CmpMagnitude(const Mx3DVec* a, const Mx3DVec* b) {
  return order_code(packed::squared_length(load(a)), packed::squared_length(load(b)));
}

// CMPNEQPS: a NaN lane counts as unequal; the fourth lane is masked off.
std::int32_t Cmp(const Mx3DVec* a, const Mx3DVec* b) {
  return (unequal_lanes(load(a), load(b)) & 0x7) ? 1 : 0;
}

}  // namespace sse
TARN_SSE_END

}  // namespace tarn::vector
