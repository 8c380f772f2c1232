// Vector arithmetic: every form against a reference computed in the stated
// order (double arithmetic rounded to single after each step is exactly one
// single-precision rounding), the record rules, the estimates' accuracy and
// the comparison codes with their NaN differences.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "isa/estimates.h"
#include "test_support.h"
#include "vector/vector.h"

namespace tarn::test {
namespace {

namespace v = tarn::vector;

using UnaryFloat = float (*)(const Mx3DVec*);

constexpr std::uint32_t kPadSentinel = 0x7FC0DEADu;  // a quiet NaN with a payload
const float kNaN = std::numeric_limits<float>::quiet_NaN();

// Every registered implementation of each slot.
const auto kMagnitudeSquared = registered<SlotId::Mx3DVecMagnitudeSquared>();
const auto kDot = registered<SlotId::Mx3DVecDotProd>();
const auto kCross = registered<SlotId::Mx3DVecCrossProd>();
const auto kAdd = registered<SlotId::Mx3DVecAdd>();
const auto kSub = registered<SlotId::Mx3DVecSub>();
const auto kScale = registered<SlotId::Mx3DVecScale>();
const auto kCmpMagnitude = registered<SlotId::Mx3DVecCmpMagnitude>();
const auto kCmp = registered<SlotId::Mx3DVecCmp>();

Mx3DVec vec(float x, float y, float z, float pad = 0.0f) {
  return {x, y, z, pad};
}

float squared_length(const Mx3DVec& a) {
  return add(add(mul(a.x, a.x), mul(a.y, a.y)), mul(a.z, a.z));
}

// Components of either sign between 2^-20 and 2^20: every product and sum
// stays in the normal range.
class RandomVectors {
 public:
  explicit RandomVectors(std::uint32_t seed) : gen_(seed) {}
  float component() {
    const float m = std::uniform_real_distribution<float>(1.0f, 2.0f)(gen_);
    const int e = std::uniform_int_distribution<int>(-20, 20)(gen_);
    return (gen_() & 1 ? -1.0f : 1.0f) * std::ldexp(m, e);
  }
  Mx3DVec next() { return vec(component(), component(), component(), from_bits(kPadSentinel)); }

