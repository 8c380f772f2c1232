// Memory and pixels: dword fill and copy, and the alpha-blending blit, in
// every variant, plus the per-channel blend formulas that define the blit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "TarnLib2DLL.h"
#include "dispatch/kernel.h"

namespace tarn::pixel {

// The blend of one 8-bit channel: s source, d destination, a source alpha,
// each 0..255. Every variant's packed and per-pixel code reproduces these.

// Weights a and 256 - a; the sum never exceeds 255 * 256, so 16 bits suffice.
constexpr std::uint32_t blend_x87(std::uint32_t s, std::uint32_t d, std::uint32_t a) {
  return (s * a + d * (256 - a)) >> 8;
}

// Weights a and 255 - a: a colour blended over itself loses 1.
constexpr std::uint32_t blend_mmx(std::uint32_t s, std::uint32_t d, std::uint32_t a) {
  return (s * a + d * (255 - a)) >> 8;
}

// High halves of (s << 8) * (a << 8) and (d << 8) * ((a << 8) ^ 0xFF00): the
// same products as the MMX form, so the same result.
constexpr std::uint32_t blend_mmxext(std::uint32_t s, std::uint32_t d, std::uint32_t a) {
  const std::uint32_t a_hi = a << 8;
  const std::uint32_t s_term = ((s << 8) * a_hi) >> 16;
  const std::uint32_t d_term = ((d << 8) * (a_hi ^ 0xFF00)) >> 16;
  return (s_term + d_term) >> 8;
}

// 15-bit fixed point: channels scaled by 128, alpha by 257 / 2; each product
// rounded to nearest, their sum truncated back to 8 bits.
constexpr std::uint32_t blend_cyrix(std::uint32_t s, std::uint32_t d, std::uint32_t a) {
  const std::uint32_t alpha = (a * 257) >> 1;
  const std::uint32_t inverse = alpha ^ 0x7F80;  // (255 - a) * 128 + a / 2
  const std::uint32_t p = (alpha * (s << 7) + 16384) >> 15;
  const std::uint32_t q = (inverse * (d << 7) + 16384) >> 15;
  return (p + q) >> 7;
}

// Fill and copy, declared with their slots' function types. x87: one
// ascending run of dword stores. MMX and MMXext: an alignment dword, the
// 32-byte blocks, a dword tail, from one implementation that differs only
// in its stores from the streaming bound on: string instructions for MMX,
// fenced non-temporal stores for MMXext (fill.cpp). The _avx2 and _avx512
// namespaces hold their wider kernels.
using ZeroDwordsFn = std::remove_pointer_t<MxZeroDwordAlignedMemFn>;
using SetDwordsFn = std::remove_pointer_t<MxSetDwordAlignedMemFn>;
using CopyDwordsFn = std::remove_pointer_t<MxCopyDwordAlignedMemFn>;

#define TARN_DWORD_VARIANT(ns)      \
  namespace ns {                    \
  SetDwordsFn SetDwordAlignedMem;   \
  CopyDwordsFn CopyDwordAlignedMem; \
  }
TARN_DWORD_VARIANT(x87)
TARN_DWORD_VARIANT(mmx)
TARN_DWORD_VARIANT(mmxext)
#if defined(TARN_HAVE_WIDE_KERNELS)
TARN_DWORD_VARIANT(mmx_avx2)
TARN_DWORD_VARIANT(mmxext_avx2)
TARN_DWORD_VARIANT(mmx_avx512)
TARN_DWORD_VARIANT(mmxext_avx512)
#endif
// One clear per kernel width: MMXext clears as MMX does.
namespace x87 {
ZeroDwordsFn ZeroDwordAlignedMem;
}
namespace mmx {
ZeroDwordsFn ZeroDwordAlignedMem;
}
#if defined(TARN_HAVE_WIDE_KERNELS)
namespace mmx_avx2 {
ZeroDwordsFn ZeroDwordAlignedMem;
}
namespace mmx_avx512 {
ZeroDwordsFn ZeroDwordAlignedMem;
}
#endif
#undef TARN_DWORD_VARIANT

// The run lengths at which the block phase changes its means, set by
// selection from the cache sizes the processor reports, the last-level one
// (or else the L2) taken within 1 and 32 MiB: MMXext streams a fill of a
// value from the streaming bound (the last-level cache's size), and every
// kernel fills with string stores from the string bound (half of it) up to
// there; where source and destination share their offset within a line,
// every kernel copies with the string moves over a band, from the L1 data
// cache's size (within 16 and 256 KiB) to twice the L2's (within the
// streaming bound), and from the streaming bound.
// long_string_copies: whether a streaming variant's copies past the
// streaming bound keep the string moves where lines line up (else stream).
void choose_run_bounds(const CacheSizes& caches, bool long_string_copies = true);
std::size_t streaming_bound();
std::size_t string_bound();
struct CopyStringBand {
  std::size_t from, to;
};
CopyStringBand copy_string_band();

// The blit: one template whose instances are the variants' blits, each in
// each kernel it is built for (SSE2 on 32-bit x86, the wider ones on x86-64).
using AlphaBltFn = std::remove_pointer_t<MxAlphaBlt32Fn>;

// The per-channel blend of each variant: blend_x87, blend_mmx, blend_mmxext
// and blend_cyrix above.
enum class Blend : std::uint8_t { kX87, kMmx, kMmxext, kCyrix };

template <Blend B, Kernel K>
AlphaBltFn alpha_blt;

}  // namespace tarn::pixel
