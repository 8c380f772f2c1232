// Which implementation each slot has for each variant. Every family lists its
// own implementations in one table (src/<family>/bindings.cpp); binding a new
// family means adding its entries there, never editing the selection code.
#pragma once

#include <span>

#include "dispatch/slots.h"
#include "dispatch/variant.h"

namespace tarn {

struct SlotImpl {
  SlotId slot;
  Variant variant;
  GenericFn fn;
};

// One entry of a family table; the slot's own type is checked at compile time.
template <SlotId S>
SlotImpl impl(Variant variant, typename SlotTraits<S>::Fn fn) {
  return {S, variant, reinterpret_cast<GenericFn>(fn)};
}

#define TARN_IMPL(slot_name, variant, fn) \
  ::tarn::impl<::tarn::SlotId::slot_name>(::tarn::Variant::variant, fn)

// The family tables.
std::span<const SlotImpl> matrix_impls();
std::span<const SlotImpl> trig_impls();
std::span<const SlotImpl> scalar_impls();
std::span<const SlotImpl> vector_impls();
std::span<const SlotImpl> pixel_impls();

// The implementation of a slot for a variant, or null when none is built.
GenericFn find_impl(SlotId slot, Variant variant);

// The variant that fn implements for the slot, if fn is one of its entries.
bool find_variant(SlotId slot, GenericFn fn, Variant* variant);

}  // namespace tarn
