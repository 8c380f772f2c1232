// Dword fill and copy. Every variant leaves the same memory contents; they
// differ in store width and in whether the block stores bypass the caches.
// Loads and stores go through memcpy or instructions without alignment
// rules, so an address that is not a multiple of 4 is merely slower, never
// undefined.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "pixel/pixel.h"

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#include <emmintrin.h>
#define TARN_PIXEL_HAVE_SSE2 1
#endif

namespace tarn::pixel {
namespace {

using Byte = unsigned char;

// One dword from a possibly unaligned address.
inline std::uint32_t load32(const Byte* p) {
  std::uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}
inline void store32(Byte* p, std::uint32_t v) {
  std::memcpy(p, &v, 4);
}
inline std::uint64_t load64(const Byte* p) {
  std::uint64_t v;
  std::memcpy(&v, p, 8);
  return v;
}

// Ordinary 8-byte store.
struct PlainStore {
  static void store64(Byte* p, std::uint64_t v) { std::memcpy(p, &v, 8); }
};

// Non-temporal 8-byte store where the target has one (destination aligned
// to 8 by the caller); otherwise an ordinary store with the same contents.
struct StreamingStore {
  static void store64(Byte* p, std::uint64_t v) {
#if defined(TARN_PIXEL_HAVE_SSE2) && (defined(__x86_64__) || defined(_M_X64))
    _mm_stream_si64(reinterpret_cast<long long*>(p), static_cast<long long>(v));
#elif defined(TARN_PIXEL_HAVE_SSE2)
    _mm_stream_si32(reinterpret_cast<int*>(p), static_cast<int>(static_cast<std::uint32_t>(v)));
    _mm_stream_si32(reinterpret_cast<int*>(p + 4),
                    static_cast<int>(static_cast<std::uint32_t>(v >> 32)));
#else
    std::memcpy(p, &v, 8);
#endif
  }
};

template <typename Store>
Byte* fill_run(Byte* dst, std::uint32_t blocks, std::uint64_t pair) {
  for (; blocks != 0; --blocks) {
    Store::store64(dst, pair);
    Store::store64(dst + 8, pair);
    Store::store64(dst + 16, pair);
    Store::store64(dst + 24, pair);
    dst += 32;
  }
  return dst;
}

// Alignment dword, 32-byte blocks, dword tail; all writes ascend.
template <typename Store>
void fill_blocks(Byte* dst, std::uint32_t count, std::uint32_t value) {
  if (count == 0) return;
  if (reinterpret_cast<std::uintptr_t>(dst) % 8 != 0) {
    store32(dst, value);
    dst += 4;
    --count;
  }
  const std::uint64_t pair = value | (std::uint64_t{value} << 32);
  // A destination that was not even a multiple of 4 is still misaligned here.
  if (reinterpret_cast<std::uintptr_t>(dst) % 8 == 0) {
    dst = fill_run<Store>(dst, count / 8, pair);
  } else {
    dst = fill_run<PlainStore>(dst, count / 8, pair);
  }
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

template <typename Store>
void copy_run(Byte* dst, const Byte* src, std::uint32_t blocks) {
  for (; blocks != 0; --blocks) {
    const std::uint64_t q0 = load64(src);
    const std::uint64_t q1 = load64(src + 8);
    const std::uint64_t q2 = load64(src + 16);
    const std::uint64_t q3 = load64(src + 24);
    Store::store64(dst, q0);
    Store::store64(dst + 8, q1);
    Store::store64(dst + 16, q2);
    Store::store64(dst + 24, q3);
    dst += 32;
    src += 32;
  }
}

// Each block is loaded whole before it is stored, so a destination below an
// overlapping source is copied correctly.
template <typename Store>
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
  if (reinterpret_cast<std::uintptr_t>(dst) % 8 == 0) {
    copy_run<Store>(dst, src, count / 8);
  } else {
    copy_run<PlainStore>(dst, src, count / 8);
  }
  dst += std::size_t{count / 8} * 32;
  src += std::size_t{count / 8} * 32;
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

namespace mmx {
void ZeroDwordAlignedMem(void* dst, std::uint32_t count) {
  fill_blocks<PlainStore>(static_cast<Byte*>(dst), count, 0);
}
void SetDwordAlignedMem(void* dst, std::uint32_t count, std::uint32_t value) {
  fill_blocks<PlainStore>(static_cast<Byte*>(dst), count, value);
}
void CopyDwordAlignedMem(void* dst, const void* src, std::uint32_t count) {
  copy_blocks<PlainStore>(static_cast<Byte*>(dst), static_cast<const Byte*>(src), count);
}
}  // namespace mmx

namespace mmxext {
void ZeroDwordAlignedMem(void* dst, std::uint32_t count) {
  fill_blocks<StreamingStore>(static_cast<Byte*>(dst), count, 0);
}
void SetDwordAlignedMem(void* dst, std::uint32_t count, std::uint32_t value) {
  fill_blocks<StreamingStore>(static_cast<Byte*>(dst), count, value);
}
void CopyDwordAlignedMem(void* dst, const void* src, std::uint32_t count) {
  copy_blocks<StreamingStore>(static_cast<Byte*>(dst), static_cast<const Byte*>(src), count);
}
}  // namespace mmxext

}  // namespace tarn::pixel
