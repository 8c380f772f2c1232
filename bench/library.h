// The shared library as a host meets it: loaded at run time, every operation
// called through its exported slot variable. The static library linked into
// the benchmark only supplies the tier tables (which word selects which tier);
// nothing is timed in it.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "TarnLib2DLL.h"
#include "dispatch/kernel.h"
#include "dispatch/registry.h"
#include "dispatch/slots.h"

namespace tarn::bench {

// One distinct implementation bound to a slot, and a capability word that
// binds it.
struct SlotVariant {
  std::string label;  // the variant's name, e.g. "SSE" or "MMXext"
  Variant variant;
  MxCpuFlags flags;
  std::vector<std::string> tiers;  // every tier whose binding uses it
};

class Library {
 public:
  // Loads the library at path; exits with a message when it cannot.
  static void load(const std::string& path);
  static Library& get();

  // The address of an exported name (slot variable, function or record).
  void* symbol(const char* name) const;

  // The slot variable, through which every timed call goes.
  template <SlotId S>
  typename SlotTraits<S>::Fn* slot() const {
    return static_cast<typename SlotTraits<S>::Fn*>(symbol(SlotTraits<S>::kName));
  }

  // Binds a tier in the loaded library (and keeps the sine table built).
  void select(MxCpuFlags flags) const;
  // The same, and the static library's selection under a kernel ceiling, so
  // that its kernels find the bounds selection sets.
  void select_kernel(MxCpuFlags flags, Kernel kernel) const;

  // The distinct implementations that the fourteen tiers (and, for the blit,
  // the Cyrix word) bind to a slot; empty while the slot is null everywhere.
  std::vector<SlotVariant> variants(SlotId slot) const;

  decltype(&MxSinCosFFF) sincos_fff = nullptr;
  decltype(&MxSinCosDDD) sincos_ddd = nullptr;
  decltype(&MxSinCosDDF) sincos_ddf = nullptr;
  decltype(&MxSinCosFFD) sincos_ffd = nullptr;

 private:
  void* handle_ = nullptr;
  decltype(&MxInitLibForCPU) init_ = nullptr;
  decltype(&MxInitTables) init_tables_ = nullptr;
};

// Runs quick: only the small inputs (a smoke pass).
bool quick();
void set_quick(bool quick);

// The narrower kernels of a variant that differ from the one the machine
// gets, each with its implementation in the linked static library (the same
// code as the shared library's).
std::vector<std::pair<Kernel, GenericFn>> narrower_kernels(SlotId slot, Variant variant);

// Registers one benchmark per distinct implementation of slot S, named
// "<job>/tarn <variant>", the kernel the machine gets; each narrower kernel
// of it follows as "<job>/tarn <variant> [<kernel>]", forced into the shared
// library's slot. body runs with the slot already bound.
template <SlotId S>
void register_slot(const std::string& job,
                   std::function<void(benchmark::State&, typename SlotTraits<S>::Fn*)> body) {
  using Fn = typename SlotTraits<S>::Fn;
  const Library& lib = Library::get();
  auto* slot_var = lib.slot<S>();
  for (const SlotVariant& v : lib.variants(S)) {
    MxCpuFlags flags = v.flags;
    benchmark::RegisterBenchmark((job + "/tarn " + v.label).c_str(),
                                 [flags, slot_var, body](benchmark::State& state) {
                                   Library::get().select(flags);
                                   body(state, slot_var);
                                 });
    for (const auto& [kernel, fn] : narrower_kernels(S, v.variant)) {
      const std::string name =
          job + "/tarn " + v.label + " [" + std::string(kernel_name(kernel)) + "]";
      benchmark::RegisterBenchmark(name.c_str(), [flags, slot_var, body, kernel = kernel,
                                                  fn = fn](benchmark::State& state) {
        Library::get().select_kernel(flags, kernel);
        *slot_var = reinterpret_cast<Fn>(fn);
        body(state, slot_var);
      });
    }
  }
}

// Registers a peer (or any benchmark that needs no slot), named "<job>/<who>".
void register_peer(const std::string& job, const std::string& who,
                   std::function<void(benchmark::State&)> body);

// Deterministic pseudo-random numbers for the inputs.
class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed) {}
  std::uint32_t next();
  float uniform(float lo, float hi);

 private:
  std::uint64_t state_;
};

// The families' registration functions, called once the library is loaded.
void register_dispatch_floor();
void register_trig();
void register_matrix();
void register_vector();
void register_scalar();
void register_memory();
void register_blit();

}  // namespace tarn::bench
