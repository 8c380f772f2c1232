// The real processor behind identify::Processor. Compiled with baseline flags
// only: instructions newer than the baseline appear solely inside inline
// assembler that runs after its feature was found (or under the fault guard),
// so the compiler cannot use them in code that decides whether they exist.
#include "identify/host_processor.h"

#include <cstdint>

#include "identify/fault_guard.h"
#include "isa/fpu_control.h"
#include "isa/platform.h"

#if defined(TARN_WINDOWS)
#include <windows.h>
// After windows.h, which it needs.
#include <mmsystem.h>
#if defined(_MSC_VER)
#pragma comment(lib, "winmm.lib")
#endif
#else
#include <time.h>
#endif

#if defined(TARN_X86_GNU_ASM)
#include <cpuid.h>
#include <x86intrin.h>
// FNINIT empties the whole register stack.
#define TARN_X87_STACK "st", "st(1)", "st(2)", "st(3)", "st(4)", "st(5)", "st(6)", "st(7)"
#endif

namespace tarn::identify {

#if defined(TARN_X86_GNU_ASM)
// XMM7 belongs to the caller only on 64-bit Windows, where the guard's
// trampoline saves and restores it.
TARN_ASM_PROBE(tarn_identify_sse_probe, "  xorps %xmm7, %xmm7\n")
#endif

bool HostProcessor::id_flag_toggles() {
#if defined(TARN_X86_64) && defined(TARN_GNU_C)
  // Every 64-bit x86 processor has CPUID (and pushing the flags from inline
  // assembler would overwrite the red zone below the stack pointer).
  return true;
#elif defined(TARN_X86_32) && defined(TARN_GNU_C)
  std::uint32_t before, after;
  __asm__ volatile(
      "pushfl\n\t"
      "popl %0\n\t"
      "movl %0, %1\n\t"
      "xorl $0x200000, %1\n\t"
      "pushl %1\n\t"
      "popfl\n\t"
      "pushfl\n\t"
      "popl %1\n\t"
      "pushl %0\n\t"
      "popfl"  // the flags as they were
      : "=&r"(before), "=&r"(after)
      :
      : "cc");
  return ((before ^ after) & 0x200000u) != 0;
#else
  return false;
#endif
}

CpuidRegs HostProcessor::cpuid(std::uint32_t leaf) {
  CpuidRegs r;
#if defined(TARN_X86_GNU_ASM)
  __cpuid_count(leaf, 0, r.eax, r.ebx, r.ecx, r.edx);
#else
  (void)leaf;
#endif
  return r;
}

bool HostProcessor::sse_probe_completes() {
#if defined(TARN_X86_GNU_ASM)
  return completes_without_fault(tarn_identify_sse_probe, nullptr, tarn_identify_sse_probe_code());
#else
  return false;
#endif
}

// The Cyrix configuration registers sit behind I/O ports 0x22 and 0x23. User
// code on the systems this library targets (Windows, Linux and other
// protected-mode systems) can never reach I/O ports: the first port access
// would fault and fail the probe. Leaving the accesses out gives the same
// result without raising the fault.
bool HostProcessor::cyrix_emmx_probe_completes() {
  return false;
}
bool HostProcessor::cyrix_cpuid_enable_completes() {
  return false;
}

X87Kind HostProcessor::probe_x87() {
#if defined(TARN_X86_GNU_ASM)
  std::uint16_t control;
  __asm__ volatile("fninit\n\tfnstcw %0" : "=m"(control) : : TARN_X87_STACK);
  if ((control >> 8) != 0x03) return X87Kind::kNone;

  // FDISI (DB E1) sets the 8087's interrupt-enable mask (bit 7); later units
  // execute it as a no-op.
  const std::uint16_t unmasked = control & ~0x0080u;
  __asm__ volatile("fninit\n\tfldcw %1\n\t.byte 0xDB, 0xE1\n\tfnstcw %0"
                   : "=m"(control)
                   : "m"(unmasked)
                   : TARN_X87_STACK);
  if (control & 0x0080u) {
    __asm__ volatile(".byte 0xDB, 0xE0\n\tfninit" : : : TARN_X87_STACK);  // FENI
    return X87Kind::k8087;
  }

  // +inf (1/0, zero-divide masked) compared with its negation: equal only
  // under the 80287's projective closure.
  static const float kZero = 0.0f;
  std::uint16_t status;
  __asm__ volatile(
      "fninit\n\t"
      "fld1\n\t"
      "fdivs %1\n\t"
      "fld %%st(0)\n\t"
      "fchs\n\t"
      "fcompp\n\t"
      "fnstsw %0"
      : "=a"(status)
      : "m"(kZero)
      : TARN_X87_STACK, "cc");
  if ((status & 0x4500u) == 0x4000u) {  // C3 set, C2 and C0 clear: equal
    __asm__ volatile(".byte 0xDB, 0xE4\n\tfninit" : : : TARN_X87_STACK);  // FSETPM
    return X87Kind::k80287;
  }
  fpu::reset_x87();
  return X87Kind::k387OrLater;
#else
  // No x87 unit, but single-precision arithmetic works: the portable
  // variants compute everything an x87 tier does.
  return X87Kind::k387OrLater;
#endif
}

std::uint32_t HostProcessor::milliseconds() {
#if defined(TARN_WINDOWS)
  return timeGetTime();
#else
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  // Truncated to 32 bits: the count wraps like the Windows clock.
  return static_cast<std::uint32_t>(static_cast<std::uint64_t>(now.tv_sec) * 1000u +
                                    static_cast<std::uint64_t>(now.tv_nsec) / 1000000u);
#endif
}

std::uint64_t read_time_stamp() {
#if defined(TARN_X86_GNU_ASM)
  return __rdtsc();
#else
  return 0;
#endif
}

std::uint64_t HostProcessor::serialised_time_stamp() {
  (void)cpuid(0);  // earlier instructions finish before the counter is read
  return read_time_stamp();
}

void HostProcessor::set_x87_single_precision() {
  fpu::reset_x87();
  fpu::write_x87_control(
      static_cast<std::uint16_t>(fpu::read_x87_control() & ~fpu::kPrecisionControlMask));
}

void HostProcessor::enable_flush_to_zero() {
#if defined(TARN_X86_GNU_ASM)
  std::uint32_t csr;
  __asm__ volatile("stmxcsr %0" : "=m"(csr));
  csr |= 0x8000u;
  __asm__ volatile("ldmxcsr %0" : : "m"(csr));
#endif
}

}  // namespace tarn::identify
