// The shared reciprocal and reciprocal-square-root estimates, and the
// estimate-based scalar variants: accuracy over a sweep of magnitudes,
// exact scaling, special values, and correct rounding of the refined forms.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "isa/estimates.h"
#include "test_support.h"

namespace tarn {
namespace {

using test::bits;
using test::from_bits;

constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kNan = std::numeric_limits<float>::quiet_NaN();

double relative_error(float got, double exact) {
  return std::fabs((got - exact) / exact);
}

// Distance in units of the last place of the float nearest the exact value.
double ulps(float got, double exact) {
  const int exponent = std::ilogb(static_cast<float>(exact));
  return std::fabs(got - exact) / std::ldexp(1.0, exponent - 23);
}

// Positive floats spread evenly over the binades 2^-lo .. 2^hi.
std::vector<float> sweep(int lo, int hi, int count, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_int_distribution<std::uint32_t> significand(0, 0x7FFFFF);
  std::uniform_int_distribution<int> exponent(lo, hi);
  std::vector<float> values;
  for (int i = 0; i < count; ++i)
    values.push_back(
        from_bits((static_cast<std::uint32_t>(exponent(rng) + 127) << 23) | significand(rng)));
  return values;
}

TEST(ScalarEstimates, ThreeDNowEstimatesKeepTheirStatedBits) {
  double worst_recip = 0, worst_rsqrt = 0;
  for (float x : sweep(-125, 125, 200000, 1)) {
    for (float v : {x, -x}) {
      const float r = estimates::recip_estimate_3dnow(v);
      worst_recip = std::max(worst_recip, relative_error(r, 1.0 / v));
      ASSERT_EQ(bits(r) & 0x1FF, 0u) << v;  // 14 fraction bits
    }
    const float y = estimates::rsqrt_estimate_3dnow(x);
    worst_rsqrt = std::max(worst_rsqrt, relative_error(y, 1.0 / std::sqrt(double{x})));
    ASSERT_EQ(bits(y) & 0xFF, 0u) << x;  // 15 fraction bits
  }
  EXPECT_LE(worst_recip, std::ldexp(1.0, -15));
  EXPECT_GT(worst_recip, std::ldexp(1.0, -16));  // no more precise than stated
  EXPECT_LE(worst_rsqrt, std::ldexp(1.0, -16));
  EXPECT_GT(worst_rsqrt, std::ldexp(1.0, -17));
}

// The emulation depends on the significand alone: a power-of-two scaling of
// the argument scales the estimate exactly.
TEST(ScalarEstimates, ThreeDNowEstimatesScaleExactly) {
  for (float x : sweep(-20, 20, 20000, 2)) {
    const float r = estimates::recip_estimate_3dnow(x);
    const float y = estimates::rsqrt_estimate_3dnow(x);
    for (int k : {-50, -7, 1, 30, 50}) {
      ASSERT_EQ(estimates::recip_estimate_3dnow(std::ldexp(x, k)), std::ldexp(r, -k)) << x;
      ASSERT_EQ(estimates::rsqrt_estimate_3dnow(std::ldexp(x, 2 * k)), std::ldexp(y, -k)) << x;
    }
  }
}

TEST(ScalarEstimates, SseEstimatesWithinTheirBound) {
  const double bound = 1.5 * std::ldexp(1.0, -12);
  for (float x : sweep(-125, 125, 200000, 3)) {
    ASSERT_LE(relative_error(estimates::recip_estimate_sse(x), 1.0 / x), bound) << x;
    ASSERT_LE(relative_error(estimates::recip_estimate_sse(-x), -1.0 / x), bound) << x;
    ASSERT_LE(relative_error(estimates::rsqrt_estimate_sse(x), 1.0 / std::sqrt(double{x})), bound)
        << x;
  }
}

TEST(ScalarEstimates, SpecialValues) {
  struct Case {
    const char* name;
    float (*fn)(float);
    float x;
    float want;  // NaN: any NaN
  };
  using namespace estimates;
  const Case cases[] = {
      {"recip_estimate_3dnow", recip_estimate_3dnow, 0.0f, kInf},
      {"recip_estimate_3dnow", recip_estimate_3dnow, -0.0f, -kInf},
      {"recip_estimate_3dnow", recip_estimate_3dnow, kInf, 0.0f},
      {"recip_estimate_3dnow", recip_estimate_3dnow, -kInf, -0.0f},
      {"recip_estimate_3dnow", recip_estimate_3dnow, kNan, kNan},
      {"recip_refined_3dnow", recip_refined_3dnow, 0.0f, kInf},
      {"recip_refined_3dnow", recip_refined_3dnow, -kInf, -0.0f},
      {"recip_refined_3dnow", recip_refined_3dnow, kNan, kNan},
      {"rsqrt_estimate_3dnow", rsqrt_estimate_3dnow, 0.0f, kInf},
      {"rsqrt_estimate_3dnow", rsqrt_estimate_3dnow, -0.0f, -kInf},
      {"rsqrt_estimate_3dnow", rsqrt_estimate_3dnow, kInf, 0.0f},
      {"rsqrt_estimate_3dnow", rsqrt_estimate_3dnow, -1.0f, kNan},
      {"rsqrt_estimate_3dnow", rsqrt_estimate_3dnow, kNan, kNan},
      {"rsqrt_refined_3dnow", rsqrt_refined_3dnow, 0.0f, kInf},
      {"rsqrt_refined_3dnow", rsqrt_refined_3dnow, -4.0f, kNan},
      {"rsqrt_refined_3dnow", rsqrt_refined_3dnow, 4.0f, 0.5f},
      {"recip_estimate_sse", recip_estimate_sse, 0.0f, kInf},
      {"recip_estimate_sse", recip_estimate_sse, -0.0f, -kInf},
      {"recip_estimate_sse", recip_estimate_sse, kInf, 0.0f},
      {"rsqrt_estimate_sse", rsqrt_estimate_sse, 0.0f, kInf},
      {"rsqrt_estimate_sse", rsqrt_estimate_sse, -0.0f, -kInf},
      {"rsqrt_estimate_sse", rsqrt_estimate_sse, -1.0f, kNan},
      {"rsqrt_estimate_sse", rsqrt_estimate_sse, kInf, 0.0f},
  };
  for (const Case& c : cases) {
    const float got = c.fn(c.x);
    if (std::isnan(c.want))
      EXPECT_TRUE(std::isnan(got)) << c.name << "(" << c.x << ") = " << got;
    else
      EXPECT_EQ(bits(got), bits(c.want)) << c.name << "(" << c.x << ") = " << got;
  }
  // The largest float's reciprocal is subnormal and still near 1/x.
  const float tiny = estimates::recip_estimate_3dnow(std::numeric_limits<float>::max());
  EXPECT_GT(tiny, 0.0f);
  EXPECT_LE(relative_error(tiny, 1.0 / std::numeric_limits<float>::max()), 1e-3);
}

// Every significand, over the two binades that 1/sqrt repeats on: the refined
// form must be 1/sqrt(x) correctly rounded. For x = X 2^-23 in (1, 4) and
// y = Y 2^-24 in (0.5, 1), y is correct when the half-way points around it,
// (2Y -+ 1) 2^-25, bracket 1/sqrt(x): (2Y-1)^2 X <= 2^73 <= (2Y+1)^2 X.
TEST(ScalarEstimates, RefinedReciprocalSquareRootIsCorrectlyRounded) {
#if defined(__SIZEOF_INT128__)
  __extension__ typedef unsigned __int128 u128;
  const u128 target = u128{1} << 73;
  int wrong = 0;
  for (std::uint32_t b = test::kOne + 1; b < 0x40800000u; ++b) {
    const float x = from_bits(b);
    const float y = estimates::rsqrt_refined_3dnow(x);
    const std::uint64_t big_x = static_cast<std::uint64_t>(std::ldexp(x, 23));
    const std::uint64_t big_y = static_cast<std::uint64_t>(std::ldexp(y, 24));
    // At y = 0.5 the gap below is half as wide: its half-way point is (4Y-1) 2^-26.
    const bool at_binade = big_y == (1u << 23);
    const u128 below = at_binade ? u128{4 * big_y - 1} : u128{2 * big_y - 1};
    const u128 below_sq_x = below * below * big_x;
    const bool below_ok = at_binade ? below_sq_x <= (target << 2) : below_sq_x <= target;
    const u128 above = 2 * big_y + 1;
    const bool above_ok = above * above * big_x >= target;
    if (!(below_ok && above_ok) && ++wrong <= 5) ADD_FAILURE() << std::hexfloat << x << " -> " << y;
  }
  EXPECT_EQ(wrong, 0);
  EXPECT_EQ(estimates::rsqrt_refined_3dnow(1.0f), 1.0f);
#else
  GTEST_SKIP() << "needs 128-bit integers";
#endif
}

// ---- Every registered form of the six slots, over a sweep of magnitudes.

using test::ForVariant;

constexpr double kHalfUlp = 0x1p-24;

// Rough forms: relative error. The x87 division and reciprocal are exact; its
// square root is the seeded Newton step.
constexpr ForVariant<double> kRoughRecip[] = {{Variant::kX87, kHalfUlp},
                                              {Variant::k3DNow, 0x1p-15 + kHalfUlp},
                                              {Variant::kSse, 1.5 * 0x1p-12 + kHalfUlp}};
constexpr ForVariant<double> kRoughSqrt[] = {{Variant::kX87, 0.001753},
                                             {Variant::k3DNow, 0x1p-16 + kHalfUlp},
                                             {Variant::kSse, 1.5 * 0x1p-12 + kHalfUlp}};
// Accurate forms, in ulps. Refined 3DNow!: the correctly rounded reciprocal,
// then at most one more rounding. One SSE Newton step leaves at most
// 1.5 e0^2 = 3.4 * 2^-24 of the estimate's error, plus a rounding per operation.
constexpr ForVariant<double> kAccRecip[] = {
    {Variant::kX87, 0.5}, {Variant::k3DNow, 0.5}, {Variant::kSse, 6.0}};
constexpr ForVariant<double> kAccDivSqrt[] = {
    {Variant::kX87, 0.5}, {Variant::k3DNow, 1.5}, {Variant::kSse, 6.0}};

// The worst error of every registered form of slot S over the sweep, against
// its variant's bound; error(fn, a, b) measures one case.
template <SlotId S, std::size_t N, typename Error>
void expect_within(const ForVariant<double> (&bounds)[N], Error error) {
  const std::vector<float> as = sweep(-60, 60, 100000, 4), bs = sweep(-60, 60, 100000, 5);
  for (const auto& f : test::registered<S>()) {
    const double* bound = test::reference(bounds, f);
    if (bound == nullptr) continue;
    double worst = 0;
    float worst_a = 0, worst_b = 0;
    for (std::size_t i = 0; i < as.size(); ++i) {
      const float a = as[i], b = (i & 1) ? -bs[i] : bs[i];
      const double e = error(f.fn, a, b);
      if (!(e <= worst)) {
        worst = e, worst_a = a, worst_b = b;
        if (std::isnan(e)) break;
      }
    }
    EXPECT_LE(worst, *bound) << slot_info(S).name << " " << f.name << " at " << worst_a << ", "
                             << worst_b;
  }
}

TEST(ScalarEstimateVariants, WithinTheirAccuracyOverMagnitudes) {
  using S = SlotId;
  auto recip = [](auto fn, float, float b) { return relative_error(fn(b), 1.0 / b); };
  auto div = [](auto fn, float a, float b) { return relative_error(fn(a, b), double{a} / b); };
  auto root = [](auto fn, float a, float) { return relative_error(fn(a), std::sqrt(double{a})); };
  expect_within<S::MxFRghFastRecip>(kRoughRecip, recip);
  expect_within<S::MxFRghFastDiv>(kRoughRecip, div);
  expect_within<S::MxRghFastSqrt>(kRoughSqrt, root);
  expect_within<S::MxFAccRecip>(
      kAccRecip, [](auto fn, float, float b) { return ulps(fn(b), 1.0 / b); });
  expect_within<S::MxFAccDiv>(
      kAccDivSqrt, [](auto fn, float a, float b) { return ulps(fn(a, b), double{a} / b); });
  expect_within<S::MxAccSqrt>(
      kAccDivSqrt, [](auto fn, float a, float) { return ulps(fn(a), std::sqrt(double{a})); });
}

}  // namespace
}  // namespace tarn
