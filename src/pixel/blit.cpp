// The alpha-blending blit. Every variant shares the clipping, the addressing,
// the alpha 0 / 255 / blend classification and the 16-bit conversions; they
// differ only in the per-channel blend (pixel.h) and the alpha byte it leaves.
//
// Pixels are classified a register at a time: a group of transparent pixels
// costs one load and a test, a group of opaque pixels its stores, and a mixed
// group is blended with packed 16-bit lanes; a transparent pixel's
// destination is never written. Pixels left over are done one by one.
// Every path computes the same formulas, bit for bit. Nothing is kept beyond
// the call, so the blit may run on several threads on different surfaces.
#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "isa/platform.h"
#include "pixel/bytes.h"
#include "pixel/pixel.h"

// The SSE2 groups: the baseline's where the whole unit may use SSE2 (x86-64),
// the SSE2 kernel's on 32-bit x86, where the header switches SSE2 on for its
// own functions only.
#if defined(TARN_SSE2_IN_UNIT) || defined(TARN_HAVE_SSE2_KERNEL)
#include <emmintrin.h>
#define TARN_PIXEL_HAVE_SSE2 1
#endif
#if defined(TARN_HAVE_WIDE_KERNELS)
// GCC 12's AVX-512 intrinsics start from a deliberately undefined vector,
// which its uninitialised-use warning reports at the header's lines.
#if !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>
#if !defined(__clang__)
#pragma GCC diagnostic pop
#endif
#endif

namespace tarn::pixel {
namespace {

enum class Format { k32, k565, k1555, k4444 };

// ---- The 16-bit layouts ---------------------------------------------------
//
// Each format's blue, green and red fields: every conversion, one pixel or a
// register at a time, derives from these.

struct Field {
  int pos, width;
};
template <Format F>
constexpr Field kFields[3] = {};
template <>
constexpr Field kFields<Format::k565>[3] = {{0, 5}, {5, 6}, {11, 5}};
template <>
constexpr Field kFields<Format::k1555>[3] = {{0, 5}, {5, 5}, {10, 5}};
template <>
constexpr Field kFields<Format::k4444>[3] = {{0, 4}, {4, 4}, {8, 4}};

// The top width bits of a byte.
constexpr unsigned byte_top_bits(int width) {
  return (0xFFu << (8 - width)) & 0xFF;
}

// ---- One pixel at a time ------------------------------------------------

template <Blend B>
constexpr std::uint32_t blend_channel(std::uint32_t s, std::uint32_t d, std::uint32_t a) {
  if constexpr (B == Blend::kX87) return blend_x87(s, d, a);
  if constexpr (B == Blend::kMmx) return blend_mmx(s, d, a);
  if constexpr (B == Blend::kMmxext) return blend_mmxext(s, d, a);
  if constexpr (B == Blend::kCyrix) return blend_cyrix(s, d, a);
}

// Blends a partly transparent source word over a destination word. The x87
// form blends colour only and leaves alpha 0; the packed forms blend alpha
// like any other channel.
template <Blend B>
std::uint32_t blend_pixel(std::uint32_t s, std::uint32_t d) {
  const std::uint32_t a = s >> 24;
  std::uint32_t result = 0;
  const int channels = B == Blend::kX87 ? 3 : 4;
  for (int c = 0; c < channels; ++c) {
    const int shift = 8 * c;
    result |= blend_channel<B>((s >> shift) & 0xFF, (d >> shift) & 0xFF, a) << shift;
  }
  return result;
}

// A 16-bit pixel as a 32-bit word: each field at the top of its byte, low
// bits and alpha zero.
template <Format F>
constexpr std::uint32_t widen(std::uint32_t v) {
  std::uint32_t word = 0;
  for (int c = 0; c < 3; ++c) {
    const Field f = kFields<F>[c];
    word |= ((v >> f.pos) << (8 - f.width) & byte_top_bits(f.width)) << (8 * c);
  }
  return word;
}

// The top bits of blue, green and red into the format's fields; the bits
// outside the fields come out 0.
template <Format F>
constexpr std::uint32_t narrow(std::uint32_t word) {
  std::uint32_t v = 0;
  for (int c = 0; c < 3; ++c) {
    const Field f = kFields<F>[c];
    v |= ((word >> (8 * c)) & byte_top_bits(f.width)) >> (8 - f.width) << f.pos;
  }
  return v;
}

template <Blend B, Format F>
void blend_pixels(const Byte* src, Byte* dst, std::int64_t count) {
  constexpr int kDstBytes = F == Format::k32 ? 4 : 2;
  for (std::int64_t i = 0; i < count; ++i, src += 4, dst += kDstBytes) {
    const std::uint32_t s = load32(src);
    const std::uint32_t a = s >> 24;
    if (a == 0) continue;
    if constexpr (F == Format::k32) {
      store32(dst, a == 255 ? s : blend_pixel<B>(s, load32(dst)));
    } else {
      const std::uint32_t c = a == 255 ? s : blend_pixel<B>(s, widen<F>(load16(dst)));
      store16(dst, narrow<F>(c));
    }
  }
}

// ---- The pixels a group keeps ----------------------------------------------
//
// A transparent pixel's destination is never written, so a group that holds
// some stores only the rest. Those mostly form one run (an edge crosses a
// register once or twice), so each run is copied from the group's image in
// memory with two overlapping moves of the widest size that fits: a few
// stores whatever the run's length, where a store per pixel costs one each
// and the AVX2 masked store is slow on some processors (on an AMD EPYC the
// AVX2 sprite blits ran 15-25 % faster with the runs). keep has one bit per
// byte of the image, at most 32; a run is at least 2 bytes long.
template <std::size_t N>
[[gnu::always_inline]] inline void copy_bytes(Byte* dst, const Byte* src) {
  std::memcpy(dst, src, N);
}

[[gnu::always_inline]] inline void store_kept_runs(Byte* dst, const Byte* image,
                                                   std::uint32_t keep) {
  while (keep != 0) {
    const int first = std::countr_zero(keep);
    const int length = std::countr_one(keep >> first);
    Byte* const d = dst + first;
    const Byte* const s = image + first;
    if (length >= 16) {
      copy_bytes<16>(d, s);
      copy_bytes<16>(d + length - 16, s + length - 16);
    } else if (length >= 8) {
      copy_bytes<8>(d, s);
      copy_bytes<8>(d + length - 8, s + length - 8);
    } else if (length >= 4) {
      copy_bytes<4>(d, s);
      copy_bytes<4>(d + length - 4, s + length - 4);
    } else {
      copy_bytes<2>(d, s);
      copy_bytes<2>(d + length - 2, s + length - 2);
    }
    keep &= keep + (keep & (0 - keep));  // clears the run just copied
  }
}

// ---- SSE2: four 32-bit or eight 16-bit pixels a step ----------------------

#if defined(TARN_PIXEL_HAVE_SSE2)

namespace sse2 {

// The packed helpers must fold into the group loop: a call per group of
// pixels costs more than the blend itself. TARN_VEC_ENTRY marks the row, the
// one function that code outside the kernel calls.
#if defined(TARN_HAVE_SSE2_KERNEL)
#define TARN_VEC TARN_SSE2_KERNEL inline __attribute__((always_inline))
#define TARN_VEC_KERNEL TARN_SSE2_KERNEL
#define TARN_VEC_ENTRY TARN_SSE2_KERNEL TARN_SSE2_KERNEL_ENTRY
#elif defined(TARN_GNU_C)
#define TARN_VEC inline __attribute__((always_inline))
#define TARN_VEC_KERNEL
#define TARN_VEC_ENTRY
#else
#define TARN_VEC __forceinline
#define TARN_VEC_KERNEL
#define TARN_VEC_ENTRY
#endif

TARN_VEC __m128i splat16(int v) {
  return _mm_set1_epi16(static_cast<short>(v));
}
TARN_VEC __m128i splat32(std::uint32_t v) {
  return _mm_set1_epi32(static_cast<int>(v));
}
TARN_VEC __m128i load(const Byte* at) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
}
TARN_VEC void store(Byte* at, __m128i v) {
  _mm_storeu_si128(reinterpret_cast<__m128i*>(at), v);
}

// where ? a : b, per bit.
TARN_VEC __m128i select(__m128i where, __m128i a, __m128i b) {
  return _mm_or_si128(_mm_and_si128(where, a), _mm_andnot_si128(where, b));
}

// (x * c + 128) >> 8 for a 15-bit x and an 8-bit c, given as 2x and c << 8:
// the high half of the product is (x * c) >> 7, whose rounded half the
// average with 0 takes.
TARN_VEC __m128i rounded_product_hi(__m128i x2, __m128i c_hi) {
  return _mm_avg_epu16(_mm_mulhi_epu16(x2, c_hi), _mm_setzero_si128());
}

// The Cyrix form's blend of the bytes at the top of each 16-bit lane, with
// the weights doubled; the sum P + Q, from which the 8-bit result is sum >> 7.
TARN_VEC __m128i cyrix_sum_hi(__m128i a16, __m128i inverse16, __m128i s_hi, __m128i d_hi) {
  return _mm_add_epi16(rounded_product_hi(a16, s_hi), rounded_product_hi(inverse16, d_hi));
}

// Eight 16-bit lanes, for the plane blend.
struct V {
  using T = __m128i;
  using Mask = __m128i;  // all ones in a lane where true
  static constexpr int kPixels = 8;
  static constexpr unsigned kAllBits = 0xFFFF;  // two mask bits per lane

