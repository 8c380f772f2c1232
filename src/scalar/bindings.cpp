#include "dispatch/registry.h"

namespace tarn {

// Filled in when the family's variants land.
std::span<const SlotImpl> scalar_impls() {
  return {};
}

}  // namespace tarn
