// Tier selection and slot binding.
#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <string>

#include "dispatch/registry.h"
#include "dispatch/tiers.h"
#include "test_support.h"

namespace tarn {
namespace {

using test::all_tiers;

// The selection rules as prose states them: the bits are tested in a fixed
// order, each test deciding a branch. Written independently of the table.
std::string tier_by_rules(MxCpuFlags f) {
  const bool cmov = f & MxCpuCMOV, mmx = f & MxCpuMMX, now = f & MxCpu3DNow,
             mmxext = f & MxCpuMMXExt, ext = f & MxCpuExt3DNow, sse = f & MxCpuSSE;
  if (!mmx) return cmov ? "x87+CMOV" : "x87";
  if (!now) {
    if (!cmov) return "MMX";
    if (!mmxext) return "CMOV+MMX";
    return sse ? "SSE" : "CMOV+MMX+MMXext";
  }
  std::string name = cmov ? "CMOV+3DNow!" : "3DNow!";
  if (mmxext) name += "+MMXext";
  if (ext) name += "+ext3DNow!";
  return name;
}

TEST(TierSelection, EveryCombinationOfConsultedBitsFollowsTheRules) {
  constexpr MxCpuFlags kConsulted[] = {MxCpuCMOV,      MxCpuMMX,   MxCpu3DNow,
                                       MxCpuMMXExt,    MxCpuSSE,   MxCpuExt3DNow,
                                       MxCpuCyrixEMMX, MxCpuCPUID, MxCpuNoFPU};
  std::mt19937 rng(7);
  for (unsigned combo = 0; combo < (1u << std::size(kConsulted)); ++combo) {
    MxCpuFlags flags = MxCpuFPU;
    for (unsigned b = 0; b < std::size(kConsulted); ++b) {
      if (combo & (1u << b)) flags |= kConsulted[b];
    }
    // Bits outside the word's meaning are ignored.
    const MxCpuFlags noise = rng() & ~0x8000037Fu;
    for (MxCpuFlags word : {flags, flags | noise}) {
      const std::optional<Tier> tier = select_tier(word);
      ASSERT_TRUE(tier.has_value()) << std::hex << word;
      EXPECT_EQ(tier_name(*tier), tier_by_rules(word)) << std::hex << word;
      EXPECT_FALSE(select_tier(word & ~MxCpuFPU).has_value()) << std::hex << word;
    }
  }
}

TEST(TierSelection, DocumentedWords) {
  const struct {
    MxCpuFlags word;
    const char* tier;
  } kCases[] = {
      {0x2, "x87"},
      {0x80000002, "x87"},
      {0x24F, "SSE"},
      {0x20F, "CMOV+MMX+MMXext"},
      {0x4F, "CMOV+MMX"},
      {0x17, "3DNow!"},
      {0x37, "3DNow!+ext3DNow!"},
      {0x23F, "CMOV+3DNow!+MMXext+ext3DNow!"},
      {0x12, "x87"},
      {0x102, "x87"},
      {0x25F, "CMOV+3DNow!+MMXext"},
  };
  for (const auto& c : kCases) {
    const std::optional<Tier> tier = select_tier(c.word);
    ASSERT_TRUE(tier.has_value()) << std::hex << c.word;
    EXPECT_EQ(tier_name(*tier), c.tier) << std::hex << c.word;
  }
}

TEST(TierSelection, EveryTierIsReachedByItsOwnWord) {
  for (Tier tier : all_tiers()) EXPECT_EQ(select_tier(tier_flags(tier)), tier);
}

// The eleven group rules in words, from the tier's name alone.
Variant group_by_rules(const std::string& tier, int group) {
  std::vector<std::string> parts;
  std::stringstream in(tier);
  for (std::string part; std::getline(in, part, '+');) parts.push_back(part);
  auto has = [&](const char* p) { return std::find(parts.begin(), parts.end(), p) != parts.end(); };
  const bool cmov = has("CMOV"), mmx = has("MMX") || has("3DNow!") || tier == "SSE",
             now = has("3DNow!"), ext = has("ext3DNow!"), mmxext = has("MMXext"),
             sse = tier == "SSE";
  switch (group) {
    case 1:
      return mmx ? Variant::kMmx : Variant::kX87;
    case 2:
      return Variant::kX87;
    case 3:
      return Variant::kNoOp;
    case 4:
      return now ? Variant::k3DNow : sse ? Variant::kSse : Variant::kX87;
    case 5:
      return cmov || sse ? Variant::kCmov : Variant::kX87;
    case 6:
      return ext ? Variant::kExt3DNow : now ? Variant::k3DNow : sse ? Variant::kSse : Variant::kX87;
    case 7:
      return ext && mmxext ? Variant::kExt3DNowMmxext
             : now         ? Variant::k3DNow
             : sse         ? Variant::kSse
             : cmov        ? Variant::kCmov
                           : Variant::kX87;
    case 8:
      return now && mmxext ? Variant::k3DNowMmxext
             : now         ? Variant::k3DNow
             : sse         ? Variant::kSse
             : cmov        ? Variant::kCmov
                           : Variant::kX87;
    case 9:
      return mmxext || sse ? Variant::kMmxext : mmx ? Variant::kMmx : Variant::kX87;
    case 10:
      return cmov || sse ? Variant::kCmov : now ? Variant::k3DNow : Variant::kX87;
    case 11:
      if (tier == "3DNow!+MMXext+ext3DNow!") return Variant::kX87;
      return now ? Variant::k3DNow : sse ? Variant::kSse : Variant::kX87;
  }
  return Variant::kCount;
}

TEST(TierBinding, GroupVariantsFollowTheRules) {
  for (Tier tier : all_tiers()) {
    for (int group = 1; group <= kGroupCount; ++group) {
      EXPECT_EQ(group_variant(tier, group), group_by_rules(std::string(tier_name(tier)), group))
          << tier_name(tier) << " group " << group;
    }
  }
}

TEST(TierBinding, EverySlotHoldsItsTiersImplementation) {
  for (Tier tier : all_tiers()) {
    for (MxCpuFlags cyrix : {0u, MxCpuCyrixEMMX}) {
      const MxCpuFlags word = tier_flags(tier) | cyrix;
      ASSERT_EQ(MxInitLibForCPU(word), 1);
      for (const SlotInfo& slot : kSlots) {
        const Variant want = slot_variant(slot.id, tier, word);
        EXPECT_EQ(load_slot(slot.id), find_impl(slot.id, want))
            << tier_name(tier) << " " << slot.name << " " << variant_name(want);
      }
    }
  }
}

// A family binds all of its variants at once: a slot with any implementation
// must be bound in every tier.
TEST(TierBinding, BuiltSlotsAreBoundInEveryTier) {
  for (const SlotInfo& slot : kSlots) {
    bool built = false;
    for (int v = 0; v < kVariantCount; ++v)
      built |= find_impl(slot.id, static_cast<Variant>(v)) != nullptr;
    if (!built) continue;
    for (Tier tier : all_tiers()) {
      EXPECT_NE(find_impl(slot.id, group_variant(tier, slot.group)), nullptr)
          << slot.name << " in " << tier_name(tier);
    }
  }
}

TEST(TierBinding, CyrixRuleIsReappliedOnEveryCall) {
  ASSERT_EQ(MxInitLibForCPU(0x102), 1);
  EXPECT_EQ(load_slot(SlotId::MxAlphaBlt32), find_impl(SlotId::MxAlphaBlt32, Variant::kCyrixEmmx));
  ASSERT_EQ(MxInitLibForCPU(0x2), 1);
  EXPECT_EQ(load_slot(SlotId::MxAlphaBlt32), find_impl(SlotId::MxAlphaBlt32, Variant::kX87));
}

TEST(TierBinding, WordWithoutFpuChangesNothing) {
  ASSERT_EQ(MxInitLibForCPU(tier_flags(Tier::kSse)), 1);
  GenericFn before[kSlotCount];
  for (int i = 0; i < kSlotCount; ++i) before[i] = load_slot(static_cast<SlotId>(i));
  for (MxCpuFlags word : {0x0u, 0x80000000u, 0x24Du, 0xFFFFFFFDu}) {
    EXPECT_EQ(MxInitLibForCPU(word), 0) << std::hex << word;
    for (int i = 0; i < kSlotCount; ++i) {
      EXPECT_EQ(load_slot(static_cast<SlotId>(i)), before[i]) << kSlots[i].name;
    }
  }
}

}  // namespace
}  // namespace tarn