  static TARN_VEC T splat16(int v) { return sse2::splat16(v); }
  static TARN_VEC T load(const Byte* at) { return sse2::load(at); }
  static TARN_VEC void store(Byte* at, T v) { sse2::store(at, v); }
  static TARN_VEC T and_(T a, T b) { return _mm_and_si128(a, b); }
  static TARN_VEC T or_(T a, T b) { return _mm_or_si128(a, b); }
  static TARN_VEC T xor_(T a, T b) { return _mm_xor_si128(a, b); }
  static TARN_VEC T add16(T a, T b) { return _mm_add_epi16(a, b); }
  static TARN_VEC T sub16(T a, T b) { return _mm_sub_epi16(a, b); }
  static TARN_VEC T subs_u16(T a, T b) { return _mm_subs_epu16(a, b); }
  static TARN_VEC T mullo16(T a, T b) { return _mm_mullo_epi16(a, b); }
  template <int N>
  static TARN_VEC T srli16(T v) {
    return _mm_srli_epi16(v, N);
  }
  template <int N>
  static TARN_VEC T slli16(T v) {
    return _mm_slli_epi16(v, N);
  }
  // x is the weight doubled, c the 8-bit operand times 256.
  static constexpr int kCyrixScale = 8;
  static TARN_VEC T rounded_product(T x2, T c_hi) { return rounded_product_hi(x2, c_hi); }
  static TARN_VEC T select(Mask where, T a, T b) { return sse2::select(where, a, b); }
  // The opaque mask is -1: subtracting it makes 255 into 256.
  static TARN_VEC T alpha_or_256(T alpha, Mask opaque) { return _mm_sub_epi16(alpha, opaque); }
  static TARN_VEC Mask equal16(T a, T b) { return _mm_cmpeq_epi16(a, b); }
  static TARN_VEC unsigned bits(Mask m) { return static_cast<unsigned>(_mm_movemask_epi8(m)); }

  // Eight source words as their low and high 16-bit halves, in pixel order.
  // The sign extension keeps the signed saturating pack exact.
  static TARN_VEC void load_split(const Byte* src, T& lo, T& hi) {
    const T s0 = load(src), s1 = load(src + 16);
    lo = _mm_packs_epi32(_mm_srai_epi32(_mm_slli_epi32(s0, 16), 16),
                         _mm_srai_epi32(_mm_slli_epi32(s1, 16), 16));
    hi = _mm_packs_epi32(_mm_srai_epi32(s0, 16), _mm_srai_epi32(s1, 16));
  }

