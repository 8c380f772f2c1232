// The exact sine-cosine functions, computed by the library itself from integer
// and double arithmetic alone, so that every platform gives the same bits (no
// C runtime trigonometry, no long double):
//
//  1. The angle is reduced by a multiple of pi/2. Exactly, by integers: its
//     53-bit significand times a 288-bit window of 2/pi in 32-bit limbs gives
//     the quadrant and 286 bits of the fraction, so even the double closest
//     to a multiple of pi/2 (about 2^-61 from it) keeps over 200 significant
//     bits. Angles below 2^20 whose reduced angle is not tiny take a shorter
//     way with pi/2 in four pieces. Angles up to pi/4 are used as they are.
//  2. The reduced angle r, |r| <= pi/4, is a double-double (about 104 bits)
//     and its sine and cosine are Taylor series in r^2, evaluated in
//     double-double to a relative error below 2^-100.
//  3. Each result is rounded once to its destination: a double takes the
//     double-double's leading part, which is the sum correctly rounded; a
//     float takes that sum rounded to odd at 53 bits and then to nearest at
//     24, which cannot round twice.
//
// Double-double arithmetic needs every double operation rounded once to 53
// bits, to nearest: the caller's rounding mode, flush-to-zero and (on 32-bit
// x87 builds) precision control are set aside for the call and restored
// afterwards, so the results do not depend on them.
#include <bit>
#include <cmath>
#include <cstdint>

#include "TarnLib2DLL.h"
#include "trig/trig.h"

#if !((defined(__i386__) || defined(__x86_64__) || defined(__aarch64__)) && defined(__GNUC__))
#include <cfenv>
#endif

namespace {

// ---- The floating-point environment of one call.

#if (defined(__x86_64__) || (defined(__i386__) && defined(__SSE2_MATH__))) && defined(__GNUC__)
// Double arithmetic runs in SSE registers: MXCSR at round to nearest with
// flush-to-zero and denormals-are-zero off, the caller's exception masks. The
// memory clobbers keep the computation and the stores inside the scope; the
// exception flags the computation raised stay raised.
class ArithmeticScope {
 public:
  ArithmeticScope() {
    __asm__ volatile("stmxcsr %0" : "=m"(saved_) : : "memory");
    const std::uint32_t working = saved_ & ~kControl;
    if (working != saved_) __asm__ volatile("ldmxcsr %0" : : "m"(working) : "memory");
  }
  ~ArithmeticScope() {
    if ((saved_ & kControl) == 0) return;
    std::uint32_t now;
    __asm__ volatile("stmxcsr %0" : "=m"(now) : : "memory");
    const std::uint32_t restored = (saved_ & ~kFlags) | (now & kFlags);
    __asm__ volatile("ldmxcsr %0" : : "m"(restored) : "memory");
  }
  ArithmeticScope(const ArithmeticScope&) = delete;
  ArithmeticScope& operator=(const ArithmeticScope&) = delete;

 private:
  static constexpr std::uint32_t kControl = 0x8000 | 0x6000 | 0x0040;  // FTZ, rounding, DAZ
  static constexpr std::uint32_t kFlags = 0x003F;
  std::uint32_t saved_;
};
#elif defined(__i386__) && defined(__GNUC__)
// Double arithmetic runs on the x87 stack: precision control at 53 bits
// (double-double needs each operation rounded once to double), round to
// nearest, the caller's exception masks.
class ArithmeticScope {
 public:
  ArithmeticScope() {
    __asm__ volatile("fnstcw %0" : "=m"(saved_) : : "memory");
    const std::uint16_t working =
        static_cast<std::uint16_t>((saved_ & ~(kPrecision | kRounding)) | kDoublePrecision);
    changed_ = working != saved_;
    if (changed_) __asm__ volatile("fldcw %0" : : "m"(working) : "memory");
  }
  ~ArithmeticScope() {
    if (changed_) __asm__ volatile("fldcw %0" : : "m"(saved_) : "memory");
  }
  ArithmeticScope(const ArithmeticScope&) = delete;
  ArithmeticScope& operator=(const ArithmeticScope&) = delete;

