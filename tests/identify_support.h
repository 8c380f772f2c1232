// One real identification per test binary (it takes a little over a second),
// with the floating-point state it left, after which the test thread's own
// state is put back so later tests run as before.
#pragma once

#include <cstdint>
#include <string>

#include "TarnLib2DLL.h"
#include "isa/fpu_control.h"

#if defined(__i386__) || defined(__x86_64__)
#include <xmmintrin.h>
#define TARN_TEST_X86 1
#endif

namespace tarn::test {

inline std::uint32_t read_mxcsr() {
#if defined(TARN_TEST_X86)
  return _mm_getcsr();
#else
  return 0;
#endif
}

inline void write_mxcsr([[maybe_unused]] std::uint32_t csr) {
#if defined(TARN_TEST_X86)
  _mm_setcsr(csr);
#endif
}

struct MachineIdentification {
  MxCpuFlags word;
  std::string vendor;
  std::uint32_t mhz;
  std::uint16_t control_word_before, control_word_after;
  std::uint32_t mxcsr_before, mxcsr_after;
};

inline const MachineIdentification& identified_machine() {
  static const MachineIdentification kResult = [] {
    MachineIdentification r{};
    r.control_word_before = fpu::read_x87_control();
    r.mxcsr_before = read_mxcsr();
    r.word = MxIdentifyCPU();
    r.control_word_after = fpu::read_x87_control();
    r.mxcsr_after = read_mxcsr();
    r.vendor = MxGetCPUVendor();
    r.mhz = MxGetCPUSpeed();
    fpu::write_x87_control(r.control_word_before);
    write_mxcsr(r.mxcsr_before);
    return r;
  }();
  return kResult;
}

}  // namespace tarn::test
