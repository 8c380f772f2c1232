// tarn-info: what the library selects on this machine, or for a given word.
//   tarn-info                  identify this machine: vendor, clock, capability
//                              word bit by bit, the tier and every slot's variant
//   tarn-info --flags 0x24F    the tier a word selects and every slot's variant
//   tarn-info --all-tiers      the variant of every selection group in all tiers
//   tarn-info --self-test      check every slot of this machine's tier (or of
//                              --flags WORD) against the golden checksums
//   tarn-info --kernel NAME    bind no kernel wider than NAME (baseline, AVX2,
//                              AVX-512), with any of the above
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "TarnLib2DLL.h"
#include "dispatch/kernel.h"
#include "dispatch/registry.h"
#include "dispatch/tiers.h"
#include "identify/identify.h"
#include "isa/fpu_control.h"
#include "selftest/golden.h"

#if defined(__i386__) || defined(__x86_64__)
#include <xmmintrin.h>
#endif

namespace {

using namespace tarn;

struct Options {
  enum class Mode { kMachine, kFlags, kAllTiers } mode = Mode::kMachine;
  MxCpuFlags flags = 0;
  bool self_test = false;
  std::optional<Kernel> kernel_cap;
};

// "baseline" or a kernel's name, in any case.
std::optional<Kernel> parse_kernel(const char* text) {
  const auto same = [](std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
      if (std::tolower(static_cast<unsigned char>(a[i])) !=
          std::tolower(static_cast<unsigned char>(b[i]))) {
        return false;
      }
    }
    return true;
  };
  if (same(text, "baseline")) return Kernel::kBaseline;
  for (int k = 0; k < kKernelCount; ++k) {
    if (same(text, kernel_name(static_cast<Kernel>(k)))) return static_cast<Kernel>(k);
  }
  return std::nullopt;
}

void usage(std::FILE* out) {
  std::fprintf(out,
               "usage: tarn-info [--flags WORD | --all-tiers] [--self-test] [--kernel NAME]\n"
               "  (no option)    identify this machine and show its binding\n"
               "  --flags WORD   show the tier and binding a capability word selects\n"
               "  --all-tiers    show the variant of each selection group in every tier\n"
               "  --self-test    check every slot of the tier (this machine's, or the one\n"
               "                 --flags selects) against known results; exit 1 on a failure\n"
               "  --kernel NAME  bind no kernel wider than NAME: baseline, SSE2, AVX2\n"
               "                 or AVX-512 (those this build holds)\n");
}

std::optional<Options> parse(int argc, char** argv) {
  Options opt;
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (std::strcmp(arg, "--flags") == 0 && i + 1 < argc) {
      char* end = nullptr;
      const unsigned long value = std::strtoul(argv[++i], &end, 0);
      if (end == argv[i] || *end != '\0' || value > 0xFFFFFFFFul) return std::nullopt;
      opt.mode = Options::Mode::kFlags;
      opt.flags = static_cast<MxCpuFlags>(value);
    } else if (std::strcmp(arg, "--kernel") == 0 && i + 1 < argc) {
      opt.kernel_cap = parse_kernel(argv[++i]);
      if (!opt.kernel_cap) return std::nullopt;
    } else if (std::strcmp(arg, "--all-tiers") == 0) {
      opt.mode = Options::Mode::kAllTiers;
    } else if (std::strcmp(arg, "--self-test") == 0) {
      opt.self_test = true;
    } else {
      return std::nullopt;
    }
  }
  return opt;
}

// The variant the tier binds to a slot and the kernel of it the slot holds.
std::string bound_variant(SlotId slot, Tier tier, MxCpuFlags flags) {
  const GenericFn fn = load_slot(slot);
  if (fn == nullptr) return "(not built)";
  const Variant variant = slot_variant(slot, tier, flags);
  const SlotImpl* entry = find_entry(slot, variant);
  int k = 0;
  while (entry != nullptr && k < kKernelCount && entry->exact_kernel(k) != fn) ++k;
  if (entry == nullptr || k == kKernelCount) return "(unknown)";
  const std::string_view kernel = kernel_name(static_cast<Kernel>(k));
  char text[64];
  std::snprintf(text, sizeof text, "%-16.*s %.*s", static_cast<int>(variant_name(variant).size()),
                variant_name(variant).data(), static_cast<int>(kernel.size()), kernel.data());
  return text;
}