  // Stores the pixels whose lanes are not transparent.
  static TARN_VEC void store_kept(Byte* dst, T pixels, Mask, unsigned transparent_bits) {
    alignas(16) Byte image[16];
    _mm_store_si128(reinterpret_cast<__m128i*>(image), pixels);
    store_kept_runs(dst, image, ~transparent_bits & 0xFFFF);
  }
};

#include "pixel/blit_planes.inc"

// Four source words blended over four destination words; alpha holds each
// pixel's alpha in its 32-bit lane, opaque is all ones where it is 255.
//
// The x87, MMX and MMXext forms give an opaque pixel the weights 256 and 0,
// which return the source word exactly, so no select follows the blend; the
// MMXext products (high halves of s * 256 by a * 256 and of d * 256 by
// (255 - a) * 256) equal the MMX products s * a and d * (255 - a) exactly,
// so both use the same lanes.
// The Cyrix form of four pixels, given 2A in both halves of each pixel's
// lane: 2A ^ 0xFF00 is 2 (A ^ 0x7F80), the destination's weight.
TARN_VEC __m128i cyrix_blend4(__m128i s, __m128i d, __m128i a16, __m128i opaque) {
  const __m128i high_bytes = splat16(static_cast<int>(0xFF00));
  const __m128i inverse16 = _mm_xor_si128(a16, high_bytes);
  // Blue and red from the even bytes, green and alpha from the odd ones.
  const __m128i even = cyrix_sum_hi(a16, inverse16, _mm_slli_epi16(s, 8), _mm_slli_epi16(d, 8));
  const __m128i odd =
      cyrix_sum_hi(a16, inverse16, _mm_and_si128(s, high_bytes), _mm_and_si128(d, high_bytes));
  const __m128i odd_doubled = _mm_add_epi16(odd, odd);
  return select(opaque, s,
                _mm_or_si128(_mm_srli_epi16(even, 7), _mm_and_si128(odd_doubled, high_bytes)));
}

// 2A = (a * 257) & ~1 of 16-bit alphas.
TARN_VEC __m128i cyrix_doubled_weight(__m128i alpha16) {
  return _mm_and_si128(_mm_mullo_epi16(alpha16, splat16(257)), splat16(0xFFFE));
}

template <Blend B>
TARN_VEC __m128i blend4(__m128i s, __m128i d, __m128i alpha, __m128i opaque) {
  if constexpr (B == Blend::kCyrix) {
    // The high half of each pixel's lane is 0, and stays 0 in the product.
    const __m128i doubled = cyrix_doubled_weight(alpha);
    return cyrix_blend4(s, d, _mm_or_si128(doubled, _mm_slli_epi32(doubled, 16)), opaque);
  } else {
    const __m128i weight = _mm_sub_epi32(alpha, opaque);                 // a, or 256 where a is 255
    const __m128i w = _mm_or_si128(weight, _mm_slli_epi32(weight, 16));  // in both halves
    // x87: 256 - w; MMX: 255 - w, saturating to 0 for the opaque weight.
    const __m128i inverse =
        B == Blend::kX87 ? _mm_sub_epi16(splat16(256), w) : _mm_subs_epu16(splat16(255), w);
    // Blue and red sit in the even bytes, green and alpha in the odd ones:
    // each becomes a 16-bit lane where it is, with no unpacking.
    // s * w + d * inverse <= 255 * 256: exact in 16 bits.
    const __m128i low_bytes = splat16(0x00FF);
    const __m128i even = _mm_add_epi16(_mm_mullo_epi16(_mm_and_si128(s, low_bytes), w),
                                       _mm_mullo_epi16(_mm_and_si128(d, low_bytes), inverse));
    const __m128i odd = _mm_add_epi16(_mm_mullo_epi16(_mm_srli_epi16(s, 8), w),
                                      _mm_mullo_epi16(_mm_srli_epi16(d, 8), inverse));
    const __m128i result = _mm_or_si128(_mm_srli_epi16(even, 8), _mm_andnot_si128(low_bytes, odd));
    // The x87 form leaves alpha 0 in blended pixels, 255 in opaque ones.
    if constexpr (B == Blend::kX87)
      return _mm_and_si128(result, _mm_or_si128(opaque, splat32(0x00FFFFFF)));
    return result;
  }
}

// One bit per 32-bit lane of a comparison mask.
TARN_VEC int lane_bits(__m128i mask) {
  return _mm_movemask_ps(_mm_castsi128_ps(mask));
}

// One group of four 32-bit pixels.
template <Blend B>
TARN_VEC void blend_group(__m128i s, Byte* dst) {
  const __m128i alpha = _mm_srli_epi32(s, 24);
  const __m128i opaque = _mm_cmpeq_epi32(alpha, splat32(255));
  const int transparent_bits = lane_bits(_mm_cmpeq_epi32(alpha, _mm_setzero_si128()));
  if (transparent_bits == 0xF) return;
  if (lane_bits(opaque) == 0xF) {
    store(dst, s);
    return;
  }
  const __m128i result = blend4<B>(s, load(dst), alpha, opaque);
  if (transparent_bits == 0) {
    store(dst, result);
    return;
  }
  // A transparent pixel's destination is not written at all: at most three
  // of the four are kept, a store each.
  alignas(16) std::uint32_t lanes[4];
  _mm_store_si128(reinterpret_cast<__m128i*>(lanes), result);
  for (unsigned keep = ~static_cast<unsigned>(transparent_bits) & 0xF; keep != 0;
       keep &= keep - 1) {
    const int i = std::countr_zero(keep);
    store32(dst + 4 * i, lanes[i]);
  }
}

// Blends 32-bit pixels eight at a time, then four at a time; returns how many
// it handled. One classification per eight pixels: all transparent costs the
// loads and a test, all opaque its stores, and eight blends go straight
// through.
template <Blend B>
TARN_VEC_KERNEL std::int64_t blend_groups32(const Byte* src, Byte* dst, std::int64_t count) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i full_alpha = splat16(255);
  std::int64_t done = 0;
  for (; done + 8 <= count; done += 8, src += 32, dst += 32) {
    const __m128i s0 = load(src), s1 = load(src + 16);
    // The eight alphas as 16-bit lanes; two movemask bits per pixel.
    const __m128i alpha = _mm_packs_epi32(_mm_srli_epi32(s0, 24), _mm_srli_epi32(s1, 24));
    const int transparent = _mm_movemask_epi8(_mm_cmpeq_epi16(alpha, zero));
    const int opaque = _mm_movemask_epi8(_mm_cmpeq_epi16(alpha, full_alpha));
    if (transparent == 0xFFFF) continue;
    if (opaque == 0xFFFF) {
      store(dst, s0);
      store(dst + 16, s1);
      continue;
    }
    if ((transparent | opaque) == 0) {
      // Every pixel is a blend: no classification per group, full stores.
      const __m128i d0 = load(dst), d1 = load(dst + 16);
      if constexpr (B == Blend::kCyrix) {
        // The weights of all eight from their packed alphas, each pixel's
        // spread over its lane's two halves.
        const __m128i doubled = cyrix_doubled_weight(alpha);
        store(dst, cyrix_blend4(s0, d0, _mm_unpacklo_epi16(doubled, doubled), zero));
        store(dst + 16, cyrix_blend4(s1, d1, _mm_unpackhi_epi16(doubled, doubled), zero));
      } else {
        store(dst, blend4<B>(s0, d0, _mm_srli_epi32(s0, 24), zero));
        store(dst + 16, blend4<B>(s1, d1, _mm_srli_epi32(s1, 24), zero));
      }
      continue;
    }
    blend_group<B>(s0, dst);
    blend_group<B>(s1, dst + 16);
  }
  for (; done + 4 <= count; done += 4, src += 16, dst += 16) blend_group<B>(load(src), dst);
  return done;
}

// A row: the groups, then what is left pixel by pixel.
template <Blend B, Format F>
TARN_VEC_ENTRY void blend_row(const Byte* src, Byte* dst, std::int64_t count) {
  std::int64_t done;
  if constexpr (F == Format::k32) {
    done = blend_groups32<B>(src, dst, count);
  } else {
    done = blend_groups16<B, F>(src, dst, count);
  }
  constexpr int kDstBytes = F == Format::k32 ? 4 : 2;
  blend_pixels<B, F>(src + done * 4, dst + done * kDstBytes, count - done);
}

#undef TARN_VEC
#undef TARN_VEC_KERNEL
#undef TARN_VEC_ENTRY

}  // namespace sse2

