// Dword fill and copy. Every variant leaves the same memory contents; they
// differ only in how the stores are made.
// Loads and stores go through memcpy or instructions without alignment
// rules, so an address that is not a multiple of 4 is merely slower, never
// undefined.
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <cwchar>

#include "dispatch/kernel.h"
#include "pixel/bytes.h"
#include "pixel/pixel.h"

#if defined(TARN_HAVE_WIDE_KERNELS)
#include <immintrin.h>
#endif

namespace tarn::pixel {
namespace {

// The block phase of the MMX and MMXext variants: count / 8 blocks of 32
// bytes from a destination aligned to 8. Every means below stores the same
// bytes; which is fastest depends on the run length, and these bounds come
// from measurements on current x86-64 processors (bench/compare).
// Non-temporal 8- or 16-byte stores lost to all of them at every length (by
// a third for copies), so both variants use ordinary stores and differ in
// name only; the C library switches to its own full-line streaming stores
// where those pay, beyond the caches.
constexpr std::size_t kMiB = std::size_t{1} << 20;

void fill_run_baseline(Byte* dst, std::size_t bytes, std::uint32_t value) {
  if (bytes == 0) return;
  if (value == 0) {
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
    // From a couple of kilobytes up the C library's clear is the repeated
    // byte store; issuing it here saves the library's own dispatch.
    if (bytes >= 2048) {
      void* p = dst;
      asm volatile("rep stosb" : "+D"(p), "+c"(bytes) : "a"(0) : "memory");
      return;
    }
#endif
    std::memset(dst, 0, bytes);
    return;
  }
#if defined(__GNUC__) && defined(__x86_64__)
  // Between the last-level cache and the C library's streaming threshold the
  // repeated quadword store beats the vector loops.
  if (bytes >= 32 * kMiB && bytes < 128 * kMiB) {
    void* p = dst;
    std::size_t n = bytes / 8;
    const std::uint64_t pair = value | (std::uint64_t{value} << 32);
    asm volatile("rep stosq" : "+D"(p), "+c"(n) : "a"(pair) : "memory");
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

// Ascending, so a destination below an overlapping source is copied as the
// block loop would copy it.
void copy_run_baseline(Byte* dst, const Byte* src, std::size_t bytes) {
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
  // Runs that live in the last-level cache copy fastest with the C library's
  // vector loop (which moves overlapping runs correctly as well).
  if (bytes >= 4 * kMiB && bytes < 32 * kMiB) {
    std::memmove(dst, src, bytes);
    return;
  }
  // Otherwise the repeated byte move, defined as an ascending byte-by-byte
  // copy and run as fast-string microcode: ahead below a few megabytes, and
  // by a quarter beyond the caches, where the library streams.
  asm volatile("rep movsb" : "+D"(dst), "+S"(src), "+c"(bytes) : : "memory");
#else
  std::memmove(dst, src, bytes);
#endif
}

#if defined(TARN_HAVE_WIDE_KERNELS)
// The AVX2 block runs: 32-byte stores, the first and last unaligned and the
// rest on multiples of 32 (overlapping stores write the same bytes twice).
// Runs beyond the vector bound take the baseline's means.
constexpr std::size_t kVectorUntil = 32 * kMiB;

TARN_AVX2_KERNEL void fill_run_avx2(Byte* dst, std::size_t bytes, std::uint32_t value) {
  if (bytes >= kVectorUntil) {
    fill_run_baseline(dst, bytes, value);
    return;
  }
  if (bytes == 0) return;
  // The first and last stores start at the run's own phase; the aligned ones
  // take the value rotated to it, for a destination off a multiple of 4.
  const __m256i edge = _mm256_set1_epi32(static_cast<int>(value));
  const auto phase = static_cast<int>(reinterpret_cast<std::uintptr_t>(dst) % 4);
  const __m256i v = _mm256_set1_epi32(static_cast<int>(std::rotl(value, 8 * phase)));
  Byte* const end = dst + bytes;
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst), edge);
  Byte* p = reinterpret_cast<Byte*>((reinterpret_cast<std::uintptr_t>(dst) + 32) &
                                    ~std::uintptr_t{31});
  for (; end - p >= 128; p += 128) {
    _mm256_store_si256(reinterpret_cast<__m256i*>(p), v);
    _mm256_store_si256(reinterpret_cast<__m256i*>(p + 32), v);
    _mm256_store_si256(reinterpret_cast<__m256i*>(p + 64), v);
    _mm256_store_si256(reinterpret_cast<__m256i*>(p + 96), v);
  }
  for (; end - p >= 32; p += 32) _mm256_store_si256(reinterpret_cast<__m256i*>(p), v);
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(end - 32), edge);
}

// (A lambda would not inherit the target attribute.)
TARN_AVX2_KERNEL inline __m256i load_avx2(const Byte* at) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
}

