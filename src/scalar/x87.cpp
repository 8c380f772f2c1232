// x87 forms: branches for the minimum and maximum, the unit's own conversion
// under its current rounding mode, exact division and square root, and the
// bit-level rough square root. Each operation rounds once to single precision.
#include <cmath>

#include "isa/fpu_control.h"
#include "isa/platform.h"
#include "scalar/scalar.h"

namespace tarn::scalar::x87 {

std::int32_t IMin(std::int32_t a, std::int32_t b) {
  if (a > b) return b;
  return a;
}

std::int32_t IMax(std::int32_t a, std::int32_t b) {
  if (a < b) return b;
  return a;
}

// An unordered pair fails every ordered compare, so FMin takes b and FMax a.
float FMin(float a, float b) {
  if (b < a || std::isunordered(a, b)) return b;
  return a;
}

float FMax(float a, float b) {
  if (b > a) return b;
  return a;
}

std::int32_t F2I(float x) {
#if defined(TARN_X86_GNU_ASM)
  // FISTP rounds by the control word's rounding field and stores the integer
  // indefinite for NaN and out-of-range values (invalid is masked).
  std::int32_t result;
  __asm__ volatile("fistpl %0" : "=m"(result) : "t"(x) : "st");
  return result;
#else
  const float rounded = std::nearbyint(x);  // current rounding mode
  if (!(rounded >= -2147483648.0f && rounded < 2147483648.0f)) return kIntegerIndefinite;
  return static_cast<std::int32_t>(rounded);
#endif
}

float I2F(std::int32_t i) {
  return static_cast<float>(i);
}

float FAccDiv(float a, float b) {
  return a / b;
}
// The x87 unit has no faster division: the rough forms are the exact ones.
float FRghFastDiv(float a, float b) {
  return a / b;
}
float FAccRecip(float x) {
  return 1.0f / x;
}
float FRghFastRecip(float x) {
  return 1.0f / x;
}

float AccSqrt(float x) {
  return std::sqrt(x);
}

// One Newton step for 1/sqrt(x) from the bit-level seed, multiplied by x.
float RghFastSqrt(float x) {
  const fpu::X87Value y0 = rough_rsqrt_seed(x);
  const fpu::X87Value h = 0.5f * x;
  return static_cast<float>((x * y0) * (1.5f - h * (y0 * y0)));
}

}  // namespace tarn::scalar::x87
