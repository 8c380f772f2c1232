// The exact sine-cosine functions, correctly rounded to nearest and computed
// by the library itself from integer and double arithmetic alone, so that
// every platform gives the same bits (no C runtime trigonometry, no long
// double). Each result comes from a fast evaluation with a bound on its error
// wherever that bound decides the rounding, from an accurate one otherwise:
//
//  - Float results of angles below 1.5e6: steps of pi/256 and short series
//    in plain double, within 2^-48 (the rounding test fails for about one
//    angle in ten million).
//  - Double results, and float results of larger angles: steps of pi/256 in
//    double-double, after an exact reduction to a quadrant for large angles.
//  - The accurate evaluation: 192-bit integer arithmetic.
//
// The exact reduction by multiples of pi/2 multiplies the 53-bit significand
// by a 288-bit window of 2/pi in 32-bit limbs: the quadrant and 286 bits of
// the fraction, so even the double closest to a multiple of pi/2 (about
// 2^-61 from it) keeps over 200 significant bits. A double-double evaluation
// of any angle to within 2^-100 serves the library's own checks.
//
// Double and double-double arithmetic need every operation rounded once to
// 53 bits, to nearest, and no trapping exceptions: the caller's rounding mode,
// flush-to-zero, exception masks and (on 32-bit x87 builds) precision control
// are set aside for the call where they differ (trig/fp_environment.h), so
// the results do not depend on them.
//
// The common case (a moderate angle, a state that needs no control register
// written, a settled rounding test) runs in the exported function without a
// call or a stack frame; everything else is behind one call.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "TarnLib2DLL.h"
#include "isa/platform.h"
#include "trig/fp_environment.h"
#include "trig/trig.h"

// x86-64 ELF builds choose, when the library is loaded, whether the
// evaluations use fused multiply-adds, and whether the common case rounds by
// AVX-512's per-operation control instead of reading the thread's state.
// Sanitizer builds do without: the choice runs before their runtimes are
// set up.
#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define TARN_EXACT_SANITIZED 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define TARN_EXACT_SANITIZED 1
#endif
#if defined(TARN_X86_64) && defined(TARN_ELF) && defined(TARN_GNU_C) && !defined(TARN_EXACT_SANITIZED)
#define TARN_EXACT_FUSED_CHOICE 1
#include <cpuid.h>
#include <immintrin.h>
#else
#define TARN_EXACT_FUSED_CHOICE 0
#endif

