// Which implementation each slot has for each variant. Every family lists its
// own implementations in one table (src/<family>/bindings.cpp); binding a new
// family means adding its entries there, never editing the selection code.
#pragma once

#include <array>
#include <span>

#include "dispatch/kernel.h"
#include "dispatch/slots.h"
#include "dispatch/variant.h"

namespace tarn {

// A variant's implementation: its kernels by Kernel, the baseline always
// present; a missing wider kernel is served by the next narrower one.
struct SlotImpl {
  SlotId slot;
  Variant variant;
  std::array<GenericFn, kKernelCount> kernels;

  GenericFn kernel(Kernel k) const {
    for (int i = static_cast<int>(k); i > 0; --i) {
      if (kernels[i] != nullptr) return kernels[i];
    }
    return kernels[0];
  }
};

// One entry of a family table; the slot's own type is checked at compile
// time. Wider kernels are given only where they are built (TARN_HAVE_WIDE_KERNELS).
template <SlotId S>
SlotImpl impl(Variant variant, typename SlotTraits<S>::Fn baseline,
              typename SlotTraits<S>::Fn avx2 = nullptr,
              typename SlotTraits<S>::Fn avx512 = nullptr) {
  return {S,
          variant,
          {reinterpret_cast<GenericFn>(baseline), reinterpret_cast<GenericFn>(avx2),
           reinterpret_cast<GenericFn>(avx512)}};
}

#define TARN_IMPL(slot_name, variant, ...) \
  ::tarn::impl<::tarn::SlotId::slot_name>(::tarn::Variant::variant, __VA_ARGS__)

// The family tables.
std::span<const SlotImpl> matrix_impls();
std::span<const SlotImpl> trig_impls();
std::span<const SlotImpl> scalar_impls();
std::span<const SlotImpl> vector_impls();
std::span<const SlotImpl> pixel_impls();

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
