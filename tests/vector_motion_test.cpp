// Transformation, normalisation and rotation: the reference in the stated
// grouping, the zero-length rule, the rotation examples in every tier, and
// the exact twelve bytes of the angles.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "guard_page.h"
#include "isa/estimates.h"
#include "test_support.h"
#include "vector/vector.h"

#if defined(__SSE__) || defined(__x86_64__)
#include <xmmintrin.h>
#define TARN_TEST_MXCSR 1
#endif

namespace tarn::test {
namespace {

namespace v = tarn::vector;

const float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr std::uint32_t kPadSentinel = 0x7FC0BEEFu;

using NormalizeFn = void (*)(Mx3DVec*, const Mx3DVec*);

// Every registered implementation of each slot.
const auto kTransform = registered<SlotId::Mx3DVecTransform>();
const auto kNormalize = registered<SlotId::Mx3DVecNormalize>();
const auto kRotate = registered<SlotId::Mx3DVecRotate>();

Mx3DVec vec(float x, float y, float z, float pad = from_bits(kPadSentinel)) {
  return {x, y, z, pad};
}

float random_float(std::mt19937& gen, int min_exp, int max_exp) {
  const float m = std::uniform_real_distribution<float>(1.0f, 2.0f)(gen);
  const int e = std::uniform_int_distribution<int>(min_exp, max_exp)(gen);
  return (gen() & 1 ? -1.0f : 1.0f) * std::ldexp(m, e);
}

void expect_bits(const Mx3DVec& got, float x, float y, float z, const std::string& what) {
  EXPECT_EQ(bits(got.x), bits(x)) << what << " x";
  EXPECT_EQ(bits(got.y), bits(y)) << what << " y";
  EXPECT_EQ(bits(got.z), bits(z)) << what << " z";
}

// ---- transformation ---------------------------------------------------------

TEST(VectorTransform, EveryFormMatchesTheReferenceBitForBit) {
  std::mt19937 gen(2024);
  for (int i = 0; i < 1000; ++i) {
    MxMat4x4 m;
    for (float& e : m.m) e = random_float(gen, -10, 10);
    const Mx3DVec p =
        vec(random_float(gen, -10, 10), random_float(gen, -10, 10), random_float(gen, -10, 10));
    float expected[3];
    for (int c = 0; c < 3; ++c) {
      expected[c] =
          add(add(mul(p.x, m.m[c]), mul(p.y, m.m[4 + c])), add(mul(p.z, m.m[8 + c]), m.m[12 + c]));
    }
    for (const auto& form : kTransform) {
      Mx3DVec r = vec(0, 0, 0);
      form.fn(&r, &p, &m);
      expect_bits(r, expected[0], expected[1], expected[2], form.name);
      EXPECT_EQ(bits(r.pad), kPadSentinel) << form.name;
      Mx3DVec in_place = p;
      form.fn(&in_place, &in_place, &m);
      expect_bits(in_place, expected[0], expected[1], expected[2],
                  std::string("in place ") + form.name);
    }
    if (HasFailure()) return;
  }
}

TEST(VectorTransform, ColumnThreeTakesNoPart) {
  use_tier(Tier::kX87);
  MxMat4x4 identity, translation;
  MxIdMat(&identity);
  MxTranslateMat(&translation, 10, 20, 30);
  MxMat4x4 nan_column = translation;
  nan_column.m[3] = nan_column.m[7] = nan_column.m[11] = nan_column.m[15] = kNaN;
  const Mx3DVec p = vec(1, 2, 3, kNaN);
  for (const auto& form : kTransform) {
    Mx3DVec r;
    form.fn(&r, &p, &identity);
    expect_bits(r, 1, 2, 3, std::string("identity ") + form.name);
    form.fn(&r, &p, &translation);
    expect_bits(r, 11, 22, 33, std::string("translation ") + form.name);
    form.fn(&r, &p, &nan_column);
    expect_bits(r, 11, 22, 33, std::string("NaN column ") + form.name);
  }
}

// ---- normalisation --------------------------------------------------------

TEST(VectorNormalize, ZeroLengthLeavesTheResultUntouched) {
  const Mx3DVec zeros[] = {vec(0, 0, 0), vec(-0.0f, 0, -0.0f, kNaN)};
  for (const auto& form : kNormalize) {
    for (const Mx3DVec& zero : zeros) {
      Mx3DVec r = vec(7, 8, 9, 10);
      form.fn(&r, &zero);
      expect_bits(r, 7, 8, 9, form.name);
      EXPECT_EQ(bits(r.pad), bits(10.0f));
    }
  }
  // A NaN length is caught by the x87, CMOV and SSE tests; the 3DNow! forms
  // test for zero only and write NaNs.
  constexpr ForVariant<bool> kUntouched[] = {{Variant::kX87, true},
                                             {Variant::kCmov, true},
                                             {Variant::k3DNow, false},
                                             {Variant::kExt3DNowMmxext, false},
                                             {Variant::kSse, true}};
  const Mx3DVec nan = vec(kNaN, 1, 1);
  for (const auto& form : kNormalize) {
    const bool* untouched = reference(kUntouched, form);
    if (untouched == nullptr) continue;
    Mx3DVec r = vec(7, 8, 9);
    form.fn(&r, &nan);
    EXPECT_EQ(r.x == 7.0f, *untouched) << form.name;
    EXPECT_EQ(bits(r.pad), kPadSentinel) << form.name;
  }
}

TEST(VectorNormalize, ExactFormsRoundEachStepAndEstimatesStayClose) {
  const Mx3DVec three_four = vec(3, 0, 4);
  for (NormalizeFn fn : {v::x87::Normalize, v::cmov::Normalize}) {
    Mx3DVec r;
    fn(&r, &three_four);
    expect_bits(r, 0.6f, 0.0f, 0.8f, "(3, 0, 4)");
  }
  // Per component, against the exact unit vector.
  constexpr ForVariant<double> kBounds[] = {{Variant::kX87, 0x1p-22},
                                            {Variant::kCmov, 0x1p-22},
                                            {Variant::k3DNow, 0x1p-22},
                                            {Variant::kExt3DNowMmxext, 0x1p-22},
                                            {Variant::kSse, 0x1p-20}};

  std::mt19937 gen(5);
  for (int i = 0; i < 3000; ++i) {
    const int e = std::uniform_int_distribution<int>(-30, 30)(gen);
    const Mx3DVec p =
        vec(random_float(gen, e - 2, e), random_float(gen, e - 2, e), random_float(gen, e - 2, e));
    const float s = add(add(mul(p.x, p.x), mul(p.y, p.y)), mul(p.z, p.z));
    const float k = static_cast<float>(1.0 / double{static_cast<float>(std::sqrt(double{s}))});
    const double exact = 1.0 / std::sqrt(double{s});
    Mx3DVec rounded;
    v::x87::Normalize(&rounded, &p);
    expect_bits(rounded, mul(p.x, k), mul(p.y, k), mul(p.z, k), "x87 steps");
    for (const auto& form : kNormalize) {
      const double* relative = reference(kBounds, form);
      if (relative == nullptr) return;
      Mx3DVec r = p;
      form.fn(&r, &r);  // in place
      for (int c = 0; c < 3; ++c) {
        const double want = double{(&p.x)[c]} * exact;
        EXPECT_LE(std::fabs((&r.x)[c] - want), *relative * std::fabs(want)) << form.name;
      }
      Mx3DVec other;
      form.fn(&other, &p);
      expect_bits(other, r.x, r.y, r.z, "in place vs apart " + form.name);
      EXPECT_EQ(bits(r.pad), kPadSentinel);
    }
    if (HasFailure()) return;
  }
}

TEST(VectorNormalize, EstimateFormsScaleByTheirRefinedFactor) {
  std::mt19937 gen(8);
  for (int i = 0; i < 2000; ++i) {
    const Mx3DVec p =
        vec(random_float(gen, -30, 30), random_float(gen, -30, 30), random_float(gen, -30, 30));
    const float s = add(add(mul(p.x, p.x), mul(p.y, p.y)), mul(p.z, p.z));
    const float e = estimates::rsqrt_estimate_sse(s);
    const float sse_k = mul(mul(0.5f, e), sub(3.0f, mul(mul(s, e), e)));
    const float threednow_k = estimates::rsqrt_refined_3dnow(s);
    Mx3DVec r;
    v::sse::Normalize(&r, &p);
    expect_bits(r, mul(p.x, sse_k), mul(p.y, sse_k), mul(p.z, sse_k), "SSE");
    for (NormalizeFn fn : {v::threednow::Normalize, v::ext3dnow_mmxext::Normalize}) {
      fn(&r, &p);
      expect_bits(r, mul(p.x, threednow_k), mul(p.y, threednow_k), mul(p.z, threednow_k), "3DNow!");
    }
    if (HasFailure()) return;
  }
}

// ---- rotation -------------------------------------------------------------

class VectorRotateTier : public ::testing::TestWithParam<Tier> {
 protected:
  void SetUp() override { use_tier(GetParam()); }
};

TEST_P(VectorRotateTier, QuarterTurnsAndExamples) {
  struct Case {
    Mx3DVec p;
    float angles[3];
    float x, y, z;
  };
  const Case cases[] = {
      {vec(1, 2, 3), {0, 0, 0}, 1, 2, 3},
      {vec(1, 0, 0), {0, 0, 90}, 0.0f, -1.0f, 0.0f},
      {vec(1, 0, 0), {0, 90, 0}, 0.0f, 0.0f, -1.0f},
      {vec(0, 1, 0), {90, 0, 0}, 0.0f, 0.0f, -1.0f},
      {vec(0, 0, 1), {0, 90, 0}, 1.0f, 0.0f, -0.0f},
      {vec(1, 2, 3), {90, 90, 90}, 1, 3, -2},
      {vec(1, 0, 0), {0, 0, 45}, 0.70710677f, -0.70710677f, 0.0f},
  };
  for (const Case& c : cases) {
    Mx3DVec r = vec(0, 0, 0);
    Mx3DVecRotate(&r, &c.p, c.angles);
    expect_bits(r, c.x, c.y, c.z,
                "angles " + std::to_string(c.angles[0]) + " " + std::to_string(c.angles[1]) + " " +
                    std::to_string(c.angles[2]));
    EXPECT_EQ(bits(r.pad), kPadSentinel);
  }
}

// Every tier gives the bits of the stated steps on the table's sines and
// cosines, also with r the same record as v or as the angles.
TEST_P(VectorRotateTier, MatchesTheStepsOnTableValues) {
  std::mt19937 gen(31);
  std::uniform_real_distribution<float> angle(-720.0f, 720.0f);
  for (int i = 0; i < 300; ++i) {
    const Mx3DVec p =
        vec(random_float(gen, -8, 8), random_float(gen, -8, 8), random_float(gen, -8, 8));
    const Mx3DVec angles = vec(angle(gen), angle(gen), angle(gen), kNaN);
    float s[3], c[3];
    for (int a = 0; a < 3; ++a) MxTSinCosOfDeg(&s[a], &c[a], (&angles.x)[a]);
    const float x1 = add(mul(c[2], p.x), mul(s[2], p.y)), y1 = sub(mul(c[2], p.y), mul(s[2], p.x));
    const float y2 = add(mul(c[0], y1), mul(s[0], p.z)), z2 = sub(mul(c[0], p.z), mul(s[0], y1));
    const float x3 = add(mul(c[1], x1), mul(s[1], z2)), z3 = sub(mul(c[1], z2), mul(s[1], x1));
    Mx3DVec r;
    Mx3DVecRotate(&r, &p, &angles.x);
    expect_bits(r, x3, y2, z3, "apart");
    Mx3DVec in_place = p;
    Mx3DVecRotate(&in_place, &in_place, &angles.x);
    expect_bits(in_place, x3, y2, z3, "r = v");
    Mx3DVec over_angles = angles;
    Mx3DVecRotate(&over_angles, &p, &over_angles.x);
    expect_bits(over_angles, x3, y2, z3, "r = angles");
    if (HasFailure()) return;
  }
}

INSTANTIATE_TEST_SUITE_P(VectorAllTiers, VectorRotateTier, ::testing::ValuesIn(all_tiers()),
                         test::ParamName{});

// The angles are three floats, not a record: the last twelve bytes before an
// unreadable page are enough.
TEST(VectorRotate, ReadsExactlyTwelveBytesOfAngles) {
  use_tier(Tier::kX87);
  const GuardPage guard;
  ASSERT_TRUE(guard.ok());
  float* angles = static_cast<float*>(guard.tail(12));
  angles[0] = 90;
  angles[1] = 90;
  angles[2] = 90;
  const Mx3DVec p = vec(1, 2, 3);
  for (const auto& form : kRotate) {
    Mx3DVec r;
    form.fn(&r, &p, angles);
    expect_bits(r, 1, 3, -2, form.name);
  }
}

#if defined(TARN_TEST_MXCSR)
// With flush-to-zero on, the SSE forms turn results below the normal range
// into zeros of the same sign.
TEST(VectorSse, FlushToZeroGivesSignedZeros) {
  const unsigned saved = _mm_getcsr();
  _mm_setcsr(saved | _MM_FLUSH_ZERO_ON);
  const Mx3DVec tiny = vec(1e-20f, -1e-20f, 1.0f);
  Mx3DVec r;
  v::sse::Scale(&r, &tiny, 1e-20f);
  _mm_setcsr(saved);
  EXPECT_EQ(bits(r.x), 0u);
  EXPECT_EQ(bits(r.y), kNegZero);
  EXPECT_EQ(bits(r.z), bits(1e-20f));
}
#endif

}  // namespace
}  // namespace tarn::test
