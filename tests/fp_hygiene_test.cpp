// Floating-point hygiene: after every operation of every tier the x87 stack is
// empty and usable, and neither the x87 control word nor the SSE control bits
// have changed, except for the documented effects of identification and table
// initialisation.
#include <gtest/gtest.h>

#include <cmath>

#include "scalar/estimates.h"
#include "selftest/exercise.h"
#include "selftest/fp_state.h"
#include "test_support.h"

namespace tarn {
namespace {

using namespace selftest;

struct Environment {
  std::uint16_t x87;
  std::uint32_t mxcsr;
};

// The start-up state, and one with extended precision, a directed rounding
// mode and SSE flush-to-zero plus denormals-are-zero.
constexpr Environment kEnvironments[] = {{0x007F, 0x1F80}, {0x0B7F, 0x9FC0 | 0x2000}};

::testing::AssertionResult state_is(const Environment& env) {
  const X87Registers x87 = read_x87_registers();
  const std::uint32_t mxcsr = read_mxcsr();
  if (fpu::kHasX87 && x87.control != env.x87) {
    return ::testing::AssertionFailure()
           << "x87 control word " << std::hex << x87.control << ", expected " << env.x87;
  }
  if (x87.tags != 0xFFFF) {
    return ::testing::AssertionFailure()
           << "x87 registers left in use, tag word " << std::hex << x87.tags;
  }
  if (kHaveMxcsr && (mxcsr & kMxcsrControlMask) != (env.mxcsr & kMxcsrControlMask)) {
    return ::testing::AssertionFailure()
           << "MXCSR " << std::hex << mxcsr << ", expected " << env.mxcsr << " (flags aside)";
  }
  if (!x87_usable()) return ::testing::AssertionFailure() << "x87 unit unusable";
  return ::testing::AssertionSuccess();
}

void enter(const Environment& env) {
  fpu::write_x87_control(env.x87);
  write_mxcsr(env.mxcsr);
}

constexpr int kCases = 24;

class FpHygiene : public ::testing::TestWithParam<Tier> {
 protected:
  void SetUp() override { test::use_tier(GetParam()); }
  FpStateGuard guard_;
};

TEST_P(FpHygiene, EveryOperationLeavesTheStateAsItFoundIt) {
  for (const Environment& env : kEnvironments) {
    for (const Operation& op : slot_operations()) {
      const GenericFn fn = load_slot(op.slot);
      if (fn == nullptr) continue;  // family not built
      for (int i = 0; i < kCases; ++i) {
        enter(env);
        Digest digest;
        op.driver(fn, static_cast<std::uint64_t>(i), digest);
        ASSERT_TRUE(state_is(env)) << op.name << " case " << i;
      }
    }
    for (const Operation& op : function_operations()) {
      for (int i = 0; i < kCases; ++i) {
        enter(env);
        Digest digest;
        op.driver(op.self, static_cast<std::uint64_t>(i), digest);
        ASSERT_TRUE(state_is(env)) << op.name << " case " << i;
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(AllTiers, FpHygiene, ::testing::ValuesIn(test::all_tiers()),
                         test::ParamName{});

// The functions outside the slots, with their documented effects.
TEST(FpHygieneFunctions, SelectionTimerAndVendorChangeNothing) {
  FpStateGuard guard;
  for (const Environment& env : kEnvironments) {
    enter(env);
    MxInitLibForCPU(tier_flags(Tier::kSse));
    EXPECT_TRUE(state_is(env));
    MxInitLibForCPU(0);
    EXPECT_TRUE(state_is(env));
    MxStartTickCount();
    std::uint64_t ticks;
    MxEndTickCount(&ticks);
    EXPECT_TRUE(state_is(env));
    (void)MxGetCPUVendor();
    (void)MxGetCPUSpeed();
    EXPECT_TRUE(state_is(env));
  }
}

TEST(FpHygieneFunctions, TablesSetSinglePrecisionAndKeepTheRest) {
  FpStateGuard guard;
  for (const Environment& env : kEnvironments) {
    enter(env);
    MxInitTables();
    EXPECT_TRUE(
        state_is({static_cast<std::uint16_t>(env.x87 & ~fpu::kPrecisionControlMask), env.mxcsr}));
  }
}

TEST(FpHygieneFunctions, IdentificationResetsX87ToSingleAndSetsFlushToZeroWithSse) {
  FpStateGuard guard;
  for (const Environment& env : kEnvironments) {
    enter(env);
    const MxCpuFlags flags = MxIdentifyCPU();
    const std::uint32_t mxcsr = (flags & MxCpuSSE) ? (env.mxcsr | kMxcsrFlushToZero) : env.mxcsr;
    EXPECT_TRUE(state_is({fpu::kHasX87 ? kX87SinglePrecision : env.x87, mxcsr}))
        << "flags " << std::hex << flags;
  }
}

// The emulated estimates must not depend on the thread's x87 precision, which
// the library's own start-up sets to single (32-bit x86 maths libraries
// compute on the x87 unit). Samples near a rounding boundary of the 14- and
// 15-bit estimates.
TEST(FpHygieneFunctions, EmulatedEstimatesIgnoreTheX87Precision) {
  FpStateGuard guard;
  constexpr std::uint32_t kSamples[] = {0xBDC0B68D, 0x44A8BB14, 0xC0793562, 0x3F800001,
                                        0x7F7FFFFF, 0x00800000, 0x3EAAAAAB, 0x40490FDB};
  for (std::uint32_t b : kSamples) {
    const float x = test::from_bits(b);
    fpu::write_x87_control(0x037F);
    const float recip = estimates::recip_estimate_3dnow(x);
    const float rsqrt = estimates::rsqrt_estimate_3dnow(std::fabs(x));
    fpu::write_x87_control(kX87SinglePrecision);
    EXPECT_EQ(test::bits(estimates::recip_estimate_3dnow(x)), test::bits(recip)) << std::hex << b;
    EXPECT_EQ(test::bits(estimates::rsqrt_estimate_3dnow(std::fabs(x))), test::bits(rsqrt))
        << std::hex << b;
  }
}

}  // namespace
}  // namespace tarn

#if defined(__GLIBC__) && (defined(__i386__) || defined(__x86_64__))
#include <fenv.h>

#include <vector>

namespace tarn {
namespace {

using namespace selftest;

// With invalid, divide-by-zero, overflow and underflow unmasked, no form of
// the estimate-based slots traps on operands whose documented results need no
// exception in any tier (zero vectors and roots of zero, tiny and huge
// normals, ordinary values), and none raises one of
// those flags that the x87 tier does not raise for the same operand. Inexact
// is left aside: an estimate is inexact where an exact root may not be.
TEST(FpTraps, EstimateFormsRaiseNothingTheX87FormsDoNot) {
  constexpr int kTraps = FE_INVALID | FE_DIVBYZERO | FE_OVERFLOW | FE_UNDERFLOW;
  const float kScalars[] = {0.0f, 1.0f, 25.0f, 0.1f, 1.0e-37f, 7.0e37f, -3.5f};
  const Mx3DVec kVectors[] = {{0, 0, 0, 0},   {-0.0f, 0, -0.0f, 0}, {3, 4, 0, 0},
                              {1, 0, 0, NAN}, {1e-15f, 0, 0, 0},    {1e18f, 2e18f, -3e18f, 0}};
  const auto run_tier = [&](Tier tier) {
    test::use_tier(tier);
    std::vector<int> raised;
    const auto probe = [&](auto&& call) {
      std::feclearexcept(FE_ALL_EXCEPT);
      feenableexcept(kTraps);
      call();
      fedisableexcept(kTraps);
      raised.push_back(std::fetestexcept(kTraps));
    };
    for (float x : kScalars) {
      volatile float sink;
      const bool finite_nonzero = x != 0.0f;
      if (x >= 0.0f) {
        probe([&] { sink = MxRghFastSqrt(x); });
        probe([&] { sink = MxAccSqrt(x); });
      }
      if (finite_nonzero) {
        probe([&] { sink = MxFAccRecip(x); });
        probe([&] { sink = MxFRghFastRecip(x); });
        probe([&] { sink = MxFRghFastDiv(1.0f, x); });
      }
      (void)sink;
    }
    for (const Mx3DVec& v : kVectors) {
      volatile float sink;
      Mx3DVec r = v;
      probe([&] { sink = Mx3DVecAccMagnitude(&v); });
      probe([&] { sink = Mx3DVecRghFastMagnitude(&v); });
      probe([&] { Mx3DVecNormalize(&r, &v); });
      (void)sink;
    }
    return raised;
  };
  FpStateGuard guard;
  const std::vector<int> x87 = run_tier(Tier::kX87);
  for (Tier tier : test::all_tiers()) {
    const std::vector<int> raised = run_tier(tier);
    ASSERT_EQ(raised.size(), x87.size());
    for (std::size_t i = 0; i < raised.size(); ++i) {
      EXPECT_EQ(raised[i] & ~x87[i], 0) << tier_name(tier) << " call " << i << " flags "
                                        << raised[i] << " where x87 raised " << x87[i];
    }
  }
}

}  // namespace
}  // namespace tarn
#endif