int show_binding(MxCpuFlags flags, bool print_word = true) {
  const std::optional<Tier> tier = select_tier(flags);
  if (print_word) std::printf("capability word 0x%08X\n", flags);
  if (!tier || MxInitLibForCPU(flags) != 1) {
    std::printf("tier            none (the word lacks MxCpuFPU)\n");
    return 1;
  }
  std::printf("tier            %.*s%s\n", static_cast<int>(tier_name(*tier).size()),
              tier_name(*tier).data(), (flags & MxCpuCyrixEMMX) ? " (Cyrix EMMX blit)" : "");
  const MachineKernels machine = machine_kernels();
  std::printf("kernels         up to %.*s on this machine",
              static_cast<int>(kernel_name(machine.widest).size()),
              kernel_name(machine.widest).data());
  std::printf(" (caches: L1d %u KiB, L2 %u KiB, L3 %u KiB)\n\n", machine.caches.l1d >> 10,
              machine.caches.l2 >> 10, machine.caches.l3 >> 10);
  std::printf("%-3s %-26s %-5s %-16s %s\n", "ord", "slot", "group", "variant", "kernel");
  for (const SlotInfo& slot : kSlots) {
    std::printf("%-3d %-26s %-5d %s\n", slot.ordinal, slot.name, slot.group,
                bound_variant(slot.id, *tier, flags).c_str());
  }
  return 0;
}

int show_all_tiers() {
  // Each group's column is as wide as its longest variant name.
  int width[kGroupCount + 1] = {};
  for (int group = 1; group <= kGroupCount; ++group) {
    width[group] = 2;
    for (int t = 0; t < kTierCount; ++t) {
      const int n =
          static_cast<int>(variant_name(group_variant(static_cast<Tier>(t), group)).size());
      if (n > width[group]) width[group] = n;
    }
  }
  std::printf("%-29s %-10s", "tier", "word");
  for (int group = 1; group <= kGroupCount; ++group) std::printf(" %-*d", width[group], group);
  std::printf("\n");
  for (int t = 0; t < kTierCount; ++t) {
    const Tier tier = static_cast<Tier>(t);
    std::printf("%-29.*s 0x%08X", static_cast<int>(tier_name(tier).size()), tier_name(tier).data(),
                tier_flags(tier));
    for (int group = 1; group <= kGroupCount; ++group) {
      const std::string_view v = variant_name(group_variant(tier, group));
      std::printf(" %-*.*s", width[group], static_cast<int>(v.size()), v.data());
    }
    std::printf("\n");
  }
  std::printf("\ngroups:\n");
  for (int group = 1; group <= kGroupCount; ++group) {
    std::printf("  %2d:", group);
    for (const SlotInfo& slot : kSlots) {
      if (slot.group == group) std::printf(" %s", slot.name);
    }
    std::printf("\n");
  }
  std::printf("  MxCpuCyrixEMMX in the word puts the Cyrix EMMX MxAlphaBlt32 in any tier.\n");
  return 0;
}

struct NamedBit {
  MxCpuFlags bit;
  const char* name;
  const char* meaning;
};

constexpr NamedBit kCapabilityBits[] = {
    {MxCpuCPUID, "MxCpuCPUID", "CPUID instruction"},
    {MxCpuFPU, "MxCpuFPU", "x87 floating-point unit"},
    {MxCpuMMX, "MxCpuMMX", "MMX"},
    {MxCpuCMOV, "MxCpuCMOV", "conditional moves"},
    {MxCpu3DNow, "MxCpu3DNow", "3DNow!"},
    {MxCpuExt3DNow, "MxCpuExt3DNow", "extended 3DNow!"},
    {MxCpuSSE, "MxCpuSSE", "SSE, enabled by the system"},
    {MxCpuCyrixEMMX, "MxCpuCyrixEMMX", "Cyrix extended MMX"},
    {MxCpuMMXExt, "MxCpuMMXExt", "MMX extensions"},
    {MxCpuNoFPU, "MxCpuNoFPU", "no usable FPU"},
};

