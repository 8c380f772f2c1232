// The floating-point environment of one exact sine-cosine call.
//
// The computation needs every double operation rounded once to 53 bits, to
// nearest, and no exception trapping; where it can meet subnormal numbers
// (Subnormals::matter) also no flush-to-zero or denormals-are-zero. A scope
// switches only what differs from that, so a computation free of subnormals
// runs in the default state, and in the one identification leaves, without
// any control-register write.
#pragma once

#include <cstdint>
#include <cstring>

#include "isa/fp_scope.h"

namespace tarn::trig {

enum class Subnormals { matter, never_occur };

template <Subnormals kSubnormals>
using FloatEnvironment =
    fpu::FloatScope<fpu::kRoundToNearest | fpu::kDoublePrecision |
                    (kSubnormals == Subnormals::matter ? fpu::kKeepSubnormals : 0u)>;

// A double's bits, read with integer loads before any scope is set up: GCC
// may copy a double argument through the x87 unit, whose store of a
// subnormal value signals underflow, and the caller may have unmasked it.
inline std::uint64_t bits_of(const double& value) {
#if defined(TARN_X87_DOUBLE_MATH)
  std::uint32_t low, high;
  __asm__("movl %2, %0\n\tmovl 4+%2, %1" : "=&r"(low), "=r"(high) : "m"(value));
  return std::uint64_t{high} << 32 | low;
#else
  std::uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
#endif
}

// The same for a float.
inline std::uint32_t bits_of(const float& value) {
#if defined(TARN_X87_DOUBLE_MATH)
  std::uint32_t bits;
  __asm__("movl %1, %0" : "=r"(bits) : "m"(value));
  return bits;
#else
  std::uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
#endif
}

// A value as the computation sees it: read from memory after the scope is set
// up, so that no arithmetic on it (not even the widening of a float, which
// denormals-are-zero would flush) moves ahead of the scope.
template <typename T>
inline T after_setup(T value) {
#if defined(TARN_GNU_C)
  __asm__ volatile("" : "+m"(value) : : "memory");
#endif
  return value;
}

}  // namespace tarn::trig
