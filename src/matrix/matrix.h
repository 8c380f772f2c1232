// Matrices: the builders, the single-axis rotations (exported functions in
// rotations.cpp), and the variants of every matrix slot.
//
// Products compute out = b*a (b is applied first), element by element as
// ((b[4i]*a[j] + b[4i+1]*a[4+j]) + b[4i+2]*a[8+j]) + b[4i+3]*a[12+j], every
// product and sum rounded once to single precision. Every form reads a and the
// row of b it needs before storing an output row, so out may be a or b and a
// may be b.
#pragma once

#include "TarnLib2DLL.h"
#include "dispatch/slots.h"

namespace tarn::matrix {

// The operations that several forms share.
#define TARN_MATRIX_BUILDERS(X) \
  X(ZeroMat) X(IdMat) X(TranslateMat) X(TranslateMatFromVec) X(ScaleMat)
#define TARN_MATRIX_PRODUCTS(X) X(MatMult4x4_4x4) X(SparseMatMult4x4_4x4)
#define TARN_MATRIX_ROTATIONS(X)                                                               \
  X(ConcatRotMatXYZ) X(ConcatRotMatXZY) X(ConcatRotMatYXZ) X(ConcatRotMatYZX) X(ConcatRotMatZXY) \
  X(ConcatRotMatZYX)

// x87 form. Builders: 32-bit integer stores, no floating-point instruction.
// Products: element by element, each operation rounded at the x87 unit's
// precision (single after MxInitTables); on x86-64 scalar SSE single precision
// gives the same bits for every value in the normal range.
namespace x87 {
TARN_MATRIX_BUILDERS(TARN_SLOT_IMPL)

TARN_SLOT_IMPL(MatMult4x4_4x4)
// Column 3 of the result is stored as (0, 0, 0, 1); a's column 3 plays no
// part.
TARN_SLOT_IMPL(SparseMatMult4x4_4x4)
// Swaps 1-4, 2-8 and 6-9; nothing else is touched.
TARN_SLOT_IMPL(InvOrthMat4x4)

// The concatenated rotations; an angle that compares equal to zero or is
// unordered (NaN) is left out. Angles are always given as x, y, z.
TARN_MATRIX_ROTATIONS(TARN_SLOT_IMPL)
}  // namespace x87

// CMOV form of the concatenated rotations: the zero test sets the integer
// flags directly; results are identical to the x87 form.
namespace cmov {
TARN_MATRIX_ROTATIONS(TARN_SLOT_IMPL)
}  // namespace cmov

// MMX form: eight 64-bit stores of element pairs.
namespace mmx {
TARN_MATRIX_BUILDERS(TARN_SLOT_IMPL)
}  // namespace mmx

// 3DNow! form: every operation on element pairs, an output row built as two
// pairs from a broadcast element of b times a pair of a's row. Column 3 of the
// affine product is stored as (0, 0, 0, 1).
namespace threednow {
TARN_MATRIX_PRODUCTS(TARN_SLOT_IMPL)
}  // namespace threednow

// SSE form: whole rows, b[4i] broadcast times row 0 of a, and so on. The
// affine product computes column 3 from a's column 3 like any other column,
// so for an affine a the zero in rows 0-2 is -0.0 when b's three elements of
// that row are all negative.
namespace sse {
TARN_MATRIX_PRODUCTS(TARN_SLOT_IMPL)
}  // namespace sse

// The general inverse is not provided: returns at once, touching nothing.
namespace noop {
TARN_SLOT_IMPL(InvMat4x4)
}  // namespace noop

}  // namespace tarn::matrix
