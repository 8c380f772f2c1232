// The reciprocal and reciprocal-square-root estimates that the 3DNow! and SSE
// variants start from. Every variant that needs an estimate takes it from
// here, so all of them agree on one definition.
//
// 3DNow! (absent from current processors) is emulated deterministically:
//   recip_estimate_3dnow(x)   1/x rounded to 14 significant fraction bits
//                             (relative error at most 2^-15, "about 14 bits")
//   rsqrt_estimate_3dnow(x)   1/sqrt(x) rounded to 15 significant fraction
//                             bits (relative error at most 2^-16)
//   recip_refined_3dnow(x)    the estimate after the two 3DNow! reciprocal
//                             steps: 1/x correctly rounded to single precision
//   rsqrt_refined_3dnow(x)    the estimate after the 3DNow! reciprocal-square-
//                             root sequence: 1/sqrt(x) correctly rounded
// Special values follow IEEE arithmetic on the exact quotient: +-0 gives
// +-infinity, +-infinity gives +-0, a negative rsqrt argument gives the
// processor's default NaN and a NaN itself quieted. Denormal inputs are
// treated as their exact values.
//
// 3DNow! arithmetic raises no floating-point exception, so neither do these:
// special operands are decided by their bits before any division, a
// reciprocal beyond the float range (|x| at most 2^-128) is +-infinity by
// the same test, and the one result that must underflow (the reciprocal of
// |x| above 2^126) is computed with exceptions masked and the caller's flags
// put back. What remains is the inexact flag of an ordinary rounding.
//
// SSE uses the processor's own RCPSS and RSQRTSS (relative error at most
// 1.5 * 2^-12); other targets emulate them as 1/x and 1/sqrt(x) rounded to 12
// fraction bits.
#pragma once

#include <bit>
#include <cfenv>
#include <cmath>
#include <cstdint>

#include "isa/fpu_control.h"
#include "isa/isa.h"
#include "isa/platform.h"