#endif  // TARN_PIXEL_HAVE_SSE2

// ---- AVX2: eight 32-bit or sixteen 16-bit pixels a register ---------------
//
// The same classification and blends with 256-bit registers; a group with
// transparent pixels stores its kept runs. A 16-bit group loads the source
// so that the in-lane packs leave every plane in pixel order. What is
// left of a row goes to the baseline groups and pixels, which compute the
// same bytes. The Cyrix form's rounded products are single rounding
// multiplies here.

#if defined(TARN_HAVE_WIDE_KERNELS)

namespace avx2 {

#define TARN_VEC TARN_AVX2_KERNEL inline __attribute__((always_inline))
#define TARN_VEC_KERNEL TARN_AVX2_KERNEL

TARN_VEC __m256i splat16(int v) {
  return _mm256_set1_epi16(static_cast<short>(v));
}
TARN_VEC __m256i splat32(std::uint32_t v) {
  return _mm256_set1_epi32(static_cast<int>(v));
}
TARN_VEC __m256i load(const Byte* at) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
}
TARN_VEC void store(Byte* at, __m256i v) {
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(at), v);
}
// 16 bytes from lo into the low half, 16 from hi into the high half.
TARN_VEC __m256i load_halves(const Byte* lo, const Byte* hi) {
  return _mm256_inserti128_si256(
      _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(lo))),
      _mm_loadu_si128(reinterpret_cast<const __m128i*>(hi)), 1);
}

// where ? a : b, where is all ones or all zeros per 16-bit lane.
TARN_VEC __m256i select(__m256i where, __m256i a, __m256i b) {
  return _mm256_blendv_epi8(b, a, where);
}

// (x * c + 128) >> 8 for a 15-bit x and an 8-bit c given as c << 7: the
// rounded high half of the signed product, exact since both are below 2^15.
TARN_VEC __m256i rounded_product7(__m256i x, __m256i c7) {
  return _mm256_mulhrs_epi16(x, c7);
}

struct V {
  using T = __m256i;
  using Mask = __m256i;
  static constexpr int kPixels = 16;
  static constexpr unsigned kAllBits = 0xFFFFFFFF;

  static TARN_VEC T splat16(int v) { return avx2::splat16(v); }
  static TARN_VEC T load(const Byte* at) { return avx2::load(at); }
  static TARN_VEC void store(Byte* at, T v) { avx2::store(at, v); }
  static TARN_VEC T and_(T a, T b) { return _mm256_and_si256(a, b); }
  static TARN_VEC T or_(T a, T b) { return _mm256_or_si256(a, b); }
  static TARN_VEC T xor_(T a, T b) { return _mm256_xor_si256(a, b); }
  static TARN_VEC T add16(T a, T b) { return _mm256_add_epi16(a, b); }
  static TARN_VEC T sub16(T a, T b) { return _mm256_sub_epi16(a, b); }
  static TARN_VEC T subs_u16(T a, T b) { return _mm256_subs_epu16(a, b); }
  static TARN_VEC T mullo16(T a, T b) { return _mm256_mullo_epi16(a, b); }
  template <int N>
  static TARN_VEC T srli16(T v) {
    return _mm256_srli_epi16(v, N);
  }
  template <int N>
  static TARN_VEC T slli16(T v) {
    return _mm256_slli_epi16(v, N);
  }
  static constexpr int kCyrixScale = 7;
  static TARN_VEC T rounded_product(T x, T c7) { return rounded_product7(x, c7); }
  static TARN_VEC T select(Mask where, T a, T b) { return avx2::select(where, a, b); }
  static TARN_VEC T alpha_or_256(T alpha, Mask opaque) { return _mm256_sub_epi16(alpha, opaque); }
  static TARN_VEC Mask equal16(T a, T b) { return _mm256_cmpeq_epi16(a, b); }
  static TARN_VEC unsigned bits(Mask m) { return static_cast<unsigned>(_mm256_movemask_epi8(m)); }

  // Pixels 0-3 with 8-11, and 4-7 with 12-15: packing the two lane by lane
  // gives pixels 0-15 in order.
  static TARN_VEC void load_split(const Byte* src, T& lo, T& hi) {
    const T s0 = load_halves(src, src + 32), s1 = load_halves(src + 16, src + 48);
    const T zero = _mm256_setzero_si256();
    lo = _mm256_packus_epi32(_mm256_blend_epi16(s0, zero, 0xAA), _mm256_blend_epi16(s1, zero, 0xAA));
    hi = _mm256_packus_epi32(_mm256_srli_epi32(s0, 16), _mm256_srli_epi32(s1, 16));
  }

