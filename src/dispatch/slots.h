// The 50 slots as seen from inside the library: an id per slot, its
// function-pointer type and group, and relaxed atomic access to the exported
// variable (a concurrent reader sees an old or a new pointer, never a torn one).
#pragma once

#include <atomic>
#include <cstdint>
#include <type_traits>

#include "TarnLib2DLL.h"
#include "dispatch/exports.h"

namespace tarn {

enum class SlotId : std::uint8_t {
#define TARN_SLOT_ENUM(ordinal, name, group) name,
  TARN_EXPORTS(TARN_IGNORE, TARN_SLOT_ENUM, TARN_IGNORE)
#undef TARN_SLOT_ENUM
      kCount
};

inline constexpr int kSlotCount = static_cast<int>(SlotId::kCount);
static_assert(kSlotCount == 50);

inline constexpr int kGroupCount = 11;  // selection groups 1..11

// A slot's function type, so that implementations are declared with the
// slot's own signature: `SlotFn<MxFMinFn> FMin;` declares FMin(float, float).
template <typename SlotPointer>
using SlotFn = std::remove_pointer_t<SlotPointer>;

// Declares the implementation `name` of the slot Mx<name> or Mx3DVec<name>,
// for the families' lists of the operations each variant has.
#define TARN_SLOT_IMPL(name) ::tarn::SlotFn<Mx##name##Fn> name;
#define TARN_VECTOR_SLOT_IMPL(name) ::tarn::SlotFn<Mx3DVec##name##Fn> name;

// Any function pointer, for tables that hold implementations of several slots.
using GenericFn = void (*)();

template <SlotId S>
struct SlotTraits;

#define TARN_SLOT_TRAITS(ordinal, name, group)  \
  template <>                                   \
  struct SlotTraits<SlotId::name> {             \
    using Fn = name##Fn;                        \
    static constexpr int kOrdinal = ordinal;    \
    static constexpr int kGroup = group;        \
    static constexpr const char* kName = #name; \
    static Fn& variable() { return ::name; }    \
  };
TARN_EXPORTS(TARN_IGNORE, TARN_SLOT_TRAITS, TARN_IGNORE)
#undef TARN_SLOT_TRAITS

struct SlotInfo {
  SlotId id;
  int ordinal;
  int group;
  const char* name;
};

// Every slot in ordinal order.
inline constexpr SlotInfo kSlots[] = {
#define TARN_SLOT_INFO(ordinal, name, group) {SlotId::name, ordinal, group, #name},
    TARN_EXPORTS(TARN_IGNORE, TARN_SLOT_INFO, TARN_IGNORE)
#undef TARN_SLOT_INFO
};

constexpr const SlotInfo& slot_info(SlotId id) {
  return kSlots[static_cast<int>(id)];
}

// The implementation currently bound to slot S, for calls the library makes
// through its own slots (they follow the tier in force).
template <SlotId S>
typename SlotTraits<S>::Fn slot() {
  return std::atomic_ref(SlotTraits<S>::variable()).load(std::memory_order_relaxed);
}

// Reads or writes a slot by id; fn must have the slot's own type.
GenericFn load_slot(SlotId id);
void store_slot(SlotId id, GenericFn fn);

}  // namespace tarn
