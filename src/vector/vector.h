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

// Plain single-precision arithmetic.
namespace x87 {
SlotFn<Mx3DVecMagnitudeSquaredFn> MagnitudeSquared;
SlotFn<Mx3DVecAccMagnitudeFn> AccMagnitude;
SlotFn<Mx3DVecRghFastMagnitudeFn> RghFastMagnitude;
SlotFn<Mx3DVecDotProdFn> DotProd;
SlotFn<Mx3DVecCrossProdFn> CrossProd;
SlotFn<Mx3DVecAddFn> Add;
SlotFn<Mx3DVecSubFn> Sub;
SlotFn<Mx3DVecCmpMagnitudeFn> CmpMagnitude;
SlotFn<Mx3DVecScaleFn> Scale;
SlotFn<Mx3DVecCmpFn> Cmp;
SlotFn<Mx3DVecTransformFn> Transform;
SlotFn<Mx3DVecNormalizeFn> Normalize;
SlotFn<Mx3DVecRotateFn> Rotate;
}  // namespace x87

// As x87, with branch-free selection of the comparison result.
namespace cmov {
SlotFn<Mx3DVecCmpMagnitudeFn> CmpMagnitude;
SlotFn<Mx3DVecCmpFn> Cmp;
SlotFn<Mx3DVecNormalizeFn> Normalize;
}  // namespace cmov

// x and y as one packed pair, z with its neighbour.
namespace threednow {
SlotFn<Mx3DVecMagnitudeSquaredFn> MagnitudeSquared;
SlotFn<Mx3DVecAccMagnitudeFn> AccMagnitude;
SlotFn<Mx3DVecRghFastMagnitudeFn> RghFastMagnitude;
SlotFn<Mx3DVecDotProdFn> DotProd;
SlotFn<Mx3DVecCrossProdFn> CrossProd;
SlotFn<Mx3DVecAddFn> Add;
SlotFn<Mx3DVecSubFn> Sub;
SlotFn<Mx3DVecCmpMagnitudeFn> CmpMagnitude;
SlotFn<Mx3DVecScaleFn> Scale;
SlotFn<Mx3DVecCmpFn> Cmp;
SlotFn<Mx3DVecTransformFn> Transform;
SlotFn<Mx3DVecNormalizeFn> Normalize;
SlotFn<Mx3DVecRotateFn> Rotate;
}  // namespace threednow

// 3DNow! reading its equality mask as a byte mask.
namespace threednow_mmxext {
SlotFn<Mx3DVecCmpFn> Cmp;
}  // namespace threednow_mmxext

// 3DNow! with the swapped-pair and negative-accumulate instructions.
namespace ext3dnow {
SlotFn<Mx3DVecCrossProdFn> CrossProd;
SlotFn<Mx3DVecRotateFn> Rotate;
}  // namespace ext3dnow

// 3DNow! with the pair swap and the byte mask.
namespace ext3dnow_mmxext {
SlotFn<Mx3DVecCmpMagnitudeFn> CmpMagnitude;
SlotFn<Mx3DVecNormalizeFn> Normalize;
}  // namespace ext3dnow_mmxext

// A whole record in one register, the fourth lane discarded. Arithmetic
// follows the thread's SSE flush-to-zero setting.
namespace sse {
SlotFn<Mx3DVecMagnitudeSquaredFn> MagnitudeSquared;
SlotFn<Mx3DVecAccMagnitudeFn> AccMagnitude;
SlotFn<Mx3DVecRghFastMagnitudeFn> RghFastMagnitude;
SlotFn<Mx3DVecDotProdFn> DotProd;
SlotFn<Mx3DVecCrossProdFn> CrossProd;
SlotFn<Mx3DVecAddFn> Add;
SlotFn<Mx3DVecSubFn> Sub;
SlotFn<Mx3DVecCmpMagnitudeFn> CmpMagnitude;
SlotFn<Mx3DVecScaleFn> Scale;
SlotFn<Mx3DVecCmpFn> Cmp;
SlotFn<Mx3DVecTransformFn> Transform;
SlotFn<Mx3DVecNormalizeFn> Normalize;
SlotFn<Mx3DVecRotateFn> Rotate;
}  // namespace sse

}  // namespace tarn::vector
