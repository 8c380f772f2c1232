// Dword fill and copy. Every variant leaves the same memory contents; they
// differ only in how the stores are made.
// Loads and stores go through memcpy or instructions without alignment
// rules, so an address that is not a multiple of 4 is merely slower, never
// undefined.
#include <algorithm>
#include <atomic>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <cwchar>

#include "dispatch/kernel.h"
#include "isa/platform.h"
#include "pixel/bytes.h"
#include "pixel/pixel.h"

#if defined(TARN_X86_64)
#include <immintrin.h>
#endif

namespace tarn::pixel {
namespace {

// The block phase of the MMX and MMXext variants: count / 8 blocks of 32
// bytes from a destination aligned to 8. Every means below stores the same
// bytes; which is fastest depends on the run length:
//  - below the streaming bound (half the last-level cache, set at selection
//    from the sizes the processor reports), ordinary stores: vector loops, or
//    the C library's own where the baseline has nothing wider;
//  - from the bound, MMXext streams (non-temporal full-line stores, which
//    skip reading the lines they overwrite) and MMX takes the string
//    instructions. A clear takes the repeated byte store in both: its
//    microcode clears lines without reading them. The wider kernels' copy
//    takes the string moves there in both too, streaming only where source
//    and destination sit at different offsets within a line.
// Streamed stores are fenced before the call returns, so the caller sees
// them ordered like ordinary stores.
constexpr std::size_t kMiB = std::size_t{1} << 20;

// Until selection has read the caches: a bound above most processors' caches.
std::atomic<std::size_t> g_stream_from{16 * kMiB};

std::size_t stream_from() {
  return g_stream_from.load(std::memory_order_relaxed);
}

// From the size of the L2 cache (at least 256 KiB) up to the streaming
// bound, the wider kernels fill with the string instructions: their
// microcode writes whole lines without the reads for ownership that vector
// stores into the last-level cache pay.
std::atomic<std::size_t> g_strings_from{16 * kMiB};

std::size_t strings_from() {
  return g_strings_from.load(std::memory_order_relaxed);
}

// A copy takes the string moves over a different band: from the L1 cache's
// size, where the vector loop's loads start missing, to twice the L2's,
// beyond which the vector loop keeps more lines in flight than the microcode.
std::atomic<std::size_t> g_copy_strings_from{16 * kMiB};
std::atomic<std::size_t> g_copy_strings_to{16 * kMiB};

enum class Stores : bool { kOrdinary, kStreaming };

#if defined(TARN_X86_GNU_ASM)
#define TARN_X86_STRINGS 1
void string_clear(Byte* dst, std::size_t bytes) {
  asm volatile("rep stosb" : "+D"(dst), "+c"(bytes) : "a"(0) : "memory");
}

// Ascending, defined as byte-by-byte copies: correct for a destination below
// an overlapping source.
void string_copy(Byte* dst, const Byte* src, std::size_t bytes) {
  asm volatile("rep movsb" : "+D"(dst), "+S"(src), "+c"(bytes) : : "memory");
}

void string_fill(Byte* dst, std::size_t bytes, std::uint32_t value) {
#if defined(TARN_X86_64)
  std::size_t n = bytes / 8;
  const std::uint64_t pair = value | (std::uint64_t{value} << 32);
  asm volatile("rep stosq" : "+D"(dst), "+c"(n) : "a"(pair) : "memory");
#else
  std::size_t n = bytes / 4;
  asm volatile("rep stosl" : "+D"(dst), "+c"(n) : "a"(value) : "memory");
#endif
}
#endif

#if defined(TARN_X86_STRINGS)
// The string moves slow down badly when source and destination sit at
// different offsets within a line.
bool same_line_offset(const Byte* dst, const Byte* src) {
  return (reinterpret_cast<std::uintptr_t>(dst) - reinterpret_cast<std::uintptr_t>(src)) % 64 ==
         0;
}
#endif

// A destination below an overlapping source: the vector loops, which store
// their first block early, would reread bytes they have overwritten.
bool overlaps_from_below(const Byte* dst, const Byte* src, std::size_t bytes) {
  const std::uintptr_t d = reinterpret_cast<std::uintptr_t>(dst);
  const std::uintptr_t s = reinterpret_cast<std::uintptr_t>(src);
  return s > d && s - d < bytes;
}

#if defined(TARN_X86_64)
// SSE2 streaming: an ordinary 16-byte store up to a multiple of 16, then
// non-temporal ones, the fence, and ordinary stores for the rest.
void stream_fill_sse2(Byte* dst, std::size_t bytes, std::uint32_t value) {
  const __m128i edge = _mm_set1_epi32(static_cast<int>(value));
  const auto phase = static_cast<int>(reinterpret_cast<std::uintptr_t>(dst) % 4);
  const __m128i v = _mm_set1_epi32(static_cast<int>(std::rotl(value, 8 * phase)));
  Byte* const end = dst + bytes;
  _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), edge);
  Byte* p =
      reinterpret_cast<Byte*>((reinterpret_cast<std::uintptr_t>(dst) + 16) & ~std::uintptr_t{15});
  for (; end - p >= 64; p += 64) {
    _mm_stream_si128(reinterpret_cast<__m128i*>(p), v);
    _mm_stream_si128(reinterpret_cast<__m128i*>(p + 16), v);
    _mm_stream_si128(reinterpret_cast<__m128i*>(p + 32), v);
    _mm_stream_si128(reinterpret_cast<__m128i*>(p + 48), v);
  }
  _mm_sfence();
  for (; end - p >= 16; p += 16) _mm_store_si128(reinterpret_cast<__m128i*>(p), v);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(end - 16), edge);
}