  static TARN_VEC void store_kept(Byte* dst, T pixels, Mask, unsigned transparent_bits) {
    alignas(32) Byte image[32];
    _mm256_store_si256(reinterpret_cast<__m256i*>(image), pixels);
    store_kept_runs(dst, image, ~transparent_bits);
  }
};

#include "pixel/blit_planes.inc"

// blend4 for eight pixels.
template <Blend B>
TARN_VEC __m256i blend8(__m256i s, __m256i d, __m256i alpha, __m256i opaque) {
  if constexpr (B == Blend::kCyrix) {
    const __m256i scaled = _mm256_srli_epi32(_mm256_mullo_epi16(alpha, splat32(257)), 1);
    const __m256i a15 = _mm256_or_si256(scaled, _mm256_slli_epi32(scaled, 16));
    const __m256i inverse = _mm256_xor_si256(a15, splat16(0x7F80));
    const __m256i low_bytes = splat16(0x00FF);
    const __m256i high_bytes = splat16(static_cast<int>(0xFF00));
    // Each sum P + Q stays below 2^15; its 8-bit result is sum >> 7.
    const __m256i even = _mm256_add_epi16(
        rounded_product7(a15, _mm256_slli_epi16(_mm256_and_si256(s, low_bytes), 7)),
        rounded_product7(inverse, _mm256_slli_epi16(_mm256_and_si256(d, low_bytes), 7)));
    const __m256i odd = _mm256_add_epi16(
        rounded_product7(a15, _mm256_srli_epi16(_mm256_and_si256(s, high_bytes), 1)),
        rounded_product7(inverse, _mm256_srli_epi16(_mm256_and_si256(d, high_bytes), 1)));
    return select(opaque, s,
                  _mm256_or_si256(_mm256_srli_epi16(even, 7),
                                  _mm256_and_si256(_mm256_slli_epi16(odd, 1), high_bytes)));
  } else {
    const __m256i weight = _mm256_sub_epi32(alpha, opaque);
    const __m256i w = _mm256_or_si256(weight, _mm256_slli_epi32(weight, 16));
    const __m256i inverse =
        B == Blend::kX87 ? _mm256_sub_epi16(splat16(256), w) : _mm256_subs_epu16(splat16(255), w);
    const __m256i low_bytes = splat16(0x00FF);
    const __m256i even =
        _mm256_add_epi16(_mm256_mullo_epi16(_mm256_and_si256(s, low_bytes), w),
                         _mm256_mullo_epi16(_mm256_and_si256(d, low_bytes), inverse));
    const __m256i odd = _mm256_add_epi16(_mm256_mullo_epi16(_mm256_srli_epi16(s, 8), w),
                                         _mm256_mullo_epi16(_mm256_srli_epi16(d, 8), inverse));
    const __m256i result =
        _mm256_or_si256(_mm256_srli_epi16(even, 8), _mm256_andnot_si256(low_bytes, odd));
    if constexpr (B == Blend::kX87)
      return _mm256_and_si256(result, _mm256_or_si256(opaque, splat32(0x00FFFFFF)));
    return result;
  }
}

// Eight 32-bit pixels that are not all transparent.
template <Blend B>
TARN_VEC void blend_group(__m256i s, __m256i alpha, Byte* dst) {
  const __m256i transparent = _mm256_cmpeq_epi32(alpha, _mm256_setzero_si256());
  const __m256i opaque = _mm256_cmpeq_epi32(alpha, splat32(255));
  const int transparent_bits = _mm256_movemask_ps(_mm256_castsi256_ps(transparent));
  if (transparent_bits == 0xFF) return;
  const __m256i result = _mm256_movemask_ps(_mm256_castsi256_ps(opaque)) == 0xFF
                             ? s
                             : blend8<B>(s, load(dst), alpha, opaque);
  if (transparent_bits == 0) {
    store(dst, result);
  } else {
    alignas(32) Byte image[32];
    _mm256_store_si256(reinterpret_cast<__m256i*>(image), result);
    store_kept_runs(dst, image, ~static_cast<unsigned>(_mm256_movemask_epi8(transparent)));
  }
}

template <Blend B>
TARN_VEC_KERNEL std::int64_t blend_groups32(const Byte* src, Byte* dst, std::int64_t count) {
  const __m256i zero = _mm256_setzero_si256();
  const __m256i full_alpha = splat16(255);
  std::int64_t done = 0;
  for (; done + 16 <= count; done += 16, src += 64, dst += 64) {
    const __m256i s0 = load(src), s1 = load(src + 32);
    const __m256i a0 = _mm256_srli_epi32(s0, 24), a1 = _mm256_srli_epi32(s1, 24);
    // The sixteen alphas, in some order: enough for all-or-none tests.
    const __m256i alpha = _mm256_packs_epi32(a0, a1);
    const auto transparent =
        static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi16(alpha, zero)));
    const auto opaque =
        static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi16(alpha, full_alpha)));
    if (transparent == 0xFFFFFFFF) continue;
    if (opaque == 0xFFFFFFFF) {
      store(dst, s0);
      store(dst + 32, s1);
      continue;
    }
    if ((transparent | opaque) == 0) {
      store(dst, blend8<B>(s0, load(dst), a0, zero));
      store(dst + 32, blend8<B>(s1, load(dst + 32), a1, zero));
      continue;
    }
    blend_group<B>(s0, a0, dst);
    blend_group<B>(s1, a1, dst + 32);
  }
  return done;
}

template <Blend B, Format F>
TARN_VEC_KERNEL void blend_row(const Byte* src, Byte* dst, std::int64_t count) {
  constexpr int kDstBytes = F == Format::k32 ? 4 : 2;
  std::int64_t done;
  if constexpr (F == Format::k32) {
    done = blend_groups32<B>(src, dst, count);
  } else {
    done = blend_groups16<B, F>(src, dst, count);
  }
  sse2::blend_row<B, F>(src + done * 4, dst + done * kDstBytes, count - done);
}

