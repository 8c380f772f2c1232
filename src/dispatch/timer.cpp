// MxStartTickCount / MxEndTickCount: one timer for the whole library.
#include "dispatch/timer.h"

#include "TarnLib2DLL.h"
#include "dispatch/host_processor.h"
#include "dispatch/identify.h"

namespace tarn::timer {

void CycleTimer::start(std::uint32_t leaf1_features) {
  if (identify::has_usable_counter(leaf1_features)) {
    start_count_.store(read_counter_(), std::memory_order_relaxed);
    mode_.store(kCounting, std::memory_order_release);
  } else {
    start_count_.store(0, std::memory_order_relaxed);
    mode_.store(kNoCounter, std::memory_order_release);
  }
}

void CycleTimer::end(std::uint64_t* ticks) {
  // The mode was settled at the start: the counter is read first thing.
  std::uint64_t result = kSentinel;
  if (mode_.load(std::memory_order_acquire) == kCounting) {
    const std::uint64_t now = read_counter_();
    result = now - start_count_.load(std::memory_order_relaxed);
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
