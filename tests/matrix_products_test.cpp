// Matrix products and inversion: every form against a reference that rounds
// each product and sum once, in the documented order; aliasing; the affine
// column 3 of each form; the inverses in every tier.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "dispatch/tiers.h"
#include "matrix/matrix.h"
#include "test_support.h"

namespace tarn {
namespace {

using test::bits;
using test::from_bits;

using Product = void (*)(MxMat4x4*, const MxMat4x4*, const MxMat4x4*);

// Every registered implementation of both products.
const auto kFull = test::registered<SlotId::MxMatMult4x4_4x4>();
const auto kAffine = test::registered<SlotId::MxSparseMatMult4x4_4x4>();

// Whether a variant's affine product computes column 3 from a (SSE) or
// writes the constant column.
constexpr test::ForVariant<bool> kComputesColumn3[] = {
    {Variant::kX87, false}, {Variant::k3DNow, false}, {Variant::kSse, true}};

// ---- Reference: each operation in extended precision, then rounded once to
// single. The exact product of two floats fits the 64-bit significand, and a
// sum rounded first to 64 bits and then to 24 rounds as a single rounding
// would (64 >= 2*24 + 2).
float mul(float x, float y) {
  return static_cast<float>(static_cast<long double>(x) * y);
}
float add(float x, float y) {
  return static_cast<float>(static_cast<long double>(x) + y);
}

MxMat4x4 reference_full(const MxMat4x4& a, const MxMat4x4& b) {
  test::ExtendedPrecision extended;
  MxMat4x4 out;
  for (int i = 0; i < 4; ++i) {
    const float* r = &b.m[4 * i];
    for (int j = 0; j < 4; ++j) {
      out.m[4 * i + j] =
          add(add(add(mul(r[0], a.m[j]), mul(r[1], a.m[4 + j])), mul(r[2], a.m[8 + j])),
              mul(r[3], a.m[12 + j]));
    }
  }
  return out;
}

MxMat4x4 reference_affine(const MxMat4x4& a, const MxMat4x4& b, bool computes_column3) {
  test::ExtendedPrecision extended;
  MxMat4x4 out;
  const int columns = computes_column3 ? 4 : 3;
  for (int i = 0; i < 4; ++i) {
    const float* r = &b.m[4 * i];
    for (int j = 0; j < columns; ++j) {
      float sum = add(add(mul(r[0], a.m[j]), mul(r[1], a.m[4 + j])), mul(r[2], a.m[8 + j]));
      out.m[4 * i + j] = i == 3 ? add(sum, a.m[12 + j]) : sum;
    }
    if (!computes_column3) out.m[4 * i + 3] = i == 3 ? 1.0f : 0.0f;
  }
  return out;
}

// Finite values of mixed sign and magnitude (2^-12 .. 2^12) so sums cancel
// and round; every product and partial sum stays in the normal range.
class RandomMatrices {
 public:
  explicit RandomMatrices(unsigned seed) : rng_(seed) {}

  float value() {
    const int kind = static_cast<int>(rng_() % 16);
    if (kind == 0) return (rng_() & 1) ? -0.0f : 0.0f;
    if (kind == 1) return static_cast<float>(static_cast<int>(rng_() % 17) - 8);
    const float mantissa = std::uniform_real_distribution<float>(1.0f, 2.0f)(rng_);
    const int exponent = static_cast<int>(rng_() % 25) - 12;
    return ((rng_() & 1) ? -1.0f : 1.0f) * std::ldexp(mantissa, exponent);
  }

  MxMat4x4 matrix() {
    MxMat4x4 m;
    for (float& e : m.m) e = value();
    return m;
  }

