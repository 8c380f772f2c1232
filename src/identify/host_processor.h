// The processor this code runs on, as identification sees it.
#pragma once

#include "identify/identify.h"

namespace tarn::identify {

class HostProcessor final : public Processor {
 public:
  bool id_flag_toggles() override;
  CpuidRegs cpuid(std::uint32_t leaf) override;
  bool sse_probe_completes() override;
  bool cyrix_emmx_probe_completes() override;
  bool cyrix_cpuid_enable_completes() override;
  X87Kind probe_x87() override;
  std::uint32_t milliseconds() override;
  std::uint64_t serialised_time_stamp() override;
  void set_x87_single_precision() override;
  void enable_flush_to_zero() override;
};

// The time-stamp counter, read directly (no serialising instruction); 0 where
// the target has none.
std::uint64_t read_time_stamp();

}  // namespace tarn::identify
