// A scope that sets aside the parts of the calling thread's floating-point
// state that would change a computation's result or make it trap, and puts
// them back on leaving.
//
// The exception masks are always set (nothing traps inside); the settings
// add round-to-nearest, (on 32-bit x87 builds) 53-bit precision control and
// subnormals kept (no flush-to-zero or denormals-are-zero). A scope writes a
// control register only where the caller's state differs from the one it
// needs: in the default state, and in the one processor identification
// leaves (x87 at single precision, SSE flush-to-zero on), a scope that needs
// neither double precision nor subnormals costs one register read, since
// each control-register write serialises the floating-point unit.
//
// On restore the exception flags the computation raised stay raised (where
// the caller masks them; an x87 unit with unmasked exceptions gets its own
// flags back, so that no stale flag traps at the caller's next instruction).
#pragma once

#include <cstdint>
#include <type_traits>

#include "isa/platform.h"

#if !defined(TARN_X86_GNU_ASM) && !defined(TARN_ARM64_GNU_ASM)
#include <cfenv>
#endif

namespace tarn::fpu {

enum FloatSettings : unsigned {
  kMasksOnly = 0,
  kRoundToNearest = 1,
  kDoublePrecision = 2,  // x87 precision control; nothing elsewhere
  kKeepSubnormals = 4,
};

#if defined(TARN_SSE2_DOUBLE_MATH)
// Arithmetic runs in SSE registers (MXCSR). The memory clobbers keep the
// computation and its stores inside the scope.
template <unsigned kSettings>
class FloatScope {
 public:
  FloatScope() {
    __asm__ volatile("stmxcsr %0" : "=m"(saved_) : : "memory");
    if ((saved_ & kRelevant) != kMasks) {
      const std::uint32_t working = (saved_ & ~kRelevant) | kMasks;
      __asm__ volatile("ldmxcsr %0" : : "m"(working) : "memory");
    }
  }
  ~FloatScope() {
    if ((saved_ & kRelevant) == kMasks) return;
    std::uint32_t now;
    __asm__ volatile("stmxcsr %0" : "=m"(now) : : "memory");
    // SSE exceptions trap only when an instruction raises them: the flags
    // can be kept even where the caller unmasks them.
    const std::uint32_t restored = (saved_ & ~kFlags) | (now & kFlags);
    __asm__ volatile("ldmxcsr %0" : : "m"(restored) : "memory");
  }
  FloatScope(const FloatScope&) = delete;
  FloatScope& operator=(const FloatScope&) = delete;

 private:
  static constexpr std::uint32_t kRounding = 0x6000;           // 00 = to nearest
  static constexpr std::uint32_t kMasks = 0x1F80;              // all six exceptions masked
  static constexpr std::uint32_t kFlushing = 0x8000 | 0x0040;  // FTZ, DAZ
  static constexpr std::uint32_t kRelevant = kMasks |
                                             (kSettings & kRoundToNearest ? kRounding : 0) |
                                             (kSettings & kKeepSubnormals ? kFlushing : 0);
  static constexpr std::uint32_t kFlags = 0x003F;
  std::uint32_t saved_;
};
#elif defined(TARN_X86_32) && defined(TARN_GNU_C)
// Arithmetic runs on the x87 stack. The x87 unit has no flush-to-zero.
template <unsigned kSettings>
class FloatScope {
 public:
  FloatScope() {
    __asm__ volatile("fnstcw %0" : "=m"(saved_) : : "memory");
    const std::uint16_t working = static_cast<std::uint16_t>((saved_ & ~kRelevant) | kWanted);
    changed_ = working != saved_;
    if ((saved_ & kMasks) != kMasks) __asm__ volatile("fnstsw %0" : "=m"(status_) : : "memory");
    if (changed_) __asm__ volatile("fldcw %0" : : "m"(working) : "memory");
  }
  ~FloatScope() {
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
  FloatScope(const FloatScope&) = delete;
  FloatScope& operator=(const FloatScope&) = delete;

 private:
  static constexpr std::uint16_t kMasks = 0x003F;
  static constexpr std::uint16_t kRelevant = kMasks | (kSettings & kRoundToNearest ? 0x0C00 : 0) |
                                             (kSettings & kDoublePrecision ? 0x0300 : 0);
  static constexpr std::uint16_t kWanted = kMasks | (kSettings & kDoublePrecision ? 0x0200 : 0);
  static constexpr std::uint16_t kStatusFlags = 0x80BF;  // exception, summary and busy bits
  std::uint16_t saved_;
  std::uint16_t status_ = 0;
  bool changed_;
};
#elif defined(TARN_ARM64_GNU_ASM)
// FPCR: rounding mode (bits 22-23, 00 = to nearest), the trap enables (bits
// 8-12 and 15), and for subnormals flush-to-zero (bit 24) and, where the
// processor has them, the alternate handling and input flushing (bits 1 and
// 0; zero on processors without them).
template <unsigned kSettings>
class FloatScope {
 public:
  FloatScope() {
    __asm__ volatile("mrs %0, fpcr" : "=r"(saved_) : : "memory");
    if (saved_ & kRelevant) {
      const std::uint64_t working = saved_ & ~kRelevant;
      __asm__ volatile("msr fpcr, %0" : : "r"(working) : "memory");
    }
  }
  ~FloatScope() {
    if (saved_ & kRelevant) __asm__ volatile("msr fpcr, %0" : : "r"(saved_) : "memory");
  }
  FloatScope(const FloatScope&) = delete;
  FloatScope& operator=(const FloatScope&) = delete;

