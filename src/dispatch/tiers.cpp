#include "dispatch/tiers.h"

#include <array>

namespace tarn {
namespace {

// ---- Decision table: the consulted capability bits, in the order they are
// tested, lead to exactly one tier. A dash is a bit not looked at on that row.

enum Bit : std::uint8_t { clear, set, _ };

struct DecisionRow {
  Bit cmov, mmx, now3d, mmxext, ext3dnow, sse;
  Tier tier;
};

// clang-format off
constexpr DecisionRow kDecisionTable[] = {
    // CMOV  MMX    3DNow  MMXext Ext3D  SSE
    {clear, clear, _,     _,     _,     _,     Tier::kX87},
    {set,   clear, _,     _,     _,     _,     Tier::kX87Cmov},
    {clear, set,   clear, _,     _,     _,     Tier::kMmx},
    {set,   set,   clear, clear, _,     _,     Tier::kCmovMmx},
    {set,   set,   clear, set,   _,     clear, Tier::kCmovMmxMmxext},
    {set,   set,   clear, set,   _,     set,   Tier::kSse},
    {clear, set,   set,   clear, clear, _,     Tier::k3DNow},
    {set,   set,   set,   clear, clear, _,     Tier::kCmov3DNow},
    {clear, set,   set,   clear, set,   _,     Tier::k3DNowExt3DNow},
    {set,   set,   set,   clear, set,   _,     Tier::kCmov3DNowExt3DNow},
    {clear, set,   set,   set,   clear, _,     Tier::k3DNowMmxext},
    {set,   set,   set,   set,   clear, _,     Tier::kCmov3DNowMmxext},
    {clear, set,   set,   set,   set,   _,     Tier::k3DNowMmxextExt3DNow},
    {set,   set,   set,   set,   set,   _,     Tier::kCmov3DNowMmxextExt3DNow},
};
// clang-format on

constexpr bool matches(Bit want, MxCpuFlags flags, MxCpuFlags bit) {
  return want == _ || (want == set) == ((flags & bit) != 0);
}

constexpr bool matches(const DecisionRow& row, MxCpuFlags f) {
  return matches(row.cmov, f, MxCpuCMOV) && matches(row.mmx, f, MxCpuMMX) &&
         matches(row.now3d, f, MxCpu3DNow) && matches(row.mmxext, f, MxCpuMMXExt) &&
         matches(row.ext3dnow, f, MxCpuExt3DNow) && matches(row.sse, f, MxCpuSSE);
}

// ---- Binding table: the variant of each selection group, tier by tier.

constexpr Variant x87 = Variant::kX87;
constexpr Variant cmov = Variant::kCmov;
constexpr Variant mmx = Variant::kMmx;
constexpr Variant mmxext = Variant::kMmxext;
constexpr Variant now3d = Variant::k3DNow;
constexpr Variant now3d_mmxext = Variant::k3DNowMmxext;
constexpr Variant ext3d = Variant::kExt3DNow;
constexpr Variant ext3d_mmxext = Variant::kExt3DNowMmxext;
constexpr Variant sse = Variant::kSse;
constexpr Variant noop = Variant::kNoOp;

struct TierRow {
  Tier tier;
  std::string_view name;
  std::array<Variant, kGroupCount> groups;  // groups 1..11
};

// clang-format off
constexpr TierRow kTierTable[] = {
    // tier                         name                            1    2    3     4      5     6      7             8             9       10     11
    {Tier::kX87,                   "x87",                          {x87, x87, noop, x87,   x87,  x87,   x87,          x87,          x87,    x87,   x87}},
    {Tier::kX87Cmov,               "x87+CMOV",                     {x87, x87, noop, x87,   cmov, x87,   cmov,         cmov,         x87,    cmov,  x87}},
    {Tier::kMmx,                   "MMX",                          {mmx, x87, noop, x87,   x87,  x87,   x87,          x87,          mmx,    x87,   x87}},
    {Tier::kCmovMmx,               "CMOV+MMX",                     {mmx, x87, noop, x87,   cmov, x87,   cmov,         cmov,         mmx,    cmov,  x87}},
    {Tier::kCmovMmxMmxext,         "CMOV+MMX+MMXext",              {mmx, x87, noop, x87,   cmov, x87,   cmov,         cmov,         mmxext, cmov,  x87}},
    {Tier::kSse,                   "SSE",                          {mmx, x87, noop, sse,   cmov, sse,   sse,          sse,          mmxext, cmov,  sse}},
    {Tier::k3DNow,                 "3DNow!",                       {mmx, x87, noop, now3d, x87,  now3d, now3d,        now3d,        mmx,    now3d, now3d}},
    {Tier::kCmov3DNow,             "CMOV+3DNow!",                  {mmx, x87, noop, now3d, cmov, now3d, now3d,        now3d,        mmx,    cmov,  now3d}},
    {Tier::k3DNowExt3DNow,         "3DNow!+ext3DNow!",             {mmx, x87, noop, now3d, x87,  ext3d, now3d,        now3d,        mmx,    now3d, now3d}},
    {Tier::kCmov3DNowExt3DNow,     "CMOV+3DNow!+ext3DNow!",        {mmx, x87, noop, now3d, cmov, ext3d, now3d,        now3d,        mmx,    cmov,  now3d}},
    {Tier::k3DNowMmxext,           "3DNow!+MMXext",                {mmx, x87, noop, now3d, x87,  now3d, now3d,        now3d_mmxext, mmxext, now3d, now3d}},
    {Tier::kCmov3DNowMmxext,       "CMOV+3DNow!+MMXext",           {mmx, x87, noop, now3d, cmov, now3d, now3d,        now3d_mmxext, mmxext, cmov,  now3d}},
    {Tier::k3DNowMmxextExt3DNow,   "3DNow!+MMXext+ext3DNow!",      {mmx, x87, noop, now3d, x87,  ext3d, ext3d_mmxext, now3d_mmxext, mmxext, now3d, x87}},
    {Tier::kCmov3DNowMmxextExt3DNow, "CMOV+3DNow!+MMXext+ext3DNow!", {mmx, x87, noop, now3d, cmov, ext3d, ext3d_mmxext, now3d_mmxext, mmxext, cmov,  now3d}},
};
// clang-format on

constexpr bool tables_are_in_tier_order() {
  if (std::size(kTierTable) != kTierCount || std::size(kDecisionTable) != kTierCount) return false;
  for (int i = 0; i < kTierCount; ++i) {
    if (static_cast<int>(kTierTable[i].tier) != i) return false;
    if (static_cast<int>(kDecisionTable[i].tier) != i) return false;
  }
  return true;
}
static_assert(tables_are_in_tier_order());

}  // namespace

std::string_view tier_name(Tier tier) {
  return kTierTable[static_cast<int>(tier)].name;
}

std::optional<Tier> select_tier(MxCpuFlags flags) {
  if ((flags & MxCpuFPU) == 0) return std::nullopt;
  for (const DecisionRow& row : kDecisionTable) {
    if (matches(row, flags)) return row.tier;
  }
  return std::nullopt;  // unreachable: the rows cover every word
}

MxCpuFlags tier_flags(Tier tier) {
  const DecisionRow& row = kDecisionTable[static_cast<int>(tier)];
  MxCpuFlags flags = MxCpuFPU;
  if (row.cmov == set) flags |= MxCpuCMOV;
  if (row.mmx == set) flags |= MxCpuMMX;
  if (row.now3d == set) flags |= MxCpu3DNow;
  if (row.mmxext == set) flags |= MxCpuMMXExt;
  if (row.ext3dnow == set) flags |= MxCpuExt3DNow;
  if (row.sse == set) flags |= MxCpuSSE;
  return flags;
}

Variant group_variant(Tier tier, int group) {
  return kTierTable[static_cast<int>(tier)].groups[group - 1];
}

Variant slot_variant(SlotId slot, Tier tier, MxCpuFlags flags) {
  if (slot == SlotId::MxAlphaBlt32 && (flags & MxCpuCyrixEMMX) != 0) return Variant::kCyrixEmmx;
  return group_variant(tier, slot_info(slot).group);
}

}  // namespace tarn
