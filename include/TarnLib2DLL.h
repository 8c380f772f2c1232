/** @file
 * TarnLib2DLL: fast single-precision 3D maths and pixel compositing.
 *
 * Plain C interface (C99 and C++). Start-up, in this order:
 *   1. MxIdentifyCPU()              capability word, vendor, clock; sets FP state
 *   2. MxInitLibForCPU(word)        binds every slot below to one tier
 *   3. MxInitTables()               builds the sine table (before any lookup)
 *
 * then call operations through their slots: `MxIdMat(&m); s = MxTSin(a); ...`
 *
 * Slots are writable function-pointer variables filled by MxInitLibForCPU.
 * Every export uses the C calling convention (#MX_CALL).
 *
 * Matrices are row-major with row vectors on the left: element (r, c) is at
 * index 4r + c, the translation is at 12..14, and P*Q applies P first.
 */
#ifndef TARNLIB2DLL_H
#define TARNLIB2DLL_H

#include <stdint.h>

#include "TarnLib2DLL_version.h"

/* Export macro. TARNLIB2DLL_BUILDING is defined while the library itself is
 * compiled; define TARNLIB2DLL_STATIC when linking the static library. On
 * Windows the DLL's export table comes from a generated .def file, so the
 * library's own definitions carry no dllexport (that would add decorated
 * duplicates). */
#if defined(TARNLIB2DLL_STATIC)
#define MX_API
#elif defined(_WIN32)
#if defined(TARNLIB2DLL_BUILDING)
#define MX_API
#else
#define MX_API __declspec(dllimport)
#endif
#elif defined(__GNUC__)
#define MX_API __attribute__((visibility("default")))
#else
#define MX_API
#endif

#if defined(_WIN32) && !defined(_WIN64)
#define MX_CALL __cdecl
#else
#define MX_CALL
#endif

/** @def MX_API
 * Marks every export: imported from the DLL on Windows, default visibility
 * with GCC and Clang, nothing when TARNLIB2DLL_STATIC is defined (hosts of
 * the static library define it; the CMake target and `pkg-config --static`
 * do so). */
/** @def MX_CALL
 * The calling convention of every exported function and slot: `__cdecl` on
 * 32-bit Windows, the platform's C convention elsewhere. */

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Records ---------------------------------------------------------- */

/** A 4x4 matrix: sixteen floats, 64 bytes, row-major with row vectors on the
 * left. Rows 0 to 2 of columns 0 to 2 are the linear part, indices 12, 13, 14
 * the translation; column 3 is (0, 0, 0, 1) in affine matrices. */
typedef struct MxMat4x4 {
  float m[16]; /**< Element (row r, column c) at index 4r + c. */
} MxMat4x4;

/** A 3D vector: x, y, z and a fourth float that no operation writes or lets
 * into a result. All 16 bytes of a record must be readable; float alignment
 * suffices. */
typedef struct Mx3DVec {
  float x;   /**< First coordinate. */
  float y;   /**< Second coordinate. */
  float z;   /**< Third coordinate. */
  float pad; /**< Never written, never read into a result (a NaN here changes nothing). */
} Mx3DVec;

/* ---- Capability word -------------------------------------------------- */

/** The capability word: what MxIdentifyCPU found, or a word of the host's own
 * making to force a lower tier through MxInitLibForCPU. */
typedef uint32_t MxCpuFlags;

/** @name Capability bits
 * Bits of #MxCpuFlags. MxInitLibForCPU needs #MxCpuFPU and selects the tier
 * from the others.
 * @{ */
#define MxCpuCPUID 0x1u          /**< The CPUID instruction exists. */
#define MxCpuFPU 0x2u            /**< An x87 floating-point unit (required by every tier). */
#define MxCpuMMX 0x4u            /**< MMX. */
#define MxCpuCMOV 0x8u           /**< Conditional moves (CMOV). */
#define MxCpu3DNow 0x10u         /**< 3DNow!. */
#define MxCpuExt3DNow 0x20u      /**< Extended 3DNow!. */
#define MxCpuSSE 0x40u           /**< SSE, and the system runs its instructions. */
#define MxCpuCyrixEMMX 0x100u    /**< Cyrix extended MMX, found by a probe. */
#define MxCpuMMXExt 0x200u       /**< The MMX extensions (with SSE, or in the extended leaf). */
#define MxCpuNoFPU 0x80000000u   /**< No usable x87 unit was found. */
/** @} */

