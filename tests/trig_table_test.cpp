// The sine table and the six lookups.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numbers>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "test_support.h"
#include "trig/trig.h"

namespace tarn {
namespace {

using test::bits;
using test::from_bits;

class SineTable : public ::testing::Test {
 protected:
  void SetUp() override { MxInitTables(); }
};

TEST_F(SineTable, EveryEntryIsTheCorrectlyRoundedSine) {
  test::ExtendedPrecision full;
  const long double step = std::bit_cast<float>(trig::kStepAngleBits);
  for (int k = 0; k < trig::kQuarterSteps; ++k) {
    const long double exact = std::sin(k / 256.0L * step);
    const float entry = trig::g_sine_table[k];
    ASSERT_EQ(bits(entry), bits(static_cast<float>(exact))) << "entry " << k;
    // The long double reference must itself be far from a rounding boundary
    // of single precision, or it could not decide the entry.
    const long double ulp = std::nextafter(entry, 2.0f) - entry;
    ASSERT_LT(std::fabs(exact - entry), 0.5L * ulp * (1 - 1e-6L)) << "entry " << k;
  }
  EXPECT_EQ(bits(trig::g_sine_table[trig::kQuarterSteps]), test::kOne);
}

TEST_F(SineTable, SampleEntries) {
  const struct {
    int k;
    std::uint32_t bits;
  } kSamples[] = {{0, 0x00000000},    {1, 0x38C90FDB},     {100, 0x3C1D13C5},
                  {8192, 0x3F3504F3}, {16383, 0x3F800000}, {16384, 0x3F800000}};
  for (const auto& s : kSamples) EXPECT_EQ(bits(trig::g_sine_table[s.k]), s.bits) << s.k;
}

TEST_F(SineTable, RebuildingLeavesTheTableIdentical) {
  std::vector<float> before(trig::g_sine_table, trig::g_sine_table + trig::kTableSize);
  EXPECT_EQ(MxInitTables(), 1);
  EXPECT_EQ(0, std::memcmp(before.data(), trig::g_sine_table, sizeof trig::g_sine_table));
}

TEST(SineTableFpuState, SinglePrecisionWithTheCallersRounding) {
  if (!fpu::kHasX87) GTEST_SKIP() << "no x87 unit on this target";
  const std::uint16_t saved = fpu::read_x87_control();
  for (std::uint16_t rounding : {0x0000, 0x0400, 0x0800, 0x0C00}) {
    fpu::write_x87_control(static_cast<std::uint16_t>(0x037F & ~0x0C00) | rounding);
    MxInitTables();
    const std::uint16_t cw = fpu::read_x87_control();
    EXPECT_EQ(cw & fpu::kPrecisionControlMask, 0) << std::hex << cw;
    EXPECT_EQ(cw & 0x0C00, rounding) << std::hex << cw;
    EXPECT_EQ(cw & 0x3F, 0x3F) << std::hex << cw;
  }
  fpu::write_x87_control(saved);
}

// ---- Lookups, in both forms and through the slots of every tier.

struct Lookups {
  std::string name;
  float (*sin)(float);
  float (*cos)(float);
  void (*sincos)(float*, float*, float);
  float (*sin_deg)(float);
  float (*cos_deg)(float);
  void (*sincos_deg)(float*, float*, float);
};

constexpr SlotId kLookupSlots[] = {SlotId::MxTSin,      SlotId::MxTCos,      SlotId::MxTSinCos,
                                   SlotId::MxTSinOfDeg, SlotId::MxTCosOfDeg, SlotId::MxTSinCosOfDeg};

// Every variant registered for any of the six lookups.
std::vector<Variant> lookup_variants() {
  std::vector<Variant> found;
  for (int v = 0; v < kVariantCount; ++v) {
    for (SlotId slot : kLookupSlots) {
      if (find_entry(slot, static_cast<Variant>(v)) != nullptr) {
        found.push_back(static_cast<Variant>(v));
        break;
      }
    }
  }
  return found;
}

// A variant's six lookups from the registry, or a failure naming the one it
// lacks (a lookup registered alone would go unchecked).
std::optional<Lookups> lookups(Variant v) {
  GenericFn fn[std::size(kLookupSlots)];
  for (std::size_t i = 0; i < std::size(kLookupSlots); ++i) {
    fn[i] = find_impl(kLookupSlots[i], v, Kernel::kBaseline);
    if (fn[i] == nullptr) {
      ADD_FAILURE() << variant_name(v) << " has lookups registered but none for "
                    << slot_info(kLookupSlots[i]).name;
      return std::nullopt;
    }
  }
  return Lookups{std::string(variant_name(v)),
                 test::as_slot_fn<SlotId::MxTSin>(fn[0]),
                 test::as_slot_fn<SlotId::MxTCos>(fn[1]),
                 test::as_slot_fn<SlotId::MxTSinCos>(fn[2]),
                 test::as_slot_fn<SlotId::MxTSinOfDeg>(fn[3]),
                 test::as_slot_fn<SlotId::MxTCosOfDeg>(fn[4]),
                 test::as_slot_fn<SlotId::MxTSinCosOfDeg>(fn[5])};
}

// The value of step n by the quadrant rule, from the reference entries.
float reference_sine(std::uint32_t n) {
  // The C library's sine may run on the x87 unit (32-bit x86 without an SSE2
  // libm), which MxInitTables leaves at single precision.
  const test::ExtendedPrecision full_precision;
  const int k = static_cast<int>(n & 0x3FFF);
  const int q = static_cast<int>((n >> 14) & 3);
  const float v =
      (q & 1) ? (k == 0 ? 1.0f : trig::sine_table_entry(16384 - k)) : trig::sine_table_entry(k);
  return q >= 2 ? -v : v;
}

float reference_cosine(std::uint32_t n) {
  return reference_sine((n + 0x4000) & 0xFFFF);
}

class Lookup : public ::testing::TestWithParam<Variant> {
 protected:
  void SetUp() override {
    MxInitTables();
    forms_ = lookups(GetParam());
    if (!forms_) GTEST_SKIP();
  }
  const Lookups& forms() const { return *forms_; }

