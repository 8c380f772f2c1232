// The identification rules. They see the processor only through
// identify::Processor, so every branch runs the same on real and simulated
// processors.
#include <cstring>

#include "identify/identify.h"

namespace tarn::identify {
namespace {

constexpr char kCyrixVendor[] = "CyrixInstead";
// Family 6, model 0, stepping 0 (the only signature whose 0F 58/54/50 opcodes
// are extended-MMX instructions rather than SSE ones).
constexpr std::uint32_t kCyrixEmmxSignature = 0x0600;

void store_vendor(const CpuidRegs& leaf0, Identification& state) {
  // Register order EBX, EDX, ECX; the bytes after the 12 characters stay zero.
  std::memcpy(&state.vendor[0], &leaf0.ebx, 4);
  std::memcpy(&state.vendor[4], &leaf0.edx, 4);
  std::memcpy(&state.vendor[8], &leaf0.ecx, 4);
}

bool vendor_is_cyrix(const Identification& state) {
  return std::memcmp(state.vendor.data(), kCyrixVendor, kVendorLength) == 0;
}

// Leaf 0x80000001, consulted only when leaf 1 does not report SSE.
MxCpuFlags extended_leaf_flags(Processor& cpu) {
  if (cpu.cpuid(0x80000000u).eax < 0x80000001u) return 0;
  const std::uint32_t edx = cpu.cpuid(0x80000001u).edx;
  if (!(edx & kExt3DNow)) return 0;
  MxCpuFlags flags = MxCpu3DNow;
  if (edx & kExtMmxExt) flags |= MxCpuMMXExt;
  if (edx & kExtExt3DNow) flags |= MxCpuExt3DNow;
  return flags;
}

// Everything leaf 1 leads to, on a processor that reports it.
MxCpuFlags leaf1_flags(Processor& cpu, Identification& state) {
  const CpuidRegs leaf1 = cpu.cpuid(1);
  state.leaf1_features = leaf1.edx;
  if (!(leaf1.edx & kLeaf1Fpu)) return MxCpuNoFPU;

  MxCpuFlags flags = MxCpuFPU;
  if (leaf1.edx & kLeaf1Cmov) flags |= MxCpuCMOV;
  if (!(leaf1.edx & kLeaf1Mmx)) return flags;
  flags |= MxCpuMMX;

  if (vendor_is_cyrix(state) && (leaf1.eax & 0xFFFFu) == kCyrixEmmxSignature &&
      cpu.cyrix_emmx_probe_completes()) {
    flags |= MxCpuCyrixEMMX;
  }

  if (leaf1.edx & kLeaf1Sse) {
    // The MMX extensions come with SSE whether or not the system enables it.
    flags |= MxCpuMMXExt;
    if (cpu.sse_probe_completes()) {
      flags |= MxCpuSSE;
      cpu.enable_flush_to_zero();
    }
    return flags;
  }
  return flags | extended_leaf_flags(cpu);
}

// The speed measurement and the floating-point state that end every path but
// the bare-387 one.
MxCpuFlags finish(Processor& cpu, Identification& state, MxCpuFlags flags) {
  if (has_usable_counter(state.leaf1_features)) state.speed_mhz = measure_speed_mhz(cpu);
  cpu.set_x87_single_precision();
  return flags;
}

}  // namespace

MxCpuFlags identify(Processor& cpu, Identification& state) {
  // A processor whose CPUID can be switched on through its configuration
  // registers is identified again once; a second pass that still finds no
  // usable CPUID goes on to the x87 probe instead of looping.
  bool cpuid_enable_tried = false;
  for (;;) {
    MxCpuFlags flags = 0;
    if (cpu.id_flag_toggles()) {
      flags |= MxCpuCPUID;
      const CpuidRegs leaf0 = cpu.cpuid(0);
      store_vendor(leaf0, state);
      // The highest standard leaf is taken as a signed number.
      if (static_cast<std::int32_t>(leaf0.eax) >= 1) {
        return finish(cpu, state, flags | leaf1_flags(cpu, state));
      }
    }

    if (!cpuid_enable_tried) {
      cpuid_enable_tried = true;
      if (cpu.cyrix_cpuid_enable_completes()) continue;
    }

    if (cpu.probe_x87() == X87Kind::k387OrLater) {
      // Exactly the FPU bit: no speed, no single precision, CPUID not
      // reported even when it was found.
      return MxCpuFPU;
    }
    return finish(cpu, state, flags | MxCpuNoFPU);
  }
}

std::uint32_t measure_speed_mhz(Processor& cpu) {
  // Differences as signed 32-bit numbers, so a clock that wraps (or crosses
  // the signed boundary) mid-measurement changes nothing.
  const auto elapsed = [](std::uint32_t now, std::uint32_t since) {
    return static_cast<std::int32_t>(now - since);
  };
  const std::uint32_t first = cpu.milliseconds();
  std::uint32_t t1 = first;
  while (elapsed(t1, first) <= 0) t1 = cpu.milliseconds();

  const std::uint64_t c0 = cpu.serialised_time_stamp();
  while (elapsed(cpu.milliseconds(), t1) <= 1000) {
  }
  const std::uint64_t c1 = cpu.serialised_time_stamp();
  return mhz_from_ticks(c1 - c0);
}

}  // namespace tarn::identify
