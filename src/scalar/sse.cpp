// SSE forms: truncating and MXCSR-rounded conversions, the RCPSS and RSQRTSS
// estimates, and one Newton step for the accurate forms, each operation
// rounded to single precision in the order written.
#include <cmath>

#include "isa/estimates.h"
#include "isa/isa.h"
#include "scalar/scalar.h"

TARN_SSE_BEGIN
namespace tarn::scalar::sse {
namespace {
// The square roots return x itself when it equals 0.0 or is unordered.
// Equality tests are quiet: a quiet NaN raises nothing.
inline bool zero_or_unordered(float x) {
  return x == 0.0f || x != x;
}
}  // namespace

std::int32_t F2I(float x) {
#if defined(TARN_HAVE_SSE)
  return _mm_cvtt_ss2si(_mm_set_ss(x));  // 0x80000000 for NaN and out of range
#else
  if (!(x > -2147483904.0f && x < 2147483648.0f)) return kIntegerIndefinite;
  return static_cast<std::int32_t>(x);
#endif
}

float I2F(std::int32_t i) {
#if defined(TARN_HAVE_SSE)
  return _mm_cvtss_f32(_mm_cvtsi32_ss(_mm_setzero_ps(), i));  // MXCSR rounding
#else
  return static_cast<float>(i);
#endif
}

float FAccRecip(float x) {
  const float r0 = estimates::recip_estimate_sse(x);
  return 2.0f * r0 - (x * r0) * r0;
}

float FRghFastRecip(float x) {
  return estimates::recip_estimate_sse(x);
}
float FAccDiv(float a, float b) {
  return a * FAccRecip(b);
}
float FRghFastDiv(float a, float b) {
  return a * estimates::recip_estimate_sse(b);
}

float AccSqrt(float x) {
  if (zero_or_unordered(x)) return x;
  const float y0 = estimates::rsqrt_estimate_sse(x);
  const float y1 = (0.5f * y0) * (3.0f - (x * y0) * y0);
  return x * y1;
}

float RghFastSqrt(float x) {
  if (zero_or_unordered(x)) return x;
  return x * estimates::rsqrt_estimate_sse(x);
}

}  // namespace tarn::scalar::sse
TARN_SSE_END
