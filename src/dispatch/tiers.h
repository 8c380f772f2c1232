// The fourteen tiers: which capability words lead to each, and which variant
// each selection group receives in it.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "TarnLib2DLL.h"
#include "dispatch/slots.h"
#include "dispatch/variant.h"

namespace tarn {

enum class Tier : std::uint8_t {
  kX87,
  kX87Cmov,
  kMmx,
  kCmovMmx,
  kCmovMmxMmxext,
  kSse,
  k3DNow,
  kCmov3DNow,
  k3DNowExt3DNow,
  kCmov3DNowExt3DNow,
  k3DNowMmxext,
  kCmov3DNowMmxext,
  k3DNowMmxextExt3DNow,
  kCmov3DNowMmxextExt3DNow,
  kCount
};

inline constexpr int kTierCount = static_cast<int>(Tier::kCount);

std::string_view tier_name(Tier tier);

// The tier a capability word selects; none when the word lacks MxCpuFPU.
std::optional<Tier> select_tier(MxCpuFlags flags);

// A capability word that selects the tier (the smallest such word).
MxCpuFlags tier_flags(Tier tier);

// The variant that a selection group (1..11) receives in a tier.
Variant group_variant(Tier tier, int group);

// The variant bound to a slot for a capability word, with the Cyrix rule
// applied to MxAlphaBlt32.
Variant slot_variant(SlotId slot, Tier tier, MxCpuFlags flags);

}  // namespace tarn