// Runs that overlap take the baseline's ascending string move: the vector
// loop rereads source bytes that its first store may have overwritten.
TARN_AVX2_KERNEL void copy_run_avx2(Byte* dst, const Byte* src, std::size_t bytes) {
  const std::uintptr_t d = reinterpret_cast<std::uintptr_t>(dst);
  const std::uintptr_t s = reinterpret_cast<std::uintptr_t>(src);
  if (bytes >= kVectorUntil || (s > d && s - d < bytes)) {
    copy_run_baseline(dst, src, bytes);
    return;
  }
  if (bytes == 0) return;
  Byte* const end = dst + bytes;
  const __m256i last = load_avx2(src + bytes - 32);
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst), load_avx2(src));
  Byte* p = reinterpret_cast<Byte*>((d + 32) & ~std::uintptr_t{31});
  const Byte* q = src + (p - dst);
  for (; end - p >= 128; p += 128, q += 128) {
    const __m256i a = load_avx2(q), b = load_avx2(q + 32), c = load_avx2(q + 64), e = load_avx2(q + 96);
    _mm256_store_si256(reinterpret_cast<__m256i*>(p), a);
    _mm256_store_si256(reinterpret_cast<__m256i*>(p + 32), b);
    _mm256_store_si256(reinterpret_cast<__m256i*>(p + 64), c);
    _mm256_store_si256(reinterpret_cast<__m256i*>(p + 96), e);
  }
  for (; end - p >= 32; p += 32, q += 32) {
    _mm256_store_si256(reinterpret_cast<__m256i*>(p), load_avx2(q));
  }
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(end - 32), last);
}
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
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
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

namespace blocks {
void ZeroDwordAlignedMem(void* dst, std::uint32_t count) {
  fill_blocks<fill_run_baseline>(static_cast<Byte*>(dst), count, 0);
}
void SetDwordAlignedMem(void* dst, std::uint32_t count, std::uint32_t value) {
  fill_blocks<fill_run_baseline>(static_cast<Byte*>(dst), count, value);
}
void CopyDwordAlignedMem(void* dst, const void* src, std::uint32_t count) {
  copy_blocks<copy_run_baseline>(static_cast<Byte*>(dst), static_cast<const Byte*>(src), count);
}
}  // namespace blocks

#if defined(TARN_HAVE_WIDE_KERNELS)
namespace blocks_avx2 {
void ZeroDwordAlignedMem(void* dst, std::uint32_t count) {
  fill_blocks<fill_run_avx2>(static_cast<Byte*>(dst), count, 0);
}
void SetDwordAlignedMem(void* dst, std::uint32_t count, std::uint32_t value) {
  fill_blocks<fill_run_avx2>(static_cast<Byte*>(dst), count, value);
}
void CopyDwordAlignedMem(void* dst, const void* src, std::uint32_t count) {
  copy_blocks<copy_run_avx2>(static_cast<Byte*>(dst), static_cast<const Byte*>(src), count);
}
}  // namespace blocks_avx2
#endif

}  // namespace tarn::pixel
