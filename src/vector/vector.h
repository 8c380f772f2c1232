// Vectors: arithmetic on the Mx3DVec record (arithmetic.cpp) and
// transformation, normalisation and rotation (motion.cpp), one namespace per
// variant.
//
// Every form computes x, y and z only, rounds each operation once to single
// precision in the same order and grouping, writes r.x, r.y and r.z and never
// the fourth float, and reads all of its inputs before it stores anything, so
// r may be the same record as an input. The packed forms read the fourth
// float of their input records (all 16 bytes must be readable) and discard it.
//
// 3DNow! and extended 3DNow! are reproduced with ordinary single-precision
// arithmetic on emulated register pairs (packed.h); their reciprocal-square-
// root estimates come from isa/estimates.h.
//
// The x87 and CMOV forms use the compiler's single-precision arithmetic (SSE
// on x86-64), so below the normal range they follow the thread's flush-to-
// zero setting as the SSE forms do; no form promises agreement there.
#pragma once

#include <cstdint>

#include "TarnLib2DLL.h"

namespace tarn::vector {

// Plain single-precision arithmetic.
namespace x87 {
float MagnitudeSquared(const Mx3DVec* v);
float AccMagnitude(const Mx3DVec* v);
float RghFastMagnitude(const Mx3DVec* v);
float DotProd(const Mx3DVec* a, const Mx3DVec* b);
void CrossProd(Mx3DVec* r, const Mx3DVec* a, const Mx3DVec* b);
void Add(Mx3DVec* r, const Mx3DVec* a, const Mx3DVec* b);
void Sub(Mx3DVec* r, const Mx3DVec* a, const Mx3DVec* b);
std::int32_t CmpMagnitude(const Mx3DVec* a, const Mx3DVec* b);
void Scale(Mx3DVec* r, const Mx3DVec* v, float f);
std::int32_t Cmp(const Mx3DVec* a, const Mx3DVec* b);
void Transform(Mx3DVec* r, const Mx3DVec* v, const MxMat4x4* m);
void Normalize(Mx3DVec* r, const Mx3DVec* v);
void Rotate(Mx3DVec* r, const Mx3DVec* v, const float* angles);
}  // namespace x87

// As x87, with branch-free selection of the comparison result.
namespace cmov {
std::int32_t CmpMagnitude(const Mx3DVec* a, const Mx3DVec* b);
std::int32_t Cmp(const Mx3DVec* a, const Mx3DVec* b);
void Normalize(Mx3DVec* r, const Mx3DVec* v);
}  // namespace cmov

// x and y as one packed pair, z with its neighbour.
namespace threednow {
float MagnitudeSquared(const Mx3DVec* v);
float AccMagnitude(const Mx3DVec* v);
float RghFastMagnitude(const Mx3DVec* v);
float DotProd(const Mx3DVec* a, const Mx3DVec* b);
void CrossProd(Mx3DVec* r, const Mx3DVec* a, const Mx3DVec* b);
void Add(Mx3DVec* r, const Mx3DVec* a, const Mx3DVec* b);
void Sub(Mx3DVec* r, const Mx3DVec* a, const Mx3DVec* b);
std::int32_t CmpMagnitude(const Mx3DVec* a, const Mx3DVec* b);
void Scale(Mx3DVec* r, const Mx3DVec* v, float f);
std::int32_t Cmp(const Mx3DVec* a, const Mx3DVec* b);
void Transform(Mx3DVec* r, const Mx3DVec* v, const MxMat4x4* m);
void Normalize(Mx3DVec* r, const Mx3DVec* v);
void Rotate(Mx3DVec* r, const Mx3DVec* v, const float* angles);
}  // namespace threednow

// 3DNow! reading its equality mask as a byte mask.
namespace threednow_mmxext {
std::int32_t Cmp(const Mx3DVec* a, const Mx3DVec* b);
}  // namespace threednow_mmxext

// 3DNow! with the swapped-pair and negative-accumulate instructions.
namespace ext3dnow {
void CrossProd(Mx3DVec* r, const Mx3DVec* a, const Mx3DVec* b);
void Rotate(Mx3DVec* r, const Mx3DVec* v, const float* angles);
}  // namespace ext3dnow

// 3DNow! with the pair swap and the byte mask.
namespace ext3dnow_mmxext {
std::int32_t CmpMagnitude(const Mx3DVec* a, const Mx3DVec* b);
void Normalize(Mx3DVec* r, const Mx3DVec* v);
}  // namespace ext3dnow_mmxext

// A whole record in one register, the fourth lane discarded. Arithmetic
// follows the thread's SSE flush-to-zero setting.
namespace sse {
float MagnitudeSquared(const Mx3DVec* v);
float AccMagnitude(const Mx3DVec* v);
float RghFastMagnitude(const Mx3DVec* v);
float DotProd(const Mx3DVec* a, const Mx3DVec* b);
void CrossProd(Mx3DVec* r, const Mx3DVec* a, const Mx3DVec* b);
void Add(Mx3DVec* r, const Mx3DVec* a, const Mx3DVec* b);
void Sub(Mx3DVec* r, const Mx3DVec* a, const Mx3DVec* b);
std::int32_t CmpMagnitude(const Mx3DVec* a, const Mx3DVec* b);
void Scale(Mx3DVec* r, const Mx3DVec* v, float f);
std::int32_t Cmp(const Mx3DVec* a, const Mx3DVec* b);
void Transform(Mx3DVec* r, const Mx3DVec* v, const MxMat4x4* m);
void Normalize(Mx3DVec* r, const Mx3DVec* v);
void Rotate(Mx3DVec* r, const Mx3DVec* v, const float* angles);
}  // namespace sse

}  // namespace tarn::vector
