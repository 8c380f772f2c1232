// The six table lookups in two forms that give identical bits for every
// angle: the x87 form picks the quadrant's row with branches, the CMOV form
// chooses the sign mask without branches and applies it with an exclusive or.
#include "trig/trig.h"

namespace tarn::trig {
namespace {

constexpr std::uint32_t kPositionMask = 0x3FFF;
constexpr std::uint32_t kSignBit = 0x80000000u;

inline float entry(std::uint32_t k) {
  return g_sine_table[k];
}
inline float mirrored(std::uint32_t k) {
  return g_sine_table[kQuarterSteps - k];
}
inline float negated(float v) {
  return std::bit_cast<float>(std::bit_cast<std::uint32_t>(v) ^ kSignBit);
}

// ---- x87 form: one branch per quadrant, on the same quadrant bits for the
// sine and the cosine, so that a pair takes one.

float sine_by_quadrant(std::uint32_t n) {
  const std::uint32_t k = n & kPositionMask;
  switch (n & 0xC000) {
    case 0x0000:
      return entry(k);
    case 0x4000:
      return mirrored(k);
    case 0x8000:
      return negated(entry(k));
    default:
      return negated(mirrored(k));
  }
}

float cosine_by_quadrant(std::uint32_t n) {
  const std::uint32_t k = n & kPositionMask;
  switch (n & 0xC000) {
    case 0x0000:
      return mirrored(k);
    case 0x4000:
      return negated(entry(k));
    case 0x8000:
      return negated(mirrored(k));
    default:
      return entry(k);
  }
}

// ---- CMOV form: no branch at all. Bit 14 selects the row index (k or its
// mirror) arithmetically, so random angles cost no mispredicted branch; the
// sign is a mask.

inline std::uint32_t sine_sign(std::uint32_t n) {
  return (n & 0x8000) << 16;
}  // q 2, 3

inline float with_sign(float v, std::uint32_t sign) {
  return std::bit_cast<float>(std::bit_cast<std::uint32_t>(v) ^ sign);
}

// k when mirror is 0, kQuarterSteps - k when it is all ones: ~k + 0x4001
// equals 0x4000 - k in unsigned arithmetic.
inline std::uint32_t row(std::uint32_t k, std::uint32_t mirror) {
  return (k ^ mirror) + (mirror & static_cast<std::uint32_t>(kQuarterSteps + 1));
}

// All ones when bit 14 (odd quadrant) is set, else 0.
inline std::uint32_t odd_quadrant(std::uint32_t n) {
  return 0u - ((n >> 14) & 1u);
}

float sine_by_mask(std::uint32_t n) {
  return with_sign(entry(row(n & kPositionMask, odd_quadrant(n))), sine_sign(n));
}

// The cosine is the sine a quarter turn on: adding 0x4000 flips bit 14 (the
// mirror) and carries into bit 15 (the sign). The addition folds into the index's own
// subtraction, so the cosine costs what the sine does.
float cosine_by_mask(std::uint32_t n) {
  return sine_by_mask(n + 0x4000);
}

}  // namespace

#define TARN_DEFINE_LOOKUPS(ns, sine_of, cosine_of)           \
  namespace ns {                                              \
  float TSin(float a) {                                       \
    return sine_of(step_index(a, kRadianMultiplier));         \
  }                                                           \
  float TCos(float a) {                                       \
    return cosine_of(step_index(a, kRadianMultiplier));       \
  }                                                           \
  void TSinCos(float* s, float* c, float a) {                 \
    const std::uint32_t n = step_index(a, kRadianMultiplier); \
    *s = sine_of(n);                                          \
    *c = cosine_of(n);                                        \
  }                                                           \
  float TSinOfDeg(float a) {                                  \
    return sine_of(step_index(a, kDegreeMultiplier));         \
  }                                                           \
  float TCosOfDeg(float a) {                                  \
    return cosine_of(step_index(a, kDegreeMultiplier));       \
  }                                                           \
  void TSinCosOfDeg(float* s, float* c, float a) {            \
    const std::uint32_t n = step_index(a, kDegreeMultiplier); \
    *s = sine_of(n);                                          \
    *c = cosine_of(n);                                        \
  }                                                           \
  }

TARN_DEFINE_LOOKUPS(x87, sine_by_quadrant, cosine_by_quadrant)
TARN_DEFINE_LOOKUPS(cmov, sine_by_mask, cosine_by_mask)

#undef TARN_DEFINE_LOOKUPS

}  // namespace tarn::trig
