// The correctly rounded double-angle functions on the published
// hardest-to-round arguments, in the caller states a host may leave.
#include <gtest/gtest.h>

#include <bit>
#include <cfenv>
#include <cstdint>
#include <vector>

#include "TarnLib2DLL.h"
#include "dispatch/fpu_control.h"
#include "selftest/fp_state.h"

namespace tarn {
namespace {

struct HardCase {
  int cosine;  // 0 for a sine
  std::uint64_t angle, result_double;
  std::uint32_t result_float;
};

constexpr HardCase kHardCases[] = {
#include "data/sincos_hard_cases.inc"
};

// The angle and its negation (the sine odd, the cosine even), through both
// double-angle functions.
TEST(SinCosHardCases, DoubleAnglesRoundCorrectly) {
  int checked = 0;
  for (const HardCase& hc : kHardCases) {
    for (std::uint64_t sign : {std::uint64_t{0}, std::uint64_t{1} << 63}) {
      const double angle = std::bit_cast<double>(hc.angle ^ sign);
      const std::uint64_t flip_double = hc.cosine ? 0 : sign;
      const std::uint32_t flip_float = hc.cosine ? 0 : static_cast<std::uint32_t>(sign >> 32);
      double sd, cd;
      float sf, cf;
      MxSinCosDDD(&sd, &cd, angle);
      MxSinCosFFD(&sf, &cf, angle);
      const std::uint64_t got_double = std::bit_cast<std::uint64_t>(hc.cosine ? cd : sd);
      const std::uint32_t got_float = std::bit_cast<std::uint32_t>(hc.cosine ? cf : sf);
      EXPECT_EQ(got_double, hc.result_double ^ flip_double)
          << (hc.cosine ? "cos " : "sin ") << std::hexfloat << angle;
      EXPECT_EQ(got_float, hc.result_float ^ flip_float)
          << (hc.cosine ? "cosf " : "sinf ") << std::hexfloat << angle;
      ++checked;
    }
  }
  EXPECT_GT(checked, 300);
}

// The two arguments that a double-double rounded once gets wrong.
TEST(SinCosHardCases, CasesBeyondDoubleDouble) {
  double s, c;
  MxSinCosDDD(&s, &c, 0x1.1c63df63d59dp-2);
  EXPECT_EQ(s, 0x1.18bf91b163125p-2);
  MxSinCosDDD(&s, &c, 0x1.5e5c1cd6c4e6fp-22);
  EXPECT_EQ(c, 0x1.ffffffffffe21p-1);
}

std::vector<std::uint64_t> results_for_all(const std::vector<double>& angles) {
  std::vector<std::uint64_t> out;
  for (double a : angles) {
    double sd, cd;
    float sf, cf;
    MxSinCosDDD(&sd, &cd, a);
    MxSinCosFFD(&sf, &cf, a);
    out.push_back(std::bit_cast<std::uint64_t>(sd));
    out.push_back(std::bit_cast<std::uint64_t>(cd));
    out.push_back(std::bit_cast<std::uint32_t>(sf));
    out.push_back(std::bit_cast<std::uint32_t>(cf));
  }
  return out;
}

// Each caller state gives the default state's bits, and comes back as it
// was. The angles reach every path: tiny, table steps, the exact reduction
// of huge angles and the accurate evaluation of the hard cases. Between the
// state's set-up and its restoration the test itself does no arithmetic
// (unmasked inexact results would trap in it).
TEST(SinCosHardCases, CallerStateChangesNoResult) {
  std::vector<double> angles = {0.0, -0.0, 0x1p-1074, 3 * 0x1p-150, 1e-9, 1.0, -2.5, 1e5,
                                -1e6, 0x1.8p20, 1e22, -3.0e300};
  for (const HardCase& hc : kHardCases) angles.push_back(std::bit_cast<double>(hc.angle));
  const std::vector<std::uint64_t> want = results_for_all(angles);

  struct State {
    const char* name;
    int rounding;
    std::uint32_t mxcsr_set, mxcsr_clear;
    bool x87_single;
  };
  const State states[] = {
      {"upward", FE_UPWARD, 0, 0, false},
      {"downward", FE_DOWNWARD, 0, 0, false},
      {"toward zero", FE_TOWARDZERO, 0, 0, false},
      {"flush-to-zero and denormals-are-zero", FE_TONEAREST, 0x8040, 0, false},
      {"every exception unmasked", FE_TONEAREST, 0, 0x1F80, false},
      {"x87 at single precision", FE_TONEAREST, 0, 0, true},
      {"downward, flushing, unmasked, single", FE_DOWNWARD, 0x8040, 0x1F80, true},
  };
  for (const State& st : states) {
    if ((st.mxcsr_set | st.mxcsr_clear) != 0 && !selftest::kHaveMxcsr) continue;
    if (st.x87_single && !fpu::kHasX87) continue;
    SCOPED_TRACE(st.name);
    std::vector<std::uint64_t> got;
    got.reserve(want.size());
    std::uint32_t mxcsr_after = 0, mxcsr_caller = 0;
    std::uint16_t x87_after = 0, x87_caller = 0;
    {
      selftest::FpStateGuard guard;
      ASSERT_EQ(std::fesetround(st.rounding), 0);
      if (st.x87_single) {
        fpu::write_x87_control(static_cast<std::uint16_t>(
            fpu::read_x87_control() & ~fpu::kPrecisionControlMask));
      }
      x87_caller = fpu::read_x87_control();
      mxcsr_caller = ((selftest::read_mxcsr() | st.mxcsr_set) & ~st.mxcsr_clear) & ~0x3Fu;
      selftest::write_mxcsr(mxcsr_caller);
      for (double a : angles) {
        double sd, cd;
        float sf, cf;
        MxSinCosDDD(&sd, &cd, a);
        MxSinCosFFD(&sf, &cf, a);
        got.push_back(std::bit_cast<std::uint64_t>(sd));
        got.push_back(std::bit_cast<std::uint64_t>(cd));
        got.push_back(std::bit_cast<std::uint32_t>(sf));
        got.push_back(std::bit_cast<std::uint32_t>(cf));
      }
      mxcsr_after = selftest::read_mxcsr();
      x87_after = fpu::read_x87_control();
      selftest::write_mxcsr(selftest::kMxcsrDefault);
    }
    std::feclearexcept(FE_ALL_EXCEPT);
    EXPECT_EQ(mxcsr_after & selftest::kMxcsrControlMask, mxcsr_caller & selftest::kMxcsrControlMask);
    EXPECT_EQ(x87_after, x87_caller);
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
      EXPECT_EQ(got[i], want[i]) << "angle " << std::hexfloat << angles[i / 4] << ", result "
                                 << i % 4;
    }
  }
}

// The state the library's identification leaves (flush-to-zero on, x87 at
// single precision) changes no result either.
TEST(SinCosHardCases, IdentificationStateChangesNoResult) {
  std::vector<double> angles = {1e-9, 0.5, 3.0, -1e6, 1e22};
  for (const HardCase& hc : kHardCases) angles.push_back(std::bit_cast<double>(hc.angle));
  const std::vector<std::uint64_t> want = results_for_all(angles);
  std::vector<std::uint64_t> got;
  {
    selftest::FpStateGuard guard;
    MxIdentifyCPU();
    got = results_for_all(angles);
  }
  EXPECT_EQ(got, want);
}

}  // namespace
}  // namespace tarn
