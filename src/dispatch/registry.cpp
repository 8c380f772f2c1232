#include "dispatch/registry.h"

namespace tarn {
namespace {

using FamilyTable = std::span<const SlotImpl> (*)();

constexpr FamilyTable kFamilies[] = {matrix_impls, trig_impls, scalar_impls, vector_impls,
                                     pixel_impls};

template <typename Match>
const SlotImpl* find_entry(Match match) {
  for (FamilyTable family : kFamilies) {
    for (const SlotImpl& entry : family()) {
      if (match(entry)) return &entry;
    }
  }
  return nullptr;
}

}  // namespace

GenericFn find_impl(SlotId slot, Variant variant) {
  const SlotImpl* entry =
      find_entry([&](const SlotImpl& e) { return e.slot == slot && e.variant == variant; });
  return entry ? entry->fn : nullptr;
}

bool find_variant(SlotId slot, GenericFn fn, Variant* variant) {
  const SlotImpl* entry =
      find_entry([&](const SlotImpl& e) { return e.slot == slot && e.fn == fn; });
  if (entry) *variant = entry->variant;
  return entry != nullptr;
}

}  // namespace tarn
