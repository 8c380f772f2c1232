// The floating-point environment of one exact sine-cosine call.
//
// The computation needs every double operation rounded once to 53 bits, to
// nearest, and no exception trapping. A scope reads the caller's state and
// switches only what would change the result or trap: the rounding mode, the
// exception masks, on 32-bit x87 builds the precision control, and, where the
// computation can meet subnormal numbers (Subnormals::matter), flush-to-zero
// and denormals-are-zero. In the default state, and in the one processor
// identification leaves (x87 at single precision, SSE flush-to-zero on), a
// computation free of subnormals therefore runs without any control-register
// write: each such write serialises the floating-point unit.
//
// On restore the exception flags the computation raised stay raised (where the
// caller masks them; an x87 unit with unmasked exceptions gets its own flags
// back, so that no stale flag traps at the caller's next instruction).
#pragma once

#include <cstdint>
#include <cstring>

#if !((defined(__i386__) || defined(__x86_64__) || defined(__aarch64__)) && defined(__GNUC__))
#include <cfenv>
#endif

namespace tarn::trig {

enum class Subnormals { matter, never_occur };

#if (defined(__x86_64__) || (defined(__i386__) && defined(__SSE2_MATH__))) && defined(__GNUC__)
// Double arithmetic runs in SSE registers (MXCSR). The memory clobbers keep
// the computation and its stores inside the scope.
template <Subnormals kSubnormals>
class FloatEnvironment {
 public:
  FloatEnvironment() {
    __asm__ volatile("stmxcsr %0" : "=m"(saved_) : : "memory");
    if ((saved_ & kRelevant) != kMasks) {
      const std::uint32_t working = (saved_ & ~kRelevant) | kMasks;
      __asm__ volatile("ldmxcsr %0" : : "m"(working) : "memory");
    }
  }
  ~FloatEnvironment() {
    if ((saved_ & kRelevant) == kMasks) return;
    std::uint32_t now;
    __asm__ volatile("stmxcsr %0" : "=m"(now) : : "memory");
    // SSE exceptions trap only when an instruction raises them: the flags
    // can be kept even where the caller unmasks them.
    const std::uint32_t restored = (saved_ & ~kFlags) | (now & kFlags);
    __asm__ volatile("ldmxcsr %0" : : "m"(restored) : "memory");
  }
  FloatEnvironment(const FloatEnvironment&) = delete;
  FloatEnvironment& operator=(const FloatEnvironment&) = delete;

 private:
  static constexpr std::uint32_t kRounding = 0x6000;           // 00 = to nearest
  static constexpr std::uint32_t kMasks = 0x1F80;              // all six exceptions masked
  static constexpr std::uint32_t kFlushing = 0x8000 | 0x0040;  // FTZ, DAZ
  static constexpr std::uint32_t kRelevant =
      kRounding | kMasks | (kSubnormals == Subnormals::matter ? kFlushing : 0);
  static constexpr std::uint32_t kFlags = 0x003F;
  std::uint32_t saved_;
};
#elif defined(__i386__) && defined(__GNUC__)
// Double arithmetic runs on the x87 stack: precision control at 53 bits
// (precision matters whatever the subnormals), round to nearest, all
// exceptions masked. The x87 unit has no flush-to-zero.
template <Subnormals>
class FloatEnvironment {
 public:
  FloatEnvironment() {
    __asm__ volatile("fnstcw %0" : "=m"(saved_) : : "memory");
    const std::uint16_t working = static_cast<std::uint16_t>((saved_ & ~kRelevant) | kWanted);
    changed_ = working != saved_;
    if ((saved_ & kMasks) != kMasks) __asm__ volatile("fnstsw %0" : "=m"(status_) : : "memory");
    if (changed_) __asm__ volatile("fldcw %0" : : "m"(working) : "memory");
  }
  ~FloatEnvironment() {
    if (!changed_) return;
    if ((saved_ & kMasks) != kMasks) {
      // The caller unmasks exceptions: its own flags come back in place of
      // those raised here, which would trap at its next x87 instruction. The
      // environment is rewritten with the current register tags.
      std::uint16_t environment[14];
      __asm__ volatile("fnstenv %0" : "=m"(environment) : : "memory");
      environment[2] =
          static_cast<std::uint16_t>((environment[2] & ~kStatusFlags) | (status_ & kStatusFlags));
      __asm__ volatile("fldenv %0" : : "m"(environment) : "memory");
    }
    __asm__ volatile("fldcw %0" : : "m"(saved_) : "memory");
  }
  FloatEnvironment(const FloatEnvironment&) = delete;
  FloatEnvironment& operator=(const FloatEnvironment&) = delete;

