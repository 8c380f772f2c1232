#include "dispatch/slots.h"

// The exported slot variables: null until the first successful selection.
extern "C" {
#define TARN_SLOT_DEFINE(ordinal, name, group) MX_API name##Fn name = nullptr;
TARN_EXPORTS(TARN_IGNORE, TARN_SLOT_DEFINE, TARN_IGNORE)
#undef TARN_SLOT_DEFINE
}

namespace tarn {

GenericFn load_slot(SlotId id) {
  switch (id) {
#define TARN_SLOT_LOAD(ordinal, name, group) \
  case SlotId::name:                         \
    return reinterpret_cast<GenericFn>(slot<SlotId::name>());
    TARN_EXPORTS(TARN_IGNORE, TARN_SLOT_LOAD, TARN_IGNORE)
#undef TARN_SLOT_LOAD
    case SlotId::kCount:
      break;
  }
  return nullptr;
}

void store_slot(SlotId id, GenericFn fn) {
  switch (id) {
#define TARN_SLOT_STORE(ordinal, name, group)                                                 \
  case SlotId::name:                                                                          \
    std::atomic_ref(::name).store(reinterpret_cast<name##Fn>(fn), std::memory_order_relaxed); \
    return;
    TARN_EXPORTS(TARN_IGNORE, TARN_SLOT_STORE, TARN_IGNORE)
#undef TARN_SLOT_STORE
    case SlotId::kCount:
      break;
  }
}

}  // namespace tarn