#undef TARN_VEC
#undef TARN_VEC_KERNEL

}  // namespace avx2

// ---- AVX-512: sixteen 32-bit or thirty-two 16-bit pixels a register -------
//
// The AVX2 kernels' blends with 512-bit registers, classifying into mask
// registers; a transparent pixel is skipped by the store's mask in every
// format.

namespace avx512 {

#define TARN_VEC TARN_AVX512_KERNEL inline __attribute__((always_inline))
#define TARN_VEC_KERNEL TARN_AVX512_KERNEL

TARN_VEC __m512i splat16(int v) {
  return _mm512_set1_epi16(static_cast<short>(v));
}
TARN_VEC __m512i splat32(std::uint32_t v) {
  return _mm512_set1_epi32(static_cast<int>(v));
}
TARN_VEC __m512i load(const Byte* at) {
  return _mm512_loadu_si512(at);
}

TARN_VEC __m512i rounded_product7(__m512i x, __m512i c7) {
  return _mm512_mulhrs_epi16(x, c7);
}

struct V {
  using T = __m512i;
  using Mask = __mmask32;
  static constexpr int kPixels = 32;
  static constexpr std::uint32_t kAllBits = 0xFFFFFFFF;

  static TARN_VEC T splat16(int v) { return avx512::splat16(v); }
  static TARN_VEC T load(const Byte* at) { return avx512::load(at); }
  static TARN_VEC void store(Byte* at, T v) { _mm512_storeu_si512(at, v); }
  static TARN_VEC T and_(T a, T b) { return _mm512_and_si512(a, b); }
  static TARN_VEC T or_(T a, T b) { return _mm512_or_si512(a, b); }
  static TARN_VEC T xor_(T a, T b) { return _mm512_xor_si512(a, b); }
  static TARN_VEC T add16(T a, T b) { return _mm512_add_epi16(a, b); }
  static TARN_VEC T sub16(T a, T b) { return _mm512_sub_epi16(a, b); }
  static TARN_VEC T subs_u16(T a, T b) { return _mm512_subs_epu16(a, b); }
  static TARN_VEC T mullo16(T a, T b) { return _mm512_mullo_epi16(a, b); }
  template <int N>
  static TARN_VEC T srli16(T v) {
    return _mm512_srli_epi16(v, N);
  }
  template <int N>
  static TARN_VEC T slli16(T v) {
    return _mm512_slli_epi16(v, N);
  }
  static constexpr int kCyrixScale = 7;
  static TARN_VEC T rounded_product(T x, T c7) { return rounded_product7(x, c7); }
  static TARN_VEC T select(Mask where, T a, T b) { return _mm512_mask_mov_epi16(b, where, a); }
  static TARN_VEC T alpha_or_256(T alpha, Mask opaque) {
    return _mm512_mask_mov_epi16(alpha, opaque, splat16(256));
  }
  static TARN_VEC Mask equal16(T a, T b) { return _mm512_cmpeq_epi16_mask(a, b); }
  static TARN_VEC std::uint32_t bits(Mask m) { return m; }

  // The even and the odd 16-bit words of the 32 source pixels, gathered in
  // pixel order by one two-register permute each.
  static TARN_VEC void load_split(const Byte* src, T& lo, T& hi) {
    const T x = load(src), y = load(src + 64);
    // Word 2i is pixel i's low half, word 2i + 1 its high half; indices 32
    // and up pick from y.
    const T even = _mm512_set_epi16(62, 60, 58, 56, 54, 52, 50, 48, 46, 44, 42, 40, 38, 36, 34, 32,
                                    30, 28, 26, 24, 22, 20, 18, 16, 14, 12, 10, 8, 6, 4, 2, 0);
    lo = _mm512_permutex2var_epi16(x, even, y);
    hi = _mm512_permutex2var_epi16(x, _mm512_add_epi16(even, splat16(1)), y);
  }

