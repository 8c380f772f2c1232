// The cycle timer: its modes and sentinel on a simulated counter, then the
// exported pair on the real counter.
#include "identify/timer.h"

#include <gtest/gtest.h>

#include "identify/identify.h"
#include "identify_support.h"

namespace tarn::timer {
namespace {

std::uint64_t g_counter = 0;
std::uint64_t simulated_counter() {
  return g_counter;
}

constexpr std::uint32_t kCounter = identify::kLeaf1Tsc | identify::kLeaf1Cx8;

TEST(CycleTimer, SentinelWithoutAUsableCounter) {
  for (std::uint32_t features :
       {0u, identify::kLeaf1Tsc, identify::kLeaf1Cx8, ~(identify::kLeaf1Tsc)}) {
    CycleTimer timer(simulated_counter);
    std::uint64_t ticks = 0;
    timer.start(features);
    g_counter += 500;
    timer.end(&ticks);
    EXPECT_EQ(ticks, kSentinel) << std::hex << features;
  }
}

TEST(CycleTimer, CountsModuloTwoToThe64) {
  const struct {
    std::uint64_t start, end, ticks;
  } kCases[] = {
      {1000, 1234, 234},
      {0, 0, 0},
      {0xFFFFFFFFFFFFFFF0ull, 0x10, 0x20},
      {0x00000000FFFFFFFFull, 0x0000000100000001ull, 2},  // carry into the high half
  };
  for (const auto& c : kCases) {
    CycleTimer timer(simulated_counter);
    g_counter = c.start;
    timer.start(kCounter);
    g_counter = c.end;
    std::uint64_t ticks = 0;
    timer.end(&ticks);
    EXPECT_EQ(ticks, c.ticks) << std::hex << c.start;
  }
}

TEST(CycleTimer, LaterStartWinsAndEndLeavesItIdle) {
  CycleTimer timer(simulated_counter);
  std::uint64_t ticks = 0;
  g_counter = 100;
  timer.start(kCounter);
  g_counter = 250;
  timer.start(kCounter);
  g_counter = 300;
  timer.end(&ticks);
  EXPECT_EQ(ticks, 50u);

  // A second end has nothing to report; so has an end without any start.
  timer.end(&ticks);
  EXPECT_EQ(ticks, kSentinel);
  CycleTimer fresh(simulated_counter);
  ticks = 0;
  fresh.end(&ticks);
  EXPECT_EQ(ticks, kSentinel);
  fresh.end(nullptr);

  // A start without a counter, then one with: the later start decides.
  timer.start(0);
  g_counter = 400;
  timer.start(kCounter);
  g_counter = 401;
  timer.end(&ticks);
  EXPECT_EQ(ticks, 1u);
  // And the other way round.
  timer.start(kCounter);
  timer.start(0);
  timer.end(&ticks);
  EXPECT_EQ(ticks, kSentinel);
}

TEST(CycleTimer, ExportedPairOnThisMachine) {
  test::identified_machine();
  std::uint64_t ticks = 0;
  MxStartTickCount();
  MxEndTickCount(&ticks);
  if (!identify::has_usable_counter(identify::leaf1_features())) {
    EXPECT_EQ(ticks, kSentinel);
    return;
  }
  EXPECT_GT(ticks, 0u);
  EXPECT_LT(ticks, 10'000'000u);

  // Two starts, one end: measured from the second.
  MxStartTickCount();
  volatile std::uint32_t sink = 0;
  for (std::uint32_t i = 0; i < 1'000'000; ++i) sink = sink + i;
  MxStartTickCount();
  MxEndTickCount(&ticks);
  EXPECT_LT(ticks, 10'000'000u);

  MxEndTickCount(&ticks);  // idle
  EXPECT_EQ(ticks, kSentinel);
}

}  // namespace
}  // namespace tarn::timer
