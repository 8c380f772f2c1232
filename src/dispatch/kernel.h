// Kernels: implementations of one variant that differ only in the width of
// the vector instructions they use, and give identical results. The baseline
// kernel runs on every processor the variant serves (SSE2 on x86-64, the
// portable code elsewhere). 32-bit x86 adds an SSE2 kernel above it; the
// wider ones exist on x86-64 only. Each is bound when the processor and the
// operating system both allow it.
//
// MxInitLibForCPU binds the widest kernel the machine can run, capped by the
// test-only ceiling, so a call stays one indirect call and never tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "isa/platform.h"

// Kernels wider than the baseline are compiled function by function for
// their instruction set, so that no code outside them (identification,
// selection, the baseline kernels, inline functions shared with them) can
// contain their instructions. Not on Windows: GCC keeps 32- and 64-byte
// vectors on a stack it does not align to 32 there.
#if defined(TARN_X86_64) && defined(TARN_GNU_C) && !defined(TARN_WINDOWS)
#define TARN_HAVE_WIDE_KERNELS 1
#define TARN_AVX2_KERNEL __attribute__((target("avx2")))
#define TARN_AVX512_KERNEL __attribute__((target("avx512f,avx512bw,avx512vl,avx2")))
#endif

// The SSE2 kernel of 32-bit x86 is compiled function by function for SSE2,
// so that the baseline, which serves processors without it, holds none of
// its instructions. Its entry points realign the stack: 32-bit Windows, and
// older 32-bit Linux hosts, call with 4-byte alignment only, and the kernel
// may keep 16-byte vectors on the stack.
#if defined(TARN_X86_32) && defined(TARN_GNU_C)
#define TARN_HAVE_SSE2_KERNEL 1
#define TARN_SSE2_KERNEL __attribute__((target("sse2")))
#define TARN_SSE2_KERNEL_ENTRY __attribute__((force_align_arg_pointer))
#endif

namespace tarn {

// Where no SSE2 kernel of its own is built, kSse2 names the baseline: on
// x86-64 the baseline is the SSE2 kernel.
#if defined(TARN_HAVE_SSE2_KERNEL)
enum class Kernel : std::uint8_t { kBaseline, kSse2, kAvx2, kAvx512, kCount };
#else
enum class Kernel : std::uint8_t { kBaseline, kSse2 = kBaseline, kAvx2, kAvx512, kCount };
#endif

inline constexpr int kKernelCount = static_cast<int>(Kernel::kCount);

constexpr std::string_view kernel_name(Kernel k) {
#if defined(TARN_X86_64)
  constexpr std::string_view kNames[] = {"SSE2", "AVX2", "AVX-512"};
#elif defined(TARN_HAVE_SSE2_KERNEL)
  constexpr std::string_view kNames[] = {"baseline", "SSE2", "AVX2", "AVX-512"};
#else
  constexpr std::string_view kNames[] = {"baseline", "AVX2", "AVX-512"};
#endif
  static_assert(sizeof kNames / sizeof kNames[0] == std::size_t{kKernelCount});
  return kNames[static_cast<int>(k)];
}

// The widest kernel this build holds; what the machine reports is capped by it.
#if defined(TARN_HAVE_WIDE_KERNELS)
inline constexpr Kernel kWidestBuiltKernel = Kernel::kAvx512;
#else
inline constexpr Kernel kWidestBuiltKernel = Kernel::kSse2;
#endif

// The processor's data caches, in bytes (0 where it reports none).
struct CacheSizes {
  std::uint32_t l1d = 0;
  std::uint32_t l2 = 0;
  std::uint32_t l3 = 0;
};

// What selection reads from the processor, once per process.
struct MachineKernels {
  Kernel widest = Kernel::kBaseline;  // the widest kernel the machine can run
  CacheSizes caches;                  // what the processor reports, defaults filled in
  // Whether the string moves keep pace with streaming stores on copies past
  // the last-level cache: measured so on AMD parts; on Intel ones the
  // streaming stores move twice as much.
  bool long_string_copies = false;
};

// The machine's kernels and caches: CPUID and XGETBV are read by the first
// call and the answer kept (racing first calls compute the same value).
MachineKernels machine_kernels();

// The kernel MxInitLibForCPU binds: the machine's widest, capped by the ceiling.
Kernel selected_kernel();

// Caps the kernel of later MxInitLibForCPU calls (tests and benchmarks only;
// not exported). Kernel::kCount lifts the cap.
void set_kernel_ceiling(Kernel ceiling);
Kernel kernel_ceiling();

}  // namespace tarn

namespace tarn {

// What the processor answers, for reading the machine without running on it.
struct CpuidAnswer {
  std::uint32_t eax = 0, ebx = 0, ecx = 0, edx = 0;
};
using CpuidFn = CpuidAnswer (*)(std::uint32_t leaf, std::uint32_t subleaf);
using Xcr0Fn = std::uint64_t (*)();

// The kernels and caches a processor reports. xcr0 (XGETBV 0: which register
// states the operating system saves) is read only where leaf 1 reports
// OSXSAVE; leaves beyond the reported maxima are never asked.
MachineKernels read_machine_kernels(CpuidFn cpuid, Xcr0Fn xcr0);

}  // namespace tarn

// A kernel's name in a registry entry, or null where none is built.
#if defined(TARN_HAVE_SSE2_KERNEL)
#define TARN_SSE2(fn) fn
#else
#define TARN_SSE2(fn) nullptr
#endif
#if defined(TARN_HAVE_WIDE_KERNELS)
#define TARN_WIDE(fn) fn
#else
#define TARN_WIDE(fn) nullptr
#endif
