// Rotations from three angles: every order and every combination of absent
// angles against products of the single-axis builders, written from the
// table of products; quarter turns; both forms; every tier; several threads.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <numbers>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "dispatch/tiers.h"
#include "matrix/matrix.h"
#include "test_support.h"

namespace tarn {
namespace {

using test::bits;

using Concat = void (*)(MxMat4x4*, float, float, float);

struct Order {
  const char* name;
  MxConcatRotMatFn* slot;
  SlotId id;  // its registered implementations are checked beside it
  // Products with the first-applied factor on the left; parentheses give the
  // association of the three-factor product.
  const char* all_three;
  const char* without_x;
  const char* without_y;
  const char* without_z;
};

const Order kOrders[] = {
    {"XYZ", &MxConcatRotMatXYZ, SlotId::MxConcatRotMatXYZ, "(YX)Z", "YZ", "XZ", "YX"},
    {"XZY", &MxConcatRotMatXZY, SlotId::MxConcatRotMatXZY, "(ZX)Y", "ZY", "ZX", "XY"},
    {"YXZ", &MxConcatRotMatYXZ, SlotId::MxConcatRotMatYXZ, "(XY)Z", "YZ", "XZ", "XY"},
    {"YZX", &MxConcatRotMatYZX, SlotId::MxConcatRotMatYZX, "(ZY)X", "ZY", "ZX", "YX"},
    {"ZXY", &MxConcatRotMatZXY, SlotId::MxConcatRotMatZXY, "Y(XZ)", "YZ", "XZ", "YX"},
    {"ZYX", &MxConcatRotMatZYX, SlotId::MxConcatRotMatZYX, "(YZ)X", "YZ", "ZX", "YX"},
};

bool absent(float angle) {
  return angle == 0.0f || std::isnan(angle);
}

MxMat4x4 rotation(char axis, float x, float y, float z) {
  MxMat4x4 m;
  if (axis == 'X') MxRotXMat(&m, x);
  if (axis == 'Y') MxRotYMat(&m, y);
  if (axis == 'Z') MxRotZMat(&m, z);
  return m;
}

// P*Q through the bound affine product, which computes b*a.
MxMat4x4 times(const MxMat4x4& p, const MxMat4x4& q) {
  MxMat4x4 out;
  MxSparseMatMult4x4_4x4(&out, &q, &p);
  return out;
}

// Evaluates a product written as in the table: "YZ", "(YX)Z" or "Y(XZ)".
MxMat4x4 evaluate(const std::string& product, float x, float y, float z) {
  auto r = [&](char axis) { return rotation(axis, x, y, z); };
  if (product.size() == 2) return times(r(product[0]), r(product[1]));
  if (product[0] == '(') return times(times(r(product[1]), r(product[2])), r(product[4]));
  return times(r(product[0]), times(r(product[2]), r(product[3])));
}

// What an order must give for these angles, from the table alone.
MxMat4x4 expected(const Order& order, float x, float y, float z) {
  const int present = !absent(x) + !absent(y) + !absent(z);
  MxMat4x4 m;
  if (present == 0) {
    MxIdMat(&m);
  } else if (present == 1) {
    m = rotation(!absent(x) ? 'X' : !absent(y) ? 'Y' : 'Z', x, y, z);
  } else if (present == 2) {
    m = evaluate(absent(x)   ? order.without_x
                 : absent(y) ? order.without_y
                             : order.without_z,
                 x, y, z);
  } else {
    m = evaluate(order.all_three, x, y, z);
  }
  return m;
}

::testing::AssertionResult same_bits(const MxMat4x4& got, const MxMat4x4& want) {
  for (int k = 0; k < 16; ++k) {
    if (bits(got.m[k]) != bits(want.m[k])) {
      return ::testing::AssertionFailure()
             << "element " << k << ": got " << got.m[k] << ", want " << want.m[k];
    }
  }
  return ::testing::AssertionSuccess();
}

MxMat4x4 nan_filled() {
  MxMat4x4 m;
  for (float& e : m.m) e = NAN;
  return m;
}

class ConcatRotations : public ::testing::TestWithParam<Tier> {
 protected:
  void SetUp() override { test::use_tier(GetParam()); }
};

TEST_P(ConcatRotations, EveryAbsentAngleCombination) {
  // Each angle is absent (a zero of either sign, a NaN) or present (an
  // ordinary angle, or an infinity, which the builder is given like any other).
  constexpr int kChoices = 5;
  const float kPresent[] = {0.7f, -1.3f, 2.9f};
  for (const Order& order : kOrders) {
    const auto forms = test::registered(order.id);
    for (int combo = 0; combo < kChoices * kChoices * kChoices; ++combo) {
      float angle[3];
      for (int axis = 0, rest = combo; axis < 3; ++axis, rest /= kChoices) {
        const float choices[kChoices] = {0.0f, -0.0f, NAN, kPresent[axis], -INFINITY};
        angle[axis] = choices[rest % kChoices];
      }
      const MxMat4x4 want = expected(order, angle[0], angle[1], angle[2]);
      MxMat4x4 out = nan_filled();
      (*order.slot)(&out, angle[0], angle[1], angle[2]);
      EXPECT_TRUE(same_bits(out, want)) << order.name << " slot, combo " << combo;
      for (const auto& form : forms) {
        out = nan_filled();
        reinterpret_cast<Concat>(form.fn)(&out, angle[0], angle[1], angle[2]);
        EXPECT_TRUE(same_bits(out, want)) << order.name << " " << form.name << ", combo " << combo;
      }
    }
  }
}

TEST_P(ConcatRotations, RandomAnglesMatchTheirProducts) {
  std::mt19937 rng(21);
  std::uniform_real_distribution<float> turn(-7.0f, 7.0f);
  for (int n = 0; n < 100; ++n) {
    const float x = turn(rng), y = turn(rng), z = turn(rng);
    for (const Order& order : kOrders) {
      MxMat4x4 out;
      (*order.slot)(&out, x, y, z);
      EXPECT_TRUE(same_bits(out, evaluate(order.all_three, x, y, z))) << order.name;
    }
  }
}

TEST_P(ConcatRotations, NoAngleGivesTheIdentityExactly) {
  MxMat4x4 identity;
  matrix::x87::IdMat(&identity);
  for (const Order& order : kOrders) {
    for (float a : {0.0f, -0.0f, NAN}) {
      MxMat4x4 out = nan_filled();
      (*order.slot)(&out, a, a, a);
      EXPECT_EQ(std::memcmp(&out, &identity, sizeof out), 0) << order.name;
    }
  }
}

TEST_P(ConcatRotations, QuarterTurns) {
  const float q = std::numbers::pi_v<float> / 2;  // the float nearest a quarter turn
  const struct {
    const char* order;
    float block[9];
  } kCases[] = {
      {"XYZ", {1, 0, 0, 0, 0, -1, 0, 1, 0}}, {"XZY", {-1, 0, 0, 0, 0, 1, 0, 1, 0}},
      {"YXZ", {0, 0, 1, 0, -1, 0, 1, 0, 0}}, {"YZX", {0, 0, 1, 0, 1, 0, -1, 0, 0}},
      {"ZXY", {1, 0, 0, 0, 0, -1, 0, 1, 0}}, {"ZYX", {0, 1, 0, 1, 0, 0, 0, 0, -1}},
  };
  for (const auto& c : kCases) {
    const Order* order = nullptr;
    for (const Order& o : kOrders) {
      if (std::string(o.name) == c.order) order = &o;
    }
    ASSERT_NE(order, nullptr);
    MxMat4x4 out;
    (*order->slot)(&out, q, q, q);
    for (int r = 0; r < 3; ++r) {
      for (int col = 0; col < 3; ++col) {
        EXPECT_EQ(out.m[4 * r + col], c.block[3 * r + col]) << c.order << " " << r << "," << col;
      }
    }
    for (int k : {3, 7, 11, 12, 13, 14}) EXPECT_EQ(out.m[k], 0.0f) << c.order << " " << k;
    EXPECT_EQ(out.m[15], 1.0f) << c.order;
  }
}

TEST_P(ConcatRotations, ZXYAgreesWithXYZAndTheClosedForm) {
  std::mt19937 rng(22);
  std::uniform_real_distribution<float> turn(-4.0f, 4.0f);
  for (int n = 0; n < 200; ++n) {
    const float x = turn(rng), y = turn(rng), z = turn(rng);
    MxMat4x4 xyz, zxy;
    MxConcatRotMatXYZ(&xyz, x, y, z);
    MxConcatRotMatZXY(&zxy, x, y, z);
    float sx, cx, sy, cy, sz, cz;
    MxTSinCos(&sx, &cx, x);
    MxTSinCos(&sy, &cy, y);
    MxTSinCos(&sz, &cz, z);
    const float closed[9] = {
        cy * cz + sy * sx * sz,  -cy * sz + sy * sx * cz, sy * cx, cx * sz, cx * cz, -sx,
        -sy * cz + cy * sx * sz, sy * sz + cy * sx * cz,  cy * cx};
    for (int r = 0; r < 3; ++r) {
      for (int c = 0; c < 3; ++c) {
        const int k = 4 * r + c;
        EXPECT_NEAR(zxy.m[k], xyz.m[k], 4e-7f) << n << " " << k;
        EXPECT_NEAR(xyz.m[k], closed[3 * r + c], 4e-7f) << n << " " << k;
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(EveryTier, ConcatRotations, ::testing::ValuesIn(test::all_tiers()),
                         test::ParamName{});

TEST(ConcatRotationsThreads, SafeOnSeveralThreadsAtOnce) {
  test::use_tier(Tier::kSse);
  constexpr int kThreads = 4, kCalls = 2000;
  auto angles = [](int t, int n) {
    return std::array<float, 3>{0.001f * n + t, -0.002f * n, 0.003f * n - t};
  };
  std::vector<MxMat4x4> want(kThreads * kCalls);
  for (int t = 0; t < kThreads; ++t) {
    for (int n = 0; n < kCalls; ++n) {
      const auto a = angles(t, n);
      MxConcatRotMatYZX(&want[t * kCalls + n], a[0], a[1], a[2]);
    }
  }
  std::vector<MxMat4x4> got(kThreads * kCalls);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      MxInitTables();  // each thread sets up its own x87 precision, as a host's do
      for (int n = 0; n < kCalls; ++n) {
        const auto a = angles(t, n);
        MxConcatRotMatYZX(&got[t * kCalls + n], a[0], a[1], a[2]);
      }
    });
  }
  for (std::thread& th : threads) th.join();
  EXPECT_EQ(std::memcmp(got.data(), want.data(), got.size() * sizeof(MxMat4x4)), 0);
}

}  // namespace
}  // namespace tarn
