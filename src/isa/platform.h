// Platform facts, each stated once: the rest of the library tests these
// names, never the compilers' own macros for processors and systems.
#pragma once

// Processor architecture, whichever compiler.
#if defined(__x86_64__) || defined(_M_X64)
#define TARN_X86_64 1
#endif
#if defined(__i386__) || defined(_M_IX86)
#define TARN_X86_32 1
#endif
#if defined(TARN_X86_64) || defined(TARN_X86_32)
#define TARN_X86 1
#endif
#if defined(__aarch64__) || defined(_M_ARM64)
#define TARN_ARM64 1
#endif

// Operating system.
#if defined(_WIN32)
#define TARN_WINDOWS 1
#if !defined(_WIN64)
#define TARN_WINDOWS_32 1  // decorates C names with a leading underscore
#endif
#endif
#if defined(__linux__)
#define TARN_LINUX 1
#endif

// Object format: ELF has symbol types and sizes and a section stack.
#if defined(__ELF__)
#define TARN_ELF 1
#endif

// GNU C (GCC or clang): inline assembler, attributes and builtins.
#if defined(__GNUC__)
#define TARN_GNU_C 1
#endif
#if defined(TARN_X86) && defined(TARN_GNU_C)
#define TARN_X86_GNU_ASM 1
#endif
#if defined(TARN_ARM64) && defined(TARN_GNU_C)
#define TARN_ARM64_GNU_ASM 1
#endif

// Where float and double arithmetic run. A 32-bit x86 build of the library
// computes on the x87 unit; the SSE forms switch SSE on for themselves (isa.h).
#if defined(TARN_X86_32) && defined(TARN_GNU_C) && !defined(__SSE_MATH__)
#define TARN_X87_FLOAT_MATH 1
#endif
#if defined(TARN_X86_32) && defined(TARN_GNU_C) && !defined(__SSE2_MATH__)
#define TARN_X87_DOUBLE_MATH 1
#endif
#if (defined(TARN_X86_64) || (defined(TARN_X86_32) && defined(__SSE2_MATH__))) && \
    defined(TARN_GNU_C)
#define TARN_SSE2_DOUBLE_MATH 1  // under the MXCSR
#endif

// Instruction sets every function of the translation unit may use.
#if defined(__SSE__) || defined(TARN_X86_64)
#define TARN_SSE_IN_UNIT 1
#endif
#if defined(__SSE2__) || defined(TARN_X86_64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#define TARN_SSE2_IN_UNIT 1
#endif
