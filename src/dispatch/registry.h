// Which implementation each slot has for each variant. Every family lists its
// own implementations in one table (src/<family>/bindings.cpp); binding a new
// family means adding its entries there, never editing the selection code.
#pragma once

#include <array>
#include <span>
#include <type_traits>

#include "dispatch/kernel.h"
#include "dispatch/slots.h"
#include "dispatch/variant.h"

namespace tarn {

// A slot implementation as the untyped pointer the slots hold. The tables
// keep these converters rather than the converted pointers: a function
// pointer cast is not a constant expression, and constant tables need no
// run-time initialisation (nor its guard).
using FnConverter = GenericFn (*)();

template <auto Fn>
GenericFn as_generic() {
  return reinterpret_cast<GenericFn>(Fn);
}

// An absent kernel is the null pointer literal, told apart by its type: a
// function's address compared with null is no constant expression under
// -fsanitize=undefined.
template <auto Fn>
constexpr FnConverter converter() {
  if constexpr (std::is_null_pointer_v<decltype(Fn)>) {
    return nullptr;
  } else {
    return &as_generic<Fn>;
  }
}

// A variant's implementation: its kernels by Kernel, the baseline always
// present; a missing wider kernel is served by the next narrower one.
struct SlotImpl {
  SlotId slot;
  Variant variant;
  std::array<FnConverter, kKernelCount> kernels;

  // The kernel built for k exactly, or null.
  GenericFn exact_kernel(int k) const { return kernels[k] ? kernels[k]() : nullptr; }

  GenericFn kernel(Kernel k) const {
    for (int i = static_cast<int>(k); i > 0; --i) {
      if (kernels[i] != nullptr) return kernels[i]();
    }
    return kernels[0]();
  }
};

// One entry of a family table, its kernels in Kernel order; the slot's own
// type is checked at compile time. A kernel is given only where it is built
// (TARN_SSE2, TARN_WIDE), null otherwise.
template <SlotId S, typename SlotTraits<S>::Fn Baseline, auto Sse2 = nullptr, auto Avx2 = nullptr,
          auto Avx512 = nullptr>
constexpr SlotImpl impl(Variant variant) {
  using Fn = typename SlotTraits<S>::Fn;
  static_assert(std::is_null_pointer_v<decltype(Sse2)> || std::is_same_v<decltype(Sse2), Fn>);
  static_assert(std::is_null_pointer_v<decltype(Avx2)> || std::is_same_v<decltype(Avx2), Fn>);
  static_assert(std::is_null_pointer_v<decltype(Avx512)> || std::is_same_v<decltype(Avx512), Fn>);
  SlotImpl entry{S, variant, {}};
  entry.kernels[static_cast<int>(Kernel::kBaseline)] = converter<Baseline>();
  // Where kSse2 names the baseline, no SSE2 kernel of its own is built.
  if constexpr (Kernel::kSse2 != Kernel::kBaseline) {
    entry.kernels[static_cast<int>(Kernel::kSse2)] = converter<Sse2>();
  } else {
    static_assert(std::is_null_pointer_v<decltype(Sse2)>);
  }
  entry.kernels[static_cast<int>(Kernel::kAvx2)] = converter<Avx2>();
  entry.kernels[static_cast<int>(Kernel::kAvx512)] = converter<Avx512>();
  return entry;
}

#define TARN_IMPL(slot_name, variant, ...) \
  ::tarn::impl<::tarn::SlotId::slot_name, __VA_ARGS__>(::tarn::Variant::variant)

// The family tables.
std::span<const SlotImpl> matrix_impls();
std::span<const SlotImpl> trig_impls();
std::span<const SlotImpl> scalar_impls();
std::span<const SlotImpl> vector_impls();
std::span<const SlotImpl> pixel_impls();

// What a family reads from the machine before its slots are bound, defined
// beside its table: fill and copy choose their stores by run length against
// the caches.
void pixel_prepare(const MachineKernels& machine);

// Every family's preparation, run by MxInitLibForCPU before it binds.
void prepare_families(const MachineKernels& machine);

// The registry entry of a slot's variant, or null when none is built.
const SlotImpl* find_entry(SlotId slot, Variant variant);

// The implementation of a slot for a variant in the kernel that selection
// binds now (or the one given), or null when none is built.
GenericFn find_impl(SlotId slot, Variant variant);
GenericFn find_impl(SlotId slot, Variant variant, Kernel kernel);

// The variant and kernel that fn implements for the slot, if fn is one of
// its entries (a kernel serving several tiers of width names the narrowest).
bool find_variant(SlotId slot, GenericFn fn, Variant* variant, Kernel* kernel = nullptr);

}  // namespace tarn
