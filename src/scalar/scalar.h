// Scalar helpers: integer and float minimum and maximum, float-integer
// conversions, division, reciprocal and square root, in one namespace per
// variant. The variants of one operation differ only where their instructions
// do: signed zeros and NaNs in the float minimum and maximum, rounding versus
// truncation in the conversions, and estimates in division, reciprocal and
// square root (see estimates.h).
//
// Choices for the emulated 3DNow! unit, which has no infinities or NaNs of its
// own:
//   FMin, FMax   select exactly as the CMOV forms do: a pair that compares
//                equal (+0.0 and -0.0) gives b, a NaN gives b from FMin and a
//                from FMax, so every tier agrees with its CMOV neighbour.
//   F2I          truncates toward zero and saturates: 2^31 and above give
//                0x7FFFFFFF, -2^31 and below 0x80000000; infinities and NaNs
//                saturate by their sign bit.
//   I2F          rounds toward zero, so integers beyond 2^24 lose their low
//                bits by truncation (16777217 gives 16777216, -16777217 gives
//                -16777216).
//   square roots zero of either sign gives itself: the unit's estimate of
//                1/sqrt(0) is finite, so x * y keeps the zero. Division and
//                reciprocal by zero give infinities (NaN for 0/0), as on x87.
// x87 F2I rounds by the thread's x87 rounding mode; it and SSE F2I give the
// integer indefinite 0x80000000 for NaN and values outside the 32-bit range.
#pragma once

#include <bit>
#include <cstdint>

#include "dispatch/slots.h"

namespace tarn::scalar {

// The bit-level seed of the rough square root: an estimate of 1/sqrt(x) from
// the bits of x (its exponent halved and negated, the significand roughly so).
inline constexpr std::uint32_t kRoughRsqrtMagic = 0x5F3759DF;

inline float rough_rsqrt_seed(float x) {
  return std::bit_cast<float>(kRoughRsqrtMagic - (std::bit_cast<std::uint32_t>(x) >> 1));
}

inline constexpr std::int32_t kIntegerIndefinite = INT32_MIN;

// The minimum and maximum (x87, CMOV) and the float operations (x87, 3DNow!,
// SSE).
#define TARN_SCALAR_MIN_MAX(X) X(IMin) X(IMax) X(FMin) X(FMax)
#define TARN_SCALAR_FLOAT_OPERATIONS(X) \
  X(F2I) X(I2F) X(FAccDiv) X(FRghFastDiv) X(FAccRecip) X(FRghFastRecip) X(AccSqrt) X(RghFastSqrt)

namespace x87 {
TARN_SCALAR_MIN_MAX(TARN_SLOT_IMPL)
TARN_SCALAR_FLOAT_OPERATIONS(TARN_SLOT_IMPL)
}  // namespace x87

namespace cmov {
TARN_SCALAR_MIN_MAX(TARN_SLOT_IMPL)
}  // namespace cmov

namespace threednow {
// The CMOV forms themselves (their code has no CMOV in 32-bit builds).
inline constexpr float (&FMin)(float, float) = cmov::FMin;
inline constexpr float (&FMax)(float, float) = cmov::FMax;
TARN_SCALAR_FLOAT_OPERATIONS(TARN_SLOT_IMPL)
}  // namespace threednow

namespace sse {
TARN_SCALAR_FLOAT_OPERATIONS(TARN_SLOT_IMPL)
}  // namespace sse

}  // namespace tarn::scalar
