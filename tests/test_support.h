// Helpers shared by the tests: bit views of floats, tier iteration, and a
// guard that gives the x87 unit its full precision for reference arithmetic.
#pragma once

#include <bit>
#include <cstdint>
#include <string>
#include <vector>

#include "TarnLib2DLL.h"
#include "dispatch/fpu_control.h"
#include "dispatch/registry.h"
#include "dispatch/tiers.h"

namespace tarn::test {

inline std::uint32_t bits(float f) {
  return std::bit_cast<std::uint32_t>(f);
}
inline float from_bits(std::uint32_t b) {
  return std::bit_cast<float>(b);
}

inline constexpr std::uint32_t kNegZero = 0x80000000u;
inline constexpr std::uint32_t kOne = 0x3F800000u;
inline constexpr std::uint32_t kMinusOne = 0xBF800000u;

// Single-precision operations for references: computed exactly in double
// and rounded once, so they equal one correctly rounded float operation.
inline float mul(float a, float b) { return static_cast<float>(double{a} * double{b}); }
inline float add(float a, float b) { return static_cast<float>(double{a} + double{b}); }
inline float sub(float a, float b) { return static_cast<float>(double{a} - double{b}); }

// Every tier, each with the smallest word that selects it.
inline std::vector<Tier> all_tiers() {
  std::vector<Tier> tiers;
  for (int t = 0; t < kTierCount; ++t) tiers.push_back(static_cast<Tier>(t));
  return tiers;
}

inline std::string tier_test_name(Tier tier) {
  std::string name;
  for (char c : tier_name(tier)) name += (c == '+' || c == '!') ? '_' : c;
  return name;
}

// One built implementation of a slot: a variant in one of its kernels.
struct SlotImplementation {
  std::string name;  // "MMX" for a baseline kernel, "MMX [AVX2]" for a wider one
  GenericFn fn;
};

// Every distinct implementation of a slot in every kernel this machine can
// run (an implementation shared by several variants appears once, named
// after the first).
inline std::vector<SlotImplementation> slot_implementations(SlotId slot) {
  std::vector<SlotImplementation> found;
  const Kernel widest = machine_kernels().widest;
  for (int v = 0; v < kVariantCount; ++v) {
    const SlotImpl* entry = find_entry(slot, static_cast<Variant>(v));
    if (entry == nullptr) continue;
    for (int k = 0; k <= static_cast<int>(widest); ++k) {
      const GenericFn fn = entry->kernels[k];
      bool seen = fn == nullptr;
      for (const SlotImplementation& f : found) seen |= f.fn == fn;
      if (seen) continue;
      std::string name(variant_name(static_cast<Variant>(v)));
      if (k != 0) name += " [" + std::string(kernel_name(static_cast<Kernel>(k))) + "]";
      found.push_back({name, fn});
    }
  }
  return found;
}

template <SlotId S>
typename SlotTraits<S>::Fn as_slot_fn(GenericFn fn) {
  return reinterpret_cast<typename SlotTraits<S>::Fn>(fn);
}

// Selects a tier for the test and builds the tables.
inline void use_tier(Tier tier) {
  MxInitLibForCPU(tier_flags(tier));
  MxInitTables();
}

// Long double arithmetic at its full 64-bit significand while alive; the
// library leaves the x87 unit at single precision.
class ExtendedPrecision {
 public:
  ExtendedPrecision() : saved_(fpu::read_x87_control()) {
    fpu::write_x87_control(static_cast<std::uint16_t>(saved_ | fpu::kPrecisionControlMask));
  }
  ~ExtendedPrecision() { fpu::write_x87_control(saved_); }
  ExtendedPrecision(const ExtendedPrecision&) = delete;
  ExtendedPrecision& operator=(const ExtendedPrecision&) = delete;

 private:
  std::uint16_t saved_;
};

}  // namespace tarn::test
