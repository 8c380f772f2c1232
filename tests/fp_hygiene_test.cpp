// Floating-point hygiene: after every operation of every tier the x87 stack is
// empty and usable, and neither the x87 control word nor the SSE control bits
// have changed, except for the documented effects of identification and table
// initialisation.
#include <gtest/gtest.h>

#include <cmath>

#include "dispatch/registry.h"
#include "isa/estimates.h"
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
#include <setjmp.h>
#include <signal.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <limits>
#include <string>
#include <vector>

namespace tarn {
namespace {

using namespace selftest;

constexpr int kTraps = FE_INVALID | FE_DIVBYZERO | FE_OVERFLOW | FE_UNDERFLOW;
constexpr int kTrapped = -1;

// A short label for an operand: "(1e-39)", "(-inf)".
std::string label(std::initializer_list<float> values) {
  std::string text = "(";
  for (float v : values) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%g", static_cast<double>(v));
    text += (text.size() > 1 ? "," : "") + std::string(buffer);
  }
  return text + ")";
}

sigjmp_buf g_trap_resume;
volatile float sink;
volatile std::int32_t isink;
void on_trap(int) {
  siglongjmp(g_trap_resume, 1);
}

// SIGFPE resumes run_calls while alive.
struct TrapCatcher {
  TrapCatcher() {
    struct sigaction trap = {};
    trap.sa_handler = on_trap;
    sigemptyset(&trap.sa_mask);
    sigaction(SIGFPE, &trap, &saved);
  }
  ~TrapCatcher() { sigaction(SIGFPE, &saved, nullptr); }
  struct sigaction saved;
};

// One call of a slot. `exact` marks a call whose result is exact in every
// form, so that inexact is unmasked as well: estimates, table lookups and
// rounded arithmetic are inexact by nature and keep it masked.
struct Call {
  std::string name;
  bool exact;
  std::function<void()> run;
};

// Every slot, over special and ordinary operands whose documented results
// need no exception in any form: signed zeros, zero vectors, infinities where
// only compared or moved, a quiet or signalling NaN in the fourth float that
// no form lets into a result, tiny and huge normals whose results stay
// normal, ordinary values.
std::vector<Call> slot_calls() {
  constexpr float kInf = std::numeric_limits<float>::infinity();
  const float kQnan = std::numeric_limits<float>::quiet_NaN();
  const float kSnan = std::numeric_limits<float>::signaling_NaN();
  std::vector<Call> calls;
  const auto add = [&calls](std::string name, bool exact, std::function<void()> run) {
    calls.push_back({std::move(name), exact, std::move(run)});
  };
  static MxMat4x4 m, out;
  static Mx3DVec r;
  static std::uint32_t words[64], more[64];

  const MxMat4x4 kAffine = {{0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 2, 0, 5, -6, 7, 1}};
  const MxMat4x4 kZeros = {};
  const Mx3DVec kVectors[] = {{0, 0, 0, 0},
                              {-0.0f, 0, -0.0f, 0},
                              {3, 4, 0, 0},
                              {1, -2, 3, kQnan},
                              {1, 2, 2, kSnan},
                              {1e-15f, 0, 0, 0},
                              {1e18f, 2e18f, -3e18f, 0}};
  for (const Mx3DVec& v : kVectors) {
    const std::string n = label({v.x, v.y, v.z, v.pad});
    // Small integers (and zeros) give exact products and sums.
    const auto small_integer = [](float f) { return f == std::trunc(f) && std::fabs(f) < 8; };
    const bool small = small_integer(v.x) && small_integer(v.y) && small_integer(v.z);
    const Mx3DVec w = {2, -1, 0.5f, kSnan};
    add("MxTranslateMatFromVec" + n, true, [v] { MxTranslateMatFromVec(&m, &v); });
    add("Mx3DVecMagnitudeSquared" + n, small, [v] { sink = Mx3DVecMagnitudeSquared(&v); });
    add("Mx3DVecAccMagnitude" + n, false, [v] { sink = Mx3DVecAccMagnitude(&v); });
    add("Mx3DVecRghFastMagnitude" + n, false, [v] { sink = Mx3DVecRghFastMagnitude(&v); });
    add("Mx3DVecDotProd" + n, small, [v, w] { sink = Mx3DVecDotProd(&v, &w); });
    add("Mx3DVecCrossProd" + n, small, [v, w] { Mx3DVecCrossProd(&r, &v, &w); });
    add("Mx3DVecAdd" + n, small, [v, w] { Mx3DVecAdd(&r, &v, &w); });
    add("Mx3DVecSub" + n, small, [v, w] { Mx3DVecSub(&r, &v, &w); });
    add("Mx3DVecCmpMagnitude" + n, small, [v, w] { isink = Mx3DVecCmpMagnitude(&v, &w); });
    add("Mx3DVecScale" + n, small, [v] { Mx3DVecScale(&r, &v, -2.0f); });
    add("Mx3DVecCmp" + n, true, [v, w] { isink = Mx3DVecCmp(&v, &w); });
    add("Mx3DVecTransform" + n, small, [v, kAffine] { Mx3DVecTransform(&r, &v, &kAffine); });
    add("Mx3DVecNormalize" + n, false, [v] {
      r = v;
      Mx3DVecNormalize(&r, &v);
    });
    add("Mx3DVecRotate" + n, false, [v] {
      const float angles[3] = {30, -45, 0};
      Mx3DVecRotate(&r, &v, angles);
    });
  }

  const float kScalars[] = {0.0f, -0.0f, 1.0f, 25.0f, 0.1f, 1.0e-37f, 7.0e37f, -3.5f};
  for (float x : kScalars) {
    const std::string n = label({x});
    const bool integral = x == std::trunc(x) && std::fabs(x) < 1e6f;
    // Not -0: the x87 rough root's seed for it underflows where the x87
    // forms run as SSE code (the header says so).
    if (x >= 0.0f && !std::signbit(x)) {
      add("MxAccSqrt" + n, false, [x] { sink = MxAccSqrt(x); });
      add("MxRghFastSqrt" + n, false, [x] { sink = MxRghFastSqrt(x); });
    }
    if (x != 0.0f) {
      add("MxFAccRecip" + n, false, [x] { sink = MxFAccRecip(x); });
      add("MxFRghFastRecip" + n, false, [x] { sink = MxFRghFastRecip(x); });
      add("MxFAccDiv" + n, false, [x] { sink = MxFAccDiv(-2.0f, x); });
      add("MxFRghFastDiv" + n, false, [x] { sink = MxFRghFastDiv(1.0f, x); });
    }
    for (float y : {0.0f, -0.0f, 2.0f, -kInf, kInf}) {
      add("MxFMin" + n, true, [x, y] { sink = MxFMin(x, y); });
      add("MxFMax" + n, true, [x, y] { sink = MxFMax(y, x); });
    }
    if (std::fabs(x) < 2e9f) add("MxF2I" + n, integral, [x] { isink = MxF2I(x); });
    add("MxTranslateMat" + n, true, [x] { MxTranslateMat(&m, x, -x, 1); });
    add("MxScaleMat" + n, true, [x] { MxScaleMat(&m, x, 1, -x); });
  }
  for (std::int32_t i : {0, 1, -1, 1 << 24, -(1 << 24), 12345}) {
    add("MxI2F(" + std::to_string(i) + ")", true, [i] { sink = MxI2F(i); });
    add("MxIMin(" + std::to_string(i) + ")", true, [i] { isink = MxIMin(i, 7); });
    add("MxIMax(" + std::to_string(i) + ")", true, [i] { isink = MxIMax(-7, i); });
  }

  for (const MxMat4x4& a : {kAffine, kZeros}) {
    const std::string n = a.m[0] == 0 && a.m[1] == 0 ? "(zeros)" : "(affine)";
    add("MxZeroMat", true, [] { MxZeroMat(&m); });
    add("MxIdMat", true, [] { MxIdMat(&m); });
    add("MxInvOrthMat4x4" + n, true, [a] {
      m = a;
      MxInvOrthMat4x4(&m);
    });
    add("MxInvMat4x4" + n, true, [a] {
      m = a;
      MxInvMat4x4(&m);
    });
    add("MxMatMult4x4_4x4" + n, true, [a, kAffine] { MxMatMult4x4_4x4(&out, &a, &kAffine); });
    add("MxSparseMatMult4x4_4x4" + n, true,
        [a, kAffine] { MxSparseMatMult4x4_4x4(&out, &kAffine, &a); });
  }

  for (float angle : {0.0f, -0.0f, 0.5f, -3.25f, 1000.0f, 90.0f, -720.0f}) {
    const std::string n = label({angle});
    add("MxTSin" + n, false, [angle] { sink = MxTSin(angle); });
    add("MxTCos" + n, false, [angle] { sink = MxTCos(angle); });
    add("MxTSinCos" + n, false, [angle] {
      float s, c;
      MxTSinCos(&s, &c, angle);
      sink = s + c;
    });
    add("MxTSinOfDeg" + n, false, [angle] { sink = MxTSinOfDeg(angle); });
    add("MxTCosOfDeg" + n, false, [angle] { sink = MxTCosOfDeg(angle); });
    add("MxTSinCosOfDeg" + n, false, [angle] {
      float s, c;
      MxTSinCosOfDeg(&s, &c, angle);
      sink = s + c;
    });
    add("MxConcatRotMatXYZ" + n, false, [angle] { MxConcatRotMatXYZ(&m, angle, 0.25f, -angle); });
    add("MxConcatRotMatXZY" + n, false, [angle] { MxConcatRotMatXZY(&m, angle, 0, 1); });
    add("MxConcatRotMatYZX" + n, false, [angle] { MxConcatRotMatYZX(&m, 0, angle, 0); });
    add("MxConcatRotMatYXZ" + n, false, [angle] { MxConcatRotMatYXZ(&m, angle, angle, 0); });
    add("MxConcatRotMatZXY" + n, false, [angle] { MxConcatRotMatZXY(&m, 1, -1, angle); });
    add("MxConcatRotMatZYX" + n, false, [angle] { MxConcatRotMatZYX(&m, 0, 0, angle); });
  }

  for (std::uint32_t count : {0u, 1u, 7u, 64u}) {
    const std::string n = "(" + std::to_string(count) + ")";
    add("MxZeroDwordAlignedMem" + n, true, [count] { MxZeroDwordAlignedMem(words, count); });
    add("MxSetDwordAlignedMem" + n, true,
        [count] { MxSetDwordAlignedMem(words, count, 0x7F800001u); });
    add("MxCopyDwordAlignedMem" + n, true, [count] { MxCopyDwordAlignedMem(more, words, count); });
  }
  for (std::int32_t bpp : {32, 16}) {
    add("MxAlphaBlt32(" + std::to_string(bpp) + ")", true, [bpp] {
      for (std::uint32_t& w : more) w = 0x80FF8000u;
      MxAlphaBlt32(more, 0, 0, 8, 8, 32, words, -1, 2, 8, 4, 32, bpp, 0x7C00);
    });
  }
  return calls;
}

// The arithmetic slots over any operands: infinities, quiet NaNs, zero
// divisors, subnormals and results beyond the float range.
std::vector<Call> any_operand_calls() {
  constexpr float kInf = std::numeric_limits<float>::infinity();
  const float kQnan = std::numeric_limits<float>::quiet_NaN();
  std::vector<Call> calls;
  const auto add = [&calls](std::string name, std::function<void()> run) {
    calls.push_back({std::move(name), false, std::move(run)});
  };
  static Mx3DVec r;
  static MxMat4x4 m;
  for (float x : {0.0f, -0.0f, kInf, -kInf, kQnan, 1e-45f, 1e-39f, 3e38f, -3e38f, 1.5f}) {
    const std::string n = label({x});
    add("MxAccSqrt" + n, [x] { sink = MxAccSqrt(x); });
    add("MxRghFastSqrt" + n, [x] { sink = MxRghFastSqrt(x); });
    add("MxFAccRecip" + n, [x] { sink = MxFAccRecip(x); });
    add("MxFRghFastRecip" + n, [x] { sink = MxFRghFastRecip(x); });
    add("MxFAccDiv" + n, [x] { sink = MxFAccDiv(3e38f, x); });
    add("MxFRghFastDiv" + n, [x] { sink = MxFRghFastDiv(-1.0f, x); });
    const Mx3DVec v = {x, 1, -x, x};
    const Mx3DVec w = {2, x, 1, 0};
    add("Mx3DVecMagnitudeSquared" + n, [v] { sink = Mx3DVecMagnitudeSquared(&v); });
    add("Mx3DVecAccMagnitude" + n, [v] { sink = Mx3DVecAccMagnitude(&v); });
    add("Mx3DVecRghFastMagnitude" + n, [v] { sink = Mx3DVecRghFastMagnitude(&v); });
    add("Mx3DVecNormalize" + n, [v] { Mx3DVecNormalize(&r, &v); });
    add("Mx3DVecDotProd" + n, [v, w] { sink = Mx3DVecDotProd(&v, &w); });
    add("Mx3DVecCrossProd" + n, [v, w] { Mx3DVecCrossProd(&r, &v, &w); });
    add("Mx3DVecAdd" + n, [v, w] { Mx3DVecAdd(&r, &v, &w); });
    add("Mx3DVecSub" + n, [v, w] { Mx3DVecSub(&r, &v, &w); });
    add("Mx3DVecScale" + n, [v, x] { Mx3DVecScale(&r, &v, x); });
    add("Mx3DVecTransform" + n, [v] {
      MxMat4x4 t = {};
      for (int i = 0; i < 16; ++i) t.m[i] = static_cast<float>(i) - 7.5f;
      Mx3DVecTransform(&r, &v, &t);
    });
    add("MxFMin" + n, [x] { sink = MxFMin(x, 1.0f); });
    add("MxFMax" + n, [x] { sink = MxFMax(1.0f, x); });
    const float fraction = x * 0.75f;  // computed before any trap is unmasked
    add("MxF2I" + n, [fraction] { isink = MxF2I(fraction); });
    add("Mx3DVecCmp" + n, [v, w] { isink = Mx3DVecCmp(&v, &w); });
    add("Mx3DVecCmpMagnitude" + n, [v, w] { isink = Mx3DVecCmpMagnitude(&v, &w); });
    add("Mx3DVecRotate" + n, [v, x] {
      const float angles[3] = {x, 0.5f, -x};
      Mx3DVecRotate(&r, &v, angles);
    });
    add("MxMatMult4x4_4x4" + n, [x] {
      MxMat4x4 a = {};
      for (int i = 0; i < 16; ++i) a.m[i] = i % 5 == 0 ? x : 1.0f;
      MxMatMult4x4_4x4(&m, &a, &a);
    });
    add("MxSparseMatMult4x4_4x4" + n, [x] {
      MxMat4x4 a = {};
      for (int i = 0; i < 16; ++i) a.m[i] = i % 5 == 0 ? x : 1.0f;
      MxSparseMatMult4x4_4x4(&m, &a, &a);
    });
  }
  return calls;
}

// What each call raised (the trapping exceptions, and inexact for exact
// calls, or those given), or kTrapped.
std::vector<int> run_calls(Tier tier, const std::vector<Call>& calls, int unmasked = 0) {
  test::use_tier(tier);
  std::vector<int> raised;
  for (const Call& call : calls) {
    const int traps = unmasked != 0 ? unmasked : kTraps | (call.exact ? FE_INEXACT : 0);
    std::feclearexcept(FE_ALL_EXCEPT);
    if (sigsetjmp(g_trap_resume, 1) != 0) {
      // The handler's fresh floating-point state is in force: nothing unmasked.
      fedisableexcept(FE_ALL_EXCEPT);
      std::feclearexcept(FE_ALL_EXCEPT);
      raised.push_back(kTrapped);
      continue;
    }
    feenableexcept(traps);
    call.run();
    // A pending x87 exception traps at the next x87 instruction, still here.
    __asm__ volatile("fwait");
    fedisableexcept(FE_ALL_EXCEPT);
    raised.push_back(std::fetestexcept(traps));
  }
  return raised;
}

// With invalid, divide-by-zero, overflow and underflow unmasked (and inexact
// for exact results), no slot of any tier traps on operands whose documented
// results need no exception, and none raises a flag there that the x87 tier
// does not raise for the same operands.
TEST(FpTraps, NoSlotTrapsOrRaisesWhatTheX87FormDoesNot) {
  FpStateGuard guard;
  TrapCatcher catcher;

  const std::vector<Call> calls = slot_calls();
  const std::vector<int> x87 = run_calls(Tier::kX87, calls);
  for (Tier tier : test::all_tiers()) {
    const std::vector<int> raised = tier == Tier::kX87 ? x87 : run_calls(tier, calls);
    ASSERT_EQ(raised.size(), calls.size());
    for (std::size_t i = 0; i < calls.size(); ++i) {
      EXPECT_NE(raised[i], kTrapped) << tier_name(tier) << " " << calls[i].name << " trapped";
      if (raised[i] == kTrapped || x87[i] == kTrapped) continue;
      EXPECT_EQ(raised[i] & ~x87[i], 0) << tier_name(tier) << " " << calls[i].name << " flags "
                                        << raised[i] << " where x87 raised " << x87[i];
    }
  }
}

// Whether the slot a call names ("MxFMin(0.5)") is bound to a form of the
// 3DNow! family in the tier in force.
bool bound_to_3dnow_form(const std::string& call) {
  const std::string slot = call.substr(0, call.find('('));
  for (const SlotInfo& info : kSlots) {
    if (slot != info.name) continue;
    Variant variant;
    if (!find_variant(info.id, load_slot(info.id), &variant)) return false;
    return variant == Variant::k3DNow || variant == Variant::k3DNowMmxext ||
           variant == Variant::kExt3DNow || variant == Variant::kExt3DNowMmxext;
  }
  return false;
}

// 3DNow! arithmetic raises no exception at all, so its forms trap on nothing,
// whatever the operands, even with inexact unmasked too. On 32-bit x86 a
// float result comes back on the x87 stack, and the caller's own store of a
// subnormal one signals underflow whenever that is unmasked: there underflow
// stays masked.
#if defined(TARN_X86_32)
constexpr int kEveryTrap = FE_ALL_EXCEPT & ~FE_UNDERFLOW;
#else
constexpr int kEveryTrap = FE_ALL_EXCEPT;
#endif
TEST(FpTraps, ThreeDNowFormsTrapOnNoOperand) {
  FpStateGuard guard;
  TrapCatcher catcher;
  std::vector<Call> calls = slot_calls();
  for (Call& call : any_operand_calls()) calls.push_back(std::move(call));
  for (Tier tier : test::all_tiers()) {
    if (!(tier_flags(tier) & MxCpu3DNow)) continue;
    const std::vector<int> raised = run_calls(tier, calls, kEveryTrap);
    int checked = 0;
    for (std::size_t i = 0; i < calls.size(); ++i) {
      if (!bound_to_3dnow_form(calls[i].name)) continue;
      ++checked;
      EXPECT_NE(raised[i], kTrapped) << tier_name(tier) << " " << calls[i].name << " trapped";
    }
    EXPECT_GT(checked, 0) << tier_name(tier);
  }
}

// 3DNow! arithmetic raises no exception; its emulation raises no flag, for
// any operand, that the x87 or the SSE forms do not raise too (inexact
// aside). On the x87 unit of a 32-bit build the x87 forms keep a wider
// exponent and may underflow where single-precision arithmetic does.
TEST(FpTraps, ThreeDNowFormsRaiseNoFlagTheX87FormsDoNotForAnyOperand) {
  FpStateGuard guard;
  const std::vector<Call> calls = any_operand_calls();
  const auto raised_by = [&calls](Tier tier) {
    test::use_tier(tier);
    std::vector<int> raised;
    for (const Call& call : calls) {
      std::feclearexcept(FE_ALL_EXCEPT);
      call.run();
      __asm__ volatile("fwait");
      raised.push_back(std::fetestexcept(kTraps));
    }
    return raised;
  };
  const std::vector<int> x87 = raised_by(Tier::kX87);
  const std::vector<int> sse = raised_by(Tier::kSse);
  for (Tier tier : test::all_tiers()) {
    if (!(tier_flags(tier) & MxCpu3DNow)) continue;
    const std::vector<int> raised = raised_by(tier);
    for (std::size_t i = 0; i < calls.size(); ++i) {
      EXPECT_EQ(raised[i] & ~(x87[i] | sse[i]), 0)
          << tier_name(tier) << " " << calls[i].name << " flags " << raised[i]
          << " where x87 raised " << x87[i] << " and SSE " << sse[i];
    }
  }
}

}  // namespace
}  // namespace tarn
#endif