/* ---- Slot types --------------------------------------------------------- */

/** @name Matrix builder slot types
 * Matrix builders (x87 and MMX forms store identical bits): pure stores, no
 * arithmetic; arguments are copied bit for bit, so -0.0 and NaNs arrive
 * unchanged. MxTranslateMatFromVec reads exactly the vector's x, y, z.
 * @{ */
typedef void(MX_CALL* MxZeroMatFn)(MxMat4x4* m); /**< Type of #MxZeroMat. */
typedef void(MX_CALL* MxIdMatFn)(MxMat4x4* m);   /**< Type of #MxIdMat. */
/** Type of #MxTranslateMat. */
typedef void(MX_CALL* MxTranslateMatFn)(MxMat4x4* m, float x, float y, float z);
/** Type of #MxTranslateMatFromVec. */
typedef void(MX_CALL* MxTranslateMatFromVecFn)(MxMat4x4* m, const Mx3DVec* v);
/** Type of #MxScaleMat. */
typedef void(MX_CALL* MxScaleMatFn)(MxMat4x4* m, float sx, float sy, float sz);
/** @} */

/** @name Matrix product and inverse slot types
 * Products: out = b*a, so a point is transformed by b first, then a. Each
 * element is ((b0*a0 + b1*a1) + b2*a2) + b3*a3, rounded once per operation in
 * every form (x87, 3DNow!, SSE), so the forms agree for normal-range values.
 * out may be the same record as a or b, and a may be b.
 * The affine product takes column 3 of b as (0, 0, 0, 1) and skips its fourth
 * term; the x87 and 3DNow! forms store column 3 as (0, 0, 0, 1), the SSE form
 * computes it from a's column 3 (so a zero there may come out as -0.0).
 * MxInvOrthMat4x4 transposes the 3x3 block in place (the inverse of a pure
 * rotation) and touches nothing else; MxInvMat4x4 returns at once.
 * @{ */
typedef void(MX_CALL* MxInvOrthMat4x4Fn)(MxMat4x4* m); /**< Type of #MxInvOrthMat4x4. */
typedef void(MX_CALL* MxInvMat4x4Fn)(MxMat4x4* m);     /**< Type of #MxInvMat4x4. */
/** Type of #MxMatMult4x4_4x4. */
typedef void(MX_CALL* MxMatMult4x4_4x4Fn)(MxMat4x4* out, const MxMat4x4* a, const MxMat4x4* b);
/** Type of #MxSparseMatMult4x4_4x4. */
typedef void(MX_CALL* MxSparseMatMult4x4_4x4Fn)(MxMat4x4* out, const MxMat4x4* a,
                                                const MxMat4x4* b);
/** @} */

/** @name Concatenated rotation slot types
 * Rotation from three angles in radians, always given x, y, z. An angle that
 * is +-0.0 or NaN is left out at no cost; one angle present is built straight
 * into out, two or three are joined by the affine product slot in the
 * association named at each slot. Angles go through the table lookups,
 * so MxInitTables must have run.
 * @{ */
/** The type every concatenated rotation shares. */
typedef void(MX_CALL* MxConcatRotMatFn)(MxMat4x4* out, float x, float y, float z);
typedef MxConcatRotMatFn MxConcatRotMatXYZFn; /**< Type of #MxConcatRotMatXYZ. */
typedef MxConcatRotMatFn MxConcatRotMatXZYFn; /**< Type of #MxConcatRotMatXZY. */
typedef MxConcatRotMatFn MxConcatRotMatYZXFn; /**< Type of #MxConcatRotMatYZX. */
typedef MxConcatRotMatFn MxConcatRotMatYXZFn; /**< Type of #MxConcatRotMatYXZ. */
typedef MxConcatRotMatFn MxConcatRotMatZXYFn; /**< Type of #MxConcatRotMatZXY. */
typedef MxConcatRotMatFn MxConcatRotMatZYXFn; /**< Type of #MxConcatRotMatZYX. */
/** @} */

/** @name Table trigonometry slot types
 * The angle is resolved to the nearest of 65536 steps per turn and the result
 * is a quarter-wave table entry or its negation (no interpolation). Exact
 * within 64 turns of zero; beyond that, and for infinities and NaNs, the
 * result is some table entry (never a read outside the table). Both forms
 * (x87, CMOV) give identical bits. The pair lookups write the same values as
 * the single ones. Needs MxInitTables.
 * @{ */