 private:
  std::optional<Lookups> forms_;
};

TEST_P(Lookup, EveryStepOfBothMultipliers) {
  const Lookups& f = forms();
  for (std::uint32_t n = 0; n < 65536; ++n) {
    // An angle in the first turn that resolves to step n.
    const double turns = n / 65536.0;
    const float radians = static_cast<float>(turns * 256.0 / trig::kRadianMultiplier);
    const float degrees = static_cast<float>(turns * 256.0 / trig::kDegreeMultiplier);
    ASSERT_EQ(trig::step_index(radians, trig::kRadianMultiplier) & 0xFFFF, n);
    ASSERT_EQ(trig::step_index(degrees, trig::kDegreeMultiplier) & 0xFFFF, n);
    const float s = reference_sine(n), c = reference_cosine(n);
    ASSERT_EQ(bits(f.sin(radians)), bits(s)) << f.name << " step " << n;
    ASSERT_EQ(bits(f.cos(radians)), bits(c)) << f.name << " step " << n;
    ASSERT_EQ(bits(f.sin_deg(degrees)), bits(s)) << f.name << " step " << n;
    ASSERT_EQ(bits(f.cos_deg(degrees)), bits(c)) << f.name << " step " << n;
    // The quadrant rule itself: near the true sine of the step's angle.
    const double angle = turns * 2 * std::numbers::pi;
    ASSERT_NEAR(s, std::sin(angle), 2e-4) << n;
    ASSERT_NEAR(c, std::cos(angle), 2e-4) << n;
  }
}

TEST_P(Lookup, DocumentedAngles) {
  const Lookups& f = forms();
  const float half_pi = std::numbers::pi_v<float> / 2;
  constexpr std::uint32_t kUndocumented = 0xFFFFFFFF;
  const struct {
    float angle;
    bool degrees;
    std::uint32_t sin, cos;
  } kCases[] = {
      {0.0f, false, 0x00000000, test::kOne},
      {-0.0f, false, 0x00000000, test::kOne},
      {half_pi, false, test::kOne, test::kNegZero},
      {std::numbers::pi_v<float>, false, test::kNegZero, test::kMinusOne},
      {3 * half_pi, false, test::kMinusOne, 0x00000000},
      {2 * std::numbers::pi_v<float>, false, 0x00000000, test::kOne},
      {1.0f, false, 0x3F57695C, kUndocumented},
      {0.0f, true, 0x00000000, test::kOne},
      {45.0f, true, 0x3F3504F3, 0x3F3504F3},
      {90.0f, true, test::kOne, test::kNegZero},
      {180.0f, true, test::kNegZero, test::kMinusOne},
      {270.0f, true, test::kMinusOne, 0x00000000},
      {360.0f, true, 0x00000000, test::kOne},
      {-90.0f, true, test::kMinusOne, 0x00000000},
      {30.0f, true, 0x3EFFFC60, kUndocumented},
      {23040.0f, true, 0x00000000, test::kOne},
      {23130.0f, true, 0x3F3504F3, kUndocumented},
  };
  for (const auto& c : kCases) {
    const float s = c.degrees ? f.sin_deg(c.angle) : f.sin(c.angle);
    EXPECT_EQ(bits(s), c.sin) << f.name << " sin " << c.angle << (c.degrees ? " deg" : "");
    if (c.cos == kUndocumented) continue;
    const float co = c.degrees ? f.cos_deg(c.angle) : f.cos(c.angle);
    EXPECT_EQ(bits(co), c.cos) << f.name << " cos " << c.angle << (c.degrees ? " deg" : "");
  }
  EXPECT_EQ(bits(f.cos_deg(60.0f)), 0x3EFFFC60u);
}

INSTANTIATE_TEST_SUITE_P(Forms, Lookup, ::testing::ValuesIn(lookup_variants()),
                         test::ParamName{});

// Random bit patterns, non-finite and far-out angles included: every form
// agrees with the first bit for bit, and the pair lookups write what the
// single ones return.
TEST(LookupForms, AgreeOnEveryBitPattern) {
  MxInitTables();
  std::vector<Lookups> all;
  for (Variant v : lookup_variants()) {
    if (auto f = lookups(v)) all.push_back(*f);
  }
  ASSERT_FALSE(all.empty());
  std::mt19937 rng(2024);
  std::vector<std::uint32_t> patterns = {0x7F800000, 0xFF800000, 0x7FC00000, 0xFFC00000,
                                         0x7F800001, 0x00000001, 0x80000001, 0x7F7FFFFF,
                                         0xFF7FFFFF, 0x4B000000, 0xCB000000};
  for (int i = 0; i < 2'000'000; ++i) patterns.push_back(rng());
  for (std::uint32_t p : patterns) {
    const float a = from_bits(p);
    for (const Lookups& f : all) {
      float s, c, sd, cd;
      f.sincos(&s, &c, a);
      f.sincos_deg(&sd, &cd, a);
      ASSERT_EQ(bits(s), bits(all[0].sin(a))) << f.name << std::hex << " " << p;
      ASSERT_EQ(bits(c), bits(all[0].cos(a))) << f.name << std::hex << " " << p;
      ASSERT_EQ(bits(sd), bits(all[0].sin_deg(a))) << f.name << std::hex << " " << p;
      ASSERT_EQ(bits(cd), bits(all[0].cos_deg(a))) << f.name << std::hex << " " << p;
    }
  }
}

TEST(LookupSlots, EveryTierGivesTheSameValues) {
  const float angles[] = {0.0f, -0.0f, 0.5f, 1.0f, -2.75f, 100.0f, 1e6f, NAN, INFINITY};
  for (Tier tier : test::all_tiers()) {
    test::use_tier(tier);
    for (float a : angles) {
      float s, c;
      MxTSinCos(&s, &c, a);
      EXPECT_EQ(bits(s), bits(trig::x87::TSin(a))) << tier_name(tier) << " " << a;
      EXPECT_EQ(bits(c), bits(trig::x87::TCos(a))) << tier_name(tier) << " " << a;
      EXPECT_EQ(bits(MxTSinOfDeg(a)), bits(trig::x87::TSinOfDeg(a))) << tier_name(tier);
      EXPECT_EQ(bits(MxTCosOfDeg(a)), bits(trig::x87::TCosOfDeg(a))) << tier_name(tier);
    }
  }
}

}  // namespace
}  // namespace tarn
