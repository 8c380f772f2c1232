// The exact sine-cosine in hosts that leave the floating-point unit in states
// of their own: every state gives the default state's bits, no exception
// traps, and the caller's settings come back as they were.
#include <gtest/gtest.h>

#include <bit>
#include <cfenv>
#include <cstdint>
#include <vector>

#include "TarnLib2DLL.h"
#include "isa/fpu_control.h"
#include "selftest/fp_state.h"
#include "trig/trig.h"

namespace tarn {
namespace {

// Angles that take every path: tiny and subnormal ones, the reduction's
// short and exact ways, a reduced angle near zero, huge ones.
const double kAngles[] = {0.0,       -0.0, 1.0,     -2.5,       0x1.921fb6p+1, 0x1p-149,
                          -0x1p-130, 1e-5, 1000.25, -123456.75, 1e6,           0x1.6c6cbc45dc8dep6,
                          1e22,      3e38, -1e300,  1e-310,     0x1p-1074};

// Every result of the four functions for every angle, as bits; the float
// angles are converted beforehand, in the default state.
struct Angle {
  double d;
  float f;
};

std::vector<Angle> angles() {
  std::vector<Angle> out;
  for (double a : kAngles) out.push_back({a, static_cast<float>(a)});
  return out;
}

// Through the exports and then every form this processor runs.
std::vector<std::uint64_t> all_results(const std::vector<Angle>& angles) {
  trig::ExactSinCosForm forms[trig::kMaxExactSinCosForms];
  const int count = trig::exact_sin_cos_forms(forms);
  std::vector<std::uint64_t> out;
  for (int form = -1; form < count; ++form) {
    const trig::ExactSinCosForm f =
        form < 0 ? trig::ExactSinCosForm{"exports", MxSinCosFFF, MxSinCosFFD, MxSinCosDDD, MxSinCosDDF}
                 : forms[form];
    for (const auto [a, fa] : angles) {
      double sd, cd, sdf, cdf;
      float sf, cf, sff, cff;
      f.ddd(&sd, &cd, a);
      f.ffd(&sf, &cf, a);
      f.ddf(&sdf, &cdf, fa);
      f.fff(&sff, &cff, fa);
      for (double d : {sd, cd, sdf, cdf}) out.push_back(std::bit_cast<std::uint64_t>(d));
      for (float g : {sf, cf, sff, cff}) out.push_back(std::bit_cast<std::uint32_t>(g));
    }
  }
  return out;
}

// A host that unmasks every exception: none of the functions may trap (the
// test would die of SIGFPE), the bits stay, and the masks come back.
TEST(SinCosCallerState, UnmaskedExceptionsNeitherTrapNorChangeResults) {
#if defined(__GLIBC__) && !defined(__aarch64__)
  const std::vector<Angle> in = angles();
  const std::vector<std::uint64_t> want = all_results(in);
  selftest::FpStateGuard guard;
  for (const int modes : {FE_INEXACT, FE_ALL_EXCEPT}) {
    SCOPED_TRACE(testing::Message() << "unmasked " << std::hex << modes);
    std::feclearexcept(FE_ALL_EXCEPT);
    ASSERT_NE(feenableexcept(modes), -1);
    const std::vector<std::uint64_t> got = all_results(in);
    const int unmasked = fegetexcept();
    fedisableexcept(FE_ALL_EXCEPT);
    EXPECT_EQ(unmasked, modes);
    EXPECT_EQ(got, want);
  }
  std::feclearexcept(FE_ALL_EXCEPT);
#else
  GTEST_SKIP() << "no portable way to unmask exceptions here";
#endif
}

// The state processor identification leaves: x87 at single precision and,
// with SSE, flush-to-zero on; then single precision with each rounding mode.
TEST(SinCosCallerState, IdentificationStateGivesTheDefaultBits) {
  const std::vector<Angle> in = angles();
  const std::vector<std::uint64_t> want = all_results(in);
  selftest::FpStateGuard guard;
  for (int mode : {FE_TONEAREST, FE_UPWARD, FE_DOWNWARD, FE_TOWARDZERO}) {
    SCOPED_TRACE(testing::Message() << "rounding mode " << mode);
    fpu::write_x87_control(static_cast<std::uint16_t>(fpu::read_x87_control() & ~0x0300));
    selftest::write_mxcsr(selftest::read_mxcsr() | 0x8000);
    ASSERT_EQ(std::fesetround(mode), 0);
    const std::uint16_t x87 = fpu::read_x87_control();
    const std::uint32_t mxcsr = selftest::read_mxcsr();
    const std::vector<std::uint64_t> got = all_results(in);
    EXPECT_EQ(fpu::read_x87_control(), x87);
    EXPECT_EQ(selftest::read_mxcsr() & selftest::kMxcsrControlMask,
              mxcsr & selftest::kMxcsrControlMask);
    std::fesetround(FE_TONEAREST);
    selftest::set_reference_environment();
    EXPECT_EQ(got, want);
  }
}

}  // namespace
}  // namespace tarn