typedef float(MX_CALL* MxTSinFn)(float radians); /**< Type of #MxTSin. */
typedef float(MX_CALL* MxTCosFn)(float radians); /**< Type of #MxTCos. */
/** Type of #MxTSinCos. */
typedef void(MX_CALL* MxTSinCosFn)(float* sine, float* cosine, float radians);
typedef float(MX_CALL* MxTSinOfDegFn)(float degrees); /**< Type of #MxTSinOfDeg. */
typedef float(MX_CALL* MxTCosOfDegFn)(float degrees); /**< Type of #MxTCosOfDeg. */
/** Type of #MxTSinCosOfDeg. */
typedef void(MX_CALL* MxTSinCosOfDegFn)(float* sine, float* cosine, float degrees);
/** @} */

/** @name Scalar helper slot types
 * Variants differ where their instructions do:
 *  - MxFMin/MxFMax: for +0.0 against -0.0 the x87 variant returns a, CMOV and
 *    3DNow! return b; with a NaN every variant returns b from MxFMin and a
 *    from MxFMax.
 *  - MxF2I: x87 rounds by the thread's x87 rounding mode, SSE and 3DNow!
 *    truncate; x87 and SSE give 0x80000000 for NaN and out-of-range values,
 *    3DNow! saturates. MxI2F in 3DNow! truncates integers beyond 2^24.
 *  - Division and reciprocal: x87 divides exactly (Acc and RghFast alike);
 *    3DNow! uses a 14-bit estimate, refined to full precision for Acc; SSE uses
 *    the processor's estimate (1.5 * 2^-12), with one Newton step for Acc.
 *    Division by zero: +-infinity (x87, 3DNow!), NaN (SSE Acc), the infinite
 *    estimate (SSE RghFast).
 *  - Square root: x87 Acc is exact, x87 RghFast a bit-level estimate with one
 *    Newton step (within 0.18 %); 3DNow! and SSE use the reciprocal-square-root
 *    estimate, refined for Acc.
 * @{ */
typedef float(MX_CALL* MxAccSqrtFn)(float x);                /**< Type of #MxAccSqrt. */
typedef float(MX_CALL* MxRghFastSqrtFn)(float x);            /**< Type of #MxRghFastSqrt. */
typedef int32_t(MX_CALL* MxIMinFn)(int32_t a, int32_t b);    /**< Type of #MxIMin. */
typedef int32_t(MX_CALL* MxIMaxFn)(int32_t a, int32_t b);    /**< Type of #MxIMax. */
typedef float(MX_CALL* MxFMinFn)(float a, float b);          /**< Type of #MxFMin. */
typedef float(MX_CALL* MxFMaxFn)(float a, float b);          /**< Type of #MxFMax. */
typedef int32_t(MX_CALL* MxF2IFn)(float x);                  /**< Type of #MxF2I. */
typedef float(MX_CALL* MxI2FFn)(int32_t i);                  /**< Type of #MxI2F. */
typedef float(MX_CALL* MxFAccDivFn)(float a, float b);       /**< Type of #MxFAccDiv. */
typedef float(MX_CALL* MxFRghFastDivFn)(float a, float b);   /**< Type of #MxFRghFastDiv. */
typedef float(MX_CALL* MxFAccRecipFn)(float x);              /**< Type of #MxFAccRecip. */
typedef float(MX_CALL* MxFRghFastRecipFn)(float x);          /**< Type of #MxFRghFastRecip. */
/** @} */

/** @name Vector slot types
 * The result record comes first and may be the same as an input.
 * Only x, y, z are computed and written; the fourth float is never written
 * and never reaches a result (a NaN there changes nothing), but all 16 bytes
 * of every record must be readable. The exact operations (squared magnitude,
 * dot, cross, sum, difference, scale, transformation, rotation) give the same
 * bits in every form for normal-range values. Accurate magnitude and
 * normalisation are correctly rounded step by step in x87/CMOV and within a
 * few ulps in 3DNow!/SSE (refined estimates); the rough magnitude is an
 * estimate (x87 bit-level within 0.18 %, 3DNow! 2^-16, SSE 1.5 * 2^-12).
 * Mx3DVecCmpMagnitude: 0 equal, 1 a longer, 2 b longer. Mx3DVecCmp: 0 equal,
 * 1 different; forms differ only for NaN components. Normalising a zero
 * vector leaves r untouched. Transformation treats v as a row vector with
 * w = 1 (column 3 of m is not used).
 * @{ */
