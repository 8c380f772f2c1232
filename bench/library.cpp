#include "library.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "dispatch/tiers.h"
#include "dispatch/variant.h"

namespace tarn::bench {

namespace {
Library g_library;
bool g_quick = false;
}  // namespace

bool quick() {
  return g_quick;
}
void set_quick(bool q) {
  g_quick = q;
}

void Library::load(const std::string& path) {
  Library& lib = g_library;
  lib.handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (lib.handle_ == nullptr) {
    std::fprintf(stderr, "cannot load %s: %s\n", path.c_str(), dlerror());
    std::exit(2);
  }
  lib.init_ = reinterpret_cast<decltype(init_)>(lib.symbol("MxInitLibForCPU"));
  lib.init_tables_ = reinterpret_cast<decltype(init_tables_)>(lib.symbol("MxInitTables"));
  lib.sincos_fff = reinterpret_cast<decltype(sincos_fff)>(lib.symbol("MxSinCosFFF"));
  lib.sincos_ddd = reinterpret_cast<decltype(sincos_ddd)>(lib.symbol("MxSinCosDDD"));
  lib.sincos_ddf = reinterpret_cast<decltype(sincos_ddf)>(lib.symbol("MxSinCosDDF"));
  lib.sincos_ffd = reinterpret_cast<decltype(sincos_ffd)>(lib.symbol("MxSinCosFFD"));
  // Start-up as a host does it: identify, bind, build the table.
  auto identify = reinterpret_cast<decltype(&MxIdentifyCPU)>(lib.symbol("MxIdentifyCPU"));
  lib.init_(identify());
  lib.init_tables_();
}

Library& Library::get() {
  return g_library;
}

void* Library::symbol(const char* name) const {
  void* p = dlsym(handle_, name);
  if (p == nullptr) {
    std::fprintf(stderr, "the library lacks %s\n", name);
    std::exit(2);
  }
  return p;
}

void Library::select(MxCpuFlags flags) const {
  init_(flags);
  init_tables_();
}

void Library::select_kernel(MxCpuFlags flags, Kernel kernel) const {
  select(flags);
  const Kernel ceiling = kernel_ceiling();
  set_kernel_ceiling(kernel);
  ::MxInitLibForCPU(flags);
  set_kernel_ceiling(ceiling);
}

std::vector<std::pair<Kernel, GenericFn>> narrower_kernels(SlotId slot, Variant variant) {
  std::vector<std::pair<Kernel, GenericFn>> found;
  const SlotImpl* entry = find_entry(slot, variant);
  if (entry == nullptr) return found;
  const Kernel widest = selected_kernel();
  const GenericFn bound = entry->kernel(widest);
  for (int k = 0; k < static_cast<int>(widest); ++k) {
    const GenericFn fn = entry->exact_kernel(k);
    if (fn != nullptr && fn != bound) found.emplace_back(static_cast<Kernel>(k), fn);
  }
  return found;
}

std::vector<SlotVariant> Library::variants(SlotId slot) const {
  void** slot_var = static_cast<void**>(symbol(slot_info(slot).name));
  std::vector<SlotVariant> found;
  std::vector<void*> seen;
  auto visit = [&](Tier tier, MxCpuFlags flags) {
    init_(flags);
    void* fn = *slot_var;
    if (fn == nullptr) return;
    std::string tier_label(tier_name(tier));
    if ((flags & MxCpuCyrixEMMX) != 0) tier_label += " (Cyrix)";
    for (std::size_t i = 0; i < seen.size(); ++i) {
      if (seen[i] == fn) {
        found[i].tiers.push_back(tier_label);
        return;
      }
    }
    seen.push_back(fn);
    found.push_back(
        {std::string(variant_name(slot_variant(slot, tier, flags))), slot_variant(slot, tier, flags),
         flags, {tier_label}});
  };
  // The SSE tier first: an implementation it binds is timed in it, so that
  // the slots it calls through (a rotation's lookups and products) are the
  // SSE tier's too. Any other implementation is timed in the first tier
  // that binds it.
  visit(Tier::kSse, tier_flags(Tier::kSse));
  for (int t = 0; t < kTierCount; ++t) {
    const auto tier = static_cast<Tier>(t);
    if (tier != Tier::kSse) visit(tier, tier_flags(tier));
  }
  if (slot == SlotId::MxAlphaBlt32) visit(Tier::kX87, tier_flags(Tier::kX87) | MxCpuCyrixEMMX);
  // Two variants may share one implementation; its label names the first.
  return found;
}

void register_peer(const std::string& job, const std::string& who,
                   std::function<void(benchmark::State&)> body) {
  benchmark::RegisterBenchmark((job + "/" + who).c_str(),
                               [body](benchmark::State& state) { body(state); });
}

std::uint32_t Random::next() {
  // xorshift64*: fast, deterministic, good enough for test inputs.
  state_ ^= state_ >> 12;
  state_ ^= state_ << 25;
  state_ ^= state_ >> 27;
  return static_cast<std::uint32_t>((state_ * 0x2545F4914F6CDD1DULL) >> 32);
}

float Random::uniform(float lo, float hi) {
  return lo + (hi - lo) * static_cast<float>(next() >> 8) * (1.0f / 16777216.0f);
}

}  // namespace tarn::bench
