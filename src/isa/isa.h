// Instruction sets per variant family on 32-bit x86.
//
// A 32-bit x86 build serves processors from the 486 on, so the library is
// compiled for that baseline: the x87 forms really run on the x87 unit (at the
// single precision that MxInitTables sets), and the MMX, 3DNow! and Cyrix
// forms run as portable code. Only the SSE forms need their unit itself, for
// the processor's own reciprocal estimates and its flush-to-zero arithmetic:
// their code sits between TARN_SSE_BEGIN and TARN_SSE_END, which switch SSE
// (not SSE2: the first SSE processors lack it) and SSE float arithmetic on
// for the functions defined in between (GCC and clang alike). Those functions
// are only ever bound in tiers whose capability word promises SSE.
//
// TARN_HAVE_SSE says whether SSE code can be compiled at all; elsewhere the
// SSE forms fall back to their portable stand-ins.
#pragma once

#include "isa/platform.h"

#if defined(TARN_X86_32) && defined(TARN_GNU_C) && !defined(__clang__) && !defined(__SSE__)
#define TARN_HAVE_SSE 1
#define TARN_SSE_BEGIN _Pragma("GCC push_options") _Pragma("GCC target(\"sse,fpmath=sse\")")
#define TARN_SSE_END _Pragma("GCC pop_options")
#elif defined(TARN_X86_32) && defined(__clang__) && !defined(__SSE__)
// Clang chooses SSE float arithmetic for each function from its own target.
#define TARN_HAVE_SSE 1
#define TARN_SSE_BEGIN \
  _Pragma("clang attribute push(__attribute__((target(\"sse\"))), apply_to = function)")
#define TARN_SSE_END _Pragma("clang attribute pop")
#elif defined(TARN_SSE_IN_UNIT)
#define TARN_HAVE_SSE 1
#define TARN_SSE_BEGIN
#define TARN_SSE_END
#else
#define TARN_SSE_BEGIN
#define TARN_SSE_END
#endif

#if defined(TARN_HAVE_SSE) && defined(__clang__)
#include <xmmintrin.h>  // its functions carry their own target
#elif defined(TARN_HAVE_SSE)
// Inside the region, so that the intrinsics share the region's float
// arithmetic setting and can be inlined into its functions.
TARN_SSE_BEGIN
#include <xmmintrin.h>
TARN_SSE_END
#endif
