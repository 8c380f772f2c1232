// MxInitLibForCPU: one table lookup for the tier, then 50 relaxed stores.
#include <array>

#include "dispatch/registry.h"
#include "dispatch/tiers.h"

namespace tarn {
namespace {

using TierBinding = std::array<GenericFn, kSlotCount>;

// Every tier's 50 implementations, resolved once from the family tables.
const std::array<TierBinding, kTierCount>& tier_bindings() {
  static const auto kBindings = [] {
    std::array<TierBinding, kTierCount> bindings{};
    for (int t = 0; t < kTierCount; ++t) {
      for (const SlotInfo& slot : kSlots) {
        bindings[t][static_cast<int>(slot.id)] =
            find_impl(slot.id, group_variant(static_cast<Tier>(t), slot.group));
      }
    }
    return bindings;
  }();
  return kBindings;
}

}  // namespace
}  // namespace tarn

extern "C" MX_API int MX_CALL MxInitLibForCPU(MxCpuFlags flags) {
  using namespace tarn;
  const std::optional<Tier> tier = select_tier(flags);
  if (!tier) return 0;
  TierBinding binding = tier_bindings()[static_cast<int>(*tier)];
  if (flags & MxCpuCyrixEMMX) {
    binding[static_cast<int>(SlotId::MxAlphaBlt32)] =
        find_impl(SlotId::MxAlphaBlt32, Variant::kCyrixEmmx);
  }
  for (int i = 0; i < kSlotCount; ++i) store_slot(static_cast<SlotId>(i), binding[i]);
  return 1;
}
