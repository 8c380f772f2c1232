// Matrix builders (both forms, and through the slots of every tier) and the
// single-axis rotations.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numbers>

#include "guard_page.h"
#include "matrix/matrix.h"
#include "test_support.h"

namespace tarn {
namespace {

using test::bits;
using test::from_bits;

constexpr std::uint32_t kQuietNaN = 0x7FC00000;
constexpr std::uint32_t kSignallingNaN = 0x7FA00001;

MxMat4x4 filled_with_nan() {
  MxMat4x4 m;
  for (float& e : m.m) e = from_bits(0xFFC12345);
  return m;
}

// Expected words: all +0.0 except the listed (index, bits) pairs.
std::array<std::uint32_t, 16> words(std::initializer_list<std::pair<int, std::uint32_t>> set) {
  std::array<std::uint32_t, 16> w{};
  for (auto [i, b] : set) w[i] = b;
  return w;
}

void expect_words(const MxMat4x4& m, const std::array<std::uint32_t, 16>& want,
                  const std::string& what) {
  for (int i = 0; i < 16; ++i) EXPECT_EQ(bits(m.m[i]), want[i]) << what << " index " << i;
}

using test::registered;

const auto kIdentity =
    words({{0, test::kOne}, {5, test::kOne}, {10, test::kOne}, {15, test::kOne}});

// Every registered implementation of each builder.
TEST(MatrixBuilders, EveryFormStoresExactlyTheSpecifiedBits) {
  const float nan = from_bits(kSignallingNaN);
  for (const auto& f : registered<SlotId::MxZeroMat>()) {
    MxMat4x4 m = filled_with_nan();
    f.fn(&m);
    expect_words(m, words({}), f.name + " zero");
  }
  for (const auto& f : registered<SlotId::MxIdMat>()) {
    MxMat4x4 m = filled_with_nan();
    f.fn(&m);
    expect_words(m, kIdentity, f.name + " identity");
  }
  for (const auto& f : registered<SlotId::MxTranslateMat>()) {
    MxMat4x4 m = filled_with_nan();
    f.fn(&m, 1.0f, -0.0f, nan);
    auto want = kIdentity;
    want[12] = test::kOne, want[13] = test::kNegZero, want[14] = kSignallingNaN;
    expect_words(m, want, f.name + " translate");
  }
  for (const auto& f : registered<SlotId::MxTranslateMatFromVec>()) {
    MxMat4x4 m = filled_with_nan();
    const Mx3DVec v = {2.0f, 3.0f, -0.0f, from_bits(kQuietNaN)};
    f.fn(&m, &v);
    auto want = kIdentity;
    want[12] = bits(2.0f), want[13] = bits(3.0f), want[14] = test::kNegZero;
    expect_words(m, want, f.name + " translate from vector");
  }
  for (const auto& f : registered<SlotId::MxScaleMat>()) {
    MxMat4x4 m = filled_with_nan();
    f.fn(&m, 2.0f, -0.0f, nan);
    expect_words(
        m, words({{0, bits(2.0f)}, {5, test::kNegZero}, {10, kSignallingNaN}, {15, test::kOne}}),
        f.name + " scale");
  }
}

// The vector's three floats end a readable page: a fourth-float read faults.
TEST(MatrixBuilders, TranslateFromVectorReadsOnlyTwelveBytes) {
  const test::GuardPage guard;
  ASSERT_TRUE(guard.ok());
  float* xyz = static_cast<float*>(guard.tail(12));
  xyz[0] = 4.0f, xyz[1] = 5.0f, xyz[2] = 6.0f;
  for (const auto& f : registered<SlotId::MxTranslateMatFromVec>()) {
    MxMat4x4 m;
    f.fn(&m, reinterpret_cast<const Mx3DVec*>(xyz));
    EXPECT_EQ(m.m[12], 4.0f) << f.name;
    EXPECT_EQ(m.m[14], 6.0f) << f.name;
  }
}

TEST(MatrixBuilders, SlotsOfEveryTierMatchTheX87Form) {
  for (Tier tier : test::all_tiers()) {
    test::use_tier(tier);
    MxMat4x4 got = filled_with_nan(), want;
    MxTranslateMat(&got, 1.0f, 2.0f, 3.0f);
    matrix::x87::TranslateMat(&want, 1.0f, 2.0f, 3.0f);
    EXPECT_EQ(0, std::memcmp(&got, &want, sizeof got)) << tier_name(tier);
    MxScaleMat(&got, 7.0f, 8.0f, 9.0f);
    matrix::x87::ScaleMat(&want, 7.0f, 8.0f, 9.0f);
    EXPECT_EQ(0, std::memcmp(&got, &want, sizeof got)) << tier_name(tier);
  }
}

// ---- Single-axis rotations.

using Builder = void (*)(MxMat4x4*, float);

struct RotationCase {
  const char* what;
  Builder build;
  float angle;
  std::array<std::uint32_t, 16> want;
};

TEST(MatrixRotations, DocumentedRecords) {
  const float half_pi = std::numbers::pi_v<float> / 2;
  const std::uint32_t one = test::kOne, neg0 = test::kNegZero, m1 = test::kMinusOne;
  const RotationCase kCases[] = {
      {"RotX 0", MxRotXMat, 0.0f, words({{0, one}, {5, one}, {6, neg0}, {10, one}, {15, one}})},
      {"RotY 0", MxRotYMat, 0.0f, words({{0, one}, {5, one}, {8, neg0}, {10, one}, {15, one}})},
      {"RotZ 0", MxRotZMat, 0.0f, words({{0, one}, {1, neg0}, {5, one}, {10, one}, {15, one}})},
      {"RotZ pi/2", MxRotZMat, half_pi,
       words({{0, neg0}, {1, m1}, {4, one}, {5, neg0}, {10, one}, {15, one}})},
      {"DegRotY 90", MxDegRotYMat, 90.0f,
       words({{0, neg0}, {2, one}, {5, one}, {8, m1}, {10, neg0}, {15, one}})},
      {"DegRotX 360", MxDegRotXMat, 360.0f,
       words({{0, one}, {5, one}, {6, neg0}, {10, one}, {15, one}})},
      {"DegRotZ -90", MxDegRotZMat, -90.0f,
       words({{0, 0}, {1, one}, {4, m1}, {5, 0}, {10, one}, {15, one}})},
  };
  for (Tier tier : test::all_tiers()) {
    test::use_tier(tier);
    for (const RotationCase& c : kCases) {
      MxMat4x4 m = filled_with_nan();
      c.build(&m, c.angle);
      expect_words(m, c.want, std::string(c.what) + " in " + std::string(tier_name(tier)));
    }
  }
}

// Each builder places the lookup's sine and cosine, a copy and a negation.
TEST(MatrixRotations, PlaceTheTableValues) {
  test::use_tier(Tier::kX87);
  const struct {
    Builder build;
    bool degrees;
    int sine, cosine, cosine_copy, negated_sine;
  } kAxes[] = {
      {MxRotXMat, false, 9, 5, 10, 6},   {MxRotYMat, false, 2, 0, 10, 8},
      {MxRotZMat, false, 4, 0, 5, 1},    {MxDegRotXMat, true, 9, 5, 10, 6},
      {MxDegRotYMat, true, 2, 0, 10, 8}, {MxDegRotZMat, true, 4, 0, 5, 1},
  };
  for (float angle : {0.3f, -1.7f, 2.9f, 123.0f, -200.5f}) {
    for (const auto& axis : kAxes) {
      float s, c;
      (axis.degrees ? MxTSinCosOfDeg : MxTSinCos)(&s, &c, angle);
      MxMat4x4 m = filled_with_nan();
      axis.build(&m, angle);
      auto want = kIdentity;
      want[axis.sine] = bits(s);
      want[axis.cosine] = want[axis.cosine_copy] = bits(c);
      want[axis.negated_sine] = bits(s) ^ 0x80000000u;
      expect_words(m, want, "angle " + std::to_string(angle));
    }
  }
}

}  // namespace
}  // namespace tarn
