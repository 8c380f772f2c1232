// The calling thread's x87 control word. On targets without an x87 unit these
// do nothing and read back the power-on value 0x037F: single-precision
// arithmetic there never passes through an x87 unit, so the precision setting
// has nothing to govern.
#pragma once

#include <cstdint>

namespace tarn::fpu {

#if (defined(__i386__) || defined(__x86_64__)) && defined(__GNUC__)
inline constexpr bool kHasX87 = true;

inline std::uint16_t read_x87_control() {
  std::uint16_t cw;
  __asm__ volatile("fnstcw %0" : "=m"(cw));
  return cw;
}

inline void write_x87_control(std::uint16_t cw) {
  __asm__ volatile("fldcw %0" : : "m"(cw));
}

// FNINIT: empty register stack, all exceptions masked, round to nearest,
// extended precision (control word 0x037F).
inline void reset_x87() {
  __asm__ volatile("fninit" ::: "memory", "st", "st(1)", "st(2)", "st(3)", "st(4)", "st(5)",
                   "st(6)", "st(7)");
}
#else
inline constexpr bool kHasX87 = false;
inline std::uint16_t read_x87_control() {
  return 0x037F;
}
inline void write_x87_control(std::uint16_t) {}
inline void reset_x87() {}
#endif

inline constexpr std::uint16_t kPrecisionControlMask = 0x0300;  // bits 8-9; 00 = 24-bit

}  // namespace tarn::fpu
