// Threads that race to be the first caller of MxInitTables, in a process of
// their own (the suite's binary has built the table long before): each must
// return only once the whole table is there. ThreadSanitizer (the tsan
// preset) checks the hand-over too.
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

#include "TarnLib2DLL.h"
#include "trig/trig.h"

namespace {

std::uint64_t table_digest() {
  std::uint64_t digest = 1469598103934665603u;  // FNV-1a over the table's bits
  for (int k = 0; k < tarn::trig::kTableSize; ++k) {
    std::uint32_t bits;
    std::memcpy(&bits, &tarn::trig::g_sine_table[k], sizeof bits);
    digest = (digest ^ bits) * 1099511628211u;
  }
  return digest;
}

}  // namespace

int main() {
  constexpr int kThreads = 8;
  std::atomic<int> waiting{kThreads};
  std::vector<std::uint64_t> seen(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      waiting.fetch_sub(1);
      while (waiting.load() > 0) std::this_thread::yield();
      if (MxInitTables() != 1) seen[t] = 0;
      else seen[t] = table_digest();
    });
  }
  for (std::thread& t : threads) t.join();

  const std::uint64_t built = table_digest();
  int failures = 0;
  for (int t = 0; t < kThreads; ++t) {
    if (seen[t] != built) {
      std::printf("thread %d saw an unfinished table\n", t);
      ++failures;
    }
  }
  if (tarn::trig::g_sine_table[tarn::trig::kQuarterSteps] != 1.0f) {
    std::printf("the table is not built\n");
    ++failures;
  }
  if (failures == 0) std::printf("%d threads, one table\n", kThreads);
  return failures == 0 ? 0 : 1;
}