int show_machine() {
  std::printf("identifying this processor (the clock measurement takes about a second)...\n\n");
  std::fflush(stdout);
  const MxCpuFlags flags = MxIdentifyCPU();
  const std::uint32_t mhz = MxGetCPUSpeed();
  std::printf("vendor          %s\n", MxGetCPUVendor());
  if (mhz != 0) {
    std::printf("clock           %u MHz\n", mhz);
  } else {
    std::printf("clock           not measured (no time-stamp counter or CMPXCHG8B)\n");
  }
  std::printf("CPUID leaf 1    EDX 0x%08X\n", identify::leaf1_features());
  std::printf("x87 control     0x%04X", fpu::read_x87_control());
#if defined(__i386__) || defined(__x86_64__)
  if (flags & MxCpuSSE) std::printf("    MXCSR 0x%08X", _mm_getcsr());
#endif
  std::printf("\n\ncapability word 0x%08X\n", flags);
  for (const NamedBit& b : kCapabilityBits) {
    std::printf("  %s 0x%08X  %-15s %s\n", (flags & b.bit) ? "[x]" : "[ ]", b.bit, b.name,
                b.meaning);
  }
  std::printf("\n");
  return show_binding(flags, false);
}

// Checks the implementation bound to every slot, and the exported functions
// that compute per call, against the golden checksums: the same seeded cases
// give the same bits on every build. Forms built on the processor's own
// estimate instructions differ between processor makers and are only run.
int self_test(MxCpuFlags flags) {
  const std::optional<Tier> tier = select_tier(flags);
  if (!tier || MxInitLibForCPU(flags) != 1) {
    std::printf("self-test: the word 0x%08X selects no tier\n", flags);
    return 1;
  }
  std::vector<GenericFn> bound;
  for (const SlotInfo& slot : kSlots) bound.push_back(load_slot(slot.id));
  const std::vector<selftest::GoldenSubject> subjects = selftest::golden_subjects();

  std::printf("self-test of tier %.*s (word 0x%08X), %d seeded cases per operation\n\n",
              static_cast<int>(tier_name(*tier).size()), tier_name(*tier).data(), flags,
              selftest::kGoldenCases);
  int passed = 0, failed = 0, unchecked = 0;
  const selftest::GoldenRun run;
  for (const selftest::GoldenSubject& subject : subjects) {
    const selftest::Operation& op = *subject.operation;
    if (op.is_slot && subject.fn != bound[static_cast<int>(op.slot)]) continue;
    const std::uint64_t sum = selftest::subject_checksum(subject);
    const std::optional<std::uint64_t> want = selftest::stored_checksum(subject);
    const char* verdict;
    if (subject.excluded || !want) {
      verdict = "ran (processor estimate: no fixed result)";
      ++unchecked;
    } else if (*want == sum) {
      verdict = "pass";
      ++passed;
    } else {
      verdict = "FAIL";
      ++failed;
    }
    std::printf("  %-44s %s\n", selftest::subject_name(subject).c_str(), verdict);
  }
  std::printf("\nself-test: %d passed, %d failed, %d without a fixed result\n", passed, failed,
              unchecked);
  if (failed) std::printf("set TARN_GOLDEN_CASE=N to print a case's inputs and outputs\n");
  return failed == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::optional<Options> opt = parse(argc, argv);
  if (!opt) {
    usage(stderr);
    return 2;
  }
  if (opt->kernel_cap) set_kernel_ceiling(*opt->kernel_cap);
  if (opt->self_test) {
    if (opt->mode == Options::Mode::kAllTiers) {
      usage(stderr);
      return 2;
    }
    return self_test(opt->mode == Options::Mode::kFlags ? opt->flags : MxIdentifyCPU());
  }
  switch (opt->mode) {
    case Options::Mode::kAllTiers:
      return show_all_tiers();
    case Options::Mode::kFlags:
      return show_binding(opt->flags);
    case Options::Mode::kMachine:
      break;
  }
  return show_machine();
}
