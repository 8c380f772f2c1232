// 3DNow! forms, reproduced from the unit's documented behaviour: truncating
// conversions, the reciprocal and reciprocal-square-root estimates of
// estimates.h, and their refined forms. The choices for special values are
// listed in scalar.h.
#include <bit>
#include <cmath>

#include "isa/estimates.h"
#include "isa/fpu_control.h"
#include "scalar/scalar.h"

namespace tarn::scalar::threednow {
namespace {
inline float mul(float a, float b) {
  return estimates::pfmul(a, b);
}
}  // namespace

std::int32_t F2I(float x) {
  if (std::isnan(x)) return std::signbit(x) ? INT32_MIN : INT32_MAX;
  if (x >= 2147483648.0f) return INT32_MAX;
  if (x <= -2147483648.0f) return INT32_MIN;
  return static_cast<std::int32_t>(x);  // in range: the cast truncates
}

float I2F(std::int32_t i) {
  // The magnitude cut to 24 significant bits converts exactly on any unit
  // (the x87 one keeps an integer it loads unrounded).
  const std::uint32_t magnitude =
      i < 0 ? 0u - static_cast<std::uint32_t>(i) : static_cast<std::uint32_t>(i);
  const int dropped = static_cast<int>(std::bit_width(magnitude)) - 24;
  const std::uint32_t kept = dropped > 0 ? magnitude & ~((1u << dropped) - 1) : magnitude;
  const float truncated = static_cast<float>(kept);
  return i < 0 ? -truncated : truncated;
}

float FAccDiv(float a, float b) {
  return mul(a, estimates::recip_refined_3dnow(b));
}
float FRghFastDiv(float a, float b) {
  return mul(a, estimates::recip_estimate_3dnow(b));
}
float FAccRecip(float x) {
  return estimates::recip_refined_3dnow(x);
}
float FRghFastRecip(float x) {
  return estimates::recip_estimate_3dnow(x);
}

// The unit's estimate of 1/sqrt(+-0) is finite, so a zero stays itself.
float AccSqrt(float x) {
  return x == 0.0f ? x : mul(x, estimates::rsqrt_refined_3dnow(x));
}
float RghFastSqrt(float x) {
  return x == 0.0f ? x : mul(x, estimates::rsqrt_estimate_3dnow(x));
}

}  // namespace tarn::scalar::threednow