void stream_copy_sse2(Byte* dst, const Byte* src, std::size_t bytes) {
  const auto load = [](const Byte* at) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
  };
  Byte* const end = dst + bytes;
  const __m128i last = load(src + bytes - 16);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), load(src));
  Byte* p =
      reinterpret_cast<Byte*>((reinterpret_cast<std::uintptr_t>(dst) + 16) & ~std::uintptr_t{15});
  const Byte* q = src + (p - dst);
  for (; end - p >= 64; p += 64, q += 64) {
    const __m128i a = load(q), b = load(q + 16), c = load(q + 32), e = load(q + 48);
    _mm_stream_si128(reinterpret_cast<__m128i*>(p), a);
    _mm_stream_si128(reinterpret_cast<__m128i*>(p + 16), b);
    _mm_stream_si128(reinterpret_cast<__m128i*>(p + 32), c);
    _mm_stream_si128(reinterpret_cast<__m128i*>(p + 48), e);
  }
  _mm_sfence();
  for (; end - p >= 16; p += 16, q += 16) {
    _mm_store_si128(reinterpret_cast<__m128i*>(p), load(q));
  }
  _mm_storeu_si128(reinterpret_cast<__m128i*>(end - 16), last);
}
#endif

template <Stores stores>
void fill_run_baseline(Byte* dst, std::size_t bytes, std::uint32_t value) {
  if (bytes == 0) return;
#if defined(TARN_X86_64)
  if (stores == Stores::kStreaming && value != 0 && bytes >= stream_from()) {
    stream_fill_sse2(dst, bytes, value);
    return;
  }
#endif
  if (value == 0) {
#if defined(TARN_X86_STRINGS)
    // From a couple of kilobytes up the C library's clear is the repeated
    // byte store; issuing it here saves the library's own dispatch.
    if (bytes >= 2048) {
      string_clear(dst, bytes);
      return;
    }
#endif
    std::memset(dst, 0, bytes);
    return;
  }
#if defined(TARN_X86_STRINGS)
  if (bytes >= stream_from()) {
    string_fill(dst, bytes, value);
    return;
  }
#endif
#if WCHAR_MAX > 0xFFFF
  // The C library's 32-bit fill: vector stores as wide as the processor has.
  // It takes whole wide characters, so only a destination on a multiple of 4.
  static_assert(sizeof(wchar_t) == 4);
  if (reinterpret_cast<std::uintptr_t>(dst) % alignof(wchar_t) == 0) {
    std::wmemset(reinterpret_cast<wchar_t*>(dst), std::bit_cast<wchar_t>(value), bytes / 4);
    return;
  }
#endif
  for (std::size_t i = 0; i < bytes; i += 4) store32(dst + i, value);
}

template <Stores stores>
void copy_run_baseline(Byte* dst, const Byte* src, std::size_t bytes) {
  if (bytes == 0) return;
  const bool overlapping = overlaps_from_below(dst, src, bytes);
#if defined(TARN_X86_64)
  if (stores == Stores::kStreaming && !overlapping && bytes >= stream_from()) {
    stream_copy_sse2(dst, src, bytes);
    return;
  }
#endif
#if defined(TARN_X86_STRINGS)
  // The repeated byte move where it runs at full speed: beyond the caches,
  // and below the C library's own vector loop's range.
  if (same_line_offset(dst, src) && (bytes >= stream_from() || bytes < 4 * kMiB)) {
    string_copy(dst, src, bytes);
    return;
  }
#endif
  (void)overlapping;
  std::memmove(dst, src, bytes);  // ascending where the destination is below
}

#if defined(TARN_HAVE_WIDE_KERNELS)
bool copy_strings_band(std::size_t bytes) {
  const CopyStringBand band = copy_string_band();
  return bytes >= band.from && bytes < band.to;
}

