// Processor identification, written once over a small processor-access
// interface. The exported MxIdentifyCPU binds the rules to the real machine
// (identify/host_processor.h); tests bind them to simulated processors.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "TarnLib2DLL.h"

namespace tarn::identify {

struct CpuidRegs {
  std::uint32_t eax = 0, ebx = 0, ecx = 0, edx = 0;
};

// What the x87 probe found on a processor without (usable) CPUID.
enum class X87Kind {
  kNone,   // the control word does not read back as an initialised FPU's
  k8087,   // FDISI set the interrupt-enable mask
  k80287,  // +infinity compared equal to -infinity (projective closure)
  k387OrLater,
};

// Everything identification asks of the processor and the system. Each guarded
// operation runs under the fault guard and reports whether it completed.
class Processor {
 public:
  // Bit 21 (ID) of the flags register can be toggled: CPUID exists.
  virtual bool id_flag_toggles() = 0;
  virtual CpuidRegs cpuid(std::uint32_t leaf) = 0;

  // XORPS xmm7, xmm7 under the guard.
  virtual bool sse_probe_completes() = 0;
  // Configuration registers 0xC3/0xEB (extended-MMX enable), then PMVZB,
  // PDISTIB, PAVEB and EMMS, all under one guard.
  virtual bool cyrix_emmx_probe_completes() = 0;
  // Configuration registers 0xC3/0xE8 (CPUID enable), then CPUID, under one
  // guard.
  virtual bool cyrix_cpuid_enable_completes() = 0;
  // Classifies the x87 unit and leaves it freshly initialised (FNINIT).
  virtual X87Kind probe_x87() = 0;

  // Monotonic millisecond count, wrapping as an unsigned 32-bit number.
  virtual std::uint32_t milliseconds() = 0;
  // CPUID leaf 0 (to serialise), then the time-stamp counter.
  virtual std::uint64_t serialised_time_stamp() = 0;

  // FNINIT, then precision control 00: control word 0x007F.
  virtual void set_x87_single_precision() = 0;
  // MXCSR bit 15 (flush to zero) set, other bits kept.
  virtual void enable_flush_to_zero() = 0;

 protected:
  // Never deleted through this interface: no deleting destructor, which would
  // call operator delete.
  ~Processor() = default;
};

inline constexpr std::size_t kVendorBufferSize = 16;
inline constexpr std::size_t kVendorLength = 12;

// What identification keeps from one call to the next.
struct Identification {
  std::array<char, kVendorBufferSize> vendor{"UndefinedCPU"};
  std::uint32_t leaf1_features = 0;  // CPUID leaf 1 EDX
  std::uint32_t speed_mhz = 0;       // written only by a completed measurement
};

// Leaf-1 EDX bits the rules consult.
inline constexpr std::uint32_t kLeaf1Fpu = 1u << 0;
inline constexpr std::uint32_t kLeaf1Tsc = 1u << 4;
inline constexpr std::uint32_t kLeaf1Cx8 = 1u << 8;
inline constexpr std::uint32_t kLeaf1Cmov = 1u << 15;
inline constexpr std::uint32_t kLeaf1Mmx = 1u << 23;
inline constexpr std::uint32_t kLeaf1Sse = 1u << 25;
// Leaf 0x80000001 EDX bits.
inline constexpr std::uint32_t kExtMmxExt = 1u << 22;
inline constexpr std::uint32_t kExtExt3DNow = 1u << 30;
inline constexpr std::uint32_t kExt3DNow = 1u << 31;

// Both the time-stamp counter and CMPXCHG8B: the counter may be used.
constexpr bool has_usable_counter(std::uint32_t leaf1_features) {
  return (leaf1_features & (kLeaf1Tsc | kLeaf1Cx8)) == (kLeaf1Tsc | kLeaf1Cx8);
}

// The capability word; updates `state` as identification reaches each part and
// leaves the processor's floating-point state as documented in the header.
MxCpuFlags identify(Processor& cpu, Identification& state);

// Ticks counted over the measurement window, in millions after adding 1000 and
// truncating: 999,999,000 ticks read as 1000 MHz. The window is 1001 ms or a
// little more and no correction is made for that.
constexpr std::uint32_t mhz_from_ticks(std::uint64_t ticks) {
  return static_cast<std::uint32_t>((ticks + 1000u) / 1000000u);
}

// Aligns to a fresh millisecond, then counts ticks over at least 1001 ms.
std::uint32_t measure_speed_mhz(Processor& cpu);

// The leaf-1 feature word kept by the last MxIdentifyCPU (0 before any).
std::uint32_t leaf1_features();

}  // namespace tarn::identify