/** Type of #Mx3DVecMagnitudeSquared. */
typedef float(MX_CALL* Mx3DVecMagnitudeSquaredFn)(const Mx3DVec* v);
/** Type of #Mx3DVecAccMagnitude. */
typedef float(MX_CALL* Mx3DVecAccMagnitudeFn)(const Mx3DVec* v);
/** Type of #Mx3DVecRghFastMagnitude. */
typedef float(MX_CALL* Mx3DVecRghFastMagnitudeFn)(const Mx3DVec* v);
/** Type of #Mx3DVecDotProd. */
typedef float(MX_CALL* Mx3DVecDotProdFn)(const Mx3DVec* a, const Mx3DVec* b);
/** Type of #Mx3DVecCrossProd. */
typedef void(MX_CALL* Mx3DVecCrossProdFn)(Mx3DVec* r, const Mx3DVec* a, const Mx3DVec* b);
/** Type of #Mx3DVecAdd. */
typedef void(MX_CALL* Mx3DVecAddFn)(Mx3DVec* r, const Mx3DVec* a, const Mx3DVec* b);
/** Type of #Mx3DVecSub. */
typedef void(MX_CALL* Mx3DVecSubFn)(Mx3DVec* r, const Mx3DVec* a, const Mx3DVec* b);
/** Type of #Mx3DVecCmpMagnitude. */
typedef int32_t(MX_CALL* Mx3DVecCmpMagnitudeFn)(const Mx3DVec* a, const Mx3DVec* b);
/** Type of #Mx3DVecScale. */
typedef void(MX_CALL* Mx3DVecScaleFn)(Mx3DVec* r, const Mx3DVec* v, float f);
/** Type of #Mx3DVecCmp. */
typedef int32_t(MX_CALL* Mx3DVecCmpFn)(const Mx3DVec* a, const Mx3DVec* b);
/** Type of #Mx3DVecTransform. */
typedef void(MX_CALL* Mx3DVecTransformFn)(Mx3DVec* r, const Mx3DVec* v, const MxMat4x4* m);
/** Type of #Mx3DVecNormalize. */
typedef void(MX_CALL* Mx3DVecNormalizeFn)(Mx3DVec* r, const Mx3DVec* v);
/** Type of #Mx3DVecRotate: rotation by three angles in degrees, about z, then
 * x, then y, with sines and cosines from the MxTSinCosOfDeg slot (needs
 * MxInitTables). angles is exactly three floats, not a record: only those
 * twelve bytes are read, the x, y and z angles in that order. About z and x
 * it turns as MxRotZMat and MxRotXMat do; about y the other way from
 * MxRotYMat (x goes toward -z). */
typedef void(MX_CALL* Mx3DVecRotateFn)(Mx3DVec* r, const Mx3DVec* v, const float* angles);
/** @} */

/** @name Memory fill and copy slot types
 * Runs of 32-bit words; counts are in dwords, never bytes. Every variant
 * leaves the same memory contents and writes nothing outside the run; a copy
 * is correct for any overlap. x87 uses the string instructions; MMX ordinary
 * stores, and string instructions for long runs (fills from half the
 * last-level cache, copies over lengths set from the caches where source
 * and destination share their offset within a 64-byte line); MMXext the
 * same, except that from the last-level cache's size its fills of a nonzero
 * value, and its copies between different offsets within a line (on
 * processors other than AMD's, all its copies), use non-temporal
 * (cache-bypassing) stores. Only MMXext
 * uses non-temporal stores, and it fences them (SFENCE) before it returns:
 * a caller that publishes the memory to another thread needs only what it
 * needs after ordinary stores, a release store or barrier (on x86 a plain
 * store after the call, with the compiler kept from moving it).
 * @{ */
/** Type of #MxZeroDwordAlignedMem. */
typedef void(MX_CALL* MxZeroDwordAlignedMemFn)(void* dst, uint32_t count);
/** Type of #MxSetDwordAlignedMem. */
typedef void(MX_CALL* MxSetDwordAlignedMemFn)(void* dst, uint32_t count, uint32_t value);
/** Type of #MxCopyDwordAlignedMem. */
typedef void(MX_CALL* MxCopyDwordAlignedMemFn)(void* dst, const void* src, uint32_t count);
/** @} */