 private:
  static constexpr std::uint64_t kRounding = std::uint64_t{3} << 22;
  static constexpr std::uint64_t kTraps = std::uint64_t{0x1F} << 8 | std::uint64_t{1} << 15;
  static constexpr std::uint64_t kFlushing = std::uint64_t{1} << 24 | 3;
  static constexpr std::uint64_t kRelevant = kTraps |
                                             (kSettings & kRoundToNearest ? kRounding : 0) |
                                             (kSettings & kKeepSubnormals ? kFlushing : 0);
  std::uint64_t saved_;
};
#else
// Elsewhere only the standard rounding mode can be set; the traps and a
// flush-to-zero mode of such a platform are left as the caller set them.
template <unsigned kSettings>
class FloatScope {
 public:
  FloatScope() {
    if constexpr ((kSettings & kRoundToNearest) != 0) {
      saved_ = std::fegetround();
      if (saved_ != FE_TONEAREST) std::fesetround(FE_TONEAREST);
    }
  }
  ~FloatScope() {
    if constexpr ((kSettings & kRoundToNearest) != 0) {
      if (saved_ != FE_TONEAREST) std::fesetround(saved_);
    }
  }
  FloatScope(const FloatScope&) = delete;
  FloatScope& operator=(const FloatScope&) = delete;

 private:
  int saved_ = FE_TONEAREST;
};
#endif

// A value passed through memory inside a scope: no arithmetic on it moves
// ahead of the scope's set-up, nor a result past its restore.
template <typename T>
inline void pin_in_scope(T& value) {
#if defined(TARN_GNU_C)
  __asm__ volatile("" : "+m"(value) : : "memory");
#else
  (void)value;
#endif
}

// A form run with every exception masked: for operations that model a unit
// raising no floating-point exception at all (3DNow!), so that a host which
// unmasks exceptions sees no trap from them, whatever the operands. The
// rounding mode and flushing stay the caller's; the flags raised are kept
// where the caller masks them, as with any other form. Internal to each file
// that binds such forms: a copy instantiated elsewhere with other code-
// generation flags (a test built for SSE arithmetic on 32-bit x86) must not
// stand in for the library's.
namespace {
template <auto Form>
struct Untrapped;

template <typename Result, typename... Args, Result (*Form)(Args...)>
struct Untrapped<Form> {
  static Result call(Args... args) {
    [[maybe_unused]] FloatScope<kMasksOnly> scope;
    (pin_in_scope(args), ...);
    if constexpr (std::is_void_v<Result>) {
      Form(args...);
    } else {
      Result result = Form(args...);
      pin_in_scope(result);
      return result;
    }
  }
};

template <auto Form>
constexpr auto untrapped = &Untrapped<Form>::call;
}  // namespace

}  // namespace tarn::fpu
