#include "dispatch/registry.h"
#include "isa/fp_scope.h"
#include "vector/vector.h"

namespace tarn {

std::span<const SlotImpl> vector_impls() {
  using namespace vector;
  static constexpr SlotImpl kImpls[] = {
      // Group 4: x87, 3DNow!, SSE.
      TARN_IMPL(Mx3DVecMagnitudeSquared, kX87, x87::MagnitudeSquared),
      TARN_IMPL(Mx3DVecMagnitudeSquared, k3DNow, fpu::untrapped<threednow::MagnitudeSquared>),
      TARN_IMPL(Mx3DVecMagnitudeSquared, kSse, sse::MagnitudeSquared),
      TARN_IMPL(Mx3DVecAccMagnitude, kX87, x87::AccMagnitude),
      TARN_IMPL(Mx3DVecAccMagnitude, k3DNow, fpu::untrapped<threednow::AccMagnitude>),
      TARN_IMPL(Mx3DVecAccMagnitude, kSse, sse::AccMagnitude),
      TARN_IMPL(Mx3DVecRghFastMagnitude, kX87, x87::RghFastMagnitude),
      TARN_IMPL(Mx3DVecRghFastMagnitude, k3DNow, fpu::untrapped<threednow::RghFastMagnitude>),
      TARN_IMPL(Mx3DVecRghFastMagnitude, kSse, sse::RghFastMagnitude),
      TARN_IMPL(Mx3DVecDotProd, kX87, x87::DotProd),
      TARN_IMPL(Mx3DVecDotProd, k3DNow, fpu::untrapped<threednow::DotProd>),
      TARN_IMPL(Mx3DVecDotProd, kSse, sse::DotProd),
      TARN_IMPL(Mx3DVecAdd, kX87, x87::Add),
      TARN_IMPL(Mx3DVecAdd, k3DNow, fpu::untrapped<threednow::Add>),
      TARN_IMPL(Mx3DVecAdd, kSse, sse::Add),
      TARN_IMPL(Mx3DVecSub, kX87, x87::Sub),
      TARN_IMPL(Mx3DVecSub, k3DNow, fpu::untrapped<threednow::Sub>),
      TARN_IMPL(Mx3DVecSub, kSse, sse::Sub),
      TARN_IMPL(Mx3DVecScale, kX87, x87::Scale),
      TARN_IMPL(Mx3DVecScale, k3DNow, fpu::untrapped<threednow::Scale>),
      TARN_IMPL(Mx3DVecScale, kSse, sse::Scale),
      TARN_IMPL(Mx3DVecTransform, kX87, x87::Transform),
      TARN_IMPL(Mx3DVecTransform, k3DNow, fpu::untrapped<threednow::Transform>),
      TARN_IMPL(Mx3DVecTransform, kSse, sse::Transform),
      // Group 6: x87, 3DNow!, ext3DNow!, SSE.
      TARN_IMPL(Mx3DVecCrossProd, kX87, x87::CrossProd),
      TARN_IMPL(Mx3DVecCrossProd, k3DNow, fpu::untrapped<threednow::CrossProd>),
      TARN_IMPL(Mx3DVecCrossProd, kExt3DNow, fpu::untrapped<ext3dnow::CrossProd>),
      TARN_IMPL(Mx3DVecCrossProd, kSse, sse::CrossProd),
      TARN_IMPL(Mx3DVecRotate, kX87, x87::Rotate),
      TARN_IMPL(Mx3DVecRotate, k3DNow, fpu::untrapped<threednow::Rotate>),
      TARN_IMPL(Mx3DVecRotate, kExt3DNow, fpu::untrapped<ext3dnow::Rotate>),
      TARN_IMPL(Mx3DVecRotate, kSse, sse::Rotate),
      // Group 7: x87, CMOV, 3DNow!, ext3DNow!+MMXext, SSE.
      TARN_IMPL(Mx3DVecCmpMagnitude, kX87, x87::CmpMagnitude),
      TARN_IMPL(Mx3DVecCmpMagnitude, kCmov, cmov::CmpMagnitude),
      TARN_IMPL(Mx3DVecCmpMagnitude, k3DNow, fpu::untrapped<threednow::CmpMagnitude>),
      TARN_IMPL(Mx3DVecCmpMagnitude, kExt3DNowMmxext,
                fpu::untrapped<ext3dnow_mmxext::CmpMagnitude>),
      TARN_IMPL(Mx3DVecCmpMagnitude, kSse, sse::CmpMagnitude),
      TARN_IMPL(Mx3DVecNormalize, kX87, x87::Normalize),
      TARN_IMPL(Mx3DVecNormalize, kCmov, cmov::Normalize),
      TARN_IMPL(Mx3DVecNormalize, k3DNow, fpu::untrapped<threednow::Normalize>),
      TARN_IMPL(Mx3DVecNormalize, kExt3DNowMmxext, fpu::untrapped<ext3dnow_mmxext::Normalize>),
      TARN_IMPL(Mx3DVecNormalize, kSse, sse::Normalize),
      // Group 8: x87, CMOV, 3DNow!, 3DNow!+MMXext, SSE.
      TARN_IMPL(Mx3DVecCmp, kX87, x87::Cmp),
      TARN_IMPL(Mx3DVecCmp, kCmov, cmov::Cmp),
      TARN_IMPL(Mx3DVecCmp, k3DNow, fpu::untrapped<threednow::Cmp>),
      TARN_IMPL(Mx3DVecCmp, k3DNowMmxext, fpu::untrapped<threednow_mmxext::Cmp>),
      TARN_IMPL(Mx3DVecCmp, kSse, sse::Cmp),
  };
  return kImpls;
}

}  // namespace tarn
