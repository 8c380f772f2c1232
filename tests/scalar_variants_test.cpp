// The scalar helpers: every registered implementation of each slot against
// that slot's reference, the values that tell the variants apart and special
// values; through the slots in every tier, the variant bound answers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cfenv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <type_traits>
#include <vector>

#include "dispatch/registry.h"
#include "isa/fpu_control.h"
#include "scalar/scalar.h"
#include "test_support.h"

namespace tarn {
namespace {

using test::bits;
using test::from_bits;

constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kNan = std::numeric_limits<float>::quiet_NaN();
constexpr std::int32_t kMinInt = INT32_MIN;
constexpr std::int32_t kMaxInt = INT32_MAX;

// A float expectation: exact bits, or any NaN.
struct Expected {
  std::uint32_t bits;
  bool nan = false;
};
Expected val(float f) {
  return {bits(f), false};
}
constexpr Expected kAnyNan{0, true};

::testing::AssertionResult matches(float got, Expected want) {
  if (want.nan ? std::isnan(got) : bits(got) == want.bits) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << "got " << got << " (bits " << bits(got) << ") want "
         << (want.nan ? std::string("NaN") : std::to_string(from_bits(want.bits)));
}

using test::ForVariant;
using test::reference;
using test::registered;

// ---- Integer minimum and maximum: every variant, the signed extremes.

TEST(ScalarIntMinMax, EveryVariantComparesSigned) {
  struct Case {
    std::int32_t a, b, min, max;
  };
  const Case cases[] = {
      {-1, 1, -1, 1},
      {1, -1, -1, 1},
      {kMaxInt, kMinInt, kMinInt, kMaxInt},
      {kMinInt, kMaxInt, kMinInt, kMaxInt},
      {7, 7, 7, 7},
      {0, -1, -1, 0},
  };
  for (const Case& c : cases) {
    for (const auto& f : registered<SlotId::MxIMin>())
      EXPECT_EQ(f.fn(c.a, c.b), c.min) << "MxIMin " << f.name << "(" << c.a << ", " << c.b << ")";
    for (const auto& f : registered<SlotId::MxIMax>())
      EXPECT_EQ(f.fn(c.a, c.b), c.max) << "MxIMax " << f.name << "(" << c.a << ", " << c.b << ")";
  }
}

// ---- Float minimum and maximum: signed zeros and NaNs in both orders.

struct MinMaxCase {
  float a, b;
  Expected x87, cmov, threednow;
};
constexpr ForVariant<Expected MinMaxCase::*> kMinMaxColumns[] = {
    {Variant::kX87, &MinMaxCase::x87},
    {Variant::kCmov, &MinMaxCase::cmov},
    {Variant::k3DNow, &MinMaxCase::threednow},
};

TEST(ScalarFloatMinMax, SignedZerosAndNansPerVariant) {
  const MinMaxCase min_cases[] = {
      {+0.0f, -0.0f, val(+0.0f), val(-0.0f), val(-0.0f)},
      {-0.0f, +0.0f, val(-0.0f), val(+0.0f), val(+0.0f)},
      {kNan, 1.0f, val(1.0f), val(1.0f), val(1.0f)},
      {1.0f, kNan, kAnyNan, kAnyNan, kAnyNan},
      {1.0f, 2.0f, val(1.0f), val(1.0f), val(1.0f)},
      {2.0f, -kInf, val(-kInf), val(-kInf), val(-kInf)},
  };
  const MinMaxCase max_cases[] = {
      {+0.0f, -0.0f, val(+0.0f), val(-0.0f), val(-0.0f)},
      {-0.0f, +0.0f, val(-0.0f), val(+0.0f), val(+0.0f)},
      {kNan, 1.0f, kAnyNan, kAnyNan, kAnyNan},
      {1.0f, kNan, val(1.0f), val(1.0f), val(1.0f)},
      {1.0f, 2.0f, val(2.0f), val(2.0f), val(2.0f)},
      {kInf, -3.0f, val(kInf), val(kInf), val(kInf)},
  };
  const struct {
    std::vector<test::Registered<MxFMinFn>> impls;
    const MinMaxCase* cases;
  } slots[] = {{registered<SlotId::MxFMin>(), min_cases}, {registered<SlotId::MxFMax>(), max_cases}};
  for (const auto& slot : slots) {
    for (const auto& f : slot.impls) {
      for (std::size_t i = 0; i < std::size(min_cases); ++i) {
        const MinMaxCase& c = slot.cases[i];
        const Expected* want = reference(c, kMinMaxColumns, f);
        if (want == nullptr) break;
        EXPECT_TRUE(matches(f.fn(c.a, c.b), *want))
            << slot_info(f.slot).name << " " << f.name << "(" << c.a << ", " << c.b << ")";
      }
    }
  }
}

// ---- Conversions.

struct FloatToIntCase {
  float x;
  std::int32_t x87, threednow, sse;
};
constexpr ForVariant<std::int32_t FloatToIntCase::*> kFloatToIntColumns[] = {
    {Variant::kX87, &FloatToIntCase::x87},
    {Variant::k3DNow, &FloatToIntCase::threednow},
    {Variant::kSse, &FloatToIntCase::sse},
};

const FloatToIntCase kFloatToIntCases[] = {
    {2.7f, 3, 2, 2},
    {-2.7f, -3, -2, -2},
    {2.5f, 2, 2, 2},
    {3.5f, 4, 3, 3},
    {-0.5f, 0, 0, 0},
    {2147483520.0f, 2147483520, 2147483520, 2147483520},  // the largest float below 2^31
    {-2147483648.0f, kMinInt, kMinInt, kMinInt},
    {2147483648.0f, kMinInt, kMaxInt, kMinInt},  // out of range: indefinite or saturated
    {-2147483904.0f, kMinInt, kMinInt, kMinInt},
    {1e10f, kMinInt, kMaxInt, kMinInt},
    {kInf, kMinInt, kMaxInt, kMinInt},
    {-kInf, kMinInt, kMinInt, kMinInt},
    {kNan, kMinInt, kMaxInt, kMinInt},
    {-kNan, kMinInt, kMinInt, kMinInt},
};

TEST(ScalarConversions, FloatToIntPerVariant) {
  for (const auto& f : registered<SlotId::MxF2I>()) {
    for (const FloatToIntCase& c : kFloatToIntCases) {
      const std::int32_t* want = reference(c, kFloatToIntColumns, f);
      if (want == nullptr) break;
      EXPECT_EQ(f.fn(c.x), *want) << f.name << " F2I(" << c.x << ")";
    }
  }
}

// Restores round to nearest however the test ends.
struct RoundingMode {
  explicit RoundingMode(int mode) { std::fesetround(mode); }
  ~RoundingMode() { std::fesetround(FE_TONEAREST); }
};

TEST(ScalarConversions, OnlyTheX87FormFollowsTheRoundingMode) {
  struct Case {
    int mode;
    float x;
    std::int32_t rounded, truncated;
  };
  constexpr ForVariant<std::int32_t Case::*> kColumns[] = {
      {Variant::kX87, &Case::rounded},
      {Variant::k3DNow, &Case::truncated},
      {Variant::kSse, &Case::truncated},
  };
  const Case cases[] = {
      {FE_UPWARD, 2.1f, 3, 2},      {FE_UPWARD, -2.7f, -2, -2},     {FE_DOWNWARD, 2.7f, 2, 2},
      {FE_DOWNWARD, -2.1f, -3, -2}, {FE_TOWARDZERO, -2.7f, -2, -2}, {FE_TONEAREST, 2.5f, 2, 2},
  };
  for (const auto& f : registered<SlotId::MxF2I>()) {
    for (const Case& c : cases) {
      const std::int32_t* want = reference(c, kColumns, f);
      if (want == nullptr) break;
      RoundingMode mode(c.mode);
      EXPECT_EQ(f.fn(c.x), *want) << f.name << " " << c.x << " mode " << c.mode;
    }
  }
}

// The x87 form reads the x87 unit's own rounding field, not the SSE one.
TEST(ScalarConversions, X87FloatToIntReadsTheX87RoundingField) {
  if (!fpu::kHasX87) GTEST_SKIP() << "no x87 unit";
  const std::uint16_t original = fpu::read_x87_control();
  constexpr std::uint16_t kRoundingField = 0x0C00, kUpward = 0x0800;
  fpu::write_x87_control(static_cast<std::uint16_t>((original & ~kRoundingField) | kUpward));
  const std::int32_t up = scalar::x87::F2I(2.1f);
  fpu::write_x87_control(original);
  EXPECT_EQ(up, 3);
}

TEST(ScalarConversions, IntToFloatPerVariant) {
  struct Case {
    std::int32_t i;
    float x87, threednow, sse;
  };
  constexpr ForVariant<float Case::*> kColumns[] = {
      {Variant::kX87, &Case::x87},
      {Variant::k3DNow, &Case::threednow},
      {Variant::kSse, &Case::sse},
  };
  const Case cases[] = {
      {0, 0.0f, 0.0f, 0.0f},
      {-5, -5.0f, -5.0f, -5.0f},
      {16777216, 16777216.0f, 16777216.0f, 16777216.0f},
      {16777217, 16777216.0f, 16777216.0f, 16777216.0f},  // tie: to even, or truncated
      {16777219, 16777220.0f, 16777218.0f, 16777220.0f},
      {-16777219, -16777220.0f, -16777218.0f, -16777220.0f},
      {kMaxInt, 2147483648.0f, 2147483520.0f, 2147483648.0f},
      {kMinInt, -2147483648.0f, -2147483648.0f, -2147483648.0f},
  };
  for (const auto& f : registered<SlotId::MxI2F>()) {
    for (const Case& c : cases) {
      const float* want = reference(c, kColumns, f);
      if (want == nullptr) break;
      EXPECT_EQ(bits(f.fn(c.i)), bits(*want)) << f.name << " I2F(" << c.i << ")";
    }
  }
}

// ---- Division, reciprocal and square root: special values.

struct SpecialCase {
  SlotId slot;
  float a, b;  // b unused by the one-operand slots
  Expected x87, threednow, sse;
};
constexpr ForVariant<Expected SpecialCase::*> kSpecialColumns[] = {
    {Variant::kX87, &SpecialCase::x87},
    {Variant::k3DNow, &SpecialCase::threednow},
    {Variant::kSse, &SpecialCase::sse},
};

template <typename Fn>
void expect_special_values(const std::vector<test::Registered<Fn>>& impls,
                           std::initializer_list<SpecialCase> cases) {
  for (const SpecialCase& c : cases) {
    for (const auto& f : impls) {
      if (f.slot != c.slot) continue;
      const Expected* want = reference(c, kSpecialColumns, f);
      if (want == nullptr) continue;
      float got;
      if constexpr (std::is_invocable_v<Fn, float, float>) {
        got = f.fn(c.a, c.b);
      } else {
        got = f.fn(c.a);
      }
      EXPECT_TRUE(matches(got, *want))
          << slot_info(f.slot).name << " " << f.name << "(" << c.a << ", " << c.b << ")";
    }
  }
}

template <typename Fn>
std::vector<test::Registered<Fn>> joined(std::vector<test::Registered<Fn>> a,
                                         const std::vector<test::Registered<Fn>>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST(ScalarDivision, ZeroDivisorsPerVariant) {
  using S = SlotId;
  expect_special_values(joined(registered<S::MxFAccDiv>(), registered<S::MxFRghFastDiv>()),
                        {
                            {S::MxFAccDiv, 1.0f, 0.0f, val(kInf), val(kInf), kAnyNan},
                            {S::MxFAccDiv, -1.0f, 0.0f, val(-kInf), val(-kInf), kAnyNan},
                            {S::MxFAccDiv, 0.0f, 0.0f, kAnyNan, kAnyNan, kAnyNan},
                            {S::MxFRghFastDiv, 1.0f, 0.0f, val(kInf), val(kInf), val(kInf)},
                            {S::MxFRghFastDiv, 2.0f, -0.0f, val(-kInf), val(-kInf), val(-kInf)},
                        });
}

TEST(ScalarDivision, UnaryOperationsAtSpecialValuesPerVariant) {
  using S = SlotId;
  const auto impls =
      joined(joined(registered<S::MxFAccRecip>(), registered<S::MxFRghFastRecip>()),
             joined(registered<S::MxAccSqrt>(), registered<S::MxRghFastSqrt>()));
  expect_special_values(impls, {
                                   {S::MxFAccRecip, 0.0f, 0, val(kInf), val(kInf), kAnyNan},
                                   {S::MxFAccRecip, -0.0f, 0, val(-kInf), val(-kInf), kAnyNan},
                                   {S::MxFRghFastRecip, 0.0f, 0, val(kInf), val(kInf), val(kInf)},
                                   {S::MxAccSqrt, 0.0f, 0, val(0.0f), val(0.0f), val(0.0f)},
                                   {S::MxAccSqrt, -0.0f, 0, val(-0.0f), val(-0.0f), val(-0.0f)},
                                   {S::MxAccSqrt, -1.0f, 0, kAnyNan, kAnyNan, kAnyNan},
                                   {S::MxAccSqrt, kNan, 0, kAnyNan, kAnyNan, kAnyNan},
                                   {S::MxRghFastSqrt, 0.0f, 0, val(0.0f), val(0.0f), val(0.0f)},
                                   {S::MxRghFastSqrt, -0.0f, 0, val(-0.0f), val(-0.0f), val(-0.0f)},
                               });
}

TEST(ScalarDivision, X87RoughFormsAreTheExactOnes) {
  std::mt19937 rng(3);
  std::uniform_real_distribution<float> exponent(-60.0f, 60.0f);
  for (int i = 0; i < 10000; ++i) {
    const float a = std::exp2(exponent(rng)), b = -std::exp2(exponent(rng));
    ASSERT_EQ(bits(scalar::x87::FRghFastDiv(a, b)), bits(scalar::x87::FAccDiv(a, b)));
    ASSERT_EQ(bits(scalar::x87::FRghFastRecip(b)), bits(scalar::x87::FAccRecip(b)));
    ASSERT_EQ(bits(scalar::x87::FAccDiv(a, b)), bits(a / b));
  }
}

// ---- The x87 rough square root.

TEST(ScalarRoughSqrt, ListedValues) {
  EXPECT_EQ(scalar::x87::RghFastSqrt(4.0f), 1.9966143f);
  EXPECT_EQ(scalar::x87::RghFastSqrt(1.0f), 0.99830717f);
  EXPECT_EQ(bits(scalar::x87::RghFastSqrt(0.0f)), 0u);
}

TEST(ScalarRoughSqrt, SeedIsTheMagicMinusHalfTheBits) {
  const std::uint32_t inputs[] = {0x3F800000, 0x40800000, 0x00000001, 0x7F7FFFFF, 0x3FC00000};
  for (std::uint32_t b : inputs) {
    EXPECT_EQ(bits(scalar::rough_rsqrt_seed(from_bits(b))), 0x5F3759DFu - (b >> 1))
        << std::hex << b;
  }
  // 1.0 gives the seed 0x3F7759DF (0.96621): one Newton step lifts it to 0.99830717.
  EXPECT_EQ(bits(scalar::rough_rsqrt_seed(1.0f)), 0x3F3759DFu + 0x00400000u);
}

// Every significand of [1, 4) is checked; the other binades scale exactly (four
// times x moves the seed down one exponent step), sampled below.
TEST(ScalarRoughSqrt, RelativeErrorBelowTheStatedBoundForEveryNormalInput) {
  double worst = 0.0;
  int above_root = 0;
  for (std::uint32_t b = test::kOne; b < 0x40800000u; ++b) {
    const float x = from_bits(b);
    const double root = std::sqrt(static_cast<double>(x));
    const double error = (scalar::x87::RghFastSqrt(x) - root) / root;
    worst = std::max(worst, std::fabs(error));
    above_root += error > 0;
  }
  EXPECT_LT(worst, 0.001753);
  EXPECT_GT(worst, 0.00175);  // the method really is this rough
  // Rounding each step to single precision lets a few results pass the root,
  // 1.17516518 among them.
  EXPECT_GT(above_root, 0);
  EXPECT_GT(double{scalar::x87::RghFastSqrt(1.17516518f)}, std::sqrt(double{1.17516518f}));
  EXPECT_LT(above_root, 0x01000000 / 100);

  std::mt19937 rng(5);
  std::uniform_int_distribution<std::uint32_t> in_range(test::kOne, 0x407FFFFFu);
  for (int i = 0; i < 2000; ++i) {
    const float x = from_bits(in_range(rng));
    const float r = scalar::x87::RghFastSqrt(x);
    for (int k = -60; k <= 60; k += 12) {
      const float scaled = std::ldexp(x, 2 * k);
      ASSERT_EQ(scalar::x87::RghFastSqrt(scaled), std::ldexp(r, k)) << x << " * 4^" << k;
    }
  }
}

// ---- Every slot of the family is checked above, and through the slots each
// tier answers as the variant it binds.

TEST(ScalarReferences, EveryRegisteredSlotHasReferences) {
  using S = SlotId;
  const SlotId checked[] = {S::MxIMin,      S::MxIMax,         S::MxFMin,        S::MxFMax,
                            S::MxF2I,       S::MxI2F,          S::MxFAccDiv,     S::MxFRghFastDiv,
                            S::MxFAccRecip, S::MxFRghFastRecip, S::MxAccSqrt,    S::MxRghFastSqrt};
  for (const SlotImpl& entry : scalar_impls()) {
    EXPECT_NE(std::find(std::begin(checked), std::end(checked), entry.slot), std::end(checked))
        << slot_info(entry.slot).name << " " << variant_name(entry.variant)
        << " is registered without a reference test";
  }
}

// The variant a slot holds now, by its registry entry.
Variant bound_variant(SlotId slot) {
  Variant v = Variant::kCount;
  EXPECT_TRUE(find_variant(slot, load_slot(slot), &v)) << slot_info(slot).name;
  return v;
}

class ScalarThroughSlots : public ::testing::TestWithParam<Tier> {};

TEST_P(ScalarThroughSlots, AnswerAsTheBoundVariant) {
  test::use_tier(GetParam());
  const Variant conv = bound_variant(SlotId::MxF2I);
  EXPECT_EQ(MxF2I(2.7f), conv == Variant::kX87 ? 3 : 2) << variant_name(conv);
  const Variant minmax = bound_variant(SlotId::MxFMin);
  EXPECT_EQ(bits(MxFMin(+0.0f, -0.0f)), minmax == Variant::kX87 ? 0u : test::kNegZero)
      << variant_name(minmax);
  const Variant div = bound_variant(SlotId::MxFAccDiv);
  EXPECT_EQ(std::isnan(MxFAccDiv(1.0f, 0.0f)), div == Variant::kSse) << variant_name(div);
}

INSTANTIATE_TEST_SUITE_P(AllTiers, ScalarThroughSlots, ::testing::ValuesIn(test::all_tiers()),
                         test::ParamName{});

}  // namespace
}  // namespace tarn
