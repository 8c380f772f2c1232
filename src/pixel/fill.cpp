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
// bytes; which is fastest depends on the run length, and the bounds between
// them are set once at selection from the caches the processor reports:
//  - a fill (clear or value) takes vector stores (the C library's own where
//    the baseline has nothing wider) while the run fits well inside the last
//    level cache, and the string stores from half its size: beyond that
//    vector stores pay a read for ownership of every line from memory, which
//    the string microcode skips (a clear takes the byte store, which kept
//    ahead of the wider ones there);
//  - from the streaming bound (the last-level cache's size) MMXext streams a
//    fill of a value instead (non-temporal full-line stores); its clear is
//    MMX's;
//  - a copy moves strings where source and destination sit at the same
//    offset within a line, from the L1 cache's size (where the vector loop's
//    loads start missing) to twice the L2's (beyond which the vector loop
//    keeps more lines in flight than the microcode), and again from the
//    streaming bound; otherwise vector loops and, in MMXext from the
//    streaming bound, streaming stores. Past the streaming bound MMXext
//    keeps the string moves on AMD parts only: on Intel ones streaming
//    stores moved 1.7 times as much at 64 MiB (11.2 against 6.5 GB/s).
// The last-level figure is capped at 32 MiB: hypervisors and large parts
// report caches of hundreds of MiB, shared across a socket, that one core's
// stores do not see at cache speed (measured on such a machine, vector fills
// fell behind the string stores between 16 and 32 MiB).
// Streamed stores are fenced before the call returns, so the caller sees
// them ordered like ordinary stores.
constexpr std::size_t kKiB = std::size_t{1} << 10;
constexpr std::size_t kMiB = std::size_t{1} << 20;
constexpr std::size_t kLargestNearCache = 32 * kMiB;

// Until selection has read the caches: bounds for a 32 MiB last-level cache.
std::atomic<std::size_t> g_stream_from{kLargestNearCache};

std::size_t stream_from() {
  return g_stream_from.load(std::memory_order_relaxed);
}

std::atomic<std::size_t> g_strings_from{kLargestNearCache / 2};

std::size_t strings_from() {
  return g_strings_from.load(std::memory_order_relaxed);
}

std::atomic<bool> g_long_string_copies{true};

// A copy past the streaming bound, where lines line up, takes the string
// moves, unless the variant streams and they fall behind on this processor.
template <bool kStreaming>
bool strings_past_stream_bound(std::size_t bytes) {
  return bytes >= stream_from() &&
         (!kStreaming || g_long_string_copies.load(std::memory_order_relaxed));
}

std::atomic<std::size_t> g_copy_strings_from{32 * kKiB};
std::atomic<std::size_t> g_copy_strings_to{512 * kKiB};

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

#if defined(TARN_X86_64)
// A destination below an overlapping source: the vector loops, which store
// their first block early, would reread bytes they have overwritten.
bool overlaps_from_below(const Byte* dst, const Byte* src, std::size_t bytes) {
  const std::uintptr_t d = reinterpret_cast<std::uintptr_t>(dst);
  const std::uintptr_t s = reinterpret_cast<std::uintptr_t>(src);
  return s > d && s - d < bytes;
}

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
#if defined(TARN_X86_STRINGS)
  if (bytes >= strings_from()) {
    if (value == 0) {
      string_clear(dst, bytes);
    } else {
      string_fill(dst, bytes, value);
    }
    return;
  }
#else
  if (value == 0) {
    std::memset(dst, 0, bytes);
    return;
  }
#endif
#if WCHAR_MAX > 0xFFFF
  // The C library's 32-bit fill: vector stores as wide as the processor has,
  // for a clear too (its byte clear turns to the string store from a few
  // KiB, which vector stores outran within the caches). It takes whole wide
  // characters, so only a destination on a multiple of 4.
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
#if defined(TARN_X86_STRINGS)
  // Where the lines line up, the repeated byte move outside the band in
  // which the C library's vector loop outruns it (twice the L2 cache's size
  // up to the streaming bound).
  if (same_line_offset(dst, src) &&
      (bytes < copy_string_band().to ||
       strings_past_stream_bound<stores == Stores::kStreaming>(bytes))) {
    string_copy(dst, src, bytes);
    return;
  }
#endif
#if defined(TARN_X86_64)
  if (stores == Stores::kStreaming && bytes >= stream_from() &&
      !overlaps_from_below(dst, src, bytes)) {
    stream_copy_sse2(dst, src, bytes);
    return;
  }
#endif
  std::memmove(dst, src, bytes);  // ascending where the destination is below
}

#if defined(TARN_HAVE_WIDE_KERNELS)
template <Stores stores>
bool copy_strings(std::size_t bytes) {
  const CopyStringBand band = copy_string_band();
  return (bytes >= band.from && bytes < band.to) ||
         strings_past_stream_bound<stores == Stores::kStreaming>(bytes);
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

void choose_run_bounds(const CacheSizes& caches, bool long_string_copies) {
  g_long_string_copies.store(long_string_copies, std::memory_order_relaxed);
  const std::size_t reported = caches.l3 != 0 ? caches.l3 : caches.l2;
  const std::size_t last_level = std::clamp<std::size_t>(reported, kMiB, kLargestNearCache);
  g_stream_from.store(last_level, std::memory_order_relaxed);
  g_strings_from.store(last_level / 2, std::memory_order_relaxed);
  const std::size_t l1 = caches.l1d != 0 ? caches.l1d : 32 * kKiB;
  g_copy_strings_from.store(std::clamp<std::size_t>(l1, 16 * kKiB, 256 * kKiB),
                            std::memory_order_relaxed);
  const std::size_t l2 = std::max<std::size_t>(caches.l2, 256 * kKiB);
  g_copy_strings_to.store(std::min(2 * l2, last_level), std::memory_order_relaxed);
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
