// MxStartTickCount / MxEndTickCount: one timer for the whole library.
#include "identify/timer.h"

#include "TarnLib2DLL.h"
#include "identify/host_processor.h"
#include "identify/identify.h"

namespace tarn::timer {

void CycleTimer::set_start(std::uint64_t count) {
  start_low_.store(static_cast<std::uint32_t>(count), std::memory_order_relaxed);
  start_high_.store(static_cast<std::uint32_t>(count >> 32), std::memory_order_relaxed);
}

std::uint64_t CycleTimer::start_count() const {
  return std::uint64_t{start_high_.load(std::memory_order_relaxed)} << 32 |
         start_low_.load(std::memory_order_relaxed);
}

void CycleTimer::start(std::uint32_t leaf1_features) {
  if (identify::has_usable_counter(leaf1_features)) {
    set_start(read_counter_());
    mode_.store(kCounting, std::memory_order_release);
  } else {
    set_start(0);
    mode_.store(kNoCounter, std::memory_order_release);
  }
}

void CycleTimer::end(std::uint64_t* ticks) {
  // The mode was settled at the start: the counter is read first thing.
  std::uint64_t result = kSentinel;
  if (mode_.load(std::memory_order_acquire) == kCounting) {
    const std::uint64_t now = read_counter_();
    result = now - start_count();
  }
  mode_.store(kIdle, std::memory_order_relaxed);
  if (ticks != nullptr) *ticks = result;
}

namespace {
constinit CycleTimer g_timer{identify::read_time_stamp};
}  // namespace

}  // namespace tarn::timer

extern "C" {

MX_API void MX_CALL MxStartTickCount(void) {
  tarn::timer::g_timer.start(tarn::identify::leaf1_features());
}

MX_API void MX_CALL MxEndTickCount(uint64_t* ticks) {
  tarn::timer::g_timer.end(ticks);
}

}  // extern "C"
