// The calling thread's x87 control word. On targets without an x87 unit these
// do nothing and read back the power-on value 0x037F: single-precision
// arithmetic there never passes through an x87 unit, so the precision setting
// has nothing to govern.
#pragma once

#include <cstdint>

#include "isa/platform.h"

namespace tarn::fpu {

#if defined(TARN_X86_GNU_ASM)
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
  __asm__ volatile("fninit" ::
                       : "memory", "st", "st(1)", "st(2)", "st(3)", "st(4)", "st(5)", "st(6)",
                         "st(7)");
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

// The x87 forms' working values. Where float arithmetic runs on the x87 unit
// (32-bit x86) they are its registers: long double, which at the single
// precision the library sets rounds each operation to 24 bits and keeps the
// unit's exponent range, however the compiler spills it, so the results do
// not depend on its register allocation. Elsewhere they are plain floats.
#if defined(TARN_X87_FLOAT_MATH)
using X87Value = long double;
#else
using X87Value = float;
#endif

// DoublePrecision: double arithmetic rounded to double precision while
// alive. Where double arithmetic runs on the x87 unit (32-bit x86 without SSE2
// float code) the library's single-precision setting would round it to 24
// bits; elsewhere there is nothing to do. The compiler may move register
// arithmetic across the control-word writes: pin() a value where it must pass
// through memory (after the setting, or before the restore).
#if defined(TARN_X87_DOUBLE_MATH)
template <typename T>
inline void pin(T& value) {
  __asm__ volatile("" : "+m"(value));
}

class DoublePrecision {
 public:
  DoublePrecision() : saved_(read_x87_control()) {
    write_x87_control(static_cast<std::uint16_t>((saved_ & ~kPrecisionControlMask) | 0x0200));
  }
  ~DoublePrecision() { write_x87_control(saved_); }
  DoublePrecision(const DoublePrecision&) = delete;
  DoublePrecision& operator=(const DoublePrecision&) = delete;

 private:
  std::uint16_t saved_;
};
#else
template <typename T>
inline void pin(T&) {}

struct DoublePrecision {};
#endif

// op(a, b) in double arithmetic rounded to double precision, whatever the
// x87 precision setting.
template <typename Op>
inline double in_double_precision(double a, double b, Op op) {
  [[maybe_unused]] DoublePrecision precision;
  pin(a);
  pin(b);
  double result = op(a, b);
  pin(result);
  return result;
}

// a op b rounded once to single precision, range and subnormals included,
// whatever unit runs it. On the x87 unit a single-precision result keeps a
// wide exponent range until stored, and a subnormal one is rounded twice:
// there the operation runs in double precision (exact, or innocuously
// rounded, for + - * / of floats) and is rounded once when stored as a float.
template <typename Op>
inline float rounded_once(float a, float b, Op op) {
#if defined(TARN_X87_DOUBLE_MATH)
  float result = static_cast<float>(in_double_precision(a, b, op));
  pin(result);
  return result;
#else
  return op(a, b);
#endif
}

}  // namespace tarn::fpu