  static TARN_VEC void store_kept(Byte* dst, T pixels, Mask transparent, std::uint32_t) {
    _mm512_mask_storeu_epi16(dst, static_cast<__mmask32>(~transparent), pixels);
  }
};

#include "pixel/blit_planes.inc"

// blend8 for sixteen pixels; opaque is the 255 pixels' mask.
template <Blend B>
TARN_VEC __m512i blend16(__m512i s, __m512i d, __m512i alpha, __mmask16 opaque) {
  const __m512i low_bytes = splat16(0x00FF);
  if constexpr (B == Blend::kCyrix) {
    const __m512i scaled = _mm512_srli_epi32(_mm512_mullo_epi16(alpha, splat32(257)), 1);
    const __m512i a15 = _mm512_or_si512(scaled, _mm512_slli_epi32(scaled, 16));
    const __m512i inverse = _mm512_xor_si512(a15, splat16(0x7F80));
    const __m512i high_bytes = splat16(static_cast<int>(0xFF00));
    const __m512i even = _mm512_add_epi16(
        rounded_product7(a15, _mm512_slli_epi16(_mm512_and_si512(s, low_bytes), 7)),
        rounded_product7(inverse, _mm512_slli_epi16(_mm512_and_si512(d, low_bytes), 7)));
    const __m512i odd = _mm512_add_epi16(
        rounded_product7(a15, _mm512_srli_epi16(_mm512_and_si512(s, high_bytes), 1)),
        rounded_product7(inverse, _mm512_srli_epi16(_mm512_and_si512(d, high_bytes), 1)));
    const __m512i blended = _mm512_or_si512(
        _mm512_srli_epi16(even, 7), _mm512_and_si512(_mm512_slli_epi16(odd, 1), high_bytes));
    return _mm512_mask_mov_epi32(blended, opaque, s);
  } else {
    // a, or 256 where a is 255, in both halves of each pixel's lane.
    const __m512i weight = _mm512_mask_mov_epi32(alpha, opaque, splat32(256));
    const __m512i w = _mm512_or_si512(weight, _mm512_slli_epi32(weight, 16));
    const __m512i inverse =
        B == Blend::kX87 ? _mm512_sub_epi16(splat16(256), w) : _mm512_subs_epu16(splat16(255), w);
    const __m512i even =
        _mm512_add_epi16(_mm512_mullo_epi16(_mm512_and_si512(s, low_bytes), w),
                         _mm512_mullo_epi16(_mm512_and_si512(d, low_bytes), inverse));
    const __m512i odd = _mm512_add_epi16(_mm512_mullo_epi16(_mm512_srli_epi16(s, 8), w),
                                         _mm512_mullo_epi16(_mm512_srli_epi16(d, 8), inverse));
    const __m512i result =
        _mm512_or_si512(_mm512_srli_epi16(even, 8), _mm512_andnot_si512(low_bytes, odd));
    if constexpr (B == Blend::kX87) {
      // Alpha 0 in blended pixels, 255 in opaque ones.
      return _mm512_mask_mov_epi32(_mm512_and_si512(result, splat32(0x00FFFFFF)), opaque, s);
    }
    return result;
  }
}

// Sixteen 32-bit pixels: kept marks those not transparent, opaque those
// with alpha 255.
template <Blend B>
TARN_VEC void blend_group(__m512i s, Byte* dst, __mmask16 kept, __mmask16 opaque) {
  if (kept == 0) return;
  // Only transparent and opaque pixels: the source is the result.
  const __m512i result = (kept & ~opaque) == 0
                             ? s
                             : blend16<B>(s, load(dst), _mm512_srli_epi32(s, 24), opaque);
  // A transparent pixel's destination is not written at all; a group
  // without one takes the plain store, which is faster than the masked one.
  if (kept == 0xFFFF) {
    _mm512_storeu_si512(dst, result);
  } else {
    _mm512_mask_storeu_epi32(dst, kept, result);
  }
}

// Thirty-two pixels are classified at once, so that the mask-register tests
// a group of transparent or opaque pixels costs are paid once per 128 bytes.
template <Blend B>
TARN_VEC_KERNEL std::int64_t blend_groups32(const Byte* src, Byte* dst, std::int64_t count) {
  const __m512i alpha_bits = splat32(0xFF000000);
  std::int64_t done = 0;
  for (; done + 32 <= count; done += 32, src += 128, dst += 128) {
    const __m512i s0 = load(src), s1 = load(src + 64);
    const __mmask16 kept0 = _mm512_test_epi32_mask(s0, alpha_bits);
    const __mmask16 kept1 = _mm512_test_epi32_mask(s1, alpha_bits);
    const __mmask32 kept = _mm512_kunpackw(kept1, kept0);
    if (kept == 0) continue;
    const __mmask16 opaque0 = _mm512_cmpge_epu32_mask(s0, alpha_bits);
    const __mmask16 opaque1 = _mm512_cmpge_epu32_mask(s1, alpha_bits);
    if (kept == 0xFFFFFFFF && _mm512_kunpackw(opaque1, opaque0) == 0xFFFFFFFF) {
      _mm512_storeu_si512(dst, s0);
      _mm512_storeu_si512(dst + 64, s1);
      continue;
    }
    blend_group<B>(s0, dst, kept0, opaque0);
    blend_group<B>(s1, dst + 64, kept1, opaque1);
  }
  for (; done + 16 <= count; done += 16, src += 64, dst += 64) {
    const __m512i s = load(src);
    blend_group<B>(s, dst, _mm512_test_epi32_mask(s, alpha_bits),
                   _mm512_cmpge_epu32_mask(s, alpha_bits));
  }
  return done;
}

// A row whose destination is off a multiple of 64 starts with the AVX2
// kernel up to the first one, so that no 512-bit store splits a cache line.
template <Blend B, Format F>
TARN_VEC_KERNEL void blend_row(const Byte* src, Byte* dst, std::int64_t count) {
  constexpr int kDstBytes = F == Format::k32 ? 4 : 2;
  const auto misaligned = static_cast<std::int64_t>(reinterpret_cast<std::uintptr_t>(dst) % 64);
  const std::int64_t head = misaligned == 0 ? 0 : std::min(count, (64 - misaligned) / kDstBytes);
  avx2::blend_row<B, F>(src, dst, head);
  src += head * 4;
  dst += head * kDstBytes;
  count -= head;
  std::int64_t done;
  if constexpr (F == Format::k32) {
    done = blend_groups32<B>(src, dst, count);
  } else {
    done = blend_groups16<B, F>(src, dst, count);
  }
  avx2::blend_row<B, F>(src + done * 4, dst + done * kDstBytes, count - done);
}

#undef TARN_VEC
#undef TARN_VEC_KERNEL

}  // namespace avx512

#endif  // TARN_HAVE_WIDE_KERNELS

// ---- Clipping and addressing --------------------------------------------

struct Rect {
  const Byte* src;  // first source pixel of the first row
  Byte* dst;        // first destination pixel of the first row
  std::int64_t width;
  std::int64_t height;
  std::int64_t src_pitch;
  std::int64_t dst_pitch;
};

// a * b + c, exactly; false when it does not fit in 64 bits.
bool multiply_add(std::int64_t a, std::int64_t b, std::int64_t c, std::int64_t* out) {
#if defined(TARN_GNU_C)
  std::int64_t product;
  return !__builtin_mul_overflow(a, b, &product) && !__builtin_add_overflow(product, c, out);
#else
  constexpr std::int64_t kMax = INT64_MAX, kMin = INT64_MIN;
  if (a != 0 && b != 0) {
    // The callers' factors stay far from the 64-bit limits, so |x| is exact.
    const std::int64_t abs_a = a < 0 ? -a : a, abs_b = b < 0 ? -b : b;
    if (abs_a > kMax / abs_b) return false;
  }
  const std::int64_t product = a * b;
  if (c > 0 ? product > kMax - c : product < kMin - c) return false;
  *out = product + c;
  return true;
#endif
}

// base + offset as address arithmetic that wraps, as the processor's does: a
// pointer far outside the caller's surfaces is never formed by pointer
// arithmetic, and on a 32-bit target the offset wraps modulo 2^32.
template <typename P>
P* advance(P* base, std::int64_t offset) {
  return reinterpret_cast<P*>(reinterpret_cast<std::uintptr_t>(base) +
                              static_cast<std::uintptr_t>(static_cast<std::uint64_t>(offset)));
}