 private:
  static constexpr std::uint16_t kPrecision = 0x0300;
  static constexpr std::uint16_t kDoublePrecision = 0x0200;  // precision control 10
  static constexpr std::uint16_t kRounding = 0x0C00;         // 00 = to nearest
  std::uint16_t saved_;
  bool changed_;
};
#elif defined(__aarch64__) && defined(__GNUC__)
// FPCR: rounding mode (bits 22-23, 00 = to nearest), flush-to-zero (bit 24),
// and where the processor has them the alternate handling and input flushing
// (bits 1 and 0; zero on processors without them).
class ArithmeticScope {
 public:
  ArithmeticScope() {
    __asm__ volatile("mrs %0, fpcr" : "=r"(saved_) : : "memory");
    if (saved_ & kControl) {
      const std::uint64_t working = saved_ & ~kControl;
      __asm__ volatile("msr fpcr, %0" : : "r"(working) : "memory");
    }
  }
  ~ArithmeticScope() {
    if (saved_ & kControl) __asm__ volatile("msr fpcr, %0" : : "r"(saved_) : "memory");
  }
  ArithmeticScope(const ArithmeticScope&) = delete;
  ArithmeticScope& operator=(const ArithmeticScope&) = delete;

 private:
  static constexpr std::uint64_t kControl = (std::uint64_t{3} << 22) | (std::uint64_t{1} << 24) | 3;
  std::uint64_t saved_;
};
#else
// Elsewhere only the standard rounding mode can be set; a flush-to-zero mode
// of such a platform is left as the caller set it.
class ArithmeticScope {
 public:
  ArithmeticScope() : saved_(std::fegetround()) {
    if (saved_ != FE_TONEAREST) std::fesetround(FE_TONEAREST);
  }
  ~ArithmeticScope() {
    if (saved_ != FE_TONEAREST) std::fesetround(saved_);
  }
  ArithmeticScope(const ArithmeticScope&) = delete;
  ArithmeticScope& operator=(const ArithmeticScope&) = delete;

