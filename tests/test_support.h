// Helpers shared by the tests: bit views of floats, tier iteration, test
// names, and a guard that gives the x87 unit its full precision for
// reference arithmetic.
#pragma once

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "TarnLib2DLL.h"
#include "dispatch/registry.h"
#include "dispatch/tiers.h"
#include "isa/fpu_control.h"

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

// A test name from a tier, variant or case label: "CMOV+3DNow!+MMXext"
// becomes "CMOV_3DNow_MMXext". Only letters, digits and single underscores,
// so names read the same on every build and can be typed into ctest -R.
inline std::string test_name(std::string_view label) {
  std::string name;
  for (char c : label) {
    const bool word = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
    if (word) {
      name += c;
    } else if (!name.empty() && name.back() != '_') {
      name += '_';
    }
  }
  while (!name.empty() && name.back() == '_') name.pop_back();
  return name.empty() ? std::string("unnamed") : name;
}

// One registered implementation of a slot: a variant in one of its kernels.
template <typename Fn>
struct Registered {
  SlotId slot;
  Variant variant;
  std::string name;  // "MMX" for a baseline kernel, "MMX [AVX2]" for a wider one
  Fn fn;
};

// Every registered (variant, kernel) of a slot that this machine can run, in
// variant order. Variants sharing one function each appear: each variant is
// checked against its own reference.
inline std::vector<Registered<GenericFn>> registered(SlotId slot) {
  std::vector<Registered<GenericFn>> found;
  const Kernel widest = machine_kernels().widest;
  for (int v = 0; v < kVariantCount; ++v) {
    const SlotImpl* entry = find_entry(slot, static_cast<Variant>(v));
    if (entry == nullptr) continue;
    for (int k = 0; k <= static_cast<int>(widest); ++k) {
      const GenericFn fn = entry->exact_kernel(k);
      if (fn == nullptr) continue;
      std::string name(variant_name(static_cast<Variant>(v)));
      if (k != 0) name += " [" + std::string(kernel_name(static_cast<Kernel>(k))) + "]";
      found.push_back({slot, static_cast<Variant>(v), name, fn});
    }
  }
  return found;
}

template <SlotId S>
std::vector<Registered<typename SlotTraits<S>::Fn>> registered() {
  std::vector<Registered<typename SlotTraits<S>::Fn>> typed;
  for (const auto& r : registered(S)) {
    typed.push_back({r.slot, r.variant, r.name, reinterpret_cast<typename SlotTraits<S>::Fn>(r.fn)});
  }
  return typed;
}

// A reference that differs by variant: one row per variant that has one.
template <typename T>
struct ForVariant {
  Variant variant;
  T value;
};

// The reference of a registered implementation's variant, or null after a
// failure that names the variant registered without one.
template <typename T, std::size_t N, typename Fn>
const T* reference(const ForVariant<T> (&table)[N], const Registered<Fn>& impl) {
  for (const ForVariant<T>& row : table) {
    if (row.variant == impl.variant) return &row.value;
  }
  ADD_FAILURE() << slot_info(impl.slot).name << " " << impl.name
                << " is registered without a reference";
  return nullptr;
}

// A case table's column for the implementation's variant, as above.
template <typename Case, typename T, std::size_t N, typename Fn>
const T* reference(const Case& c, const ForVariant<T Case::*> (&columns)[N],
                   const Registered<Fn>& impl) {
  const auto* column = reference(columns, impl);
  return column ? &(c.**column) : nullptr;
}

// Every distinct implementation of a slot (one shared by several variants
// appears once, named after the first), for tests whose reference is the
// same for every variant.
struct SlotImplementation {
  std::string name;
  GenericFn fn;
};

inline std::vector<SlotImplementation> slot_implementations(SlotId slot) {
  std::vector<SlotImplementation> found;
  for (const auto& r : registered(slot)) {
    bool seen = false;
    for (const SlotImplementation& f : found) seen |= f.fn == r.fn;
    if (!seen) found.push_back({r.name, r.fn});
  }
  return found;
}

template <SlotId S>
typename SlotTraits<S>::Fn as_slot_fn(GenericFn fn) {
  return reinterpret_cast<typename SlotTraits<S>::Fn>(fn);
}

inline std::string tier_test_name(Tier tier) {
  return test_name(tier_name(tier));
}

// Name generator for INSTANTIATE_TEST_SUITE_P: a tier, a variant, or any
// case record with a `name` member, named by its label.
struct ParamName {
  std::string operator()(const ::testing::TestParamInfo<Tier>& info) const {
    return tier_test_name(info.param);
  }
  std::string operator()(const ::testing::TestParamInfo<Variant>& info) const {
    return test_name(variant_name(info.param));
  }
  template <class Case>
  std::string operator()(const ::testing::TestParamInfo<Case>& info) const {
    return test_name(info.param.name);
  }
};

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

namespace tarn {
// Failure messages name the tier rather than dumping its byte.
inline void PrintTo(Tier tier, std::ostream* out) {
  *out << tier_name(tier);
}
}  // namespace tarn
