#include "dispatch/registry.h"

namespace tarn {
namespace {

using FamilyTable = std::span<const SlotImpl> (*)();

constexpr FamilyTable kFamilies[] = {matrix_impls, trig_impls, scalar_impls, vector_impls,
                                     pixel_impls};

template <typename Match>
const SlotImpl* find_matching(Match match) {
  for (FamilyTable family : kFamilies) {
    for (const SlotImpl& entry : family()) {
      if (match(entry)) return &entry;
    }
  }
  return nullptr;
}

}  // namespace

void prepare_families(const MachineKernels& machine) {
  pixel_prepare(machine);
}

const SlotImpl* find_entry(SlotId slot, Variant variant) {
  return find_matching([&](const SlotImpl& e) { return e.slot == slot && e.variant == variant; });
}

GenericFn find_impl(SlotId slot, Variant variant) {
  return find_impl(slot, variant, selected_kernel());
}

GenericFn find_impl(SlotId slot, Variant variant, Kernel kernel) {
  const SlotImpl* entry = find_entry(slot, variant);
  return entry ? entry->kernel(kernel) : nullptr;
}

bool find_variant(SlotId slot, GenericFn fn, Variant* variant, Kernel* kernel) {
  const auto holds = [fn](const SlotImpl& e) {
    for (int k = 0; k < kKernelCount; ++k) {
      if (e.exact_kernel(k) == fn) return true;
    }
    return false;
  };
  const SlotImpl* entry =
      find_matching([&](const SlotImpl& e) { return e.slot == slot && fn != nullptr && holds(e); });
  if (!entry) return false;
  *variant = entry->variant;
  if (kernel) {
    int k = 0;
    while (entry->exact_kernel(k) != fn) ++k;
    *kernel = static_cast<Kernel>(k);
  }
  return true;
}

}  // namespace tarn