namespace {

using tarn::trig::after_setup;
// The lo parts of double-doubles can be subnormal: flushing them would move
// results by more than the error bound allows for.
using ArithmeticScope = tarn::trig::FloatEnvironment<tarn::trig::Subnormals::matter>;
using SmallAngleScope = tarn::trig::FloatEnvironment<tarn::trig::Subnormals::never_occur>;

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

[[gnu::always_inline]] inline DD two_prod(double a, double b) {
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

// The angle divided by pi/2, exactly: the nearest quadrant and the magnitude
// of the rest, |fraction| <= 1/2, in kFractionBits-bit fixed point.
struct ExactFraction {
  Limbs p;             // |fraction| * 2^kFractionBits
  int lead;            // position of its leading bit, -1 when it is zero
  unsigned quadrant;   // modulo 4
  std::uint32_t negative;  // 1 when the angle lies below the quadrant's multiple
};

// A positive finite angle above pi/4.
ExactFraction exact_fraction(double x) {
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
  ExactFraction out;
  Limbs& p = out.p;
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

  out.lead = -1;
  for (int i = kWindow - 1; i >= 0 && out.lead < 0; --i) {
    if (p[i] != 0) out.lead = 32 * i + 31 - std::countl_zero(p[i]);
  }
  out.quadrant = quadrant & 3;
  out.negative = past_half;
  return out;
}

// The same reduction as a double-double.
Reduced reduce(double x) {
  const ExactFraction f = exact_fraction(x);
  const Limbs& p = f.p;
  const int lead = f.lead;
  // The leading 106 bits of the fraction, truncated, as two doubles.
  if (lead < 0) return {{0.0, 0.0}, f.quadrant};  // no double lies on a multiple of pi/2
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
  return {with_sign(r, std::uint64_t{f.negative} << 63), f.quadrant};
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

// ---- Correctly rounded results (Ziv's strategy).
//
// A fast evaluation gives each value as a double-double with a bound on its
// error; when every number within that bound rounds to the same destination
// value, that value is the correctly rounded one. The rare angles that fail
// the test (about one in a few thousand) take an accurate evaluation in
// 192-bit integer arithmetic, within 2^-135 of the true values, relative
// (the reduction's window is exact to 2^-202, the rest of a double's
// quotient by pi/2 is above 2^-64): more than the hardest double arguments
// of sine and cosine need (about 2^-120).
//
// The fast evaluation splits the angle as k * pi/256 + r, |r| <= pi/512,
// and combines a table of sin(i pi/256) with short series in r.

// sin(i pi/256), i = 0 .. 128, as double-doubles: the cosine of step i is the
// sine of step 128 - i.
constexpr DD kSineSteps[] = {
    {0x0.0p+0, 0x0.0p+0},
    {0x1.921d1fcdec784p-7, 0x1.9878ebe836d9dp-61},
    {0x1.92155f7a3667ep-6, -0x1.b1d63091a0130p-64},
    {0x1.2d865759455cdp-5, 0x1.686f65ba93ac0p-61},
    {0x1.91f65f10dd814p-5, -0x1.912bd0d569a90p-61},
    {0x1.f656e79f820e0p-5, -0x1.2e1ebe392bffep-61},
    {0x1.2d52092ce19f6p-4, -0x1.9a088a8bf6b2cp-59},
    {0x1.5f6d00a9aa419p-4, -0x1.f4022d03f6c9ap-59},
    {0x1.917a6bc29b42cp-4, -0x1.e2718d26ed688p-60},
    {0x1.c3785c79ec2d5p-4, -0x1.4f39df133fb21p-61},
    {0x1.f564e56a9730ep-4, 0x1.a2704729ae56dp-59},
    {0x1.139f0cedaf577p-3, -0x1.523434d1b3cfap-57},
    {0x1.2c8106e8e613ap-3, 0x1.13000a89a11e0p-58},
    {0x1.45576b1293e5ap-3, -0x1.285a24119f7b1p-58},
    {0x1.5e214448b3fc6p-3, 0x1.531ff779ddac6p-57},
    {0x1.76dd9de50bf31p-3, 0x1.1d5eeec501b2fp-57},
    {0x1.8f8b83c69a60bp-3, -0x1.26d19b9ff8d82p-57},
    {0x1.a82a025b00451p-3, -0x1.87905ffd084adp-57},
    {0x1.c0b826a7e4f63p-3, -0x1.af1439e521935p-62},
    {0x1.d934fe5454311p-3, 0x1.75b92277107adp-57},
    {0x1.f19f97b215f1bp-3, -0x1.42deef11da2c4p-57},
    {0x1.04fb80e37fdaep-2, -0x1.412cdb72583ccp-63},
    {0x1.111d262b1f677p-2, 0x1.824c20ab7aa9ap-56},
    {0x1.1d3443f4cdb3ep-2, -0x1.720d41c13519ep-57},
    {0x1.294062ed59f06p-2, -0x1.5d28da2c4612dp-56},
    {0x1.35410c2e18152p-2, -0x1.3cb002f96e062p-56},
    {0x1.4135c94176601p-2, 0x1.0c97c4afa2518p-56},
    {0x1.4d1e24278e76ap-2, 0x1.2417218792858p-57},
    {0x1.58f9a75ab1fddp-2, -0x1.efdc0d58cf620p-62},
    {0x1.64c7ddd3f27c6p-2, 0x1.10d2b4a664121p-58},
    {0x1.7088530fa459fp-2, -0x1.44b19e0864c5dp-56},
    {0x1.7c3a9311dcce7p-2, 0x1.9a3f21ef3e8d9p-62},
    {0x1.87de2a6aea963p-2, -0x1.72cedd3d5a610p-57},
    {0x1.9372a63bc93d7p-2, 0x1.684319e5ad5b1p-57},
    {0x1.9ef7943a8ed8ap-2, 0x1.6da81290bdbabp-57},
    {0x1.aa6c82b6d3fcap-2, -0x1.d5f106ee5ccf7p-56},
    {0x1.b5d1009e15cc0p-2, 0x1.5b362cb974183p-57},
    {0x1.c1249d8011ee7p-2, -0x1.813aabb515206p-56},
    {0x1.cc66e9931c45ep-2, 0x1.6850e59c37f8fp-58},
    {0x1.d79775b86e389p-2, 0x1.550ec87bc0575p-56},
    {0x1.e2b5d3806f63bp-2, 0x1.e0d891d3c6841p-58},
    {0x1.edc1952ef78d6p-2, -0x1.dd0f7c33edee6p-56},
    {0x1.f8ba4dbf89abap-2, -0x1.2ec1fc1b776b8p-60},
    {0x1.01cfc874c3eb7p-1, -0x1.34a35e7c2368cp-56},
    {0x1.073879922ffeep-1, -0x1.a5a014347406cp-55},
    {0x1.0c9704d5d898fp-1, -0x1.8d3d7de6ee9b2p-55},
    {0x1.11eb3541b4b23p-1, -0x1.ef23b69abe4f1p-55},
    {0x1.1734d63dedb49p-1, -0x1.7eef2ccc50575p-55},
    {0x1.1c73b39ae68c8p-1, 0x1.b25dd267f6600p-55},
    {0x1.21a799933eb59p-1, -0x1.3a7b177c68fb2p-55},
    {0x1.26d054cdd12dfp-1, -0x1.5da743ef3770cp-55},
    {0x1.2bedb25faf3eap-1, -0x1.14981c796ee46p-58},
    {0x1.30ff7fce17035p-1, -0x1.efcc626f74a6fp-57},
    {0x1.36058b10659f3p-1, -0x1.1fcb3a35857e7p-55},
    {0x1.3affa292050b9p-1, 0x1.e3e25e3954964p-56},
    {0x1.3fed9534556d4p-1, 0x1.36916608c5061p-55},
    {0x1.44cf325091dd6p-1, 0x1.8076a2cfdc6b3p-57},
    {0x1.49a449b9b0939p-1, -0x1.27ee16d719b94p-55},
    {0x1.4e6cabbe3e5e9p-1, 0x1.3c293edceb327p-57},
    {0x1.5328292a35596p-1, -0x1.a12eb89da0257p-56},
    {0x1.57d69348ceca0p-1, -0x1.75720992bfbb2p-55},
    {0x1.5c77bbe65018cp-1, 0x1.069ea9c0bc32ap-55},
    {0x1.610b7551d2cdfp-1, -0x1.251b352ff2a37p-56},
    {0x1.6591925f0783dp-1, 0x1.c3d64fbf5de23p-55},
    {0x1.6a09e667f3bcdp-1, -0x1.bdd3413b26456p-55},
    {0x1.6e74454eaa8afp-1, -0x1.dbc03c84e226ep-55},
    {0x1.72d0837efff96p-1, 0x1.0d4ef0f1d915cp-55},
    {0x1.771e75f037261p-1, 0x1.5cfce8d84068fp-56},
    {0x1.7b5df226aafafp-1, -0x1.0f537acdf0ad7p-56},
    {0x1.7f8ece3571771p-1, -0x1.9c8d8ce93c917p-55},
    {0x1.83b0e0bff976ep-1, -0x1.6f420f8ea3475p-56},
    {0x1.87c400fba2ebfp-1, -0x1.2dabc0c3f64cdp-55},
    {0x1.8bc806b151741p-1, -0x1.2c5e12ed1336dp-55},
    {0x1.8fbcca3ef940dp-1, -0x1.6dfa99c86f2f1p-57},
    {0x1.93a22499263fbp-1, 0x1.3d419a920df0bp-55},
    {0x1.9777ef4c7d742p-1, -0x1.15479a240665ep-55},
    {0x1.9b3e047f38741p-1, -0x1.30ee286712474p-55},
    {0x1.9ef43ef29af94p-1, 0x1.b1dfcb60445c2p-56},
    {0x1.a29a7a0462782p-1, -0x1.128bb015df175p-56},
    {0x1.a63091b02fae2p-1, -0x1.e911152248d10p-56},
    {0x1.a9b66290ea1a3p-1, 0x1.9f630e8b6dac8p-60},
    {0x1.ad2bc9e21d511p-1, -0x1.47fbe07bea548p-55},
    {0x1.b090a58150200p-1, -0x1.926da300ffccep-55},
    {0x1.b3e4d3ef55712p-1, -0x1.eb6b8bf11a493p-55},
    {0x1.b728345196e3ep-1, -0x1.bc69f324e6d61p-55},
    {0x1.ba5aa673590d2p-1, 0x1.7ea4e370753b6p-55},
    {0x1.bd7c0ac6f952ap-1, -0x1.825a732ac700ap-55},
    {0x1.c08c426725549p-1, 0x1.b157fd80e2946p-58},
    {0x1.c38b2f180bdb1p-1, -0x1.6e0b1757c8d07p-56},
    {0x1.c678b3488739bp-1, 0x1.d86cac7c5ff5bp-57},
    {0x1.c954b213411f5p-1, -0x1.2fb761e946603p-58},
    {0x1.cc1f0f3fcfc5cp-1, 0x1.e57613b68f6abp-56},
    {0x1.ced7af43cc773p-1, -0x1.e7b6bb5ab58aep-58},
    {0x1.d17e7743e35dcp-1, -0x1.101da3540130ap-58},
    {0x1.d4134d14dc93ap-1, -0x1.4ef5295d25af2p-55},
    {0x1.d696173c9e68bp-1, -0x1.e8c61c6393d55p-56},
    {0x1.d906bcf328d46p-1, 0x1.457e610231ac2p-56},
    {0x1.db6526238a09bp-1, -0x1.adee7eae69460p-56},
    {0x1.ddb13b6ccc23cp-1, 0x1.83c37c6107db3p-55},
    {0x1.dfeae622dbe2bp-1, -0x1.514ea88425567p-55},
    {0x1.e212104f686e5p-1, -0x1.014c76c126527p-55},
    {0x1.e426a4b2bc17ep-1, 0x1.a873889744882p-55},
    {0x1.e6288ec48e112p-1, -0x1.16b56f2847754p-57},
    {0x1.e817bab4cd10dp-1, -0x1.d0afe686b5e0ap-56},
    {0x1.e9f4156c62ddap-1, 0x1.760b1e2e3f81ep-55},
    {0x1.ebbd8c8df0b74p-1, 0x1.c6c8c615e7277p-56},
    {0x1.ed740e7684963p-1, 0x1.e82c791f59cc2p-56},
    {0x1.ef178a3e473c2p-1, 0x1.6310a67fe774fp-55},
    {0x1.f0a7efb9230d7p-1, 0x1.52c7adc6b4989p-56},
    {0x1.f2252f7763adap-1, -0x1.20cb81c8d94abp-55},
    {0x1.f38f3ac64e589p-1, -0x1.d7bafb51f72e6p-56},
    {0x1.f4e603b0b2f2dp-1, -0x1.8ee01e695ac05p-56},
    {0x1.f6297cff75cb0p-1, 0x1.562172a361fd3p-56},
    {0x1.f7599a3a12077p-1, 0x1.84f31d743195cp-55},
    {0x1.f8764fa714ba9p-1, 0x1.ab256778ffcb6p-56},
    {0x1.f97f924c9099bp-1, -0x1.e2ae0eea5963bp-55},
    {0x1.fa7557f08a517p-1, -0x1.7a0a8ca13571fp-55},
    {0x1.fb5797195d741p-1, 0x1.1bfac7397cc08p-56},
    {0x1.fc26470e19fd3p-1, 0x1.1ec8668ecaceep-55},
    {0x1.fce15fd6da67bp-1, -0x1.5dd6f830d4c09p-56},
    {0x1.fd88da3d12526p-1, -0x1.87df6378811c7p-55},
    {0x1.fe1cafcbd5b09p-1, 0x1.a23e3202a884ep-57},
    {0x1.fe9cdad01883ap-1, 0x1.521ecd0c67e35p-57},
    {0x1.ff095658e71adp-1, 0x1.01a8ce18a4b9ep-55},
    {0x1.ff621e3796d7ep-1, -0x1.c57bc2e24aa15p-57},
    {0x1.ffa72effef75dp-1, -0x1.8b4cdcdb25956p-55},
    {0x1.ffd886084cd0dp-1, -0x1.1354d4556e4cbp-55},
    {0x1.fff62169b92dbp-1, 0x1.5dda3c81fbd0dp-55},
    {0x1.0000000000000p+0, 0x0.0p+0},
};

// sin(j pi/256) over the whole turn, j = 0 .. 511, from the steps above:
// the sine and the cosine of step k are entries k and k + 128 (modulo 512),
// signs and quadrant included, so that no evaluation swaps or negates its
// values. The leading parts apart from the rest: the float evaluation reads
// only those.
struct StepCircle {
  double hi[512], lo[512];
};
constexpr StepCircle make_step_circle() {
  StepCircle t = {};
  for (int j = 0; j < 512; ++j) {
    const int i = j & 127;
    const DD v = (j >> 7) & 1 ? kSineSteps[128 - i] : kSineSteps[i];
    const bool negative = (j >> 8) & 1;
    t.hi[j] = negative ? -v.hi : v.hi;
    t.lo[j] = negative ? -v.lo : v.lo;
  }
  return t;
}
constexpr StepCircle kStepCircle = make_step_circle();

constexpr double kStepsPerRadian = 0x1.45f306dc9c883p+6;  // 256/pi
// pi/256 in pieces of 26, 23 and 53 bits: the products of the first two with
// k < 2^27 are exact, the three within 2^-114 of pi/256.
constexpr double kStep1 = 0x1.921fb58000000p-7;
constexpr double kStep2 = -0x1.dde9740000000p-34;
constexpr double kStep3 = 0x1.1a62633145c07p-61;
// pi/256 in two pieces of 53 bits, within 2^-113, for fused multiply-adds.
constexpr double kFusedStep1 = 0x1.921fb54442d18p-7;
constexpr double kFusedStep2 = 0x1.1a62633145c07p-61;
// Below it k < 2^27; above it the exact reduction to a quadrant comes first.
constexpr double kStepLimit = 0x1.8p20;
// Below it the sine rounds to the angle and the cosine to 1 (in double and
// in float; |sin x - x| < x^3/6 stays under a quarter of the angle's last
// place, 1 - cos x under a quarter of the last place below 1).
constexpr double kSmallAngle = 0x1p-27;

struct StepReduced {
  std::uint32_t k;  // the step, modulo 512
  DD r;             // the angle minus k * pi/256
  double r_error;   // a bound on |r's error|
};

// |x| < kStepLimit. The product k * kStep1 is exact and the difference
// with x too (Sterbenz), and so is the two-sum with k * kStep2; what remains
// is the rounding of k * kStep3, of its sum with the low part, and the
// pieces' error: below (|k| + 1) * 2^-110 in all. Odd in x, as every step
// rounded to nearest is.
[[gnu::always_inline]] inline StepReduced reduce_steps(double x) {
  const double shifted = x * kStepsPerRadian + 0x1.8p52;
  const double kd = shifted - 0x1.8p52;
  const double t = x - kd * kStep1;
  const DD s = two_sum(t, -(kd * kStep2));
  const DD r = two_sum(s.hi, s.lo - kd * kStep3);
  return {static_cast<std::uint32_t>(std::bit_cast<std::uint64_t>(shifted)), r,
          (std::fabs(kd) + 1.0) * 0x1p-110};
}

// Angles from kStepLimit on: the exact reduction to a quadrant (its rest
// within 2^-100 relative, at most pi/4), then the steps within the quadrant.
[[gnu::noinline]] StepReduced reduce_steps_large(double ax) {
  const Reduced q = reduce(ax);
  const double shifted = q.r.hi * kStepsPerRadian + 0x1.8p52;  // j in [-64, 64]
  const double jd = shifted - 0x1.8p52;
  const double t = q.r.hi - jd * kStep1;
  const DD s = two_sum(t, -(jd * kStep2));
  const DD r = two_sum(s.hi, (s.lo + q.r.lo) - jd * kStep3);
  const auto j = static_cast<std::uint32_t>(std::bit_cast<std::uint64_t>(shifted));
  return {(q.quadrant << 7) + j, r, 0x1p-99};
}

// Sine and cosine, each hi + lo, with bounds on their errors.
struct Estimate {
  DD sine, cosine;
  double sine_error, cosine_error;
};

// Taylor coefficients: for |r| <= pi/512 the terms left out are below 2^-77
// of sin r and 2^-95 of cos r.
constexpr double kSin3 = -0x1.5555555555555p-3;
constexpr double kSin5 = 0x1.1111111111111p-7;
constexpr double kSin7 = -0x1.a01a01a01a01ap-13;
constexpr double kCos2 = -0x1.0000000000000p-1;
constexpr double kCos4 = 0x1.5555555555555p-5;
constexpr double kCos6 = -0x1.6c16c16c16c17p-10;
constexpr double kCos8 = 0x1.a01a01a01a01ap-16;

// The error of the evaluation comes from the roundings of the terms of the
// size of s r^2/2 or c r^2/2 (at most 2^-15.7 of the table's values): seven
// of them, each at most 2^-53 of its term, below 2^-51.2 (|s| + |c r|) r^2
// in all; the bound takes 2^-50. The table's and the series' own errors, and
// the roundings of the small terms, stay below 2^-100.
constexpr double kSeriesError = 0x1p-50;
constexpr double kTableError = 0x1p-100;

// sin(k pi/256 + r) and cos(k pi/256 + r). With s = sin(i pi/256) and
// c = cos(i pi/256) from the table, sin(b + r) = s + c r + (s (cos r - 1) +
// c (sin r - r)), and cos(b + r) = c - s r + (c (cos r - 1) - s (sin r - r)):
// the leading sums are exact (|s| >= |c r| but where s = 0, and the same for
// the cosine), the products c r and s r two-products, the rest small.
[[gnu::always_inline]] inline Estimate estimate(const StepReduced& red) {
  const std::uint32_t i = red.k & 511;
  const std::uint32_t j = (red.k + 128) & 511;
  const DD s = {kStepCircle.hi[i], kStepCircle.lo[i]};
  const DD c = {kStepCircle.hi[j], kStepCircle.lo[j]};
  const double rh = red.r.hi;
  const double rl = red.r.lo;
  const double z = rh * rh;
  const DD cr = two_prod(c.hi, rh);
  const DD sr = two_prod(s.hi, rh);
  DD sine = fast_two_sum(s.hi, cr.hi);
  DD cosine = fast_two_sum(c.hi, -sr.hi);
  const double fixed_error = red.r_error + kTableError;
  const double z_error = z * kSeriesError;
  const double sin_rest = rl + rh * (z * (kSin3 + z * (kSin5 + z * kSin7)));  // sin r - rh
  const double cos_rest = z * (kCos2 + z * (kCos4 + z * (kCos6 + z * kCos8))) - rh * rl;
  sine.lo += ((cr.lo + s.lo + c.lo * rh) + c.hi * sin_rest) + s.hi * cos_rest;
  cosine.lo += ((c.lo - sr.lo - s.lo * rh) - s.hi * sin_rest) + c.hi * cos_rest;
  const double sine_error = (std::fabs(s.hi) + std::fabs(cr.hi)) * z_error + fixed_error;
  const double cosine_error = (std::fabs(c.hi) + std::fabs(sr.hi)) * z_error + fixed_error;
  sine = fast_two_sum(sine.hi, sine.lo);
  cosine = fast_two_sum(cosine.hi, cosine.lo);
  return {sine, cosine, sine_error, cosine_error};
}

// The value rounded to the destination when every number within the error
// bound rounds to it.
inline bool settle(double* to, DD v, double error) {
  const double below = v.hi + (v.lo - error);
  const double above = v.hi + (v.lo + error);
  *to = below;
  return below == above;
}
inline bool settle(float* to, DD v, double error) {
  const double below = v.hi + (v.lo - error);
  const double above = v.hi + (v.lo + error);
  // The ends rounded to double and then to float round as the ends do
  // unless one of them landed on a float midpoint (low 29 bits 1000...0).
  const float low = static_cast<float>(below);
  *to = low;
  auto on_midpoint = [](double d) {
    return (std::bit_cast<std::uint64_t>(d) & 0x1FFFFFFF) == 0x10000000;
  };
  return low == static_cast<float>(above) && !on_midpoint(below) && !on_midpoint(above);
}

// ---- The accurate evaluation, in 192-bit fixed point.

struct Wide {
  std::uint64_t w[3];  // little-endian; the value is w / 2^191
};

// a * b as a 128-bit number.
struct U128 {
  std::uint64_t lo, hi;
};
inline U128 mul_wide(std::uint64_t a, std::uint64_t b) {
#if defined(__SIZEOF_INT128__)
  __extension__ using Product = unsigned __int128;
  const Product p = static_cast<Product>(a) * b;
  return {static_cast<std::uint64_t>(p), static_cast<std::uint64_t>(p >> 64)};
#else
  const std::uint64_t a0 = a & 0xFFFFFFFF, a1 = a >> 32, b0 = b & 0xFFFFFFFF, b1 = b >> 32;
  const std::uint64_t p00 = a0 * b0, p01 = a0 * b1, p10 = a1 * b0, p11 = a1 * b1;
  const std::uint64_t mid = (p00 >> 32) + (p01 & 0xFFFFFFFF) + (p10 & 0xFFFFFFFF);
  return {(mid << 32) | (p00 & 0xFFFFFFFF), p11 + (p01 >> 32) + (p10 >> 32) + (mid >> 32)};
#endif
}

inline bool less(U128 a, U128 b) {
  return a.hi < b.hi || (a.hi == b.hi && a.lo < b.lo);
}
inline U128 add(U128 a, U128 b) {
  const std::uint64_t lo = a.lo + b.lo;
  return {lo, a.hi + b.hi + (lo < a.lo)};
}

// a * b / 2^191, truncated, less at most 2 units: the product's columns from
// 2^64 on (the lowest product only carries into the part cut off).
inline Wide mul(const Wide& a, const Wide& b) {
  // Each column as a 128-bit sum and a count of its overflows.
  const U128 p01 = mul_wide(a.w[0], b.w[1]);
  const U128 p10 = mul_wide(a.w[1], b.w[0]);
  const U128 p02 = mul_wide(a.w[0], b.w[2]);
  const U128 p11 = mul_wide(a.w[1], b.w[1]);
  const U128 p20 = mul_wide(a.w[2], b.w[0]);
  const U128 p12 = mul_wide(a.w[1], b.w[2]);
  const U128 p21 = mul_wide(a.w[2], b.w[1]);
  const U128 p22 = mul_wide(a.w[2], b.w[2]);
  // Column 1 (weight 2^64): only its carry into column 2 is kept.
  const U128 col = add(p01, p10);
  // Column 2 (weight 2^128).
  const U128 c2 = {col.hi, less(col, p01)};
  const U128 t = add(c2, p02);
  const U128 u = add(t, p11);
  const U128 v = add(u, p20);
  const std::uint64_t w2 = v.lo;
  // Column 3 (weight 2^192).
  const U128 c3 = {v.hi, std::uint64_t{less(t, c2)} + less(u, t) + less(v, u)};
  const U128 t3 = add(c3, p12);
  const U128 u3 = add(t3, p21);
  const std::uint64_t w3 = u3.lo;
  // Column 4 (weight 2^256) and the top.
  const U128 c4 = add(U128{u3.hi, std::uint64_t{less(t3, c3)} + less(u3, t3)}, p22);
  const std::uint64_t w4 = c4.lo;
  const std::uint64_t w5 = c4.hi;
  return {{w2 >> 63 | w3 << 1, w3 >> 63 | w4 << 1, w4 >> 63 | w5 << 1}};
}

inline Wide sub(const Wide& a, const Wide& b) {  // a >= b
  Wide d;
  std::uint64_t borrow = 0;
  for (int i = 0; i < 3; ++i) {
    const std::uint64_t t = a.w[i] - b.w[i];
    const std::uint64_t b1 = a.w[i] < b.w[i];
    d.w[i] = t - borrow;
    borrow = b1 | (t < borrow);
  }
  return d;
}

// a / 2^n, truncated.
inline Wide shift_right(const Wide& a, int n) {
  Wide r = {{0, 0, 0}};
  const int limbs = n / 64;
  const int bits = n % 64;
  for (int i = 0; i + limbs < 3; ++i) {
    std::uint64_t v = a.w[i + limbs] >> bits;
    if (bits != 0 && i + limbs + 1 < 3) v |= a.w[i + limbs + 1] << (64 - bits);
    r.w[i] = v;
  }
  return r;
}

// 1/n! for n = 0 .. 35, truncated, computed by the compiler: each from the
// previous one by a long division in 32-bit steps.
struct InverseFactorials {
  Wide v[36];
};
constexpr InverseFactorials make_inverse_factorials() {
  InverseFactorials f = {};
  Wide x = {{0, 0, std::uint64_t{1} << 63}};
  f.v[0] = x;
  for (std::uint64_t n = 1; n < 36; ++n) {
    std::uint64_t rem = 0;
    for (int i = 2; i >= 0; --i) {
      const std::uint64_t hi = (rem << 32) | (x.w[i] >> 32);
      const std::uint64_t qhi = hi / n;
      rem = hi % n;
      const std::uint64_t lo = (rem << 32) | (x.w[i] & 0xFFFFFFFF);
      const std::uint64_t qlo = lo / n;
      rem = lo % n;
      x.w[i] = (qhi << 32) | qlo;
    }
    f.v[n] = x;
  }
  return f;
}
constexpr InverseFactorials kInverseFactorials = make_inverse_factorials();

// pi/4 as a Wide (pi/2 * 2^190), truncated; printed by the script at the end.
constexpr Wide kWideQuarterPi = {{0x948127044533E63A, 0x62633145C06E0E68, 0x6487ED5110B4611A}};

// A positive number m * 2^(e - 190) with m's leading bit at 190.
struct WideFloat {
  Wide m;
  int e;
};

// m * 2^(e - 190) for a nonzero m, its leading bit moved to 190.
inline WideFloat normalised(Wide m, int e) {
  int top = 191;
  for (int i = 2; i >= 0; --i) {
    if (m.w[i] != 0) {
      top = 64 * i + 63 - std::countl_zero(m.w[i]);
      break;
    }
    top -= 64;
  }
  if (top > 190) return {shift_right(m, top - 190), e + (top - 190)};
  int n = 190 - top;
  for (; n >= 64; n -= 64) m = {{0, m.w[0], m.w[1]}};
  if (n > 0) m = {{m.w[0] << n, m.w[1] << n | m.w[0] >> (64 - n), m.w[2] << n | m.w[1] >> (64 - n)}};
  return {m, e - (190 - top)};
}

struct WideSinCos {
  WideFloat sine, cosine;  // magnitudes
  std::uint32_t sine_negative, cosine_negative;
};

// Both values of a positive finite angle (at least kSmallAngle).
[[gnu::noinline]] WideSinCos wide_sin_cos(double ax) {
  // r = |the angle minus the nearest multiple of pi/2| as a WideFloat.
  WideFloat r;
  unsigned quadrant = 0;
  std::uint32_t negative = 0;
  const std::uint64_t b = std::bit_cast<std::uint64_t>(ax);
  if (ax <= kQuarterPi) {
    const std::uint64_t m = (b & ((std::uint64_t{1} << 52) - 1)) | std::uint64_t{1} << 52;
    r = {{{0, 0, m << 10}}, static_cast<int>(b >> 52) - 1023};
  } else {
    const ExactFraction f = exact_fraction(ax);
    // The leading 192 bits of the fraction (the fraction of a double is
    // above 2^-64, so its lead stays above bit 200 of the window), as a
    // Wide in [1, 2) times 2^(f.lead - kFractionBits); times pi/4 and 2.
    const Wide lead = {{bits_at(f.p, f.lead - 191), bits_at(f.p, f.lead - 127),
                        bits_at(f.p, f.lead - 63)}};
    r = normalised(mul(lead, kWideQuarterPi), f.lead - kFractionBits);
    quadrant = f.quadrant;
    negative = f.negative;
  }
  // z = r^2 as a Wide: m^2 / 2^191 * 2^(2e + 2), r < 1 so e < 0.
  const int z_shift = -2 * (r.e + 1);
  const Wide z = z_shift >= 192 ? Wide{{0, 0, 0}} : shift_right(mul(r.m, r.m), z_shift);
  // Horner's scheme with every partial sum positive: 1/(2k+1)! - z * (...).
  const auto& f = kInverseFactorials.v;
  Wide s = f[35];
  Wide c = f[34];
  for (int k = 16; k >= 0; --k) {
    s = sub(f[2 * k + 1], mul(z, s));
    c = sub(f[2 * k], mul(z, c));
  }
  const WideFloat sin_r = normalised(mul(r.m, s), r.e);
  const WideFloat cos_r = normalised(c, -1);
  // Swap in odd quadrants; the sine of a negative rest is negative.
  const bool swap = quadrant & 1;
  const std::uint32_t sin_r_negative = negative;
  WideSinCos out;
  out.sine = swap ? cos_r : sin_r;
  out.cosine = swap ? sin_r : cos_r;
  const std::uint32_t sine_of_rest = swap ? 0 : sin_r_negative;
  const std::uint32_t cosine_of_rest = swap ? sin_r_negative : 0;
  out.sine_negative = sine_of_rest ^ ((quadrant >> 1) & 1);
  out.cosine_negative = cosine_of_rest ^ (((quadrant + 1) >> 1) & 1);
  return out;
}

// Rounded to nearest from the bits: no result of a nonzero angle lies within
// 2^-130 of a rounding boundary, so the first bit below the last place decides.
inline void round_wide(double* to, const WideFloat& v, std::uint32_t negative) {
  std::uint64_t m = (v.m.w[2] >> 10) + ((v.m.w[2] >> 9) & 1);
  int e = v.e;
  if (m >> 53) {
    m >>= 1;
    ++e;
  }
  const std::uint64_t bits = std::uint64_t{negative} << 63 |
                             static_cast<std::uint64_t>(e + 1023) << 52 |
                             (m & ((std::uint64_t{1} << 52) - 1));
  *to = std::bit_cast<double>(bits);
}
inline void round_wide(float* to, const WideFloat& v, std::uint32_t negative) {
  std::uint32_t m = static_cast<std::uint32_t>((v.m.w[2] >> 39) + ((v.m.w[2] >> 38) & 1));
  int e = v.e;
  if (m >> 24) {
    m >>= 1;
    ++e;
  }
  const std::uint32_t bits = negative << 31 | static_cast<std::uint32_t>(e + 127) << 23 |
                             (m & ((1u << 23) - 1));
  *to = std::bit_cast<float>(bits);
}

// ---- Float results: a plain-double evaluation.

// The float sine and cosine of an angle of magnitude from kSmallAngle to
// kStepLimit, in plain double arithmetic; false where the rounding test fails
// (for float angles 162 positive floats and their negatives, found by trying
// them all), which leaves the destinations unset. Every step is odd in the
// angle (rounding to nearest is), so a negative angle gives exactly the
// negated sine of its magnitude.
//
// x - k pi/256 with pi/256 in three pieces is exact up to the two last
// subtractions and the product with the third piece (x - k piece1 has no
// more bits than a double holds once k > 0, and none is lost for k = 0): r is
// within 2^-51.9 |r| + 2^-86, relative 2^-51.8 once |r| >= 2^-30 (smaller
// rests only occur next to a multiple of pi/2, k != 0, and take the accurate
// path). With s, c from the table and the series to r^5 and r^6, each value
// is s + c r + small or c - s r + small, at least a third of |s| + |c r|
// where the table entry is not zero; all roundings together stay below
// 2^-48.9 of the value, fewer than 32 units of its last place. A value more
// than 64 units from a float midpoint therefore rounds as the exact value
// does, and the conversion to float (to nearest, as the caller's state was
// checked to be) rounds it so: both values are normal floats, at least
// sin(2^-27) in magnitude and at most 1, so flushing modes do not apply.

[[gnu::always_inline]] inline bool float_sin_cos(float* sine, float* cosine, double x) {
  const double shifted = x * kStepsPerRadian + 0x1.8p52;
  const double kd = shifted - 0x1.8p52;
  const double t = x - kd * kStep1;
  const double u = t - kd * kStep2;
  const double r = u - kd * kStep3;
  const auto k = static_cast<std::uint32_t>(std::bit_cast<std::uint64_t>(shifted));
  const double s = kStepCircle.hi[k & 511];
  const double c = kStepCircle.hi[(k + 128) & 511];
  const double z = r * r;
  const double sin_rest = r * (z * (kSin3 + z * kSin5));          // sin r - r
  const double cos_rest = z * (kCos2 + z * (kCos4 + z * kCos6));  // cos r - 1
  const double sine_value = s + (c * r + (c * sin_rest + s * cos_rest));
  const double cosine_value = c - (s * r - (c * cos_rest - s * sin_rest));
  auto near_midpoint = [](double v) {
    return ((std::bit_cast<std::uint64_t>(v) + (64 - 0x10000000)) & 0x1FFFFFFF) <= 128;
  };
  if (near_midpoint(sine_value) | near_midpoint(cosine_value) | (std::fabs(r) < 0x1p-30)) {
    return false;
  }
  // The cosine first: when both pointers name one variable it keeps the sine.
  *cosine = static_cast<float>(cosine_value);
  *sine = static_cast<float>(sine_value);
  return true;
}

#if TARN_EXACT_FUSED_CHOICE
// Double results with fused multiply-adds (fused_evaluations.inc): a shorter
// evaluation than the plain form's, exact where fused operations allow, and
// a rounding test relative to the value: one fused multiply-add and one
// compare per result instead of a bound computed per call. Its results are
// the same correctly rounded bits; only the few angles left to the caller
// differ.
//
// Reduction, with pi/256 in three pieces of 53 bits (within 2^-166), below
// 1.25 * 2^26 steps:
// - x - k * piece1 is exact: k * piece1 is a multiple of 2^-59, and so is x
//   from 2^-7 on (below, k is 0 or the difference is a multiple of 2^-60 and
//   still under 2^-7); the difference is below 2^-7, so 53 bits hold it.
// - Its fast two-sum with -(k * piece2) is exact once |r| >= 2^-30 (the
//   product is below 2^-34), which the test at the end requires.
// - What remains is rounded twice, each within 2^-53 of a value below
//   2^-53 |r| + 2^-85; with the pieces' own error r is within 2^-104 |r|.
//   Smaller rests (next to a multiple of pi/256) go behind the call, where
//   the bound follows r's absolute error.
//
// Evaluation: sin(b + r) = s + c r + (c (sin r - r) + s (cos r - 1)) with
// s, c the table's entries for b, as in the plain form; cos r - 1 stops at
// its r^6 term (the next stays below 2^-74 of the value). Its roundings stay
// below 2^-51.2 (|s| + |c r|) r^2, and |s| + |c r| is at most three times the
// value (the worst is one step, r = -pi/512), with r^2 <= 2^-14.69: below
// 2^-64.2 of the value in all, the table's 2^-100 and the reduction's error
// included (the value is above 2^-7.4 unless its first table entry is zero,
// where the other is +-1 exactly).
//
// Rounding test: with y = yh + yl within e of the value, relative, rounding
// yh + yl * (1 + 2^-9) to yh leaves the whole interval on yh's side of both
// midpoints, provided 2^54 e <= 1 - 1 / (1 + 2^-9) (half a unit on either
// side of yh is at least 2^-54 |yh|, one below a power of two too), which
// 2^-64.2 meets with room.
//
// Nothing is subnormal, so flushing modes do not apply: the angle is at
// least 2^-27; every value of the reduction is zero or a multiple of 2^-169
// and r is nonzero past the test; the evaluation multiplies at most a few
// such values, table entries (zero or above 2^-64) and coefficients, so
// every nonzero intermediate stays above 2^-800. Operations exact by
// construction give the same value in any rounding mode and raise nothing.
constexpr double kRelativeStep3 = -0x1.f1976b7ed8fbcp-117;
constexpr double kRoundingTestFactor = 1.0 + 0x1p-9;
constexpr double kSmallestRest = 0x1p-30;

// The same evaluation with plain fused multiply-adds, in a state checked to
// round to nearest and trap nothing; inlined into the fused form's target,
// where __builtin_fma is one instruction.
namespace fused {
using V = double;
using Flag = bool;
[[gnu::always_inline]] inline V constant(double v) {
  return v;
}
[[gnu::always_inline]] inline V load(const double* p) {
  return *p;
}
[[gnu::always_inline]] inline void store(double* to, V v) {
  *to = v;
}
[[gnu::always_inline]] inline void store_float(float* to, V v) {
  *to = static_cast<float>(v);
}
[[gnu::always_inline]] inline std::uint64_t bits(V v) {
  return std::bit_cast<std::uint64_t>(v);
}
[[gnu::always_inline]] inline V add(V a, V b) {
  return a + b;
}
[[gnu::always_inline]] inline V sub(V a, V b) {
  return a - b;
}
[[gnu::always_inline]] inline V mul(V a, V b) {
  return a * b;
}
[[gnu::always_inline]] inline V fma(V a, V b, V c) {
  return __builtin_fma(a, b, c);
}
[[gnu::always_inline]] inline V fms(V a, V b, V c) {
  return __builtin_fma(a, b, -c);
}
[[gnu::always_inline]] inline V fnma(V a, V b, V c) {
  return __builtin_fma(-a, b, c);
}
// Exact here: the same operations.
[[gnu::always_inline]] inline V exact_add(V a, V b) {
  return add(a, b);
}
[[gnu::always_inline]] inline V exact_sub(V a, V b) {
  return sub(a, b);
}
[[gnu::always_inline]] inline V exact_fms(V a, V b, V c) {
  return fms(a, b, c);
}
[[gnu::always_inline]] inline V exact_fnma(V a, V b, V c) {
  return fnma(a, b, c);
}
[[gnu::always_inline]] inline V magnitude(V v) {
  return std::fabs(v);
}
[[gnu::always_inline]] inline Flag at_least(V v, double bound) {
  return v >= bound;
}
[[gnu::always_inline]] inline Flag rounds_to(V a, V b, Flag so_far) {
  return so_far & (a == b);
}
[[gnu::always_inline]] inline bool holds(Flag f) {
  return f;
}
#define TARN_FUSED_TARGET
#include "fused_evaluations.inc"
#undef TARN_FUSED_TARGET
}  // namespace fused

// The evaluations with AVX-512's rounding carried by each operation: to
// nearest, every exception suppressed. Neither the caller's rounding mode
// nor its exception masks reach them, so they need no state read.
// Flush-to-zero and denormals-are-zero still apply, but nothing is
// subnormal: for double results see above; for float results the angle is
// normal; 128 x is a double, and no double lies within 2^-62 of a multiple
// of pi/2, so a nonzero step leaves |r| above 2^-70 (step 0 leaves r = x);
// table entries are zero or above 2^-7. Every exact intermediate is thus
// zero or a multiple of 2^-400, far from 2^-1022, and both values are
// normal floats.
namespace embedded {
constexpr int kNearest = _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC;

[[gnu::always_inline, gnu::target("avx512f")]] inline __m128d constant(double v) {
  return _mm_set_sd(v);
}
[[gnu::always_inline, gnu::target("avx512f")]] inline __m128d fma(__m128d a, __m128d b, __m128d c) {
  return _mm_fmadd_round_sd(a, b, c, kNearest);
}
[[gnu::always_inline, gnu::target("avx512f")]] inline __m128d fms(__m128d a, __m128d b, __m128d c) {
  return _mm_fmsub_round_sd(a, b, c, kNearest);
}
[[gnu::always_inline, gnu::target("avx512f")]] inline __m128d mul(__m128d a, __m128d b) {
  return _mm_mul_round_sd(a, b, kNearest);
}
[[gnu::always_inline, gnu::target("avx512f")]] inline __m128d add(__m128d a, __m128d b) {
  return _mm_add_round_sd(a, b, kNearest);
}
[[gnu::always_inline, gnu::target("avx512f")]] inline __m128d sub(__m128d a, __m128d b) {
  return _mm_sub_round_sd(a, b, kNearest);
}
[[gnu::always_inline, gnu::target("avx512f")]] inline __m128d fnma(__m128d a, __m128d b,
                                                                     __m128d c) {
  return _mm_fnmadd_round_sd(a, b, c, kNearest);
}
[[gnu::always_inline, gnu::target("avx512f")]] inline __m128d magnitude(__m128d v) {
  return _mm_and_pd(v, constant(std::bit_cast<double>(~std::uint64_t{0} >> 1)));
}
[[gnu::always_inline, gnu::target("avx512f")]] inline std::uint64_t bits(__m128d v) {
  return static_cast<std::uint64_t>(_mm_cvtsi128_si64(_mm_castpd_si128(v)));
}

// The angle in the low lane, taken from the register it arrives in (a trip
// through its bits would lengthen the chain of latency). A float widens by a
// conversion that suppresses exceptions too (it would signal only a
// signalling NaN or a denormal, neither of which comes here).
[[gnu::always_inline, gnu::target("avx512f")]] inline __m128d angle(double x) {
  __m128d v;  // the upper lane left as it is: no operation reads it
  __asm__("" : "=v"(v) : "0"(x));
  return v;
}
[[gnu::always_inline, gnu::target("avx512f")]] inline __m128d angle(float x) {
  __m128 v;
  __asm__("" : "=v"(v) : "0"(x));
  return _mm_cvt_roundss_sd(_mm_castps_pd(v), v, _MM_FROUND_NO_EXC);
}

// The operations of the evaluations: rounding carried by each one; the exact
// ones ordinary instructions, some with their constant in memory.
using V = __m128d;
using Flag = __mmask8;
[[gnu::always_inline, gnu::target("avx512f")]] inline V load(const double* p) {
  return _mm_load_sd(p);
}
[[gnu::always_inline, gnu::target("avx512f")]] inline void store(double* to, V v) {
  _mm_store_sd(to, v);
}
[[gnu::always_inline, gnu::target("avx512f")]] inline void store_float(float* to, V v) {
  _mm_store_ss(to, _mm_cvt_roundsd_ss(_mm_castpd_ps(v), v, kNearest));
}
[[gnu::always_inline, gnu::target("avx512f")]] inline V exact_add(V a, V b) {
  return _mm_add_sd(a, b);
}
[[gnu::always_inline, gnu::target("avx512f")]] inline V exact_sub(V a, V b) {
  return _mm_sub_sd(a, b);
}
[[gnu::always_inline, gnu::target("avx512f,fma")]] inline V exact_fms(V a, V b, V c) {
  return _mm_fmsub_sd(a, b, c);
}
[[gnu::always_inline, gnu::target("avx512f,fma")]] inline V exact_fnma(V a, V b, V c) {
  return _mm_fnmadd_sd(a, b, c);
}
// Compares that signal nothing (no operand is a NaN, exceptions are
// suppressed), chained through the mask.
[[gnu::always_inline, gnu::target("avx512f")]] inline Flag at_least(V v, double bound) {
  return _mm_cmp_round_sd_mask(v, constant(bound), _CMP_GE_OQ, _MM_FROUND_NO_EXC);
}
[[gnu::always_inline, gnu::target("avx512f")]] inline Flag rounds_to(V a, V b, Flag so_far) {
  return _mm_mask_cmp_round_sd_mask(so_far, a, b, _CMP_EQ_OQ, _MM_FROUND_NO_EXC);
}
[[gnu::always_inline, gnu::target("avx512f")]] inline bool holds(Flag f) {
  return f & 1;
}
#define TARN_FUSED_TARGET [[gnu::target("avx512f,avx512vl,fma")]]
#include "fused_evaluations.inc"
#undef TARN_FUSED_TARGET
}  // namespace embedded
#endif

// Both results of a positive finite angle from kSmallAngle on, the sine for
// the angle's magnitude; the caller holds round-to-nearest double arithmetic.
template <typename Result>
[[gnu::always_inline]] inline void correctly_rounded(Result* sine, Result* cosine, double ax) {
  if constexpr (std::is_same_v<Result, float>) {
    if (ax < kStepLimit && float_sin_cos(sine, cosine, ax)) return;
  }
  const StepReduced red = ax < kStepLimit ? reduce_steps(ax) : reduce_steps_large(ax);
  const Estimate est = estimate(red);
  Result s, c;
  const bool settled = settle(&s, est.sine, est.sine_error);
  if (settle(&c, est.cosine, est.cosine_error) && settled) {
    *sine = s;
    *cosine = c;
    return;
  }
  const WideSinCos w = wide_sin_cos(ax);
  round_wide(sine, w.sine, w.sine_negative);
  round_wide(cosine, w.cosine, w.cosine_negative);
}

// True when the calling thread's floating-point state gives every double
// operation of the evaluation its round-to-nearest result and traps nothing,
// so that it runs in that state with no control register written. Flushing
// subnormals may be on: from kSmallAngle on, no operand or result of the
// evaluation is subnormal.
inline bool state_is_usable() {
#if defined(TARN_SSE2_DOUBLE_MATH)
  std::uint32_t csr;
  __asm__ volatile("stmxcsr %0" : "=m"(csr) : : "memory");
  return (csr & 0x7F80) == 0x1F80;  // round to nearest, every exception masked
#elif defined(TARN_X86_32) && defined(TARN_GNU_C)
  std::uint16_t cw;
  __asm__ volatile("fnstcw %0" : "=m"(cw) : : "memory");
  return (cw & 0x0F3F) == 0x023F;  // 53-bit precision, to nearest, all masked
#elif defined(TARN_ARM64_GNU_ASM)
  std::uint64_t fpcr;
  __asm__ volatile("mrs %0, fpcr" : "=r"(fpcr) : : "memory");
  return (fpcr & ((std::uint64_t{3} << 22) | 0x9F00)) == 0;  // to nearest, no trap enabled
#else
  return false;
#endif
}

// The sine of a double below kSmallAngle in magnitude rounded to float:
// the angle less a little, rounded in integers (so that no flushing of
// subnormal floats applies). The rest below the float's last place rounds up
// only when it exceeds half of it: at exactly half, the little lost decides.
inline float small_sine(double x) {
  const std::uint64_t b = std::bit_cast<std::uint64_t>(x);
  const auto sign = static_cast<std::uint32_t>(b >> 32) & 0x80000000u;
  const int e = static_cast<int>((b >> 52) & 0x7FF) - 1023;  // below -27
  const std::uint64_t m = e == -1023 ? (b & ((std::uint64_t{1} << 52) - 1)) << 1
                                     : (b & ((std::uint64_t{1} << 52) - 1)) | std::uint64_t{1} << 52;
  const int shift = e >= -126 ? 29 : 29 + (-126 - std::max(e, -1022));
  if (shift >= 64) return std::bit_cast<float>(sign);
  const std::uint64_t kept = m >> shift;
  const std::uint64_t rest = m & ((std::uint64_t{1} << shift) - 1);
  const std::uint64_t up = rest > (std::uint64_t{1} << (shift - 1));
  const std::uint64_t magnitude =
      e >= -126 ? (static_cast<std::uint64_t>(e + 127) << 23) + (kept - (std::uint64_t{1} << 23))
                : kept;
  return std::bit_cast<float>(sign | static_cast<std::uint32_t>(magnitude + up));
}

// Every angle, from its bits: the tests before the state is known are on the
// bits, since a comparison of a subnormal angle would raise the denormal
// exception, which may be unmasked.
template <typename Result>
[[gnu::noinline, gnu::cold]] void sin_cos_rounded(Result* sine, Result* cosine,
                                                  std::uint64_t bits) {
  // The angle as a double only once a scope is set up: the x87 unit signals
  // the load of a subnormal or signalling NaN.
  auto angle = [&bits] {
    std::uint64_t kept = bits;
#if defined(TARN_GNU_C)
    __asm__ volatile("" : "+m"(kept) : : "memory");
#endif
    double value;
    std::memcpy(&value, &kept, sizeof value);
    return value;
  };
  const std::uint64_t magnitude = bits & ~(std::uint64_t{1} << 63);
  if (magnitude >= std::uint64_t{0x7FF} << 52) {
    // NaN for NaN and infinite angles, without touching errno; infinity
    // minus infinity must not trap.
    [[maybe_unused]] ArithmeticScope scope;
    const Result nan = static_cast<Result>(angle() - angle());
    *cosine = nan;
    *sine = nan;
    return;
  }
  if (magnitude < std::bit_cast<std::uint64_t>(kSmallAngle)) {
    // Of a double the sine rounds to the angle itself. The x87 unit signals
    // underflow on storing a subnormal result, which may be unmasked: the
    // stores are inside a scope.
    [[maybe_unused]] SmallAngleScope scope;
    Result s;
    if constexpr (std::is_same_v<Result, double>) {
      s = angle();
    } else {
      s = small_sine(angle());
    }
    *cosine = 1;
    *sine = s;
    return;
  }
  const double ax = std::bit_cast<double>(magnitude);
  Result s, c;
  if (state_is_usable()) {
    correctly_rounded(&s, &c, ax);
  } else {
    [[maybe_unused]] ArithmeticScope scope;
    correctly_rounded(&s, &c, after_setup(ax));
  }
  if (magnitude != bits) s = -s;
  // The cosine first: when both pointers name one variable it keeps the sine.
  *cosine = c;
  *sine = s;
}

// A float angle's bits as a double's: subnormal angles too, which a
// conversion would flush where denormals-are-zero is on (and the x87 unit
// would signal as denormal operands).
inline std::uint64_t widened(std::uint32_t bits) {
  const std::uint64_t sign = std::uint64_t{bits >> 31} << 63;
  const std::uint32_t magnitude = bits & 0x7FFFFFFF;
  std::uint64_t wide;
  if (magnitude >= 0x7F800000) {
    wide = std::uint64_t{0x7FF} << 52 | std::uint64_t{magnitude & 0x7FFFFF} << 29;
  } else if (magnitude >= 0x00800000) {
    wide = (std::uint64_t{magnitude} + (std::uint64_t{1023 - 127} << 23)) << 29;
  } else if (magnitude != 0) {
    const int lead = 31 - std::countl_zero(magnitude);  // the value is magnitude * 2^-149
    wide = static_cast<std::uint64_t>(lead - 149 + 1023) << 52 |
           ((std::uint64_t{magnitude} << (52 - lead)) & ((std::uint64_t{1} << 52) - 1));
  } else {
    wide = 0;
  }
  return sign | wide;
}

// The double-double estimate of an angle of magnitude from kSmallAngle to
// kStepLimit, rounded where the rounding test settles both values; false
// otherwise.
[[gnu::always_inline]] inline bool double_sin_cos(double* sine, double* cosine, double x) {
  const Estimate est = estimate(reduce_steps(x));
  double s, c;
  const bool settled = settle(&s, est.sine, est.sine_error);
  if (!(settle(&c, est.cosine, est.cosine_error) && settled)) return false;
  *cosine = c;
  *sine = s;
  return true;
}

// The common path's evaluation, plain or fused.
template <bool kFused, bool kFloatAngle, typename Result>
[[gnu::always_inline]] inline bool step_sin_cos(Result* sine, Result* cosine, double x) {
#if TARN_EXACT_FUSED_CHOICE
  if constexpr (kFused) {
    if constexpr (std::is_same_v<Result, float>) {
      return fused::float_sin_cos<kFloatAngle>(sine, cosine, x);
    } else {
      return fused::double_sin_cos(sine, cosine, x);
    }
  }
#endif
  if constexpr (std::is_same_v<Result, float>) {
    return float_sin_cos(sine, cosine, x);
  } else {
    return double_sin_cos(sine, cosine, x);
  }
}

// The common case without a call or a stack frame: a moderate angle in a
// state where the evaluation needs no control register written. Everything
// else (other angles, other states, results the rounding test leaves open)
// is behind a call. Bits are the angle's, as it arrived: a float angle in
// the range is normal, so its widening is exact and nothing flushes it.
template <typename Bits>
using AngleOf = std::conditional_t<std::is_same_v<Bits, std::uint32_t>, float, double>;

// A magnitude from kSmallAngle to below kStepLimit, decided on the bits.
template <typename Bits>
[[gnu::always_inline]] inline bool in_step_range(Bits bits) {
  constexpr Bits kMagnitude = static_cast<Bits>(~Bits{0}) >> 1;
  constexpr Bits kLow = std::bit_cast<Bits>(static_cast<AngleOf<Bits>>(kSmallAngle));
  constexpr Bits kHigh = std::bit_cast<Bits>(static_cast<AngleOf<Bits>>(kStepLimit));
  return static_cast<Bits>((bits & kMagnitude) - kLow) < kHigh - kLow;
}

template <typename Result, typename Bits>
[[gnu::always_inline]] inline void sin_cos_behind_call(Result* sine, Result* cosine, Bits bits) {
  if constexpr (std::is_same_v<Bits, std::uint32_t>) {
    sin_cos_rounded(sine, cosine, widened(bits));
  } else {
    sin_cos_rounded(sine, cosine, bits);
  }
}

template <bool kFused, typename Result, typename Bits>
[[gnu::always_inline]] inline void sin_cos_of_bits(Result* sine, Result* cosine, Bits bits) {
  if (in_step_range(bits) && state_is_usable()) {
    const double x = std::bit_cast<AngleOf<Bits>>(bits);
    constexpr bool kFloatAngle = std::is_same_v<Bits, std::uint32_t>;
    if (step_sin_cos<kFused, kFloatAngle>(sine, cosine, x)) return;
  }
  sin_cos_behind_call(sine, cosine, bits);
}
}  // namespace

namespace tarn::trig {
ExactSinCos exact_sin_cos(double angle) {
  [[maybe_unused]] ArithmeticScope scope;
  const SinCos v = sin_cos(after_setup(angle));
  return {v.sine.hi, v.sine.lo, v.cosine.hi, v.cosine.lo};
}
}  // namespace tarn::trig

#if TARN_EXACT_FUSED_CHOICE
// Each export in two forms, the angle's bits read where it arrives (a copy
// of a float argument through the x87 unit would signal on subnormals).
namespace {
template <typename Result, typename Angle>
void sin_cos_plain(Result* sine, Result* cosine, Angle angle) {
  sin_cos_of_bits<false>(sine, cosine, tarn::trig::bits_of(angle));
}
template <typename Result, typename Angle>
[[gnu::target("fma")]] void sin_cos_fused(Result* sine, Result* cosine, Angle angle) {
  sin_cos_of_bits<true>(sine, cosine, tarn::trig::bits_of(angle));
}

// Fused multiply-add with the AVX register state enabled by the system.
bool has_fused_multiply_add() {
  unsigned a, b, c, d;
  if (!__get_cpuid(1, &a, &b, &c, &d)) return false;
  constexpr unsigned kNeeded = bit_FMA | bit_OSXSAVE | bit_AVX;
  if ((c & kNeeded) != kNeeded) return false;
  unsigned low, high;
  __asm__("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
  return (low & 6) == 6;  // SSE and AVX state
}

// The rounding carried by each operation: the common case reads no
// floating-point state.
template <typename Result, typename Angle>
[[gnu::target("avx512f,avx512vl,fma")]] void sin_cos_embedded(Result* sine, Result* cosine,
                                                           Angle angle) {
  const auto bits = tarn::trig::bits_of(angle);
  if (in_step_range(bits)) {
    if constexpr (std::is_same_v<Result, float>) {
      constexpr bool kFloatAngle = std::is_same_v<Angle, float>;
      if (embedded::float_sin_cos<kFloatAngle>(sine, cosine, embedded::angle(angle))) return;
    } else {
      if (embedded::double_sin_cos(sine, cosine, embedded::angle(angle))) return;
    }
  }
  sin_cos_behind_call(sine, cosine, bits);
}

// AVX-512 Foundation and Vector Length (which gives the scalar code all 32
// registers) and FMA, with the SSE, AVX, opmask and upper ZMM register state
// enabled by the system.
bool has_embedded_rounding() {
  unsigned a, b, c, d;
  constexpr unsigned kNeededLeaf1 = bit_OSXSAVE | bit_FMA;  // the exact steps use plain FMA
  if (!__get_cpuid(1, &a, &b, &c, &d) || (c & kNeededLeaf1) != kNeededLeaf1) return false;
  constexpr unsigned kNeeded = bit_AVX512F | bit_AVX512VL;
  if (!__get_cpuid_count(7, 0, &a, &b, &c, &d) || (b & kNeeded) != kNeeded) return false;
  unsigned low, high;
  __asm__("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
  return (low & 0xE6) == 0xE6;
}

template <typename Result, typename Angle>
using SinCosForm = void (*)(Result*, Result*, Angle);

template <typename Result, typename Angle>
SinCosForm<Result, Angle> resolved() {
  if (has_embedded_rounding()) return sin_cos_embedded<Result, Angle>;
  return has_fused_multiply_add() ? sin_cos_fused<Result, Angle> : sin_cos_plain<Result, Angle>;
}
}  // namespace

namespace tarn::trig {
int exact_sin_cos_forms(ExactSinCosForm (&forms)[kMaxExactSinCosForms]) {
  int n = 0;
  const bool fused = has_fused_multiply_add();
  if (has_embedded_rounding()) {
    forms[n++] = {"embedded rounding", sin_cos_embedded<float, float>,
                  sin_cos_embedded<float, double>, sin_cos_embedded<double, double>,
                  sin_cos_embedded<double, float>};
  }
  if (fused) {
    forms[n++] = {"fused", sin_cos_fused<float, float>, sin_cos_fused<float, double>,
                  sin_cos_fused<double, double>, sin_cos_fused<double, float>};
  }
  forms[n++] = {"plain", sin_cos_plain<float, float>, sin_cos_plain<float, double>,
                sin_cos_plain<double, double>, sin_cos_plain<double, float>};
  return n;
}
}  // namespace tarn::trig

extern "C" {
// Resolvers, run by the loader.
static auto tarn_resolve_sincos_fff() { return resolved<float, float>(); }
static auto tarn_resolve_sincos_ffd() { return resolved<float, double>(); }
static auto tarn_resolve_sincos_ddd() { return resolved<double, double>(); }
static auto tarn_resolve_sincos_ddf() { return resolved<double, float>(); }
MX_API void MX_CALL MxSinCosFFF(float* sine, float* cosine, float angle)
    __attribute__((ifunc("tarn_resolve_sincos_fff")));
MX_API void MX_CALL MxSinCosFFD(float* sine, float* cosine, double angle)
    __attribute__((ifunc("tarn_resolve_sincos_ffd")));
MX_API void MX_CALL MxSinCosDDD(double* sine, double* cosine, double angle)
    __attribute__((ifunc("tarn_resolve_sincos_ddd")));
MX_API void MX_CALL MxSinCosDDF(double* sine, double* cosine, float angle)
    __attribute__((ifunc("tarn_resolve_sincos_ddf")));
}
#else
namespace {
template <typename Result, typename Angle>
void sin_cos_portable(Result* sine, Result* cosine, Angle angle) {
  sin_cos_of_bits<false>(sine, cosine, tarn::trig::bits_of(angle));
}
}  // namespace

namespace tarn::trig {
int exact_sin_cos_forms(ExactSinCosForm (&forms)[kMaxExactSinCosForms]) {
  forms[0] = {"portable", sin_cos_portable<float, float>, sin_cos_portable<float, double>,
              sin_cos_portable<double, double>, sin_cos_portable<double, float>};
  return 1;
}
}  // namespace tarn::trig

extern "C" {
MX_API void MX_CALL MxSinCosFFF(float* sine, float* cosine, float angle) {
  sin_cos_portable(sine, cosine, angle);
}
MX_API void MX_CALL MxSinCosFFD(float* sine, float* cosine, double angle) {
  sin_cos_portable(sine, cosine, angle);
}
MX_API void MX_CALL MxSinCosDDD(double* sine, double* cosine, double angle) {
  sin_cos_portable(sine, cosine, angle);
}
MX_API void MX_CALL MxSinCosDDF(double* sine, double* cosine, float angle) {
  sin_cos_portable(sine, cosine, angle);
}
}
#endif

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