 private:
  std::mt19937 rng_;
};

::testing::AssertionResult same_bits(const MxMat4x4& got, const MxMat4x4& want) {
  for (int k = 0; k < 16; ++k) {
    if (bits(got.m[k]) != bits(want.m[k])) {
      return ::testing::AssertionFailure()
             << "element " << k << ": got " << got.m[k] << " (" << std::hex << bits(got.m[k])
             << "), want " << want.m[k] << " (" << bits(want.m[k]) << ")";
    }
  }
  return ::testing::AssertionSuccess();
}

MxMat4x4 filled(std::uint32_t pattern) {
  MxMat4x4 m;
  for (float& e : m.m) e = from_bits(pattern);
  return m;
}

// Both products of every registered variant with their reference rule; an
// affine product without a column-3 rule fails the calling test.
struct Form {
  std::string name;  // "MxSparseMatMult4x4_4x4 SSE"
  Product product;
  bool affine;
  bool computes_column3;
};

std::vector<Form> forms() {
  std::vector<Form> found;
  auto name = [](const auto& f) { return std::string(slot_info(f.slot).name) + " " + f.name; };
  for (const auto& f : kFull) found.push_back({name(f), f.fn, false, false});
  for (const auto& f : kAffine) {
    const bool* column3 = test::reference(kComputesColumn3, f);
    if (column3 != nullptr) found.push_back({name(f), f.fn, true, *column3});
  }
  return found;
}

MxMat4x4 reference(const Form& f, const MxMat4x4& a, const MxMat4x4& b) {
  return f.affine ? reference_affine(a, b, f.computes_column3) : reference_full(a, b);
}

TEST(MatrixProducts, EveryFormMatchesTheOrderedReference) {
  const std::vector<Form> all = forms();
  RandomMatrices random(11);
  for (int n = 0; n < 3000; ++n) {
    const MxMat4x4 a = random.matrix(), b = random.matrix();
    for (const Form& f : all) {
      MxMat4x4 out = filled(0x7FC00001);
      f.product(&out, &a, &b);
      ASSERT_TRUE(same_bits(out, reference(f, a, b))) << f.name << ", case " << n;
    }
  }
}

TEST(MatrixProducts, OutputMayAliasEitherInput) {
  const std::vector<Form> all = forms();
  RandomMatrices random(12);
  for (int n = 0; n < 200; ++n) {
    const MxMat4x4 a = random.matrix(), b = random.matrix();
    for (const Form& f : all) {
      MxMat4x4 m = b;
      f.product(&m, &a, &m);  // out is b
      EXPECT_TRUE(same_bits(m, reference(f, a, b))) << f.name << " out=b";
      m = a;
      f.product(&m, &m, &b);  // out is a
      EXPECT_TRUE(same_bits(m, reference(f, a, b))) << f.name << " out=a";
      MxMat4x4 out;
      m = a;
      f.product(&out, &m, &m);  // a is b
      EXPECT_TRUE(same_bits(out, reference(f, a, a))) << f.name << " a=b";
      f.product(&m, &m, &m);  // all three
      EXPECT_TRUE(same_bits(m, reference(f, a, a))) << f.name << " out=a=b";
    }
  }
}

TEST(MatrixProducts, AffineColumn3OfEachForm) {
  const std::vector<Form> all = forms();
  RandomMatrices random(13);
  for (int n = 0; n < 200; ++n) {
    MxMat4x4 a = random.matrix(), b = random.matrix();
    a.m[3] = a.m[7] = a.m[11] = 0.0f;
    a.m[15] = 1.0f;
    // Row 1 of b all negative in columns 0-2: the SSE form's zero is -0.0.
    for (int c = 0; c < 3; ++c) b.m[4 + c] = -std::fabs(b.m[4 + c]) - 1.0f;
    b.m[0] = std::fabs(b.m[0]);
    for (const Form& f : all) {
      if (!f.affine) continue;
      MxMat4x4 out;
      f.product(&out, &a, &b);
      const std::uint32_t row1 = f.computes_column3 ? test::kNegZero : 0u;
      EXPECT_EQ(bits(out.m[3]), 0u) << f.name;
      EXPECT_EQ(bits(out.m[7]), row1) << f.name;
      EXPECT_EQ(bits(out.m[15]), test::kOne) << f.name;
    }
  }
  // The constant forms ignore column 3 of both operands, NaNs included.
  MxMat4x4 a = filled(0x7FC00000), b = filled(0x7FC00000);
  for (const Form& f : all) {
    if (!f.affine || f.computes_column3) continue;
    MxMat4x4 out;
    f.product(&out, &a, &b);
    for (int i : {3, 7, 11}) EXPECT_EQ(bits(out.m[i]), 0u) << f.name << " " << i;
    EXPECT_EQ(bits(out.m[15]), test::kOne) << f.name;
  }
}

TEST(MatrixProducts, SpecialValuesPropagate) {
  const float inf = INFINITY;
  for (const Form& f : forms()) {
    MxMat4x4 a, b, out;
    matrix::x87::IdMat(&a);
    matrix::x87::IdMat(&b);
    b.m[0] = inf;  // inf * 0 in row 0 gives NaN in columns 1 and 2
    a.m[13] = NAN;
    f.product(&out, &a, &b);
    // Row 3 of b reaches a's row 3.
    EXPECT_TRUE(std::isnan(out.m[1]) && std::isnan(out.m[13])) << f.name;
    if (f.affine) {
      EXPECT_EQ(std::isnan(out.m[3]), f.computes_column3) << f.name;  // inf * +0.0
      continue;
    }
    EXPECT_EQ(out.m[0], inf) << f.name;
    EXPECT_TRUE(std::isnan(out.m[2])) << f.name;
    EXPECT_EQ(out.m[12], 0.0f) << f.name;
  }
}

TEST(MatrixProducts, TranslationAndScaleInBothOrders) {
  MxMat4x4 translate, scale;
  matrix::x87::TranslateMat(&translate, 1, 2, 3);
  matrix::x87::ScaleMat(&scale, 2, 2, 2);
  for (Tier tier : test::all_tiers()) {
    ASSERT_EQ(MxInitLibForCPU(tier_flags(tier)), 1);
    for (Product product : {Product{MxMatMult4x4_4x4}, Product{MxSparseMatMult4x4_4x4}}) {
      MxMat4x4 out;
      product(&out, &translate, &scale);  // scale first, then translate
      for (int i : {0, 5, 10}) EXPECT_EQ(out.m[i], 2.0f) << tier_name(tier);
      EXPECT_EQ(out.m[15], 1.0f);
      EXPECT_EQ(out.m[12], 1.0f);
      EXPECT_EQ(out.m[13], 2.0f);
      EXPECT_EQ(out.m[14], 3.0f);
      product(&out, &scale, &translate);
      EXPECT_EQ(out.m[12], 2.0f) << tier_name(tier);
      EXPECT_EQ(out.m[13], 4.0f);
      EXPECT_EQ(out.m[14], 6.0f);
    }
  }
}

TEST(MatrixInverse, OrthonormalInverseSwapsTheBlockOnly) {
  std::mt19937 rng(16);
  for (Tier tier : test::all_tiers()) {
    test::use_tier(tier);
    MxMat4x4 m;
    for (float& e : m.m) e = from_bits(static_cast<std::uint32_t>(rng()));
    m.m[1] = from_bits(0x7F800001);  // a signalling NaN moves unchanged
    const MxMat4x4 before = m;
    MxInvOrthMat4x4(&m);
    constexpr int kSwapped[16] = {0, 4, 8, 3, 1, 5, 9, 7, 2, 6, 10, 11, 12, 13, 14, 15};
    for (int k = 0; k < 16; ++k) {
      EXPECT_EQ(bits(m.m[k]), bits(before.m[kSwapped[k]])) << tier_name(tier) << " " << k;
    }
    MxInvOrthMat4x4(&m);
    EXPECT_EQ(std::memcmp(&m, &before, sizeof m), 0) << tier_name(tier);

    MxRotZMat(&m, 0.5f);
    const float s = m.m[4], c = m.m[0];
    MxInvOrthMat4x4(&m);
    EXPECT_EQ(bits(m.m[0]), bits(c));
    EXPECT_EQ(bits(m.m[5]), bits(c));
    EXPECT_EQ(bits(m.m[1]), bits(s));
    EXPECT_EQ(bits(m.m[4]), bits(-s));
  }
}

TEST(MatrixInverse, GeneralInverseTouchesNothing) {
  std::mt19937 rng(17);
  for (Tier tier : test::all_tiers()) {
    ASSERT_EQ(MxInitLibForCPU(tier_flags(tier)), 1);
    MxMat4x4 m;
    for (float& e : m.m) e = from_bits(static_cast<std::uint32_t>(rng()));
    const MxMat4x4 before = m;
    MxInvMat4x4(&m);
    EXPECT_EQ(std::memcmp(&m, &before, sizeof m), 0) << tier_name(tier);
  }
}

}  // namespace
}  // namespace tarn