/** Type of #MxAlphaBlt32. Composites 32-bit source pixels (B, G, R, A bytes)
 * with per-pixel alpha onto a 32-bit (bits_per_pixel != 16) or 16-bit
 * destination (red_mask 0x7C00: 1-5-5-5, 0x0F00: 4-4-4-4, otherwise 5-6-5).
 * Pitches are in bytes and may be negative. The rectangle is clipped against
 * all four destination edges (a negative destination x or y skips as many
 * source columns or rows); nothing is drawn when the clipped width or height
 * is below 1. Alpha 0 leaves the destination pixel untouched; alpha 255
 * copies the source (narrowed for 16 bits); otherwise each channel blends by
 * the variant's formula:
 *
 *     x87         (s*a + d*(256-a)) / 256 for B, G, R; destination alpha 0
 *     MMX, MMXext (s*a + d*(255-a)) / 256 for all four bytes
 *     Cyrix EMMX  the same in 15-bit fixed point, rounded (up to 2 above MMX)
 *
 * 16-bit pixels widen by shifting fields to the top of a byte and narrow by
 * truncation; unused bits are written as 0. */
typedef void(MX_CALL* MxAlphaBlt32Fn)(const uint32_t* src, int32_t src_x, int32_t src_y,
                                      int32_t width, int32_t height, int32_t src_pitch, void* dst,
                                      int32_t dst_x, int32_t dst_y, int32_t dst_width,
                                      int32_t dst_height, int32_t dst_pitch, int32_t bits_per_pixel,
                                      int32_t red_mask);

/* Floating-point exceptions. No form traps, even with every exception
 * unmasked, on operands whose results are exact or in the normal range and
 * need no exception (signed zeros, zero vectors, infinities only compared
 * or moved, ordinary values); there each form raises at most the flags the
 * x87 form raises. Beyond that, flags by form:
 *  - Builders, inverses, integer helpers, MxI2F, fill, copy and blit: none
 *    (MxI2F inexact beyond 2^24). MxFMin and MxFMax raise invalid for a NaN
 *    operand in every form, Mx3DVecCmpMagnitude in some; Mx3DVecCmp only
 *    for a signalling NaN.
 *  - Rounded arithmetic (products, sums, magnitudes, transformation,
 *    rotation, normalisation, lookups, division, reciprocal, square root):
 *    inexact; overflow or underflow where a result or a step leaves the
 *    float range; invalid for inf - inf, 0 * inf, a negative root or a
 *    signalling NaN; divide-by-zero from the x87 divisions by zero. MxF2I:
 *    invalid for NaN and out-of-range values (3DNow! saturates silently).
 *  - 3DNow!, extended 3DNow! and 3DNow!+MMXext forms: no trap for any
 *    operand, whatever is unmasked (inexact too); no flag that neither the
 *    x87 nor the SSE form raises for the same operands, inexact aside (on
 *    the x87 unit the x87 forms' wider exponent range spares them some
 *    underflows), and where the caller unmasks x87 exceptions none at all.
 *    Estimates of zero, infinity and tiny values are decided without
 *    dividing; an infinity times a zero gives NaN without invalid.
 *  - SSE accurate division, reciprocal, square root and magnitude: invalid
 *    where the refinement meets a zero or infinite estimate (zero, infinite
 *    or out-of-range operands, whose results are NaN).
 *  - x87 rough square root and magnitude, where the x87 forms run as SSE
 *    code (64-bit builds): underflow for -0, subnormal, huge, infinite and
 *    NaN operands, whose seed squared leaves the float range.
 *  - The fourth float of a vector record raises nothing in any form. */

/* ---- Functions ----------------------------------------------------------- */

/** @name Identification and dispatch
 * @{ */
/** Identifies the processor: returns the capability word, records vendor text,
 * feature word and clock; resets the thread's x87 unit to single precision
 * and turns on SSE flush-to-zero when SSE is usable. */
