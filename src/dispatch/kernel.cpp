// Which kernels the machine can run, and its cache sizes, read once.
// Compiled with baseline flags only: XGETBV appears solely as inline
// assembler run after CPUID reported it, and nothing here is vectorised wider
// than the baseline.
#include "dispatch/kernel.h"

#include <algorithm>
#include <atomic>
#include <cstdint>

#include "identify/host_processor.h"
#include "isa/platform.h"

#if defined(TARN_X86_GNU_ASM)
#include <cpuid.h>
#endif

namespace tarn {
namespace {

constexpr std::uint32_t kLeaf1EdxFxsr = 1u << 24;
constexpr std::uint32_t kLeaf1EdxSse2 = 1u << 26;
constexpr std::uint32_t kLeaf1EcxOsxsave = 1u << 27;
constexpr std::uint32_t kLeaf1EcxAvx = 1u << 28;
constexpr std::uint32_t kLeaf7EbxAvx2 = 1u << 5;
constexpr std::uint32_t kLeaf7EbxAvx512F = 1u << 16;
constexpr std::uint32_t kLeaf7EbxAvx512Bw = 1u << 30;
constexpr std::uint32_t kLeaf7EbxAvx512Vl = 1u << 31;
constexpr std::uint32_t kExtEcxTopologyExtensions = 1u << 22;
// XCR0: the SSE and AVX halves of the YMM registers; the mask registers and
// both upper parts of the ZMM registers.
constexpr std::uint64_t kXcr0Ymm = 0x6;
constexpr std::uint64_t kXcr0Zmm = 0xE0;

// "AuthenticAMD" and "HygonGenuine" by the EBX of leaf 0.
constexpr std::uint32_t kVendorAuth = 0x68747541;
constexpr std::uint32_t kVendorHygo = 0x6F677948;

constexpr std::uint32_t kDefaultL1d = 32u << 10;
constexpr std::uint32_t kDefaultL2 = 256u << 10;

Kernel widest_kernel(CpuidFn cpuid, Xcr0Fn xcr0, std::uint32_t max_leaf) {
  if (max_leaf < 1) return Kernel::kBaseline;
  const CpuidAnswer leaf1 = cpuid(1, 0);
  // FXSR: the processor can save the XMM registers, as a system that
  // enables SSE does on every switch.
  constexpr std::uint32_t kSse2 = kLeaf1EdxFxsr | kLeaf1EdxSse2;
  if ((leaf1.edx & kSse2) != kSse2) return Kernel::kBaseline;
  if (max_leaf < 7) return Kernel::kSse2;
  if ((leaf1.ecx & (kLeaf1EcxOsxsave | kLeaf1EcxAvx)) != (kLeaf1EcxOsxsave | kLeaf1EcxAvx)) {
    return Kernel::kSse2;
  }
  const std::uint64_t saved = xcr0();
  if ((saved & kXcr0Ymm) != kXcr0Ymm) return Kernel::kSse2;
  const std::uint32_t leaf7 = cpuid(7, 0).ebx;
  if ((leaf7 & kLeaf7EbxAvx2) == 0) return Kernel::kSse2;
  constexpr std::uint32_t kAvx512 = kLeaf7EbxAvx512F | kLeaf7EbxAvx512Bw | kLeaf7EbxAvx512Vl;
  if ((leaf7 & kAvx512) == kAvx512 && (saved & kXcr0Zmm) == kXcr0Zmm) return Kernel::kAvx512;
  return Kernel::kAvx2;
}

// The deterministic cache leaves (4 on Intel, 0x8000001D on AMD) describe one
// cache per subleaf until a null type.
CacheSizes caches_from_leaf(CpuidFn cpuid, std::uint32_t leaf) {
  CacheSizes sizes;
  for (std::uint32_t sub = 0; sub < 16; ++sub) {
    const CpuidAnswer r = cpuid(leaf, sub);
    const std::uint32_t type = r.eax & 0x1F;
    if (type == 0) break;
    if (type != 1 && type != 3) continue;  // data or unified, not instruction
    const std::uint64_t bytes = std::uint64_t{(r.ebx >> 22) + 1} *
                                (((r.ebx >> 12) & 0x3FF) + 1) * ((r.ebx & 0xFFF) + 1) *
                                (std::uint64_t{r.ecx} + 1);
    const auto clamped = static_cast<std::uint32_t>(std::min<std::uint64_t>(bytes, 0xFFFFFFFFu));
    switch ((r.eax >> 5) & 7) {
      case 1:
        sizes.l1d = clamped;
        break;
      case 2:
        sizes.l2 = clamped;
        break;
      case 3:
        sizes.l3 = clamped;
        break;
      default:
        break;
    }
  }
  return sizes;
}

// AMD and Hygon parts: their cache leaves, and their string moves.
bool amd_like(CpuidFn cpuid) {
  const std::uint32_t vendor = cpuid(0, 0).ebx;
  return vendor == kVendorAuth || vendor == kVendorHygo;
}

CacheSizes read_caches(CpuidFn cpuid, std::uint32_t max_leaf) {
  const bool amd = amd_like(cpuid);
  const std::uint32_t max_ext = cpuid(0x80000000u, 0).eax;
  CacheSizes sizes;
  if (amd) {
    const bool topology = max_ext >= 0x8000001Du &&
                          (cpuid(0x80000001u, 0).ecx & kExtEcxTopologyExtensions) != 0;
    if (topology) {
      sizes = caches_from_leaf(cpuid, 0x8000001Du);
    } else if (max_ext >= 0x80000006u) {
      // The older AMD leaves: L1 data in KiB, L2 in KiB, L3 in 512 KiB units.
      sizes.l1d = (cpuid(0x80000005u, 0).ecx >> 24) << 10;
      const CpuidAnswer l2l3 = cpuid(0x80000006u, 0);
      sizes.l2 = (l2l3.ecx >> 16) << 10;
      sizes.l3 = static_cast<std::uint32_t>(
          std::min<std::uint64_t>(std::uint64_t{l2l3.edx >> 18} << 19, 0xFFFFFFFFu));
    }
  } else if (max_leaf >= 4) {
    sizes = caches_from_leaf(cpuid, 4);
  }
  if (sizes.l1d == 0) sizes.l1d = kDefaultL1d;
  if (sizes.l2 == 0) sizes.l2 = kDefaultL2;
  return sizes;
}

#if defined(TARN_X86_GNU_ASM)
CpuidAnswer host_cpuid(std::uint32_t leaf, std::uint32_t subleaf) {
  CpuidAnswer r;
  __cpuid_count(leaf, subleaf, r.eax, r.ebx, r.ecx, r.edx);
  return r;
}

std::uint64_t host_xcr0() {
  std::uint32_t lo, hi;
  // XGETBV by its encoding, so no compiler option is needed for it.
  __asm__ volatile(".byte 0x0f, 0x01, 0xd0" : "=a"(lo), "=d"(hi) : "c"(0));
  return (std::uint64_t{hi} << 32) | lo;
}
#endif

MachineKernels read_host() {
#if defined(TARN_X86_GNU_ASM)
#if defined(TARN_X86_32)
  // A 486 may lack CPUID; its caches take the defaults.
  identify::HostProcessor host;
  if (!host.id_flag_toggles()) return read_machine_kernels(nullptr, nullptr);
  MachineKernels m = read_machine_kernels(host_cpuid, host_xcr0);
  // A system that does not save the XMM registers leaves SSE disabled: the
  // identification's SSE probe faults there.
  if (m.widest != Kernel::kBaseline && !host.sse_probe_completes()) m.widest = Kernel::kBaseline;
  return m;
#else
  return read_machine_kernels(host_cpuid, host_xcr0);
#endif
#else
  return read_machine_kernels(nullptr, nullptr);
#endif
}

// Read once and kept in plain atomics: 0 in g_widest_plus_one means not yet
// read. A racing first call reads the same machine and stores the same values.
std::atomic<std::uint32_t> g_widest_plus_one{0};
std::atomic<std::uint32_t> g_l1d{0};
std::atomic<std::uint32_t> g_l2{0};
std::atomic<std::uint32_t> g_l3{0};
std::atomic<bool> g_long_string_copies{false};
std::atomic<std::uint8_t> g_ceiling{static_cast<std::uint8_t>(Kernel::kCount)};

}  // namespace

MachineKernels read_machine_kernels(CpuidFn cpuid, Xcr0Fn xcr0) {
  MachineKernels m;
  if (cpuid == nullptr) {
    m.caches = {kDefaultL1d, kDefaultL2, 0};
    return m;
  }
  const std::uint32_t max_leaf = cpuid(0, 0).eax;
  m.caches = read_caches(cpuid, max_leaf);
  m.long_string_copies = amd_like(cpuid);
  m.widest = std::min(widest_kernel(cpuid, xcr0, max_leaf), kWidestBuiltKernel);
  return m;
}

MachineKernels machine_kernels() {
  std::uint32_t widest = g_widest_plus_one.load(std::memory_order_acquire);
  if (widest == 0) {
    const MachineKernels read = read_host();
    g_l1d.store(read.caches.l1d, std::memory_order_relaxed);
    g_l2.store(read.caches.l2, std::memory_order_relaxed);
    g_l3.store(read.caches.l3, std::memory_order_relaxed);
    g_long_string_copies.store(read.long_string_copies, std::memory_order_relaxed);
    widest = static_cast<std::uint32_t>(read.widest) + 1;
    g_widest_plus_one.store(widest, std::memory_order_release);
  }
  MachineKernels m;
  m.widest = static_cast<Kernel>(widest - 1);
  m.caches = {g_l1d.load(std::memory_order_relaxed), g_l2.load(std::memory_order_relaxed),
              g_l3.load(std::memory_order_relaxed)};
  m.long_string_copies = g_long_string_copies.load(std::memory_order_relaxed);
  return m;
}

Kernel selected_kernel() {
  return std::min(machine_kernels().widest, kernel_ceiling());
}

void set_kernel_ceiling(Kernel ceiling) {
  g_ceiling.store(static_cast<std::uint8_t>(ceiling), std::memory_order_relaxed);
}

Kernel kernel_ceiling() {
  return static_cast<Kernel>(g_ceiling.load(std::memory_order_relaxed));
}

}  // namespace tarn
