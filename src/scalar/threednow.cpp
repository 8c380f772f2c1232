// 3DNow! forms, reproduced from the unit's documented behaviour: truncating
// conversions, the reciprocal and reciprocal-square-root estimates of
// estimates.h, and their refined forms. The choices for special values are
// listed in scalar.h.
#include <cmath>

#include "scalar/estimates.h"
#include "scalar/scalar.h"

namespace tarn::scalar::threednow {

float FMin(float a, float b) {
  return b > a ? a : b;
}
float FMax(float a, float b) {
  return b >= a ? b : a;
}

std::int32_t F2I(float x) {
  if (std::isnan(x)) return std::signbit(x) ? INT32_MIN : INT32_MAX;
  if (x >= 2147483648.0f) return INT32_MAX;
  if (x <= -2147483648.0f) return INT32_MIN;
  return static_cast<std::int32_t>(x);  // in range: the cast truncates
}

float I2F(std::int32_t i) {
  const std::int64_t exact = i;
  const float nearest = static_cast<float>(exact);
  const std::int64_t back = static_cast<std::int64_t>(nearest);  // |nearest| <= 2^31
  const bool rounded_away = exact < 0 ? back < exact : back > exact;
  return rounded_away ? std::nextafter(nearest, 0.0f) : nearest;
}

float FAccDiv(float a, float b) {
  return a * estimates::recip_refined_3dnow(b);
}
float FRghFastDiv(float a, float b) {
  return a * estimates::recip_estimate_3dnow(b);
}
float FAccRecip(float x) {
  return estimates::recip_refined_3dnow(x);
}
float FRghFastRecip(float x) {
  return estimates::recip_estimate_3dnow(x);
}

// The unit's estimate of 1/sqrt(+-0) is finite, so a zero stays itself.
float AccSqrt(float x) {
  return x == 0.0f ? x : x * estimates::rsqrt_refined_3dnow(x);
}
float RghFastSqrt(float x) {
  return x == 0.0f ? x : x * estimates::rsqrt_estimate_3dnow(x);
}

}  // namespace tarn::scalar::threednow
