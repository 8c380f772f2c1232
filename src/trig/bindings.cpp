#include "dispatch/registry.h"
#include "trig/trig.h"

namespace tarn {

std::span<const SlotImpl> trig_impls() {
  using namespace trig;
  static constexpr SlotImpl kImpls[] = {
      TARN_IMPL(MxTSin, kX87, x87::TSin),
      TARN_IMPL(MxTSin, kCmov, cmov::TSin),
      TARN_IMPL(MxTCos, kX87, x87::TCos),
      TARN_IMPL(MxTCos, kCmov, cmov::TCos),
      TARN_IMPL(MxTSinCos, kX87, x87::TSinCos),
      TARN_IMPL(MxTSinCos, kCmov, cmov::TSinCos),
      TARN_IMPL(MxTSinOfDeg, kX87, x87::TSinOfDeg),
      TARN_IMPL(MxTSinOfDeg, kCmov, cmov::TSinOfDeg),
      TARN_IMPL(MxTCosOfDeg, kX87, x87::TCosOfDeg),
      TARN_IMPL(MxTCosOfDeg, kCmov, cmov::TCosOfDeg),
      TARN_IMPL(MxTSinCosOfDeg, kX87, x87::TSinCosOfDeg),
      TARN_IMPL(MxTSinCosOfDeg, kCmov, cmov::TSinCosOfDeg),
  };
  return kImpls;
}

}  // namespace tarn