// The wider kernels' block runs, one body for each width (fill_runs.inc).
// (Lambdas would not inherit the target attribute: helpers are functions.)
namespace avx2 {
#define TARN_VEC TARN_AVX2_KERNEL inline
#define TARN_VEC_KERNEL TARN_AVX2_KERNEL
struct V {
  using T = __m256i;
  static constexpr std::size_t kBytes = 32;
  static TARN_VEC T splat32(std::uint32_t v) { return _mm256_set1_epi32(static_cast<int>(v)); }
  static TARN_VEC T load(const Byte* at) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
  }
  static TARN_VEC void store_unaligned(Byte* at, T v) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(at), v);
  }
  static TARN_VEC void store(Byte* at, T v) { _mm256_store_si256(reinterpret_cast<__m256i*>(at), v); }
  static TARN_VEC void stream(Byte* at, T v) {
    _mm256_stream_si256(reinterpret_cast<__m256i*>(at), v);
  }
};
#include "pixel/fill_runs.inc"
#undef TARN_VEC
#undef TARN_VEC_KERNEL
}  // namespace avx2

namespace avx512 {
#define TARN_VEC TARN_AVX512_KERNEL inline
#define TARN_VEC_KERNEL TARN_AVX512_KERNEL
struct V {
  using T = __m512i;
  static constexpr std::size_t kBytes = 64;
  static TARN_VEC T splat32(std::uint32_t v) { return _mm512_set1_epi32(static_cast<int>(v)); }
  static TARN_VEC T load(const Byte* at) { return _mm512_loadu_si512(at); }
  static TARN_VEC void store_unaligned(Byte* at, T v) { _mm512_storeu_si512(at, v); }
  static TARN_VEC void store(Byte* at, T v) { _mm512_store_si512(at, v); }
  static TARN_VEC void stream(Byte* at, T v) { _mm512_stream_si512(reinterpret_cast<__m512i*>(at), v); }
  // A run shorter than one register: the AVX2 run, whose registers the
  // 32-byte blocks always fill.
  template <Stores stores>
  static TARN_VEC void fill_short(Byte* dst, std::size_t bytes, std::uint32_t value) {
    avx2::fill_run<stores>(dst, bytes, value);
  }
  template <Stores stores>
  static TARN_VEC void copy_short(Byte* dst, const Byte* src, std::size_t bytes) {
    avx2::copy_run<stores>(dst, src, bytes);
  }
};
#include "pixel/fill_runs.inc"
#undef TARN_VEC
#undef TARN_VEC_KERNEL
}  // namespace avx512
#endif

using FillRun = void (*)(Byte* dst, std::size_t bytes, std::uint32_t value);
using CopyRun = void (*)(Byte* dst, const Byte* src, std::size_t bytes);

// Alignment dword, 32-byte blocks (stored by the kernel's run), dword tail.
template <FillRun run>
void fill_blocks(Byte* dst, std::uint32_t count, std::uint32_t value) {
  if (count == 0) return;
  if (reinterpret_cast<std::uintptr_t>(dst) % 8 != 0) {
    store32(dst, value);
    dst += 4;
    --count;
  }
  const std::size_t block_bytes = std::size_t{count / 8} * 32;
  run(dst, block_bytes, value);
  dst += block_bytes;
  for (std::uint32_t i = count % 8; i != 0; --i) {
    store32(dst, value);
    dst += 4;
  }
}

// True when the destination run starts inside the source run above its start:
// an ascending copy would then read words it has already overwritten.
bool overlaps_from_above(const Byte* dst, const Byte* src, std::uint32_t count) {
  const std::uintptr_t d = reinterpret_cast<std::uintptr_t>(dst);
  const std::uintptr_t s = reinterpret_cast<std::uintptr_t>(src);
  return d > s && d - s < std::uint64_t{count} * 4;
}

template <CopyRun run>
void copy_blocks(Byte* dst, const Byte* src, std::uint32_t count) {
  if (count == 0) return;
  if (overlaps_from_above(dst, src, count)) {
    // Outside the documented contract; copy as if through a buffer rather
    // than smear the source, which is also what the x87 form does.
    std::memmove(dst, src, std::size_t{count} * 4);
    return;
  }
  if (reinterpret_cast<std::uintptr_t>(dst) % 8 != 0) {
    store32(dst, load32(src));
    dst += 4;
    src += 4;
    --count;
  }
  const std::size_t block_bytes = std::size_t{count / 8} * 32;
  run(dst, src, block_bytes);
  dst += block_bytes;
  src += block_bytes;
  for (std::uint32_t i = count % 8; i != 0; --i) {
    store32(dst, load32(src));
    dst += 4;
    src += 4;
  }
}

}  // namespace

