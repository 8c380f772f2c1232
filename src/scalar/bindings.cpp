#include "dispatch/registry.h"
#include "isa/fp_scope.h"
#include "scalar/scalar.h"

namespace tarn {

std::span<const SlotImpl> scalar_impls() {
  using namespace scalar;
  static constexpr SlotImpl kImpls[] = {
      TARN_IMPL(MxIMin, kX87, x87::IMin),
      TARN_IMPL(MxIMin, kCmov, cmov::IMin),
      TARN_IMPL(MxIMax, kX87, x87::IMax),
      TARN_IMPL(MxIMax, kCmov, cmov::IMax),

      TARN_IMPL(MxFMin, kX87, x87::FMin),
      TARN_IMPL(MxFMin, kCmov, cmov::FMin),
      TARN_IMPL(MxFMin, k3DNow, fpu::untrapped<threednow::FMin>),
      TARN_IMPL(MxFMax, kX87, x87::FMax),
      TARN_IMPL(MxFMax, kCmov, cmov::FMax),
      TARN_IMPL(MxFMax, k3DNow, fpu::untrapped<threednow::FMax>),

      TARN_IMPL(MxF2I, kX87, x87::F2I),
      TARN_IMPL(MxF2I, k3DNow, fpu::untrapped<threednow::F2I>),
      TARN_IMPL(MxF2I, kSse, sse::F2I),
      TARN_IMPL(MxI2F, kX87, x87::I2F),
      TARN_IMPL(MxI2F, k3DNow, fpu::untrapped<threednow::I2F>),
      TARN_IMPL(MxI2F, kSse, sse::I2F),

      TARN_IMPL(MxFAccDiv, kX87, x87::FAccDiv),
      TARN_IMPL(MxFAccDiv, k3DNow, fpu::untrapped<threednow::FAccDiv>),
      TARN_IMPL(MxFAccDiv, kSse, sse::FAccDiv),
      TARN_IMPL(MxFRghFastDiv, kX87, x87::FRghFastDiv),
      TARN_IMPL(MxFRghFastDiv, k3DNow, fpu::untrapped<threednow::FRghFastDiv>),
      TARN_IMPL(MxFRghFastDiv, kSse, sse::FRghFastDiv),
      TARN_IMPL(MxFAccRecip, kX87, x87::FAccRecip),
      TARN_IMPL(MxFAccRecip, k3DNow, fpu::untrapped<threednow::FAccRecip>),
      TARN_IMPL(MxFAccRecip, kSse, sse::FAccRecip),
      TARN_IMPL(MxFRghFastRecip, kX87, x87::FRghFastRecip),
      TARN_IMPL(MxFRghFastRecip, k3DNow, fpu::untrapped<threednow::FRghFastRecip>),
      TARN_IMPL(MxFRghFastRecip, kSse, sse::FRghFastRecip),

      TARN_IMPL(MxAccSqrt, kX87, x87::AccSqrt),
      TARN_IMPL(MxAccSqrt, k3DNow, fpu::untrapped<threednow::AccSqrt>),
      TARN_IMPL(MxAccSqrt, kSse, sse::AccSqrt),
      TARN_IMPL(MxRghFastSqrt, kX87, x87::RghFastSqrt),
      TARN_IMPL(MxRghFastSqrt, k3DNow, fpu::untrapped<threednow::RghFastSqrt>),
      TARN_IMPL(MxRghFastSqrt, kSse, sse::RghFastSqrt),
  };
  return kImpls;
}

}  // namespace tarn
