#include "dispatch/registry.h"
#include "matrix/matrix.h"

namespace tarn {

std::span<const SlotImpl> matrix_impls() {
  using namespace matrix;
  static const SlotImpl kImpls[] = {
      TARN_IMPL(MxZeroMat, kX87, x87::ZeroMat),
      TARN_IMPL(MxZeroMat, kMmx, mmx::ZeroMat),
      TARN_IMPL(MxIdMat, kX87, x87::IdMat),
      TARN_IMPL(MxIdMat, kMmx, mmx::IdMat),
      TARN_IMPL(MxTranslateMat, kX87, x87::TranslateMat),
      TARN_IMPL(MxTranslateMat, kMmx, mmx::TranslateMat),
      TARN_IMPL(MxTranslateMatFromVec, kX87, x87::TranslateMatFromVec),
      TARN_IMPL(MxTranslateMatFromVec, kMmx, mmx::TranslateMatFromVec),
      TARN_IMPL(MxScaleMat, kX87, x87::ScaleMat),
      TARN_IMPL(MxScaleMat, kMmx, mmx::ScaleMat),
  };
  return kImpls;
}

}  // namespace tarn
