// Several threads at once: every operation but identification, tier switching
// and the cycle timer gives exactly its single-threaded results, and switching
// tiers while other threads call through the slots gives each call the old
// tier's result or the new tier's. Run under ThreadSanitizer by the hardening
// script, with more rounds (TARN_CONCURRENCY_ROUNDS).
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <thread>
#include <vector>

#include "selftest/exercise.h"
#include "selftest/fp_state.h"
#include "test_support.h"

namespace tarn {
namespace {

using namespace selftest;

constexpr int kThreads = 4;
constexpr int kCases = 48;
constexpr int kMinSwitches = 50;

int rounds() {
  const char* v = std::getenv("TARN_CONCURRENCY_ROUNDS");
  const int n = v ? std::atoi(v) : 0;
  return n > 0 ? n : 2;
}

// An operation as a host reaches it now: a slot read at the time of the call,
// or an exported function.
struct Target {
  const Operation* op;
  GenericFn current() const { return op->is_slot ? load_slot(op->slot) : op->self; }
};

std::vector<Target> bound_targets() {
  std::vector<Target> targets;
  for (const Operation& op : slot_operations()) {
    if (load_slot(op.slot) != nullptr) targets.push_back({&op});
  }
  for (const Operation& op : function_operations()) targets.push_back({&op});
  return targets;
}

std::uint64_t case_digest(const Target& t, int i) {
  Digest digest;
  t.op->driver(t.current(), static_cast<std::uint64_t>(i), digest);
  return digest.result();
}

// Per target, per case: the digest in the tier currently selected.
std::vector<std::vector<std::uint64_t>> digests(const std::vector<Target>& targets) {
  std::vector<std::vector<std::uint64_t>> d(targets.size());
  for (std::size_t t = 0; t < targets.size(); ++t) {
    for (int i = 0; i < kCases; ++i) d[t].push_back(case_digest(targets[t], i));
  }
  return d;
}

// Every thread computes in the environment the library's start-up leaves.
void enter_reference_environment() {
  set_reference_environment();
}

class Concurrency : public ::testing::TestWithParam<Tier> {
 protected:
  void SetUp() override {
    test::use_tier(GetParam());
    enter_reference_environment();
  }
  FpStateGuard guard_;
};

TEST_P(Concurrency, ThreadsOnTheirOwnRecordsMatchOneThread) {
  const std::vector<Target> targets = bound_targets();
  const auto expected = digests(targets);
  std::atomic<int> mismatches{0};
  std::atomic<bool> stop{false};
  std::vector<std::thread> threads;
  for (int k = 0; k < kThreads; ++k) {
    threads.emplace_back([&, k] {
      enter_reference_environment();
      for (int round = 0; round < rounds(); ++round) {
        // Each thread walks the operations from a different place, so that
        // different operations overlap as well as the same one.
        for (std::size_t n = 0; n < targets.size(); ++n) {
          const std::size_t t = (n + k * targets.size() / kThreads) % targets.size();
          for (int i = 0; i < kCases; ++i) {
            if (case_digest(targets[t], i) != expected[t][i]) ++mismatches;
          }
        }
      }
    });
  }
  // Rebuilding the tables is harmless once they exist: it only sets this
  // thread's x87 precision.
  std::thread tables([&] {
    for (int i = 0; i < 1000 && !stop.load(); ++i) {
      MxInitTables();
      std::this_thread::yield();
    }
  });
  for (std::thread& t : threads) t.join();
  stop = true;
  tables.join();
  EXPECT_EQ(mismatches.load(), 0);
}

INSTANTIATE_TEST_SUITE_P(SeveralTiers, Concurrency,
                         ::testing::Values(Tier::kX87, Tier::kCmovMmxMmxext, Tier::kSse,
                                           Tier::k3DNowMmxextExt3DNow,
                                           Tier::kCmov3DNowMmxextExt3DNow),
                         test::ParamName{});

// One thread switches back and forth between two tiers while the others call
// through the slots; every result must be one of the two tiers' results.
TEST(ConcurrencyTierSwitch, CallsSeeTheOldTierOrTheNewOne) {
  FpStateGuard guard;
  enter_reference_environment();
  MxInitTables();
  enter_reference_environment();
  constexpr std::pair<Tier, Tier> kPairs[] = {{Tier::kX87, Tier::kSse},
                                              {Tier::kCmovMmx, Tier::kCmov3DNowMmxextExt3DNow}};
  for (const auto& [a, b] : kPairs) {
    MxInitLibForCPU(tier_flags(b));
    const std::vector<Target> targets = bound_targets();
    const auto in_b = digests(targets);
    MxInitLibForCPU(tier_flags(a));
    const auto in_a = digests(targets);

    std::atomic<int> mismatches{0};
    std::atomic<int> running{kThreads};
    std::atomic<int> switches{0};
    std::vector<std::thread> threads;
    for (int k = 0; k < kThreads; ++k) {
      threads.emplace_back([&, k] {
        enter_reference_environment();
        // Go on until the switcher has been busy for a while, however fast
        // the rounds are.
        for (int round = 0; round < rounds() || switches.load() < kMinSwitches; ++round) {
          for (std::size_t n = 0; n < targets.size(); ++n) {
            const std::size_t t = (n + k * targets.size() / kThreads) % targets.size();
            for (int i = 0; i < kCases; ++i) {
              const std::uint64_t d = case_digest(targets[t], i);
              if (d != in_a[t][i] && d != in_b[t][i]) ++mismatches;
            }
          }
        }
        --running;
      });
    }
    while (running.load() > 0) {
      MxInitLibForCPU(tier_flags(switches++ % 2 ? a : b));
      std::this_thread::yield();
    }
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(mismatches.load(), 0) << test::tier_test_name(a) << " / " << test::tier_test_name(b);
    EXPECT_GE(switches.load(), kMinSwitches);
  }
}

}  // namespace
}  // namespace tarn
