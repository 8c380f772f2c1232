// Matrices: the builders, the single-axis rotations (exported functions in
// rotations.cpp), and the variants of every matrix slot.
#pragma once

#include "TarnLib2DLL.h"

namespace tarn::matrix {

// x87 form: 32-bit integer stores, no floating-point instruction.
namespace x87 {
void ZeroMat(MxMat4x4* m);
void IdMat(MxMat4x4* m);
void TranslateMat(MxMat4x4* m, float x, float y, float z);
void TranslateMatFromVec(MxMat4x4* m, const Mx3DVec* v);
void ScaleMat(MxMat4x4* m, float sx, float sy, float sz);
}  // namespace x87

// MMX form: eight 64-bit stores of element pairs.
namespace mmx {
void ZeroMat(MxMat4x4* m);
void IdMat(MxMat4x4* m);
void TranslateMat(MxMat4x4* m, float x, float y, float z);
void TranslateMatFromVec(MxMat4x4* m, const Mx3DVec* v);
void ScaleMat(MxMat4x4* m, float sx, float sy, float sz);
}  // namespace mmx

}  // namespace tarn::matrix