 private:
  static constexpr std::uint16_t kMasks = 0x003F;
  static constexpr std::uint16_t kRelevant = 0x0300 | 0x0C00 | kMasks;  // precision, rounding
  static constexpr std::uint16_t kWanted = 0x0200 | kMasks;  // 53 bits, to nearest, masked
  static constexpr std::uint16_t kStatusFlags = 0x80BF;      // exception, summary and busy bits
  std::uint16_t saved_;
  std::uint16_t status_ = 0;
  bool changed_;
};
#elif defined(__aarch64__) && defined(__GNUC__)
// FPCR: rounding mode (bits 22-23, 00 = to nearest), the trap enables (bits
// 8-12 and 15), and where subnormals matter flush-to-zero (bit 24) and, where
// the processor has them, the alternate handling and input flushing (bits 1
// and 0; zero on processors without them).
template <Subnormals kSubnormals>
class FloatEnvironment {
 public:
  FloatEnvironment() {
    __asm__ volatile("mrs %0, fpcr" : "=r"(saved_) : : "memory");
    if (saved_ & kRelevant) {
      const std::uint64_t working = saved_ & ~kRelevant;
      __asm__ volatile("msr fpcr, %0" : : "r"(working) : "memory");
    }
  }
  ~FloatEnvironment() {
    if (saved_ & kRelevant) __asm__ volatile("msr fpcr, %0" : : "r"(saved_) : "memory");
  }
  FloatEnvironment(const FloatEnvironment&) = delete;
  FloatEnvironment& operator=(const FloatEnvironment&) = delete;

 private:
  static constexpr std::uint64_t kRounding = std::uint64_t{3} << 22;
  static constexpr std::uint64_t kTraps = std::uint64_t{0x1F} << 8 | std::uint64_t{1} << 15;
  static constexpr std::uint64_t kFlushing = std::uint64_t{1} << 24 | 3;
  static constexpr std::uint64_t kRelevant =
      kRounding | kTraps | (kSubnormals == Subnormals::matter ? kFlushing : 0);
  std::uint64_t saved_;
};
#else
// Elsewhere only the standard rounding mode can be set; a flush-to-zero mode
// of such a platform is left as the caller set it.
template <Subnormals>
class FloatEnvironment {
 public:
  FloatEnvironment() : saved_(std::fegetround()) {
    if (saved_ != FE_TONEAREST) std::fesetround(FE_TONEAREST);
  }
  ~FloatEnvironment() {
    if (saved_ != FE_TONEAREST) std::fesetround(saved_);
  }
  FloatEnvironment(const FloatEnvironment&) = delete;
  FloatEnvironment& operator=(const FloatEnvironment&) = delete;

 private:
  int saved_;
};
#endif

// A double's bits, read with integer loads before any scope is set up: GCC
// may copy a double argument through the x87 unit, whose store of a
// subnormal value signals underflow, and the caller may have unmasked it.
inline std::uint64_t bits_of(const double& value) {
#if defined(__i386__) && !defined(__SSE2_MATH__) && defined(__GNUC__)
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
#if defined(__i386__) && !defined(__SSE2_MATH__) && defined(__GNUC__)
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
#if defined(__GNUC__)
  __asm__ volatile("" : "+m"(value) : : "memory");
#endif
  return value;
}

}  // namespace tarn::trig