MX_API MxCpuFlags MX_CALL MxIdentifyCPU(void);
/** The 12-character vendor text of the last identification, NUL-terminated. */
MX_API const char* MX_CALL MxGetCPUVendor(void);
/** The clock measured by the last identification, in MHz. */
MX_API uint32_t MX_CALL MxGetCPUSpeed(void);
/** Binds all slots to the tier the word selects and returns 1; returns 0 and
 * touches nothing when the word lacks #MxCpuFPU. May be called again. */
MX_API int MX_CALL MxInitLibForCPU(MxCpuFlags flags);
/** @} */

/** @name Single-axis rotations
 * Rotation matrices through the MxIdMat and table-lookup slots (needs
 * MxInitTables): MxTSinCos for radians, MxTSinCosOfDeg for degrees. With row
 * vectors (v*M) a positive angle turns clockwise seen from the positive axis
 * toward the origin: about z, x goes toward -y; about x, y toward -z; about
 * y, x toward +z. The negated sine is a sign flip, so angle 0 stores -0.0
 * there (index 1 about z, 6 about x, 8 about y), and a quarter turn stores
 * -0.0 as both cosines (the lookups give -0.0 for the cosine of 90 degrees
 * and the sine of 180).
 * @{ */
MX_API void MX_CALL MxRotXMat(MxMat4x4* m, float radians);    /**< About x, in radians. */
MX_API void MX_CALL MxRotYMat(MxMat4x4* m, float radians);    /**< About y, in radians. */
MX_API void MX_CALL MxRotZMat(MxMat4x4* m, float radians);    /**< About z, in radians. */
MX_API void MX_CALL MxDegRotXMat(MxMat4x4* m, float degrees); /**< About x, in degrees. */
MX_API void MX_CALL MxDegRotYMat(MxMat4x4* m, float degrees); /**< About y, in degrees. */
MX_API void MX_CALL MxDegRotZMat(MxMat4x4* m, float degrees); /**< About z, in degrees. */
/** @} */

/** Builds the quarter-wave sine table (once) and sets the thread's x87
 * precision to single, keeping its rounding mode. Always returns 1. */
MX_API int32_t MX_CALL MxInitTables(void);

/** @name Exact sine and cosine
 * Sine and cosine of the exact argument (reduced exactly, whatever its size),
 * each rounded once to the destination type. Arguments come in the order
 * (sine, cosine, angle), as for the lookups; should both pointers name one
 * variable, it ends up holding the sine (the cosine is written before it).
 * The sign of a zero angle is kept: -0.0 gives sine -0.0. The same bits on
 * every platform, whatever the caller's rounding mode, flush-to-zero or x87
 * precision, which are left as found. The letters name the sine, cosine and
 * angle types (F float, D double).
 * @{ */
MX_API void MX_CALL MxSinCosFFF(float* sine, float* cosine, float radians);    /**< Float results, float angle. */
MX_API void MX_CALL MxSinCosDDD(double* sine, double* cosine, double radians); /**< Double results, double angle. */
MX_API void MX_CALL MxSinCosDDF(double* sine, double* cosine, float radians);  /**< Double results, float angle. */
MX_API void MX_CALL MxSinCosFFD(float* sine, float* cosine, double radians);   /**< Float results, double angle. */
/** @} */

/** @name Cycle timer
 * One-shot stopwatch in time-stamp-counter ticks; the end call writes
 * 0x8FFFFFFFFFFFFFFF when no usable counter was started.
 * @{ */
MX_API void MX_CALL MxStartTickCount(void);          /**< Starts the stopwatch. */
MX_API void MX_CALL MxEndTickCount(uint64_t* ticks); /**< Writes the ticks since the start. */
/** @} */

/* ---- Slots (null until the first successful MxInitLibForCPU) -------------- */

/** @name Matrix slots
 * Null until the first successful MxInitLibForCPU, like every slot.
 * @{ */