namespace x87 {
void ZeroDwordAlignedMem(void* dst, std::uint32_t count) {
  if (count != 0) std::memset(dst, 0, std::size_t{count} * 4);
}

void SetDwordAlignedMem(void* dst, std::uint32_t count, std::uint32_t value) {
#if defined(TARN_X86_GNU_ASM)
  // The processor's repeated dword store: fast-string microcode on current
  // processors, ascending since the ABI keeps the direction flag clear.
  void* p = dst;
  std::size_t n = count;
  asm volatile("rep stosl" : "+D"(p), "+c"(n) : "a"(value) : "memory");
#else
  Byte* p = static_cast<Byte*>(dst);
  for (std::uint32_t i = 0; i != count; ++i, p += 4) store32(p, value);
#endif
}

// memmove equals an ascending dword copy whenever the destination does not
// start above an overlapping source, and stays sound when it does.
void CopyDwordAlignedMem(void* dst, const void* src, std::uint32_t count) {
  if (count != 0) std::memmove(dst, src, std::size_t{count} * 4);
}
}  // namespace x87

// MMX: ordinary stores and string instructions; MMXext: may stream. A clear
// takes the same stores in both, so the MMX clear serves MMXext too.
#define TARN_BLOCK_VARIANT(ns, fill_run, copy_run, stores)                                    \
  namespace ns {                                                                             \
  void SetDwordAlignedMem(void* dst, std::uint32_t count, std::uint32_t value) {             \
    fill_blocks<fill_run<stores>>(static_cast<Byte*>(dst), count, value);                    \
  }                                                                                          \
  void CopyDwordAlignedMem(void* dst, const void* src, std::uint32_t count) {                \
    copy_blocks<copy_run<stores>>(static_cast<Byte*>(dst), static_cast<const Byte*>(src),    \
                                  count);                                                    \
  }                                                                                          \
  }
#define TARN_CLEAR_VARIANT(ns, fill_run)                                         \
  namespace ns {                                                                 \
  void ZeroDwordAlignedMem(void* dst, std::uint32_t count) {                     \
    fill_blocks<fill_run<Stores::kOrdinary>>(static_cast<Byte*>(dst), count, 0); \
  }                                                                              \
  }

TARN_BLOCK_VARIANT(mmx, fill_run_baseline, copy_run_baseline, Stores::kOrdinary)
TARN_BLOCK_VARIANT(mmxext, fill_run_baseline, copy_run_baseline, Stores::kStreaming)
TARN_CLEAR_VARIANT(mmx, fill_run_baseline)
#if defined(TARN_HAVE_WIDE_KERNELS)
TARN_BLOCK_VARIANT(mmx_avx2, avx2::fill_run, avx2::copy_run, Stores::kOrdinary)
TARN_BLOCK_VARIANT(mmxext_avx2, avx2::fill_run, avx2::copy_run, Stores::kStreaming)
TARN_CLEAR_VARIANT(mmx_avx2, avx2::fill_run)
TARN_BLOCK_VARIANT(mmx_avx512, avx512::fill_run, avx512::copy_run, Stores::kOrdinary)
TARN_BLOCK_VARIANT(mmxext_avx512, avx512::fill_run, avx512::copy_run, Stores::kStreaming)
TARN_CLEAR_VARIANT(mmx_avx512, avx512::fill_run)
#endif
#undef TARN_CLEAR_VARIANT
#undef TARN_BLOCK_VARIANT

void choose_run_bounds(const CacheSizes& caches) {
  const std::size_t last_level = caches.l3 != 0 ? caches.l3 : caches.l2;
  const std::size_t stream = std::max<std::size_t>(last_level / 2, kMiB);
  g_stream_from.store(stream, std::memory_order_relaxed);
  g_strings_from.store(std::clamp<std::size_t>(caches.l2, 256u << 10, stream),
                       std::memory_order_relaxed);
  const std::size_t l1 = std::clamp<std::size_t>(caches.l1d != 0 ? caches.l1d : 32u << 10,
                                                 16u << 10, 256u << 10);
  const std::size_t l2 = std::max<std::size_t>(caches.l2, 256u << 10);
  g_copy_strings_from.store(std::min(l1, stream), std::memory_order_relaxed);
  g_copy_strings_to.store(std::min(2 * l2, stream), std::memory_order_relaxed);
}

CopyStringBand copy_string_band() {
  return {g_copy_strings_from.load(std::memory_order_relaxed),
          g_copy_strings_to.load(std::memory_order_relaxed)};
}

std::size_t streaming_bound() {
  return stream_from();
}

std::size_t string_bound() {
  return strings_from();
}

}  // namespace tarn::pixel
