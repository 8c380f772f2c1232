// Kernel selection: what simulated processors report leads to the right
// widest kernel and cache sizes; a registry entry falls back to the next
// narrower kernel; MxInitLibForCPU binds the selected kernel of every slot's
// variant, and the ceiling caps it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <vector>

#include "dispatch/kernel.h"
#include "dispatch/registry.h"
#include "test_support.h"

namespace tarn {
namespace {

struct Leaf {
  std::uint32_t leaf, subleaf;
  CpuidAnswer answer;
};

// The simulated processor the fake CPUID answers for; leaves it lacks read 0.
struct SimulatedProcessor {
  const char* name;
  std::vector<Leaf> leaves;
  std::uint64_t xcr0;
  Kernel widest;
  CacheSizes caches;
};

const SimulatedProcessor* g_cpu = nullptr;
int g_xcr0_reads = 0;

CpuidAnswer fake_cpuid(std::uint32_t leaf, std::uint32_t subleaf) {
  for (const Leaf& l : g_cpu->leaves) {
    if (l.leaf == leaf && l.subleaf == subleaf) return l.answer;
  }
  return {};
}

std::uint64_t fake_xcr0() {
  ++g_xcr0_reads;
  return g_cpu->xcr0;
}

constexpr std::uint32_t kIntel = 0x756E6547;  // "Genu"
constexpr std::uint32_t kAmd = 0x68747541;    // "Auth"
constexpr std::uint32_t kFxsrSse2 = (1u << 24) | (1u << 26);
constexpr std::uint32_t kOsxsaveAvx = (1u << 27) | (1u << 28);
constexpr std::uint32_t kAvx2 = 1u << 5;
constexpr std::uint32_t kAvx512 = (1u << 16) | (1u << 30) | (1u << 31);

// A deterministic-cache subleaf: type, level, 8 ways, 1 partition, 64-byte
// lines, and the sets that give `bytes`.
CpuidAnswer cache(std::uint32_t type, std::uint32_t level, std::uint32_t bytes) {
  return {type | (level << 5), (7u << 22) | 63u, bytes / (8 * 64) - 1, 0};
}

std::vector<Leaf> intel(std::uint32_t leaf1_ecx, std::uint32_t leaf7_ebx,
                        std::uint32_t leaf1_edx = kFxsrSse2) {
  return {{0, 0, {13, kIntel, 0, 0}},
          {1, 0, {0, 0, leaf1_ecx, leaf1_edx}},
          {7, 0, {0, leaf7_ebx, 0, 0}},
          {4, 0, cache(1, 1, 48 << 10)},
          {4, 1, cache(2, 1, 32 << 10)},
          {4, 2, cache(3, 2, 2 << 20)},
          {4, 3, cache(3, 3, 30 << 20)}};
}

constexpr CacheSizes kIntelCaches{48u << 10, 2u << 20, 30u << 20};
constexpr CacheSizes kDefaults{32u << 10, 256u << 10, 0};

// The widest kernel each processor allows; this build binds no wider than
// it holds (kWidestBuiltKernel).
const SimulatedProcessor kProcessors[] = {
    {"no SSE2", intel(0, 0, 1u << 24), 0, Kernel::kBaseline, kIntelCaches},
    {"SSE2 without FXSR", intel(0, 0, 1u << 26), 0, Kernel::kBaseline, kIntelCaches},
    {"no AVX", intel(0, kAvx2), 0x7, Kernel::kSse2, kIntelCaches},
    {"AVX2 without SSE2 reported", intel(kOsxsaveAvx, kAvx2, 0), 0x7, Kernel::kBaseline,
     kIntelCaches},
    {"AVX2, system saves no YMM state", intel(kOsxsaveAvx, kAvx2), 0x3, Kernel::kSse2,
     kIntelCaches},
    {"AVX2", intel(kOsxsaveAvx, kAvx2), 0x7, Kernel::kAvx2, kIntelCaches},
    {"AVX-512", intel(kOsxsaveAvx, kAvx2 | kAvx512), 0xE7, Kernel::kAvx512, kIntelCaches},
    {"AVX-512, system saves no ZMM state", intel(kOsxsaveAvx, kAvx2 | kAvx512), 0x7,
     Kernel::kAvx2, kIntelCaches},
    {"AVX-512F without BW", intel(kOsxsaveAvx, kAvx2 | (1u << 16) | (1u << 31)), 0xE7,
     Kernel::kAvx2, kIntelCaches},
    {"leaf 7 beyond the maximum",
     {{0, 0, {6, kIntel, 0, 0}}, {1, 0, {0, 0, kOsxsaveAvx, kFxsrSse2}}, {7, 0, {0, kAvx2, 0, 0}}},
     0x7,
     Kernel::kSse2,
     kDefaults},
    {"AMD with topology extensions",
     {{0, 0, {16, kAmd, 0, 0}},
      {1, 0, {0, 0, kOsxsaveAvx, kFxsrSse2}},
      {7, 0, {0, kAvx2, 0, 0}},
      {0x80000000u, 0, {0x80000028u, 0, 0, 0}},
      {0x80000001u, 0, {0, 0, 1u << 22, 0}},
      {0x8000001Du, 0, cache(1, 1, 32 << 10)},
      {0x8000001Du, 1, cache(2, 1, 32 << 10)},
      {0x8000001Du, 2, cache(3, 2, 512 << 10)},
      {0x8000001Du, 3, cache(3, 3, 32 << 20)},
      // Leaf 4 is reserved on AMD and must not be believed.
      {4, 0, cache(1, 1, 1 << 20)}},
     0x7,
     Kernel::kAvx2,
     {32u << 10, 512u << 10, 32u << 20}},
    {"AMD without topology extensions",
     {{0, 0, {13, kAmd, 0, 0}},
      {0x80000000u, 0, {0x8000001Au, 0, 0, 0}},
      {0x80000005u, 0, {0, 0, 64u << 24, 0}},
      {0x80000006u, 0, {0, 0, 1024u << 16, 16u << 18}}},
     0,
     Kernel::kBaseline,
     {64u << 10, 1u << 20, 8u << 20}},
    {"nothing reported", {{0, 0, {1, kIntel, 0, 0}}}, 0, Kernel::kBaseline, kDefaults},
};

TEST(KernelSelection, MachineReadingFollowsWhatTheProcessorReports) {
  for (const SimulatedProcessor& cpu : kProcessors) {
    g_cpu = &cpu;
    const MachineKernels m = read_machine_kernels(fake_cpuid, fake_xcr0);
    EXPECT_EQ(m.widest, std::min(cpu.widest, kWidestBuiltKernel)) << cpu.name;
    EXPECT_EQ(m.caches.l1d, cpu.caches.l1d) << cpu.name;
    EXPECT_EQ(m.caches.l2, cpu.caches.l2) << cpu.name;
    EXPECT_EQ(m.caches.l3, cpu.caches.l3) << cpu.name;
    // The string moves stay on long copies on AMD parts only.
    EXPECT_EQ(m.long_string_copies, cpu.leaves.front().answer.ebx == kAmd) << cpu.name;
  }
  g_cpu = nullptr;
}

// XGETBV faults where the system has not enabled it (OSXSAVE clear).
TEST(KernelSelection, Xcr0IsReadOnlyWhereTheSystemEnablesIt) {
  const SimulatedProcessor no_osxsave{"", intel(1u << 28, kAvx2), 0x7, Kernel::kBaseline, {}};
  g_cpu = &no_osxsave;
  g_xcr0_reads = 0;
  EXPECT_EQ(read_machine_kernels(fake_cpuid, fake_xcr0).widest,
            std::min(Kernel::kSse2, kWidestBuiltKernel));
  EXPECT_EQ(g_xcr0_reads, 0);
  g_cpu = nullptr;
}

template <int K>
void kernel_fn() {}

TEST(KernelSelection, MissingKernelsFallBackToTheNextNarrower) {
  const FnConverter converters[] = {converter<kernel_fn<0>>(), converter<kernel_fn<1>>(),
                                    converter<kernel_fn<2>>(), converter<kernel_fn<3>>()};
  static_assert(sizeof converters / sizeof converters[0] >= std::size_t{kKernelCount});
  const auto bit = [](Kernel k) { return 1u << static_cast<int>(k); };
  const unsigned base = bit(Kernel::kBaseline), sse2 = bit(Kernel::kSse2),
                 avx2 = bit(Kernel::kAvx2), avx512 = bit(Kernel::kAvx512);
  struct Case {
    unsigned built;  // a bit per kernel the entry holds
    Kernel asked, want;
  };
  // Where kSse2 names the baseline, its cases read as the baseline's.
  const Case cases[] = {
      {base, Kernel::kAvx512, Kernel::kBaseline},
      {base | avx2, Kernel::kBaseline, Kernel::kBaseline},
      {base | avx2, Kernel::kSse2, Kernel::kBaseline},
      {base | avx2, Kernel::kAvx512, Kernel::kAvx2},
      {base | sse2 | avx2 | avx512, Kernel::kAvx2, Kernel::kAvx2},
      {base | sse2 | avx2 | avx512, Kernel::kAvx512, Kernel::kAvx512},
      {base | avx512, Kernel::kAvx2, Kernel::kBaseline},
      {base | sse2, Kernel::kAvx512, Kernel::kSse2},
      {base | sse2, Kernel::kBaseline, Kernel::kBaseline},
  };
  for (const Case& c : cases) {
    SlotImpl entry{SlotId::MxIMin, Variant::kX87, {}};
    for (int k = 0; k < kKernelCount; ++k) {
      if (c.built & (1u << k)) entry.kernels[k] = converters[k];
    }
    EXPECT_EQ(entry.kernel(c.asked), converters[static_cast<int>(c.want)]())
        << kernel_name(c.asked);
  }
}

// Restores the ceiling (and a plain binding) however the test ends.
struct CeilingScope {
  ~CeilingScope() {
    set_kernel_ceiling(Kernel::kCount);
    MxInitLibForCPU(tier_flags(Tier::kSse));
  }
};

// Every ceiling up to the machine's widest: each slot holds its tier's
// variant in the capped kernel, so a forced tier keeps its variant and only
// the kernel follows the machine.
TEST(KernelSelection, BindingHoldsTheTiersVariantInTheSelectedKernel) {
  const CeilingScope restore;
  const Kernel widest = machine_kernels().widest;
  for (int c = 0; c <= kKernelCount; ++c) {
    const auto ceiling = static_cast<Kernel>(c);
    set_kernel_ceiling(ceiling);
    const Kernel bound = std::min(widest, ceiling);
    ASSERT_EQ(selected_kernel(), bound);
    for (Tier tier : test::all_tiers()) {
      ASSERT_EQ(MxInitLibForCPU(tier_flags(tier)), 1);
      for (const SlotInfo& slot : kSlots) {
        const Variant want = slot_variant(slot.id, tier, tier_flags(tier));
        const GenericFn fn = load_slot(slot.id);
        EXPECT_EQ(fn, find_entry(slot.id, want)->kernel(bound))
            << tier_name(tier) << " " << slot.name << " ceiling " << kernel_name(ceiling);
      }
    }
  }
}

// Some slot has a kernel above the baseline wherever such kernels are
// built, and find_variant names the kernel it was given.
TEST(KernelSelection, WideKernelsAreRegisteredAndRecognised) {
  int wide = 0;
  for (const SlotInfo& slot : kSlots) {
    for (int v = 0; v < kVariantCount; ++v) {
      const SlotImpl* entry = find_entry(slot.id, static_cast<Variant>(v));
      if (entry == nullptr) continue;
      for (int k = 0; k < kKernelCount; ++k) {
        if (entry->exact_kernel(k) == nullptr) continue;
        wide += k != 0;
        Variant variant;
        Kernel kernel;
        ASSERT_TRUE(find_variant(slot.id, entry->exact_kernel(k), &variant, &kernel));
        // A function shared by several variants is named by the first entry.
        EXPECT_LE(static_cast<int>(kernel), k) << slot.name;
      }
    }
  }
  EXPECT_EQ(wide > 0, kWidestBuiltKernel != Kernel::kBaseline);
}

}  // namespace
}  // namespace tarn