MX_API extern MxZeroMatFn MxZeroMat;                           /**< All +0.0. */
MX_API extern MxIdMatFn MxIdMat;                               /**< The identity. */
MX_API extern MxTranslateMatFn MxTranslateMat;                 /**< Identity, x y z at 12..14. */
MX_API extern MxTranslateMatFromVecFn MxTranslateMatFromVec;   /**< The same from a vector; reads exactly x, y, z. */
MX_API extern MxScaleMatFn MxScaleMat;                         /**< sx sy sz 1 on the diagonal. */
MX_API extern MxInvOrthMat4x4Fn MxInvOrthMat4x4;               /**< Transposes the 3x3 block. */
MX_API extern MxInvMat4x4Fn MxInvMat4x4;                       /**< Returns at once. */
MX_API extern MxMatMult4x4_4x4Fn MxMatMult4x4_4x4;             /**< out = b*a. */
MX_API extern MxSparseMatMult4x4_4x4Fn MxSparseMatMult4x4_4x4; /**< Affine out = b*a. */
MX_API extern MxConcatRotMatXYZFn MxConcatRotMatXYZ;           /**< (Y*X)*Z. */
MX_API extern MxConcatRotMatXZYFn MxConcatRotMatXZY;           /**< (Z*X)*Y. */
MX_API extern MxConcatRotMatYZXFn MxConcatRotMatYZX;           /**< (Z*Y)*X. */
MX_API extern MxConcatRotMatYXZFn MxConcatRotMatYXZ;           /**< (X*Y)*Z. */
MX_API extern MxConcatRotMatZXYFn MxConcatRotMatZXY;           /**< Y*(X*Z). */
MX_API extern MxConcatRotMatZYXFn MxConcatRotMatZYX;           /**< (Y*Z)*X. */
/** @} */

/** @name Table trigonometry slots
 * @{ */
MX_API extern MxTSinFn MxTSin;                 /**< Sine of an angle in radians. */
MX_API extern MxTCosFn MxTCos;                 /**< Cosine of an angle in radians. */
MX_API extern MxTSinCosFn MxTSinCos;           /**< Both, in radians. */
MX_API extern MxTSinOfDegFn MxTSinOfDeg;       /**< Sine of an angle in degrees. */
MX_API extern MxTCosOfDegFn MxTCosOfDeg;       /**< Cosine of an angle in degrees. */
MX_API extern MxTSinCosOfDegFn MxTSinCosOfDeg; /**< Both, in degrees. */
/** @} */

/** @name Vector slots
 * @{ */
MX_API extern MxAccSqrtFn MxAccSqrt;                                 /**< Accurate square root. */
MX_API extern MxRghFastSqrtFn MxRghFastSqrt;                         /**< Rough, fast square root. */
MX_API extern Mx3DVecMagnitudeSquaredFn Mx3DVecMagnitudeSquared;     /**< x*x + y*y + z*z. */
MX_API extern Mx3DVecAccMagnitudeFn Mx3DVecAccMagnitude;             /**< Accurate length. */
MX_API extern Mx3DVecRghFastMagnitudeFn Mx3DVecRghFastMagnitude;     /**< Rough, fast length. */
MX_API extern Mx3DVecDotProdFn Mx3DVecDotProd;                       /**< Dot product. */
MX_API extern Mx3DVecCrossProdFn Mx3DVecCrossProd;                   /**< r = a x b. */
MX_API extern Mx3DVecAddFn Mx3DVecAdd;                               /**< r = a + b. */
MX_API extern Mx3DVecSubFn Mx3DVecSub;                               /**< r = a - b. */
MX_API extern Mx3DVecCmpMagnitudeFn Mx3DVecCmpMagnitude;             /**< 0 equal, 1 a longer, 2 b longer. */
MX_API extern Mx3DVecScaleFn Mx3DVecScale;                           /**< r = v * f. */
MX_API extern Mx3DVecCmpFn Mx3DVecCmp;                               /**< 0 equal, 1 different. */
MX_API extern Mx3DVecTransformFn Mx3DVecTransform;                   /**< r = (v, 1) * m. */
MX_API extern Mx3DVecNormalizeFn Mx3DVecNormalize;                   /**< Unit length; a zero vector leaves r untouched. */
MX_API extern Mx3DVecRotateFn Mx3DVecRotate;                         /**< About z, x, then y, in degrees. */
/** @} */

/** @name Memory fill and copy slots
 * @{ */
MX_API extern MxZeroDwordAlignedMemFn MxZeroDwordAlignedMem; /**< count dwords of 0. */
MX_API extern MxSetDwordAlignedMemFn MxSetDwordAlignedMem;   /**< count dwords of value. */
MX_API extern MxCopyDwordAlignedMemFn MxCopyDwordAlignedMem; /**< count dwords, any overlap. */
/** @} */

/** @name Scalar slots
 * @{ */