// Byte offsets of a rectangle's first pixel and one past the last row's last
// pixel: row * pitch + column * bytes for both corners. False when either
// does not fit in 64 bits: no surface within an address space can need it.
bool rect_offsets(std::int64_t column, std::int64_t row, std::int64_t width, std::int64_t height,
                  std::int64_t pitch, int bytes, std::int64_t* first) {
  std::int64_t last;
  return multiply_add(row, pitch, column * bytes, first) &&
         multiply_add(row + height - 1, pitch, (column + width) * bytes, &last);
}

// A blit as the caller asks for it, before clipping, in 64-bit coordinates:
// coordinates stay below 2^33 in magnitude and pitches at most 2^31, so every
// sum and product of clipping is exact.
struct Request {
  const std::uint32_t* src;
  std::int64_t src_x, src_y, width, height, src_pitch;
  void* dst;
  std::int64_t dst_x, dst_y, dst_width, dst_height, dst_pitch;
  int dst_bytes;
};

// Clips against all four edges of the destination: a negative destination x
// or y skips as many source columns or rows, so what remains lands where it
// would have. Returns false when nothing is left, or when the rectangle's
// offsets do not fit in 64 bits.
bool clip(Request q, Rect* rect) {
  if (q.dst_x < 0) {
    q.width += q.dst_x;
    q.src_x -= q.dst_x;
    q.dst_x = 0;
  }
  if (q.dst_y < 0) {
    q.height += q.dst_y;
    q.src_y -= q.dst_y;
    q.dst_y = 0;
  }
  if (q.width > q.dst_width - q.dst_x) q.width = q.dst_width - q.dst_x;
  if (q.height > q.dst_height - q.dst_y) q.height = q.dst_height - q.dst_y;
  if (q.width < 1 || q.height < 1) return false;
  std::int64_t src_offset, dst_offset;
  if (!rect_offsets(q.src_x, q.src_y, q.width, q.height, q.src_pitch, 4, &src_offset) ||
      !rect_offsets(q.dst_x, q.dst_y, q.width, q.height, q.dst_pitch, q.dst_bytes, &dst_offset)) {
    return false;
  }
  rect->src = advance(reinterpret_cast<const Byte*>(q.src), src_offset);
  rect->dst = advance(static_cast<Byte*>(q.dst), dst_offset);
  rect->width = q.width;
  rect->height = q.height;
  rect->src_pitch = q.src_pitch;
  rect->dst_pitch = q.dst_pitch;
  return true;
}

using RowFn = void (*)(const Byte* src, Byte* dst, std::int64_t count);

template <Blend B, Format F, Kernel K>
constexpr RowFn row_kernel() {
#if defined(TARN_HAVE_WIDE_KERNELS)
  if constexpr (K == Kernel::kAvx512) return &avx512::blend_row<B, F>;
  if constexpr (K == Kernel::kAvx2) return &avx2::blend_row<B, F>;
#endif
#if defined(TARN_PIXEL_HAVE_SSE2)
#if defined(TARN_SSE2_IN_UNIT)
  constexpr bool kBaselineHasSse2 = true;
#else
  constexpr bool kBaselineHasSse2 = false;
#endif
  if constexpr (K == Kernel::kSse2 || kBaselineHasSse2) return &sse2::blend_row<B, F>;
#endif
  return &blend_pixels<B, F>;
}

template <Blend B, Format F, Kernel K>
void blend_rect(const Rect& r) {
  constexpr RowFn row_fn = row_kernel<B, F, K>();
  // Each row's address is formed from the first (row * pitch stays below
  // 2^62), so no pointer is formed beyond the last row.
  for (std::int64_t row = 0; row < r.height; ++row) {
    row_fn(advance(r.src, row * r.src_pitch), advance(r.dst, row * r.dst_pitch), r.width);
  }
}

}  // namespace

// Each instance is one variant's blit in one kernel (pixel.h).
template <Blend B, Kernel K>
void alpha_blt(const std::uint32_t* src, std::int32_t src_x, std::int32_t src_y, std::int32_t width,
               std::int32_t height, std::int32_t src_pitch, void* dst, std::int32_t dst_x,
               std::int32_t dst_y, std::int32_t dst_width, std::int32_t dst_height,
               std::int32_t dst_pitch, std::int32_t bits_per_pixel, std::int32_t red_mask) {
  const bool sixteen = bits_per_pixel == 16;
  Rect rect;
  if (!clip({src, src_x, src_y, width, height, src_pitch, dst, dst_x, dst_y, dst_width, dst_height,
             dst_pitch, sixteen ? 2 : 4},
            &rect)) {
    return;
  }
  if (!sixteen) {
    blend_rect<B, Format::k32, K>(rect);
  } else if (red_mask == 0x7C00) {
    blend_rect<B, Format::k1555, K>(rect);
  } else if (red_mask == 0x0F00) {
    blend_rect<B, Format::k4444, K>(rect);
  } else {
    blend_rect<B, Format::k565, K>(rect);
  }
}

template AlphaBltFn alpha_blt<Blend::kX87, Kernel::kBaseline>;
template AlphaBltFn alpha_blt<Blend::kMmx, Kernel::kBaseline>;
template AlphaBltFn alpha_blt<Blend::kMmxext, Kernel::kBaseline>;
template AlphaBltFn alpha_blt<Blend::kCyrix, Kernel::kBaseline>;
#if defined(TARN_HAVE_SSE2_KERNEL)
template AlphaBltFn alpha_blt<Blend::kMmx, Kernel::kSse2>;
template AlphaBltFn alpha_blt<Blend::kMmxext, Kernel::kSse2>;
template AlphaBltFn alpha_blt<Blend::kCyrix, Kernel::kSse2>;
#endif
#if defined(TARN_HAVE_WIDE_KERNELS)
template AlphaBltFn alpha_blt<Blend::kMmx, Kernel::kAvx2>;
template AlphaBltFn alpha_blt<Blend::kMmxext, Kernel::kAvx2>;
template AlphaBltFn alpha_blt<Blend::kCyrix, Kernel::kAvx2>;
template AlphaBltFn alpha_blt<Blend::kMmx, Kernel::kAvx512>;
template AlphaBltFn alpha_blt<Blend::kMmxext, Kernel::kAvx512>;
template AlphaBltFn alpha_blt<Blend::kCyrix, Kernel::kAvx512>;
#endif

}  // namespace tarn::pixel
