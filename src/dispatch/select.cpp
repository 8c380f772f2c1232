// MxInitLibForCPU: the tier from the word, each slot's variant from the tier
// (with the Cyrix rule), its kernel from the machine, then 50 relaxed stores.
// The machine is read once; later calls reuse what the first one read.
#include "dispatch/kernel.h"
#include "dispatch/registry.h"
#include "dispatch/tiers.h"

extern "C" MX_API int MX_CALL MxInitLibForCPU(MxCpuFlags flags) {
  using namespace tarn;
  const std::optional<Tier> tier = select_tier(flags);
  if (!tier) return 0;
  const Kernel kernel = selected_kernel();
  prepare_families(machine_kernels());  // e.g. the caches, for fill and copy
  for (const SlotInfo& slot : kSlots) {
    store_slot(slot.id, find_impl(slot.id, slot_variant(slot.id, *tier, flags), kernel));
  }
  return 1;
}