MX_API extern MxIMinFn MxIMin;                   /**< Integer minimum. */
MX_API extern MxIMaxFn MxIMax;                   /**< Integer maximum. */
MX_API extern MxFMinFn MxFMin;                   /**< Float minimum. */
MX_API extern MxFMaxFn MxFMax;                   /**< Float maximum. */
MX_API extern MxF2IFn MxF2I;                     /**< Float to integer. */
MX_API extern MxI2FFn MxI2F;                     /**< Integer to float. */
MX_API extern MxFAccDivFn MxFAccDiv;             /**< Accurate a / b. */
MX_API extern MxFRghFastDivFn MxFRghFastDiv;     /**< Rough, fast a / b. */
MX_API extern MxFAccRecipFn MxFAccRecip;         /**< Accurate 1 / x. */
MX_API extern MxFRghFastRecipFn MxFRghFastRecip; /**< Rough, fast 1 / x. */
/** @} */

MX_API extern MxAlphaBlt32Fn MxAlphaBlt32; /**< The alpha-blending blit (#MxAlphaBlt32Fn). */

/* ---- Scratch records for the host --------------------------------------- */

/** @name Scratch records
 * g_mat1..g_mat16 are contiguous from a 256-byte boundary; g_vecN lie 64 bytes
 * apart, each 16 bytes past a 64-byte boundary. Every byte is 0x3F at load;
 * the library never touches them on its own. (An ELF executable that links
 * them directly may receive copies placed by its own linker; take their
 * addresses with dlsym or build the host with -fPIC when the layout matters.)
 * @{ */
MX_API extern MxMat4x4 g_mat1;  /**< Scratch matrix 1, at the 256-byte boundary. */
MX_API extern MxMat4x4 g_mat2;  /**< Scratch matrix 2. */
MX_API extern MxMat4x4 g_mat3;  /**< Scratch matrix 3. */
MX_API extern MxMat4x4 g_mat4;  /**< Scratch matrix 4. */
MX_API extern MxMat4x4 g_mat5;  /**< Scratch matrix 5. */
MX_API extern MxMat4x4 g_mat6;  /**< Scratch matrix 6. */
MX_API extern MxMat4x4 g_mat7;  /**< Scratch matrix 7. */
MX_API extern MxMat4x4 g_mat8;  /**< Scratch matrix 8. */
MX_API extern MxMat4x4 g_mat9;  /**< Scratch matrix 9. */
MX_API extern MxMat4x4 g_mat10; /**< Scratch matrix 10. */
MX_API extern MxMat4x4 g_mat11; /**< Scratch matrix 11. */
MX_API extern MxMat4x4 g_mat12; /**< Scratch matrix 12. */
MX_API extern MxMat4x4 g_mat13; /**< Scratch matrix 13. */
MX_API extern MxMat4x4 g_mat14; /**< Scratch matrix 14. */
MX_API extern MxMat4x4 g_mat15; /**< Scratch matrix 15. */
MX_API extern MxMat4x4 g_mat16; /**< Scratch matrix 16. */
MX_API extern Mx3DVec g_vec1;   /**< Scratch vector 1. */
MX_API extern Mx3DVec g_vec2;   /**< Scratch vector 2. */
MX_API extern Mx3DVec g_vec3;   /**< Scratch vector 3. */
MX_API extern Mx3DVec g_vec4;   /**< Scratch vector 4. */
MX_API extern Mx3DVec g_vec5;   /**< Scratch vector 5. */
MX_API extern Mx3DVec g_vec6;   /**< Scratch vector 6. */
MX_API extern Mx3DVec g_vec7;   /**< Scratch vector 7. */
MX_API extern Mx3DVec g_vec8;   /**< Scratch vector 8. */
MX_API extern Mx3DVec g_vec9;   /**< Scratch vector 9. */
MX_API extern Mx3DVec g_vec10;  /**< Scratch vector 10. */
MX_API extern Mx3DVec g_vec11;  /**< Scratch vector 11. */
MX_API extern Mx3DVec g_vec12;  /**< Scratch vector 12. */
MX_API extern Mx3DVec g_vec13;  /**< Scratch vector 13. */
MX_API extern Mx3DVec g_vec14;  /**< Scratch vector 14. */
MX_API extern Mx3DVec g_vec15;  /**< Scratch vector 15. */
MX_API extern Mx3DVec g_vec16;  /**< Scratch vector 16. */
/** @} */

#ifdef __cplusplus
}
#endif

#endif /* TARNLIB2DLL_H */
