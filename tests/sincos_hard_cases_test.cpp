// The correctly rounded functions on the hardest-to-round arguments: the
// published ones of double angles, and float angles found by a sweep of all
// floats; in the caller states a host may leave.
#include <gtest/gtest.h>

#include <bit>
#include <cfenv>
#include <cstdint>
#include <utility>
#include <vector>

#include "TarnLib2DLL.h"
#include "isa/fpu_control.h"
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

// Float angles whose float sine or cosine lies within 2^-48 (relative) of a
// rounding boundary, found by sweeping every float from 2^-12 to 1.5e6: every
// 7th of the 162 positive ones, with the peer's results (checked against
// MPFR) as float and as double bits: sine, cosine, sine, cosine.
struct FloatHardCase {
  std::uint32_t angle, sine_float, cosine_float;
  std::uint64_t sine_double, cosine_double;
};
constexpr FloatHardCase kFloatHardCases[] = {
    {0x39800000, 0x39800000, 0x3F800000, 0x3F2FFFFFFAAAAAAB, 0x3FEFFFFFF0000001},  // 0x1p-12
    {0x3A5352C7, 0x3A5352C5, 0x3F7FFFFB, 0x3F4A6A58AFFFFFE0, 0x3FEFFFFF518E71D0},  // 0x1.a6a58ep-11
    {0x3AE8F6AB, 0x3AE8F6A3, 0x3F7FFFE6, 0x3F5D1ED45EC4F6CD, 0x3FEFFFFCB000002D},  // 0x1.d1ed56p-10
    {0x3BF2BDFB, 0x3BF2BD6A, 0x3F7FFE34, 0x3F7E57AD30000021, 0x3FEFFFC675225CBB},  // 0x1.e57bf6p-8
    {0x3C797326, 0x3C7970AE, 0x3F7FF867, 0x3F8F2E15CD369942, 0x3FEFFF0CEFFFFFC7},  // 0x1.f2e64cp-7
    {0x3D58A0EA, 0x3D588710, 0x3F7FA45E, 0x3FAB10E20F5E0F0D, 0x3FEFF48BB0000014},  // 0x1.b141d4p-5
    {0x3DE26FD0, 0x3DE1F9C7, 0x3F7E6FD5, 0x3FBC3F38EFFFFFE7, 0x3FEFCDFAA68A997B},  // 0x1.c4dfap-4
    {0x3EA0E6EF, 0x3E9E4444, 0x3F73765C, 0x3FD3C8888DF85EE8, 0x3FEE6ECB8FFFFFEA},  // 0x1.41cddep-2
    {0x3F22061D, 0x3F176BE7, 0x3F4E6A7A, 0x3FE2ED7CE518F466, 0x3FE9CD4F30000022},  // 0x1.440c3ap-1
    {0x3FFCE5F1, 0x3F6B4B0C, 0xBEC9B953, 0x3FED696173C8213B, 0xBFD9372A63C4D6D4},  // 0x1.f9cbe2p+0
    {0x407D1661, 0xBF39EDA6, 0xBF2FF936, 0xBFE73DB4B9E61F58, 0xBFE5FF26B000002D},  // 0x1.fa2cc2p+1
    {0x417CE5F1, 0xBDC8BD36, 0xBF7EC46D, 0xBFB917A6BD47F554, 0xBFEFD88DA3CD9EF4},  // 0x1.f9cbe2p+3
    {0x42378DB8, 0x3F71BE54, 0xBEA87A07, 0x3FEE37CA74C6AA55, 0xBFD50F40EFFFFFFD},  // 0x1.6f1b7p+5
    {0x43224D54, 0xBF5F6ADD, 0x3EF9F718, 0xBFEBED5B93AD24C7, 0x3FDF3EE30FFFFFD6},  // 0x1.449aa8p+7
    {0x43A9A515, 0xBB16F190, 0x3F7FFFD4, 0xBF62DE31F438FEB7, 0x3FEFFFFA70000027},  // 0x1.534a2ap+8
    {0x448F03F9, 0x3F0D3D39, 0x3F558326, 0x3FE1A7A710000030, 0x3FEAB064CD6C156B},  // 0x1.1e07f2p+10
    {0x4544DE31, 0x3F6794A8, 0xBEDA3B97, 0x3FECF294F76F371C, 0xBFDB4772EFFFFFD4},  // 0x1.89bc62p+11
    {0x45E1A547, 0x3F753BD4, 0x3E92EBB9, 0x3FEEA77A8146E8FA, 0x3FD25D772FFFFFD4},  // 0x1.c34a8ep+12
    {0x46D8EE34, 0x3F7DACA6, 0xBE09B671, 0x3FEFB594B000002C, 0xBFC136CE25228318},  // 0x1.b1dc68p+14
    {0x472562AE, 0x3F08F59B, 0xBF584853, 0x3FE11EB353F8A3C7, 0xBFEB090A582AF3B9},  // 0x1.4ac55cp+15
    {0x47A562AE, 0xBF676BD8, 0x3EDAE880, 0xBFECED7AF419B465, 0x3FDB5D100A75ADFD},  // 0x1.4ac55cp+16
    {0x47F81405, 0x3F7E1324, 0x3DFAB273, 0x3FEFC26470F0AFEF, 0x3FBF564E52D86F19},  // 0x1.f0280ap+16
    {0x494977CB, 0xBF667881, 0xBEDEE226, 0xBFECCF1010000034, 0xBFDBDC44BCFC2CB8},  // 0x1.92ef96p+19
    {0x49A43E7A, 0xBEA843B0, 0x3F71C7CA, 0xBFD508760FFFFFE1, 0x3FEE38F9353454D1},  // 0x1.487cf4p+20
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

// The angle and its negation through both float-angle functions.
TEST(SinCosHardCases, FloatAnglesRoundCorrectly) {
  for (const FloatHardCase& hc : kFloatHardCases) {
    for (std::uint32_t sign : {0u, 0x80000000u}) {
      const float angle = std::bit_cast<float>(hc.angle ^ sign);
      SCOPED_TRACE(testing::Message() << "angle " << std::hexfloat << angle);
      float sf, cf;
      double sd, cd;
      MxSinCosFFF(&sf, &cf, angle);
      MxSinCosDDF(&sd, &cd, angle);
      EXPECT_EQ(std::bit_cast<std::uint32_t>(sf), hc.sine_float ^ sign);
      EXPECT_EQ(std::bit_cast<std::uint32_t>(cf), hc.cosine_float);
      EXPECT_EQ(std::bit_cast<std::uint64_t>(sd), hc.sine_double ^ std::uint64_t{sign} << 32);
      EXPECT_EQ(std::bit_cast<std::uint64_t>(cd), hc.cosine_double);
    }
  }
}

// The two arguments that a double-double rounded once gets wrong.
TEST(SinCosHardCases, CasesBeyondDoubleDouble) {
  double s, c;
  MxSinCosDDD(&s, &c, 0x1.1c63df63d59dp-2);
  EXPECT_EQ(s, 0x1.18bf91b163125p-2);
  MxSinCosDDD(&s, &c, 0x1.5e5c1cd6c4e6fp-22);
  EXPECT_EQ(c, 0x1.ffffffffffe21p-1);
}

// The angles as doubles through the double-angle functions, then as floats
// (their patterns) through the float-angle ones; four results each.
struct Angles {
  std::vector<double> doubles;
  std::vector<std::uint32_t> floats;
};

Angles with_hard_cases(std::vector<double> doubles) {
  Angles a = {std::move(doubles),
              {0x00000001, 0x80800000, 0x39000000, 0x3F800000, 0xC0200000, 0x49742400,
               0x4A000000, 0xDE000000, 0x7F7FFFFF}};
  for (const HardCase& hc : kHardCases) a.doubles.push_back(std::bit_cast<double>(hc.angle));
  for (const FloatHardCase& hc : kFloatHardCases) a.floats.push_back(hc.angle);
  return a;
}

// Without arithmetic of its own: the caller state may trap inexact results.
void append_results(const Angles& angles, std::vector<std::uint64_t>& out) {
  for (double a : angles.doubles) {
    double sd, cd;
    float sf, cf;
    MxSinCosDDD(&sd, &cd, a);
    MxSinCosFFD(&sf, &cf, a);
    out.push_back(std::bit_cast<std::uint64_t>(sd));
    out.push_back(std::bit_cast<std::uint64_t>(cd));
    out.push_back(std::bit_cast<std::uint32_t>(sf));
    out.push_back(std::bit_cast<std::uint32_t>(cf));
  }
  for (std::uint32_t pattern : angles.floats) {
    double sd, cd;
    float sf, cf;
    MxSinCosDDF(&sd, &cd, std::bit_cast<float>(pattern));
    MxSinCosFFF(&sf, &cf, std::bit_cast<float>(pattern));
    out.push_back(std::bit_cast<std::uint64_t>(sd));
    out.push_back(std::bit_cast<std::uint64_t>(cd));
    out.push_back(std::bit_cast<std::uint32_t>(sf));
    out.push_back(std::bit_cast<std::uint32_t>(cf));
  }
}

std::vector<std::uint64_t> results_for_all(const Angles& angles) {
  std::vector<std::uint64_t> out;
  append_results(angles, out);
  return out;
}

// Each caller state gives the default state's bits, and comes back as it
// was. The angles reach every path: tiny, table steps, the exact reduction
// of huge angles and the accurate evaluation of the hard cases. Between the
// state's set-up and its restoration the test itself does no arithmetic
// (unmasked inexact results would trap in it).
TEST(SinCosHardCases, CallerStateChangesNoResult) {
  const Angles angles = with_hard_cases(
      {0.0, -0.0, 0x1p-1074, 3 * 0x1p-150, 1e-9, 1.0, -2.5, 1e5, -1e6, 0x1.8p20, 1e22, -3.0e300});
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
      append_results(angles, got);
      mxcsr_after = selftest::read_mxcsr();
      x87_after = fpu::read_x87_control();
      selftest::write_mxcsr(selftest::kMxcsrDefault);
    }
    std::feclearexcept(FE_ALL_EXCEPT);
    EXPECT_EQ(mxcsr_after & selftest::kMxcsrControlMask, mxcsr_caller & selftest::kMxcsrControlMask);
    EXPECT_EQ(x87_after, x87_caller);
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
      const std::size_t n = i / 4;
      EXPECT_EQ(got[i], want[i])
          << "angle " << std::hexfloat
          << (n < angles.doubles.size()
                  ? angles.doubles[n]
                  : double{std::bit_cast<float>(angles.floats[n - angles.doubles.size()])})
          << ", result " << i % 4;
    }
  }
}

// The state the library's identification leaves (flush-to-zero on, x87 at
// single precision) changes no result either.
TEST(SinCosHardCases, IdentificationStateChangesNoResult) {
  const Angles angles = with_hard_cases({1e-9, 0.5, 3.0, -1e6, 1e22});
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
