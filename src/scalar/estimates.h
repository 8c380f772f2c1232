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
// +-infinity, +-infinity gives +-0, a negative rsqrt argument and any NaN give
// a quiet NaN. Denormal inputs are treated as their exact values.
//
// SSE uses the processor's own RCPSS and RSQRTSS (relative error at most
// 1.5 * 2^-12); other targets emulate them as 1/x and 1/sqrt(x) rounded to 12
// fraction bits.
#pragma once

#include <bit>
#include <cmath>
#include <cstdint>

#include "dispatch/fpu_control.h"
#include "dispatch/isa.h"

namespace tarn::estimates {

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

inline float recip_estimate_3dnow(float x) {
  return round_to_fraction_bits(recip_double(x), 14);
}

inline float rsqrt_estimate_3dnow(float x) {
  return round_to_fraction_bits(rsqrt_double(x), 15);
}

inline float recip_refined_3dnow(float x) {
  return fpu::rounded_once(1.0f, x, [](auto a, auto b) { return a / b; });
}

inline float rsqrt_refined_3dnow(float x) {
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
}  // namespace tarn::estimates
