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
#include "dispatch/slots.h"

namespace tarn::vector {

// The operations of the full forms (x87, 3DNow!, SSE).
#define TARN_VECTOR_OPERATIONS(X)                                                          \
  X(MagnitudeSquared) X(AccMagnitude) X(RghFastMagnitude) X(DotProd) X(CrossProd) X(Add)   \
  X(Sub) X(CmpMagnitude) X(Scale) X(Cmp) X(Transform) X(Normalize) X(Rotate)

// Plain single-precision arithmetic.
namespace x87 {
TARN_VECTOR_OPERATIONS(TARN_VECTOR_SLOT_IMPL)
}  // namespace x87

// As x87, with branch-free selection of the comparison result.
namespace cmov {
TARN_VECTOR_SLOT_IMPL(CmpMagnitude)
TARN_VECTOR_SLOT_IMPL(Cmp)
TARN_VECTOR_SLOT_IMPL(Normalize)
}  // namespace cmov

// x and y as one packed pair, z with its neighbour.
namespace threednow {
TARN_VECTOR_OPERATIONS(TARN_VECTOR_SLOT_IMPL)
}  // namespace threednow

// 3DNow! reading its equality mask as a byte mask.
namespace threednow_mmxext {
TARN_VECTOR_SLOT_IMPL(Cmp)
}  // namespace threednow_mmxext

// 3DNow! with the swapped-pair and negative-accumulate instructions.
namespace ext3dnow {
TARN_VECTOR_SLOT_IMPL(CrossProd)
TARN_VECTOR_SLOT_IMPL(Rotate)
}  // namespace ext3dnow

// 3DNow! with the pair swap and the byte mask.
namespace ext3dnow_mmxext {
TARN_VECTOR_SLOT_IMPL(CmpMagnitude)
TARN_VECTOR_SLOT_IMPL(Normalize)
}  // namespace ext3dnow_mmxext

// A whole record in one register, the fourth lane discarded. Arithmetic
// follows the thread's SSE flush-to-zero setting.
namespace sse {
TARN_VECTOR_OPERATIONS(TARN_VECTOR_SLOT_IMPL)
}  // namespace sse

}  // namespace tarn::vector