 private:
  int saved_;
};
#endif

// The angle as the computation sees it: read from memory after the scope is
// set up, so that no arithmetic on it (not even the widening of a float, which
// denormals-are-zero would flush) moves ahead of the scope.
template <typename T>
inline T after_setup(T value) {
#if defined(__GNUC__)
  __asm__ volatile("" : "+m"(value) : : "memory");
#endif
  return value;
}

// ---- Double-double arithmetic (Dekker, Knuth; no fused multiply-add).

struct DD {
  double hi, lo;
};

inline DD two_sum(double a, double b) {
  const double s = a + b;
  const double bb = s - a;
  return {s, (a - (s - bb)) + (b - bb)};
}

inline DD fast_two_sum(double a, double b) {  // |a| >= |b|
  const double s = a + b;
  return {s, b - (s - a)};
}

// Veltkamp's split into two halves of at most 26 bits each.
inline DD split(double a) {
  const double t = 134217729.0 * a;  // 2^27 + 1
  const double hi = t - (t - a);
  return {hi, a - hi};
}

inline DD two_prod(double a, double b) {
  const double p = a * b;
  const DD as = split(a);
  const DD bs = split(b);
  const double e = ((as.hi * bs.hi - p) + as.hi * bs.lo + as.lo * bs.hi) + as.lo * bs.lo;
  return {p, e};
}

// The product before its renormalisation: |lo| stays within a few units of
// hi's last place, which a following addition absorbs.
inline DD mul_unnormalised(DD a, DD b) {
  DD p = two_prod(a.hi, b.hi);
  p.lo += a.hi * b.lo + a.lo * b.hi;
  return p;
}

inline DD mul(DD a, DD b) {
  const DD p = mul_unnormalised(a, b);
  return fast_two_sum(p.hi, p.lo);
}

// a + b where |a| > |b|, as in every step of the series below.
inline DD add_smaller(DD a, DD b) {
  DD s = fast_two_sum(a.hi, b.hi);
  s.lo += a.lo + b.lo;
  return fast_two_sum(s.hi, s.lo);
}

// The sign bit of both parts flipped when sign is 2^63 (a negation), kept
// when it is 0.
inline DD with_sign(DD a, std::uint64_t sign) {
  return {std::bit_cast<double>(std::bit_cast<std::uint64_t>(a.hi) ^ sign),
          std::bit_cast<double>(std::bit_cast<std::uint64_t>(a.lo) ^ sign)};
}

// a when mask is 0, b when it is all ones.
inline DD pick(DD a, DD b, std::uint64_t mask) {
  auto one = [mask](double u, double v) {
    return std::bit_cast<double>((std::bit_cast<std::uint64_t>(u) & ~mask) |
                                 (std::bit_cast<std::uint64_t>(v) & mask));
  };
  return {one(a.hi, b.hi), one(a.lo, b.lo)};
}

// ---- Reduction by multiples of pi/2.

// 2/pi = sum of kTwoOverPi[k + 2] * 2^(-32(k+1)), k = 0 .. 38: 1248 bits,
// enough for the largest double exponent plus the window; the two zero limbs
// in front serve angles whose window starts above the binary point. Printed,
// with pi/2 and the series coefficients below, by the script at the end of
// this file.
constexpr std::uint32_t kTwoOverPi[] = {
    0x00000000, 0x00000000, 0xA2F9836E, 0x4E441529, 0xFC2757D1, 0xF534DDC0, 0xDB629599,
    0x3C439041, 0xFE5163AB, 0xDEBBC561, 0xB7246E3A, 0x424DD2E0, 0x06492EEA, 0x09D1921C,
    0xFE1DEB1C, 0xB129A73E, 0xE88235F5, 0x2EBB4484, 0xE99C7026, 0xB45F7E41, 0x3991D639,
    0x835339F4, 0x9C845F8B, 0xBDF9283B, 0x1FF897FF, 0xDE05980F, 0xEF2F118B, 0x5A0A6D1F,
    0x6D367ECF, 0x27CB09B7, 0x4F463F66, 0x9E5FEA2D, 0x7527BAC7, 0xEBE5F17B, 0x3D0739F7,
    0x8A5292EA, 0x6BFB5FB1, 0x1F8D5D08, 0x56033046, 0xFC7B6BAB, 0xF0CFBC20,
};
// Limbs of 2/pi multiplied per angle: the product keeps the quadrant and 286
// bits of fraction, exact but for the limbs after the window (below 2^-202).
constexpr int kWindow = 9;
constexpr int kFractionBits = 32 * kWindow - 2;

// pi/2 = kHalfPi1 + kHalfPi2 + kHalfPi3 to about 160 bits.
constexpr double kHalfPi1 = 0x1.921fb54442d18p+0;
constexpr double kHalfPi2 = 0x1.1a62633145c07p-54;
constexpr double kHalfPi3 = -0x1.f1976b7ed8fbcp-110;
// The largest double below pi/4: angles up to it need no reduction.
constexpr double kQuarterPi = 0x1.921fb54442d18p-1;

struct Reduced {
  DD r;               // the angle minus quadrant * pi/2, |r| <= pi/4
  unsigned quadrant;  // modulo 4
};

using Limbs = std::uint32_t[kWindow];  // little-endian

// Bits pos .. pos+63 of the limbs, zeros below them.
inline std::uint64_t bits_at(const Limbs& p, int pos) {
  if (pos < 0) return bits_at(p, 0) << -pos;  // only reached for pos > -64
  const int first = pos / 32;
  const int shift = pos % 32;
  auto limb = [&p](int i) -> std::uint64_t { return i < kWindow ? p[i] : 0; };
  const std::uint64_t low = limb(first) | limb(first + 1) << 32;
  return shift == 0 ? low : low >> shift | limb(first + 2) << (64 - shift);
}

// m * 2^e for a significand of exactly 53 bits (bit 52 set), built from its
// bits: exact, and free of integer-to-float conversions (which 32-bit x86
// builds would do on the x87 unit).
inline double scaled(std::uint64_t m, int e) {
  const auto biased = static_cast<std::uint64_t>(e + 52 + 1023);
  return std::bit_cast<double>(biased << 52 | (m & ((std::uint64_t{1} << 52) - 1)));
}

// A positive finite angle above pi/4.
Reduced reduce(double x) {
  const std::uint64_t b = std::bit_cast<std::uint64_t>(x);
  const int e = static_cast<int>(b >> 52) - 1075;  // x = m * 2^e, e in [-53, 971]
  const std::uint64_t m = (b & ((std::uint64_t{1} << 52) - 1)) | std::uint64_t{1} << 52;

  // Limb k of 2/pi adds m * limb * 2^(e - 32(k+1)), a multiple of 4 when
  // that exponent is 2 or more: skip those limbs, and shift m so that the
  // product's binary point lies kFractionBits above its lowest bit.
  const int skip = (e - 2 + 64) / 32 - 2;        // floor((e - 2) / 32), from -2
  const int shift = e - 2 - 32 * skip;           // 0 .. 31
  const std::uint64_t shifted_low = m << shift;  // m * 2^shift in 84 bits
  const std::uint32_t factor[3] = {static_cast<std::uint32_t>(shifted_low),
                                   static_cast<std::uint32_t>(shifted_low >> 32),
                                   static_cast<std::uint32_t>(shift == 0 ? 0 : m >> (64 - shift))};
  const std::uint32_t* window = kTwoOverPi + (skip + 2);  // most significant first

  // product = factor * window, modulo 2^(32 kWindow): higher limbs only add
  // multiples of 4. The partial products are independent; their halves are
  // summed per limb and the carries propagated once.
  std::uint64_t low_sum[kWindow] = {};
  std::uint64_t high_sum[kWindow] = {};
  for (int a = 0; a < 3; ++a) {
    for (int i = 0; i + a < kWindow; ++i) {
      const std::uint64_t t = std::uint64_t{window[kWindow - 1 - i]} * factor[a];
      low_sum[i + a] += t & 0xFFFFFFFF;
      high_sum[i + a] += t >> 32;
    }
  }
  Limbs p;
  std::uint64_t carry = 0;
  for (int i = 0; i < kWindow; ++i) {
    const std::uint64_t t = low_sum[i] + (i > 0 ? high_sum[i - 1] : 0) + carry;
    p[i] = static_cast<std::uint32_t>(t);
    carry = t >> 32;
  }

  // The top two bits are the quadrant; a fraction of 1/2 or more counts as the
  // next quadrant minus (1 - fraction). Without branches: random angles would
  // mispredict them half the time.
  const std::uint32_t past_half = (p[kWindow - 1] >> 29) & 1;
  const unsigned quadrant = (p[kWindow - 1] >> 30) + past_half;
  const std::uint32_t flip = 0u - past_half;
  std::uint64_t borrow = past_half;  // two's complement when past half: ~p + 1
  for (std::uint32_t& limb : p) {
    const std::uint64_t t = std::uint64_t{limb ^ flip} + borrow;
    limb = static_cast<std::uint32_t>(t);
    borrow = t >> 32;
  }
  p[kWindow - 1] &= 0x3FFFFFFF;

  // The leading 106 bits of the fraction, truncated, as two doubles.
  int lead = -1;
  for (int i = kWindow - 1; i >= 0 && lead < 0; --i) {
    if (p[i] != 0) lead = 32 * i + 31 - std::countl_zero(p[i]);
  }
  if (lead < 0) return {{0.0, 0.0}, quadrant & 3};  // no double lies on a multiple of pi/2
  constexpr std::uint64_t kLow53 = (std::uint64_t{1} << 53) - 1;
  const double hi = scaled(bits_at(p, lead - 52) & kLow53, lead - 52 - kFractionBits);
  double lo = 0.0;
  if (std::uint64_t next = bits_at(p, lead - 105) & kLow53; next != 0) {
    const int normalise = std::countl_zero(next) - 11;
    lo = scaled(next << normalise, lead - 105 - kFractionBits - normalise);
  }

  // r = fraction * pi/2.
  DD r = two_prod(hi, kHalfPi1);
  r.lo += hi * kHalfPi2 + lo * kHalfPi1 + hi * kHalfPi3;
  r = fast_two_sum(r.hi, r.lo);
  return {with_sign(r, std::uint64_t{past_half} << 63), quadrant & 3};
}

// Angles below 2^20 (nearly all that reach a caller) take a shorter way when
// their reduced angle is not too small: r = x - n pi/2 with pi/2 in four
// pieces, the first three of 33 bits so that their products with n < 2^20
// are exact, the four within 2^-159 of pi/2. The subtraction of n * piece1 is
// exact (Sterbenz), so are the next two two-sums; the error is the pieces'
// 2^-139 times n plus three roundings of the low part, below 2^-103 |r| +
// 2^-134 in all: relative error under 2^-103 once |r| >= 2^-24. Smaller
// reduced angles (about one angle in ten million) take the exact reduction.
constexpr double kFastLimit = 0x1p20;
constexpr double kTwoOverPiDouble = 0x1.45f306dc9c883p-1;
constexpr double kPiece1 = 0x1.921fb54400000p+0;
constexpr double kPiece2 = 0x1.0b4611a600000p-34;
constexpr double kPiece3 = 0x1.3198a2e000000p-69;
constexpr double kPiece4 = 0x1.b839a252049c1p-104;
constexpr double kFastSmallest = 0x1p-24;

// A positive angle in (pi/4, 2^20); false when the exact reduction must do.
inline bool reduce_fast(double x, Reduced& out) {
  // n = x * 2/pi rounded to an integer, read from the low bits of the sum
  // with 1.5 * 2^52 (whose last place is 1). A wrong n next to a half only
  // makes |r| exceed pi/4 by 2^-31 at most.
  const double shifted = x * kTwoOverPiDouble + 0x1.8p52;
  const double n = shifted - 0x1.8p52;
  const double t = x - n * kPiece1;
  const DD s = two_sum(t, -(n * kPiece2));
  const DD u = two_sum(s.hi, -(n * kPiece3));
  const DD p4 = two_prod(n, kPiece4);
  const DD r = fast_two_sum(u.hi, ((u.lo + s.lo) - p4.hi) - p4.lo);
  if (std::fabs(r.hi) < kFastSmallest) return false;
  out = {r, static_cast<unsigned>(std::bit_cast<std::uint64_t>(shifted)) & 3};
  return true;
}

// ---- Sine and cosine for |r| <= pi/4.

// (-1)^k / (2k+1)! and (-1)^k / (2k)!, k = 0 .. 13: the first terms left out
// are below 2^-107 of the results.
constexpr DD kSineSeries[] = {
    {0x1.0000000000000p+0, 0x0.0p+0},
    {-0x1.5555555555555p-3, -0x1.5555555555555p-57},
    {0x1.1111111111111p-7, 0x1.1111111111111p-63},
    {-0x1.a01a01a01a01ap-13, -0x1.a01a01a01a01ap-73},
    {0x1.71de3a556c734p-19, -0x1.c154f8ddc6c00p-73},
    {-0x1.ae64567f544e4p-26, 0x1.c062e06d1f209p-80},
    {0x1.6124613a86d09p-33, 0x1.f28e0cc748ebep-87},
    {-0x1.ae7f3e733b81fp-41, -0x1.1d8656b0ee8cbp-97},
    {0x1.952c77030ad4ap-49, 0x1.ac981465ddc6cp-103},
    {-0x1.2f49b46814157p-57, -0x1.2650f61dbdcb4p-112},
    {0x1.71b8ef6dcf572p-66, -0x1.d043ae40c4647p-120},
    {-0x1.761b41316381ap-75, 0x1.3423c7d91404fp-130},
    {0x1.3f3ccdd165fa9p-84, -0x1.58ddadf344487p-139},
    {-0x1.d1ab1c2dccea3p-94, -0x1.054d0c78aea14p-149},
};
constexpr DD kCosineSeries[] = {
    {0x1.0000000000000p+0, 0x0.0p+0},
    {-0x1.0000000000000p-1, 0x0.0p+0},
    {0x1.5555555555555p-5, 0x1.5555555555555p-59},
    {-0x1.6c16c16c16c17p-10, 0x1.f49f49f49f49fp-65},
    {0x1.a01a01a01a01ap-16, 0x1.a01a01a01a01ap-76},
    {-0x1.27e4fb7789f5cp-22, -0x1.cbbc05b4fa99ap-76},
    {0x1.1eed8eff8d898p-29, -0x1.2aec959e14c06p-83},
    {-0x1.93974a8c07c9dp-37, -0x1.05d6f8a2efd1fp-92},
    {0x1.ae7f3e733b81fp-45, 0x1.1d8656b0ee8cbp-101},
    {-0x1.6827863b97d97p-53, -0x1.eec01221a8b0bp-107},
    {0x1.e542ba4020225p-62, 0x1.ea72b4afe3c2fp-120},
    {-0x1.0ce396db7f853p-70, 0x1.aebcdbd20331cp-124},
    {0x1.f2cf01972f578p-80, -0x1.9ada5fcc1ab14p-135},
    {-0x1.88e85fc6a4e5ap-89, 0x1.71c37ebd16540p-143},
};
constexpr int kTerms = 14;

// Horner's scheme in z = r^2. Each double-double step costs about 25
// operations: the terms from first_double on, below 2^-54 of the result for
// z <= 0.62 (sine from the 8th, cosine from the 9th), are summed in plain
// double, which keeps their error under 2^-106.
template <int first_double>
inline DD series(const DD (&c)[kTerms], DD z) {
  double tail = c[kTerms - 1].hi;
  for (int k = kTerms - 2; k >= first_double; --k) tail = c[k].hi + z.hi * tail;
  DD p = {tail, 0.0};
  for (int k = first_double - 1; k >= 0; --k) p = add_smaller(c[k], mul_unnormalised(z, p));
  return p;
}

// ---- Rounding once to the destination.

// A normalised double-double's leading part is its value correctly rounded.
inline void store(double* to, DD v) {
  *to = v.hi;
}

// Rounded to odd at 53 bits (the leading part, moved one step towards the
// rest when that is not zero and the leading part's last bit is even), then
// to nearest at 24: the same as rounding the exact sum once. The step is
// taken on the bits, without branches (its direction is random).
inline void store(float* to, DD v) {
  const std::uint64_t b = std::bit_cast<std::uint64_t>(v.hi);
  const std::uint64_t step = (v.lo != 0.0) & ~b & 1;
  // Towards zero (one unit less in the bits) when the rest has the other sign.
  const std::uint64_t smaller = ((std::bit_cast<std::uint64_t>(v.lo) ^ b) >> 63) & step;
  *to = static_cast<float>(std::bit_cast<double>(b + step - 2 * smaller));
}

// Below this the cosine rounds to 1 and the sine to the angle at every
// destination (the nearest rounding boundary of a float is 2^-150), and from
// it on no step of the series leaves the normal range, where x87 and SSE
// arithmetic would differ.
constexpr double kTiny = 0x1p-300;

struct SinCos {
  DD sine, cosine;
};

// Both values of a finite angle, as double-doubles; the caller holds the
// arithmetic scope.
SinCos sin_cos(double x) {
  const double ax = std::fabs(x);
  DD rs = {ax, 0.0};  // sine and cosine of the reduced angle
  DD rc = {1.0, 0.0};
  unsigned quadrant = 0;
  if (ax >= kTiny) {
    Reduced red = {{ax, 0.0}, 0};
    if (ax > kQuarterPi && !(ax < kFastLimit && reduce_fast(ax, red))) red = reduce(ax);
    DD z = two_prod(red.r.hi, red.r.hi);
    z.lo += 2.0 * red.r.hi * red.r.lo;
    z = fast_two_sum(z.hi, z.lo);
    rs = mul(red.r, series<8>(kSineSeries, z));
    rc = series<9>(kCosineSeries, z);
    quadrant = red.quadrant;
  }
  // Quadrants 1 and 3 swap sine and cosine; the sine is negative in
  // quadrants 2 and 3 (and for negative angles), the cosine in 1 and 2.
  const std::uint64_t swap = 0 - std::uint64_t{quadrant & 1};
  const std::uint64_t sine_sign = std::uint64_t{((quadrant >> 1) ^ std::signbit(x)) & 1} << 63;
  const std::uint64_t cosine_sign = std::uint64_t{((quadrant + 1) >> 1) & 1} << 63;
  return {with_sign(pick(rs, rc, swap), sine_sign), with_sign(pick(rc, rs, swap), cosine_sign)};
}

template <typename Result, typename Angle>
void sin_cos_exact(Result* sine, Result* cosine, Angle angle) {
  if (!std::isfinite(angle)) {
    // NaN for NaN and infinite angles, without touching errno.
    const Result nan = static_cast<Result>(angle - angle);
    *cosine = nan;
    *sine = nan;
    return;
  }
  [[maybe_unused]] ArithmeticScope scope;
  const SinCos v = sin_cos(static_cast<double>(after_setup(angle)));  // exact
  // The cosine first: when both pointers name one variable it keeps the sine.
  store(cosine, v.cosine);
  store(sine, v.sine);
}

}  // namespace

