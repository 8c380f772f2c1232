#include "dispatch/registry.h"
#include "pixel/pixel.h"

namespace tarn {

void pixel_prepare(const MachineKernels& machine) {
  pixel::choose_run_bounds(machine.caches, machine.long_string_copies);
}

std::span<const SlotImpl> pixel_impls() {
  using namespace pixel;
  static constexpr SlotImpl kImpls[] = {
      TARN_IMPL(MxZeroDwordAlignedMem, kX87, x87::ZeroDwordAlignedMem),
      TARN_IMPL(MxZeroDwordAlignedMem, kMmx, mmx::ZeroDwordAlignedMem, nullptr,
                TARN_WIDE(mmx_avx2::ZeroDwordAlignedMem),
                TARN_WIDE(mmx_avx512::ZeroDwordAlignedMem)),
      // A clear never streams, so MMXext clears as MMX does.
      TARN_IMPL(MxZeroDwordAlignedMem, kMmxext, mmx::ZeroDwordAlignedMem, nullptr,
                TARN_WIDE(mmx_avx2::ZeroDwordAlignedMem),
                TARN_WIDE(mmx_avx512::ZeroDwordAlignedMem)),
      TARN_IMPL(MxSetDwordAlignedMem, kX87, x87::SetDwordAlignedMem),
      TARN_IMPL(MxSetDwordAlignedMem, kMmx, mmx::SetDwordAlignedMem, nullptr,
                TARN_WIDE(mmx_avx2::SetDwordAlignedMem), TARN_WIDE(mmx_avx512::SetDwordAlignedMem)),
      TARN_IMPL(MxSetDwordAlignedMem, kMmxext, mmxext::SetDwordAlignedMem, nullptr,
                TARN_WIDE(mmxext_avx2::SetDwordAlignedMem),
                TARN_WIDE(mmxext_avx512::SetDwordAlignedMem)),
      TARN_IMPL(MxCopyDwordAlignedMem, kX87, x87::CopyDwordAlignedMem),
      TARN_IMPL(MxCopyDwordAlignedMem, kMmx, mmx::CopyDwordAlignedMem, nullptr,
                TARN_WIDE(mmx_avx2::CopyDwordAlignedMem),
                TARN_WIDE(mmx_avx512::CopyDwordAlignedMem)),
      TARN_IMPL(MxCopyDwordAlignedMem, kMmxext, mmxext::CopyDwordAlignedMem, nullptr,
                TARN_WIDE(mmxext_avx2::CopyDwordAlignedMem),
                TARN_WIDE(mmxext_avx512::CopyDwordAlignedMem)),
      TARN_IMPL(MxAlphaBlt32, kX87, alpha_blt<Blend::kX87, Kernel::kBaseline>),
      TARN_IMPL(MxAlphaBlt32, kMmx, alpha_blt<Blend::kMmx, Kernel::kBaseline>,
                TARN_SSE2((alpha_blt<Blend::kMmx, Kernel::kSse2>)),
                TARN_WIDE((alpha_blt<Blend::kMmx, Kernel::kAvx2>)),
                TARN_WIDE((alpha_blt<Blend::kMmx, Kernel::kAvx512>))),
      TARN_IMPL(MxAlphaBlt32, kMmxext, alpha_blt<Blend::kMmxext, Kernel::kBaseline>,
                TARN_SSE2((alpha_blt<Blend::kMmxext, Kernel::kSse2>)),
                TARN_WIDE((alpha_blt<Blend::kMmxext, Kernel::kAvx2>)),
                TARN_WIDE((alpha_blt<Blend::kMmxext, Kernel::kAvx512>))),
      TARN_IMPL(MxAlphaBlt32, kCyrixEmmx, alpha_blt<Blend::kCyrix, Kernel::kBaseline>,
                TARN_SSE2((alpha_blt<Blend::kCyrix, Kernel::kSse2>)),
                TARN_WIDE((alpha_blt<Blend::kCyrix, Kernel::kAvx2>)),
                TARN_WIDE((alpha_blt<Blend::kCyrix, Kernel::kAvx512>))),
  };
  return kImpls;
}

}  // namespace tarn
