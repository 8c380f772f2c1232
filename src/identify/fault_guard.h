// Runs a probe that may execute an instruction the processor or the system
// does not allow. A processor exception raised by the probe's own instruction
// resumes after the probe and is reported as a failed probe; nothing reaches
// the host. Everything else (a host's signal sent during the probe or pending
// before it, a fault in a host signal handler that interrupts the probe, an
// exception on another thread) goes to the host as if the guard were not
// there. POSIX builds use short-lived signal handlers (fault_guard_posix.cpp),
// Windows builds structured exception handling (fault_guard_windows.cpp).
#pragma once

#include <cstdint>

#include "isa/platform.h"

namespace tarn {

// A probe must own no objects with destructors: a fault abandons its frame.
using ProbeFn = void (*)(void* context);

// The instructions a probe expects to fault: a processor exception counts as
// the probe's only when raised at an address in [begin, end), wherever the
// system reports that address. The default spans everything, for probes
// written in C whose code has no known extent.
struct ProbeCode {
  std::uintptr_t begin = 0;
  std::uintptr_t end = UINTPTR_MAX;

  bool contains(std::uintptr_t address) const { return address >= begin && address < end; }
};

// True when the probe ran to its end without a processor exception of its
// own. The calling thread's signal mask and the process's handlers are as
// before on return, whether or not the probe faulted, and a host signal that
// was pending before the call is pending again after it.
bool completes_without_fault(ProbeFn probe, void* context, ProbeCode code = {});

}  // namespace tarn

#if defined(TARN_X86_GNU_ASM)
// Probes in assembler, so that their faulting instructions have known
// addresses. TARN_ASM_PROBE(name, "instructions\n") defines the probe
// `void name(void*)` (the instructions, then a return) and `name##_code()`
// with their extent; use it at namespace scope, once per probe. The symbols
// stay local to their object file, so the library exports nothing new.
#if defined(__CET__) && (__CET__ & 1) && defined(TARN_X86_64)
#define TARN_PROBE_LANDING_PAD "  endbr64\n"
#elif defined(__CET__) && (__CET__ & 1)
#define TARN_PROBE_LANDING_PAD "  endbr32\n"
#else
#define TARN_PROBE_LANDING_PAD ""
#endif
#if defined(TARN_ELF)
#define TARN_PROBE_TYPE(name) "  .type " #name ", @function\n"
#else
#define TARN_PROBE_TYPE(name) ""
#endif
#define TARN_ASM_PROBE(name, instructions)                                   \
  extern "C" void name(void*) __asm__(#name);                                \
  extern "C" void name##_end() __asm__(#name "_end");                        \
  __asm__(".text\n  .p2align 4\n" TARN_PROBE_TYPE(name) #name                \
          ":\n" TARN_PROBE_LANDING_PAD instructions #name "_end:\n  ret\n"); \
  inline ::tarn::ProbeCode name##_code() {                                   \
    return {reinterpret_cast<std::uintptr_t>(&name),                         \
            reinterpret_cast<std::uintptr_t>(&name##_end)};                  \
  }
#endif