namespace tarn::trig {
ExactSinCos exact_sin_cos(double angle) {
  [[maybe_unused]] ArithmeticScope scope;
  const SinCos v = sin_cos(after_setup(angle));
  return {v.sine.hi, v.sine.lo, v.cosine.hi, v.cosine.lo};
}
}  // namespace tarn::trig

extern "C" {
MX_API void MX_CALL MxSinCosFFF(float* sine, float* cosine, float angle) {
  sin_cos_exact(sine, cosine, angle);
}
MX_API void MX_CALL MxSinCosDDD(double* sine, double* cosine, double angle) {
  sin_cos_exact(sine, cosine, angle);
}
MX_API void MX_CALL MxSinCosDDF(double* sine, double* cosine, float angle) {
  sin_cos_exact(sine, cosine, angle);
}
MX_API void MX_CALL MxSinCosFFD(float* sine, float* cosine, double angle) {
  sin_cos_exact(sine, cosine, angle);
}
}

// The tables above were printed by this Python script (integers and
// fractions only; pi from Machin's formula):
// clang-format off
//   from fractions import Fraction
//   from math import factorial
//   P = 1600  # bits: pi to within 2^-1590
//   def atan_inv(n):  # atan(1/n) * 2^P by its series, in integers
//       x = s = (1 << P) // n
//       k = 1
//       while x:
//           x //= n * n
//           k += 2
//           s += x // k if k % 4 == 1 else -(x // k)
//       return s
//   pi = Fraction(16 * atan_inv(5) - 4 * atan_inv(239), 1 << P)  # Machin
//   bits = int((1 << 1248) * 2 / pi)
//   limbs = [0, 0] + [bits >> 32 * (38 - i) & 0xFFFFFFFF for i in range(39)]
//   print("constexpr std::uint32_t kTwoOverPi[] = {")
//   for i in range(0, len(limbs), 7):
//       print("    " + " ".join(f"0x{w:08X}," for w in limbs[i:i + 7]))
//   print("};")
//   def pieces(v, widths):  # v as a sum of numbers of the given widths, each nearest
//       out = []
//       for w in widths:
//           e = abs(v.numerator).bit_length() - v.denominator.bit_length()
//           e -= abs(v) < Fraction(2) ** e  # now 2^e <= |v| < 2^(e+1)
//           q = Fraction(2) ** (e - w + 1)
//           out.append(round(v / q) * q)
//           v -= out[-1]
//       return [float.hex(float(p)) for p in out]
//   def const(names, v, widths):
//       for n, p in zip(names, pieces(v, widths)):
//           print(f"constexpr double {n} = {p};")
//   const(["kHalfPi1", "kHalfPi2", "kHalfPi3"], pi / 2, [53] * 3)
//   const(["kQuarterPi"], pi / 4, [53])
//   const(["kTwoOverPiDouble"], 2 / pi, [53])
//   const(["kPiece1", "kPiece2", "kPiece3", "kPiece4"], pi / 2, [33, 33, 33, 53])
//   for name, odd in (("kSineSeries", 1), ("kCosineSeries", 0)):
//       print(f"constexpr DD {name}[] = {{")
//       for k in range(14):
//           h, l = pieces(Fraction((-1) ** k, factorial(2 * k + odd)), [53, 53])
//           print(f"    {{{h}, {l}}},")
//       print("};")
// clang-format on
