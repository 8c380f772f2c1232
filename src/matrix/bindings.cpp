#include "dispatch/registry.h"
#include "isa/fp_scope.h"
#include "matrix/matrix.h"

namespace tarn {

std::span<const SlotImpl> matrix_impls() {
  using namespace matrix;
  static constexpr SlotImpl kImpls[] = {
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
      TARN_IMPL(MxInvOrthMat4x4, kX87, x87::InvOrthMat4x4),
      TARN_IMPL(MxInvMat4x4, kNoOp, noop::InvMat4x4),
      TARN_IMPL(MxMatMult4x4_4x4, kX87, x87::MatMult4x4_4x4),
      TARN_IMPL(MxMatMult4x4_4x4, k3DNow, fpu::untrapped<threednow::MatMult4x4_4x4>),
      TARN_IMPL(MxMatMult4x4_4x4, kSse, sse::MatMult4x4_4x4),
      TARN_IMPL(MxSparseMatMult4x4_4x4, kX87, x87::SparseMatMult4x4_4x4),
      TARN_IMPL(MxSparseMatMult4x4_4x4, k3DNow, fpu::untrapped<threednow::SparseMatMult4x4_4x4>),
      TARN_IMPL(MxSparseMatMult4x4_4x4, kSse, sse::SparseMatMult4x4_4x4),
      TARN_IMPL(MxConcatRotMatXYZ, kX87, x87::ConcatRotMatXYZ),
      TARN_IMPL(MxConcatRotMatXYZ, kCmov, cmov::ConcatRotMatXYZ),
      TARN_IMPL(MxConcatRotMatXZY, kX87, x87::ConcatRotMatXZY),
      TARN_IMPL(MxConcatRotMatXZY, kCmov, cmov::ConcatRotMatXZY),
      TARN_IMPL(MxConcatRotMatYXZ, kX87, x87::ConcatRotMatYXZ),
      TARN_IMPL(MxConcatRotMatYXZ, kCmov, cmov::ConcatRotMatYXZ),
      TARN_IMPL(MxConcatRotMatYZX, kX87, x87::ConcatRotMatYZX),
      TARN_IMPL(MxConcatRotMatYZX, kCmov, cmov::ConcatRotMatYZX),
      TARN_IMPL(MxConcatRotMatZXY, kX87, x87::ConcatRotMatZXY),
      TARN_IMPL(MxConcatRotMatZXY, kCmov, cmov::ConcatRotMatZXY),
      TARN_IMPL(MxConcatRotMatZYX, kX87, x87::ConcatRotMatZYX),
      TARN_IMPL(MxConcatRotMatZYX, kCmov, cmov::ConcatRotMatZYX),
  };
  return kImpls;
}

}  // namespace tarn
