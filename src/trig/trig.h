// Trigonometry: the quarter-wave sine table with its lookups, and the exact
// sine-cosine functions.
//
// A lookup resolves an angle to one of 65536 steps per turn without any
// float-to-integer conversion: t = angle * multiplier, u = t + 49152.0f, and
// the bits of u minus those of 49152.0f count the angle in 1/65536 turns.
// Bits 15-14 of that step index are the quadrant, bits 13-0 the position k.
#pragma once

#include <bit>
#include <cstdint>

#include "dispatch/slots.h"

namespace tarn::trig {

inline constexpr int kQuarterSteps = 16384;
inline constexpr int kTableSize = kQuarterSteps + 1;  // entry 16384 closes the wave

// 128/pi and 256/360 rounded to single precision; pi/128 likewise.
inline constexpr std::uint32_t kRadianMultiplierBits = 0x4222F983;
inline constexpr std::uint32_t kDegreeMultiplierBits = 0x3F360B61;
inline constexpr std::uint32_t kStepAngleBits = 0x3CC90FDB;
inline constexpr std::uint32_t kRoundingConstantBits = 0x47400000;  // 49152.0f = 1.5 * 2^15

inline constexpr float kRadianMultiplier = std::bit_cast<float>(kRadianMultiplierBits);
inline constexpr float kDegreeMultiplier = std::bit_cast<float>(kDegreeMultiplierBits);
inline constexpr float kRoundingConstant = std::bit_cast<float>(kRoundingConstantBits);

// Written once by MxInitTables, read by the lookups.
extern float g_sine_table[kTableSize];

// Entry k: sin(k/256 * P), P = pi/128 in single precision, rounded once.
float sine_table_entry(int k);

// The 16-bit step index of an angle; the caller masks it.
inline std::uint32_t step_index(float angle, float multiplier) {
  const float t = angle * multiplier;
  const float u = t + kRoundingConstant;
  return std::bit_cast<std::uint32_t>(u) - kRoundingConstantBits;
}

// The exact sine-cosine before its rounding to a destination: the sine and
// cosine of a finite angle, each the sum hi + lo of two doubles (lo at most
// half a unit in hi's last place), within 2^-100 of the true values relative.
// Like the exported functions it sets the caller's floating-point environment
// aside for the call.
struct ExactSinCos {
  double sin_hi, sin_lo, cos_hi, cos_lo;
};
ExactSinCos exact_sin_cos(double angle);

// One form of the four exact exports. The exports bind, when the library
// loads, the first form the processor runs; the tests run every one of them.
struct ExactSinCosForm {
  const char* name;
  void (*fff)(float*, float*, float);
  void (*ffd)(float*, float*, double);
  void (*ddd)(double*, double*, double);
  void (*ddf)(double*, double*, float);
};
inline constexpr int kMaxExactSinCosForms = 3;
// The forms this processor runs, preferred first; returns their number.
int exact_sin_cos_forms(ExactSinCosForm (&forms)[kMaxExactSinCosForms]);

// The lookups, in both forms.
#define TARN_TRIG_LOOKUPS(X) X(TSin) X(TCos) X(TSinCos) X(TSinOfDeg) X(TCosOfDeg) X(TSinCosOfDeg)

namespace x87 {
TARN_TRIG_LOOKUPS(TARN_SLOT_IMPL)
}  // namespace x87

namespace cmov {
TARN_TRIG_LOOKUPS(TARN_SLOT_IMPL)
}  // namespace cmov

}  // namespace tarn::trig
