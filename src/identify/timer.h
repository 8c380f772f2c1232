// The cycle timer: a one-shot stopwatch in time-stamp counter ticks.
#pragma once

#include <atomic>
#include <cstdint>

namespace tarn::timer {

// Written instead of a count when the counter may not be used.
inline constexpr std::uint64_t kSentinel = 0x8FFFFFFFFFFFFFFFull;

class CycleTimer {
 public:
  using CounterFn = std::uint64_t (*)();

  constexpr explicit CycleTimer(CounterFn read_counter) : read_counter_(read_counter) {}

  // Counts only when the leaf-1 feature word reports both the time-stamp
  // counter and CMPXCHG8B; a later start replaces a pending one.
  void start(std::uint32_t leaf1_features);
  // Ticks since the start (modulo 2^64), or the sentinel without a usable
  // counter or without a pending start. The timer is idle afterwards.
  void end(std::uint64_t* ticks);

 private:
  enum Mode : std::uint8_t { kIdle, kCounting, kNoCounter };

  // The start count in two halves: 64-bit atomics would need CMPXCHG8B (or a
  // helper library) on the 486s the 32-bit build still serves.
  void set_start(std::uint64_t count);
  std::uint64_t start_count() const;

  CounterFn read_counter_;
  std::atomic<std::uint32_t> start_low_{0};
  std::atomic<std::uint32_t> start_high_{0};
  std::atomic<std::uint8_t> mode_{kIdle};
};

}  // namespace tarn::timer