 private:
  std::mt19937 gen_;
};

void expect_bits(const Mx3DVec& got, float x, float y, float z, const std::string& what) {
  EXPECT_EQ(bits(got.x), bits(x)) << what << " x";
  EXPECT_EQ(bits(got.y), bits(y)) << what << " y";
  EXPECT_EQ(bits(got.z), bits(z)) << what << " z";
}

TEST(VectorArithmetic, ExactFormsMatchTheReferenceBitForBit) {
  RandomVectors random(12345);
  for (int i = 0; i < 2000; ++i) {
    const Mx3DVec a = random.next(), b = random.next();
    const float f = random.component();
    for (const auto& form : kMagnitudeSquared)
      EXPECT_EQ(bits(form.fn(&a)), bits(squared_length(a))) << form.name;
    const float dot = add(add(mul(a.x, b.x), mul(a.y, b.y)), mul(a.z, b.z));
    for (const auto& form : kDot) EXPECT_EQ(bits(form.fn(&a, &b)), bits(dot)) << form.name;
    Mx3DVec r;
    for (const auto& form : kCross) {
      form.fn(&r, &a, &b);
      expect_bits(r, sub(mul(a.y, b.z), mul(a.z, b.y)), sub(mul(a.z, b.x), mul(a.x, b.z)),
                  sub(mul(a.x, b.y), mul(a.y, b.x)), std::string("cross ") + form.name);
    }
    for (const auto& form : kAdd) {
      form.fn(&r, &a, &b);
      expect_bits(r, add(a.x, b.x), add(a.y, b.y), add(a.z, b.z), std::string("add ") + form.name);
    }
    for (const auto& form : kSub) {
      form.fn(&r, &a, &b);
      expect_bits(r, sub(a.x, b.x), sub(a.y, b.y), sub(a.z, b.z), std::string("sub ") + form.name);
    }
    for (const auto& form : kScale) {
      form.fn(&r, &a, f);
      expect_bits(r, mul(a.x, f), mul(a.y, f), mul(a.z, f), std::string("scale ") + form.name);
    }
    if (HasFailure()) return;
  }
}

TEST(VectorArithmetic, CrossProductOfAxes) {
  const Mx3DVec x = vec(1, 0, 0), y = vec(0, 1, 0);
  for (const auto& form : kCross) {
    Mx3DVec r;
    form.fn(&r, &x, &y);
    expect_bits(r, 0.0f, 0.0f, 1.0f, form.name);
    form.fn(&r, &y, &x);
    expect_bits(r, 0.0f, 0.0f, -1.0f, form.name);
  }
}

// r may be a or b; the fourth float of r is never written, and a NaN in the
// fourth float of any input changes nothing.
TEST(VectorArithmetic, RecordsMayAliasAndTheFourthFloatIsInert) {
  RandomVectors random(777);
  const Mx3DVec a0 = random.next(), b0 = random.next();
  const float f = random.component();
  auto check = [&](const char* op, const std::string& form, auto call) {
    Mx3DVec a = a0, b = b0, expected = vec(0, 0, 0, from_bits(0x12345678u));
    call(&expected, &a, &b);
    EXPECT_EQ(bits(expected.pad), 0x12345678u) << op << " " << form;
    Mx3DVec zero_pads_a = a0, zero_pads_b = b0, r;
    zero_pads_a.pad = zero_pads_b.pad = 0.0f;
    call(&r, &zero_pads_a, &zero_pads_b);
    expect_bits(r, expected.x, expected.y, expected.z, op + (" NaN pad " + form));
    call(&a, &a, &b);
    expect_bits(a, expected.x, expected.y, expected.z, op + (" r=a " + form));
    EXPECT_EQ(bits(a.pad), kPadSentinel);
    a = a0;
    call(&b, &a, &b);
    expect_bits(b, expected.x, expected.y, expected.z, op + (" r=b " + form));
    EXPECT_EQ(bits(b.pad), kPadSentinel);
  };
  for (const auto& form : kCross) check("cross", form.name, form.fn);
  for (const auto& form : kAdd) check("add", form.name, form.fn);
  for (const auto& form : kSub) check("sub", form.name, form.fn);
  for (const auto& form : kScale) {
    check("scale", form.name,
          [&](Mx3DVec* r, const Mx3DVec* a, const Mx3DVec*) { form.fn(r, a, f); });
  }
}

// ---- magnitudes -------------------------------------------------------------

const auto kAccMagnitude = registered<SlotId::Mx3DVecAccMagnitude>();
const auto kRghFastMagnitude = registered<SlotId::Mx3DVecRghFastMagnitude>();

TEST(VectorMagnitude, RoughX87FormFollowsTheBitPatternEstimate) {
  const Mx3DVec three_four = vec(3, 4, 0), unit = vec(1, 0, 0);
  EXPECT_EQ(bits(v::x87::MagnitudeSquared(&three_four)), bits(25.0f));
  EXPECT_EQ(bits(v::x87::AccMagnitude(&three_four)), bits(5.0f));
  EXPECT_EQ(bits(v::x87::RghFastMagnitude(&three_four)), 0x409FC077u);
  EXPECT_EQ(bits(v::x87::RghFastMagnitude(&unit)), 0x3F7F910Fu);
}

TEST(VectorMagnitude, ZeroVectorsHavePositiveZeroMagnitude) {
  const Mx3DVec zeros[] = {vec(0, 0, 0, kNaN), vec(-0.0f, -0.0f, -0.0f, kNaN)};
  for (const Mx3DVec& zero : zeros) {
    for (const auto& form : kAccMagnitude) EXPECT_EQ(bits(form.fn(&zero)), 0u) << form.name;
    for (const auto& form : kRghFastMagnitude) EXPECT_EQ(bits(form.fn(&zero)), 0u) << form.name;
  }
}

// Relative error of each form against the exact magnitude, over squared
// lengths from 2^-60 to 2^60.
TEST(VectorMagnitude, EstimatesStayWithinTheirAccuracy) {
  constexpr ForVariant<double> kAccBounds[] = {
      {Variant::kX87, 0x1p-24},  // correctly rounded: half an ulp
      {Variant::k3DNow, 0x1p-22},
      {Variant::kSse, 0x1p-21},
  };
  constexpr ForVariant<double> kRoughBounds[] = {
      {Variant::kX87, 0.0018},
      {Variant::k3DNow, 0x1p-16 + 0x1p-23},
      {Variant::kSse, 1.5 * 0x1p-12 + 0x1p-23},
  };
  struct Bound {
    const Registered<UnaryFloat>& form;
    const double* relative;
    double worst = 0.0;
  };
  std::vector<Bound> bounds;
  for (const auto& form : kAccMagnitude) bounds.push_back({form, reference(kAccBounds, form)});
  for (const auto& form : kRghFastMagnitude) bounds.push_back({form, reference(kRoughBounds, form)});
  std::mt19937 gen(99);
  std::uniform_real_distribution<float> mantissa(1.0f, 2.0f);
  for (int e = -30; e <= 30; ++e) {
    for (int i = 0; i < 200; ++i) {
      const Mx3DVec a = vec(std::ldexp(mantissa(gen), e), std::ldexp(mantissa(gen), e - 3),
                            -std::ldexp(mantissa(gen), e - 1), kNaN);
      const double exact = std::sqrt(double{squared_length(a)});
      for (Bound& bound : bounds) {
        const double err = std::fabs(double{bound.form.fn(&a)} - exact) / exact;
        bound.worst = std::max(bound.worst, err);
      }
    }
  }
  for (const Bound& bound : bounds) {
    if (bound.relative) {
      EXPECT_LE(bound.worst, *bound.relative)
          << slot_info(bound.form.slot).name << " " << bound.form.name;
    }
  }
  // The x87 form is the correctly rounded square root itself.
  const Mx3DVec a = vec(1.0f, 2.0f, 3.0f);
  EXPECT_EQ(bits(v::x87::AccMagnitude(&a)), bits(static_cast<float>(std::sqrt(14.0))));
}

// The estimate forms take their estimate from the one shared definition and
// refine it in the stated order.
TEST(VectorMagnitude, EstimateFormsFollowTheirStepsBitForBit) {
  std::mt19937 gen(4242);
  std::uniform_real_distribution<float> mantissa(1.0f, 2.0f);
  for (int i = 0; i < 4000; ++i) {
    const int e = std::uniform_int_distribution<int>(-30, 30)(gen);
    const Mx3DVec a = vec(std::ldexp(mantissa(gen), e), -std::ldexp(mantissa(gen), e),
                          std::ldexp(mantissa(gen), e - 5));
    const float s = squared_length(a);
    const float est = estimates::rsqrt_estimate_sse(s);
    float p = mul(s, est);
    p = mul(p, est);
    const float h = mul(mul(0.5f, est), sub(3.0f, p));
    EXPECT_EQ(bits(v::sse::AccMagnitude(&a)), bits(mul(s, h)));
    EXPECT_EQ(bits(v::sse::RghFastMagnitude(&a)), bits(mul(s, est)));
    EXPECT_EQ(bits(v::threednow::AccMagnitude(&a)),
              bits(mul(s, estimates::rsqrt_refined_3dnow(s))));
    EXPECT_EQ(bits(v::threednow::RghFastMagnitude(&a)),
              bits(mul(s, estimates::rsqrt_estimate_3dnow(s))));
    if (HasFailure()) return;
  }
}

TEST(VectorMagnitude, SseFormsPassNaNThroughBeforeAnyEstimate) {
  const Mx3DVec nan = vec(kNaN, 1, 1);
  EXPECT_TRUE(std::isnan(v::sse::AccMagnitude(&nan)));
  EXPECT_TRUE(std::isnan(v::sse::RghFastMagnitude(&nan)));
}

// ---- comparisons ----------------------------------------------------------

TEST(VectorCompare, MagnitudeCodesInEveryForm) {
  struct Case {
    Mx3DVec a, b;
    std::int32_t expected;
  };
  const Case cases[] = {
      {vec(1, 0, 0), vec(0, 0, -1), 0},    {vec(2, 0, 0), vec(0, 1, 0), 1},
      {vec(0, 1, 0), vec(2, 0, 0), 2},     {vec(3, 4, 0, kNaN), vec(0, 0, 5, 1e30f), 0},
      {vec(0, 0, 0), vec(-0.0f, 0, 0), 0},
  };
  for (const Case& c : cases) {
    for (const auto& form : kCmpMagnitude) EXPECT_EQ(form.fn(&c.a, &c.b), c.expected) << form.name;
  }
  // A NaN squared length: the flag-based forms report 1, the 3DNow! masks
  // (neither greater-or-equal nor equal) report 2.
  constexpr ForVariant<std::int32_t> kUnordered[] = {{Variant::kX87, 1},
                                                     {Variant::kCmov, 1},
                                                     {Variant::k3DNow, 2},
                                                     {Variant::kExt3DNowMmxext, 2},
                                                     {Variant::kSse, 1}};
  const Mx3DVec nan = vec(kNaN, 0, 0), one = vec(1, 0, 0);
  for (const auto& form : kCmpMagnitude) {
    const std::int32_t* unordered = reference(kUnordered, form);
    if (unordered == nullptr) continue;
    EXPECT_EQ(form.fn(&nan, &one), *unordered) << form.name;
    EXPECT_EQ(form.fn(&one, &nan), *unordered) << form.name;
  }
}

TEST(VectorCompare, EqualityInEveryForm) {
  struct Case {
    Mx3DVec a, b;
    std::int32_t expected;
  };
  const Case cases[] = {
      {vec(1, 2, 3), vec(1, 2, 4), 1},       {vec(1, 2, 3), vec(9, 2, 3), 1},
      {vec(1, 2, 3), vec(1, 9, 3), 1},       {vec(0, 2, 3), vec(-0.0f, 2, 3), 0},
      {vec(1, 2, 3, 0), vec(1, 2, 3, 7), 0}, {vec(1, 2, 3, kNaN), vec(1, 2, 3, 0), 0},
  };
  for (const Case& c : cases) {
    for (const auto& form : kCmp) EXPECT_EQ(form.fn(&c.a, &c.b), c.expected) << form.name;
  }
  // A NaN component: the x87 compare flags it as equal, the packed compares
  // as unequal.
  constexpr ForVariant<std::int32_t> kUnordered[] = {{Variant::kX87, 0},
                                                     {Variant::kCmov, 0},
                                                     {Variant::k3DNow, 1},
                                                     {Variant::k3DNowMmxext, 1},
                                                     {Variant::kSse, 1}};
  const Mx3DVec nan = vec(1, kNaN, 3), other = vec(1, 5, 3);
  for (const auto& form : kCmp) {
    const std::int32_t* unordered = reference(kUnordered, form);
    if (unordered == nullptr) continue;
    EXPECT_EQ(form.fn(&nan, &other), *unordered) << form.name;
    EXPECT_EQ(form.fn(&nan, &nan), *unordered) << form.name;
  }
}

// The slots give the same answers in every tier for ordinary vectors.
TEST(VectorCompare, EveryTierAgrees) {
  for (Tier tier : all_tiers()) {
    use_tier(tier);
    const Mx3DVec a = vec(1, 2, 3), b = vec(1, 2, 4);
    EXPECT_EQ(Mx3DVecCmp(&a, &b), 1) << tier_name(tier);
    EXPECT_EQ(Mx3DVecCmp(&a, &a), 0) << tier_name(tier);
    EXPECT_EQ(Mx3DVecCmpMagnitude(&a, &b), 2) << tier_name(tier);
    EXPECT_EQ(Mx3DVecCmpMagnitude(&b, &a), 1) << tier_name(tier);
  }
}

}  // namespace
}  // namespace tarn::test