namespace tarn::estimates {
// Internal to each file: the tests on 32-bit x86 are built for SSE
// arithmetic and the library for the x87 unit, and a test's copy of one of
// these must not stand in for the library's when both are linked together.
namespace {

// Rounds a finite double to a float whose significand keeps only `fraction_bits`
// of its 23 fraction bits (round to nearest, ties away), then to single.
// Integer arithmetic on the pattern, not the maths library: 32-bit x86
// libraries compute frexp, round and ldexp on the x87 unit, whose precision
// the library itself sets to single.
inline float round_to_fraction_bits(double v, int fraction_bits) {
  if (!std::isfinite(v) || v == 0.0) return static_cast<float>(v);
  const float f = static_cast<float>(v);
  if (!std::isfinite(f)) return f;
  // Half of the last kept place added to the magnitude, then the dropped bits
  // cleared; a carry out of the significand raises the exponent, as it should.
  const int dropped = 52 - fraction_bits;
  const std::uint64_t pattern = std::bit_cast<std::uint64_t>(v);
  const std::uint64_t rounded =
      (pattern + (std::uint64_t{1} << (dropped - 1))) & ~((std::uint64_t{1} << dropped) - 1);
  // A carry to 2^128 is beyond the float range: infinity, by its bits.
  if ((rounded & 0x7FF0000000000000u) >= std::uint64_t{1023 + 128} << 52) {
    return std::bit_cast<float>((static_cast<std::uint32_t>(pattern >> 32) & 0x80000000u) |
                                0x7F800000u);
  }
  return static_cast<float>(std::bit_cast<double>(rounded));
}

// 1/x and 1/sqrt(x) rounded once to double precision, whatever the x87
// precision setting.
inline double recip_double(float x) {
  return fpu::in_double_precision(1.0, x, [](double a, double b) { return a / b; });
}
inline double rsqrt_double(float x) {
  return fpu::in_double_precision(1.0, x, [](double a, double b) { return a / std::sqrt(b); });
}

namespace special {

constexpr std::uint32_t kSign = 0x80000000u;
constexpr std::uint32_t kInfinity = 0x7F800000u;

inline std::uint32_t magnitude(float x) {
  return std::bit_cast<std::uint32_t>(x) & ~kSign;
}
inline bool is_nan(float x) {
  return magnitude(x) > kInfinity;
}
inline float quieted(float nan) {
  return std::bit_cast<float>(std::bit_cast<std::uint32_t>(nan) | 0x00400000u);
}
// Infinity or zero with x's sign.
inline float signed_bits(float x, std::uint32_t magnitude_bits) {
  return std::bit_cast<float>((std::bit_cast<std::uint32_t>(x) & kSign) | magnitude_bits);
}
// What an invalid operation returns: negative on x86, positive elsewhere.
inline float default_nan() {
#if defined(TARN_X86)
  return std::bit_cast<float>(0xFFC00000u);
#else
  return std::bit_cast<float>(0x7FC00000u);
#endif
}

// The results that need no division, for 1/x and 1/sqrt(x); true when x is
// one of those operands.
inline bool recip(float x, float* out) {
  const std::uint32_t m = magnitude(x);
  if (m > kInfinity) {
    *out = quieted(x);
  } else if (m <= 0x00200000u) {  // zero, or 1/x at least 2^128
    *out = signed_bits(x, kInfinity);
  } else if (m == kInfinity) {
    *out = signed_bits(x, 0);
  } else {
    return false;
  }
  return true;
}
inline bool rsqrt(float x, float* out) {
  const std::uint32_t m = magnitude(x);
  if (m > kInfinity) {
    *out = quieted(x);
  } else if (m == 0) {
    *out = signed_bits(x, kInfinity);
  } else if (std::bit_cast<std::uint32_t>(x) & kSign) {
    *out = default_nan();
  } else if (m == kInfinity) {
    *out = 0.0f;
  } else {
    return false;
  }
  return true;
}

// 1/x below the normal range (|x| above 2^126): the division underflows, so
// it runs with exceptions masked and leaves the caller's flags unchanged.
template <typename Fn>
float tiny_reciprocal(Fn divide) {
  std::fenv_t caller;
  std::feholdexcept(&caller);
  const float r = divide();
  std::fesetenv(&caller);
  return r;
}
inline bool tiny_result(float x) {
  return magnitude(x) > 0x7E800000u;
}

}  // namespace special

// PFMUL: rounded once to single precision, and raising nothing beyond
// inexact, overflow and underflow. An infinity times a zero, which IEEE
// arithmetic gives only by raising invalid, is the default NaN decided by
// the bits.
inline float pfmul(float a, float b) {
  const std::uint32_t ma = special::magnitude(a), mb = special::magnitude(b);
  if ((ma == special::kInfinity && mb == 0) || (ma == 0 && mb == special::kInfinity)) {
    return special::default_nan();
  }
  return fpu::rounded_once(a, b, [](auto x, auto y) { return x * y; });
}

inline float recip_estimate_3dnow(float x) {
  float r;
  if (special::recip(x, &r)) return r;
  const auto estimate = [x] { return round_to_fraction_bits(recip_double(x), 14); };
  return special::tiny_result(x) ? special::tiny_reciprocal(estimate) : estimate();
}

inline float rsqrt_estimate_3dnow(float x) {
  float r;
  if (special::rsqrt(x, &r)) return r;
  return round_to_fraction_bits(rsqrt_double(x), 15);
}

inline float recip_refined_3dnow(float x) {
  float r;
  if (special::recip(x, &r)) return r;
  const auto divide = [x] {
    return fpu::rounded_once(1.0f, x, [](auto a, auto b) { return a / b; });
  };
  return special::tiny_result(x) ? special::tiny_reciprocal(divide) : divide();
}

inline float rsqrt_refined_3dnow(float x) {
  float r;
  if (special::rsqrt(x, &r)) return r;
  return static_cast<float>(rsqrt_double(x));
}

TARN_SSE_BEGIN
inline float recip_estimate_sse(float x) {
#if defined(TARN_HAVE_SSE)
  return _mm_cvtss_f32(_mm_rcp_ss(_mm_set_ss(x)));
#else
  return round_to_fraction_bits(recip_double(x), 12);
#endif
}

inline float rsqrt_estimate_sse(float x) {
#if defined(TARN_HAVE_SSE)
  return _mm_cvtss_f32(_mm_rsqrt_ss(_mm_set_ss(x)));
#else
  return round_to_fraction_bits(rsqrt_double(x), 12);
#endif
}

TARN_SSE_END
}  // namespace
}  // namespace tarn::estimates
