#include <atomic>
#include <cmath>

#include "TarnLib2DLL.h"
#include "isa/fpu_control.h"
#include "isa/platform.h"
#include "trig/trig.h"

namespace tarn::trig {

alignas(64) float g_sine_table[kTableSize];

float sine_table_entry(int k) {
  // k/256 * P is exact in double (14 + 24 significant bits), and the double
  // sine rounded once to single precision gives every entry exactly (the
  // tests compare each against a wider reference).
  const double step = static_cast<double>(std::bit_cast<float>(kStepAngleBits));
  return static_cast<float>(std::sin(static_cast<double>(k) / 256.0 * step));
}

namespace {

void build_table() {
  // On 32-bit x86 the C library's sine runs on the x87 unit: give it full
  // precision and round-to-nearest whatever the caller's control word says
  // (MxIdentifyCPU leaves it at single precision).
  constexpr std::uint16_t kRoundingControlMask = 0x0C00;  // bits 10-11; 00 = nearest
  const std::uint16_t saved = fpu::read_x87_control();
  fpu::write_x87_control(
      static_cast<std::uint16_t>((saved & ~kRoundingControlMask) | fpu::kPrecisionControlMask));
  for (int k = 0; k < kQuarterSteps; ++k) g_sine_table[k] = sine_table_entry(k);
  g_sine_table[kQuarterSteps] = 1.0f;
  fpu::write_x87_control(saved);
}

// 0: not built, 1: one thread is building it, 2: ready. An explicit state
// rather than a local static, whose guard would need the C++ runtime.
constinit std::atomic<int> g_table_state{0};

void ensure_table() {
  if (g_table_state.load(std::memory_order_acquire) == 2) return;
  int expected = 0;
  if (g_table_state.compare_exchange_strong(expected, 1, std::memory_order_acquire)) {
    build_table();
    g_table_state.store(2, std::memory_order_release);
    return;
  }
  // Another thread is building it: a fraction of a millisecond.
  while (g_table_state.load(std::memory_order_acquire) != 2) {
#if defined(TARN_X86_GNU_ASM)
    __builtin_ia32_pause();
#endif
  }
}

}  // namespace
}  // namespace tarn::trig

// The table is built once, whichever thread asks first; every call then sets
// the calling thread's x87 precision to single, keeping its rounding control
// and exception masks.
extern "C" MX_API int32_t MX_CALL MxInitTables(void) {
  using namespace tarn;
  trig::ensure_table();

  const std::uint16_t saved = fpu::read_x87_control();
  fpu::reset_x87();
  fpu::write_x87_control(static_cast<std::uint16_t>(saved & ~fpu::kPrecisionControlMask));
  return 1;
}
