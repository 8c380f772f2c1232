// The calling thread's floating-point state as the hygiene checks see it: the
// x87 control word, tag word and status, and the SSE control register.
#pragma once

#include <cstdint>

#include "isa/fpu_control.h"
#include "isa/platform.h"

#if defined(TARN_SSE_IN_UNIT)
#include <xmmintrin.h>
#define TARN_SELFTEST_HAVE_MXCSR 1
#endif

namespace tarn::selftest {

inline constexpr std::uint32_t kMxcsrControlMask = 0xFFC0;  // everything but the sticky flags
inline constexpr std::uint32_t kMxcsrDefault = 0x1F80;      // all masked, nearest, no FTZ/DAZ
inline constexpr std::uint32_t kMxcsrFlushToZero = 0x8000;
inline constexpr std::uint16_t kX87SinglePrecision = 0x007F;  // all masked, nearest, 24-bit

#if defined(TARN_SELFTEST_HAVE_MXCSR)
inline constexpr bool kHaveMxcsr = true;
#else
inline constexpr bool kHaveMxcsr = false;
#endif

inline std::uint32_t read_mxcsr() {
#if defined(TARN_SELFTEST_HAVE_MXCSR)
  return _mm_getcsr();
#else
  return kMxcsrDefault;
#endif
}

inline void write_mxcsr([[maybe_unused]] std::uint32_t value) {
#if defined(TARN_SELFTEST_HAVE_MXCSR)
  _mm_setcsr(value);
#endif
}

// The x87 register file seen from outside: the tag word (0xFFFF when every
// register is empty) and the status word (top of stack in bits 11-13).
struct X87Registers {
  std::uint16_t control, status, tags;
};

inline X87Registers read_x87_registers() {
#if defined(TARN_X86_GNU_ASM)
  // FNSTENV masks every exception as a side effect; FLDENV puts the saved
  // environment back unchanged.
  std::uint32_t env[7];
  __asm__ volatile("fnstenv %0\n\tfldenv %0" : "=m"(env) : : "memory");
  return {static_cast<std::uint16_t>(env[0]), static_cast<std::uint16_t>(env[1]),
          static_cast<std::uint16_t>(env[2])};
#else
  return {0x037F, 0, 0xFFFF};
#endif
}

// Whether the x87 unit can load, add and store: false when a packed-integer
// operation left its registers marked full.
inline bool x87_usable() {
#if defined(TARN_X86_GNU_ASM)
  volatile long double a = 1.5L, b = 2.25L;
  const long double sum = a + b;
  return sum == 3.75L && read_x87_registers().tags == 0xFFFF;
#else
  return true;
#endif
}

// Saves the whole floating-point control state on construction and puts it
// back on destruction.
class FpStateGuard {
 public:
  FpStateGuard() : x87_(fpu::read_x87_control()), mxcsr_(read_mxcsr()) {}
  ~FpStateGuard() {
    fpu::write_x87_control(x87_);
    write_mxcsr(mxcsr_);
  }
  FpStateGuard(const FpStateGuard&) = delete;
  FpStateGuard& operator=(const FpStateGuard&) = delete;

 private:
  std::uint16_t x87_;
  std::uint32_t mxcsr_;
};

// The environment every checksum is computed in: x87 at single precision (as
// the library's start-up leaves it) and SSE in its default state.
inline void set_reference_environment() {
  fpu::write_x87_control(kX87SinglePrecision);
  write_mxcsr(kMxcsrDefault);
}

}  // namespace tarn::selftest
