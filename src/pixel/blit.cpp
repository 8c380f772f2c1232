// The alpha-blending blit. Every variant shares the clipping, the addressing,
// the alpha 0 / 255 / blend classification and the 16-bit conversions; they
// differ only in the per-channel blend (pixel.h) and the alpha byte it leaves.
//
// Pixels are classified four at a time: a group of transparent pixels costs
// one load and a test, a group of opaque 32-bit pixels one store, and a mixed
// group is blended with packed 16-bit lanes; a transparent pixel's
// destination is never written. Pixels left over are done one by one.
// Both paths compute the same formulas, bit for bit. Nothing is kept beyond
// the call, so the blit may run on several threads on different surfaces.
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "pixel/bytes.h"
#include "pixel/pixel.h"

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#include <emmintrin.h>
#define TARN_PIXEL_HAVE_SSE2 1
#endif
#if defined(TARN_BLIT_WIDE_KERNELS)
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

enum class Blend { kX87, kMmx, kMmxext, kCyrix };
enum class Format { k32, k565, k1555, k4444 };

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
  if constexpr (F == Format::k565) {
    return ((v & 0x001F) << 3) | ((v & 0x07E0) << 5) | ((v & 0xF800) << 8);
  } else if constexpr (F == Format::k1555) {
    return ((v & 0x001F) << 3) | ((v & 0x03E0) << 6) | ((v & 0x7C00) << 9);
  } else {
    return ((v & 0x000F) << 4) | ((v & 0x00F0) << 8) | ((v & 0x0F00) << 12);
  }
}

// The top bits of blue, green and red into the format's fields; the bits
// outside the fields come out 0.
template <Format F>
constexpr std::uint32_t narrow(std::uint32_t c) {
  if constexpr (F == Format::k565) {
    return ((c >> 3) & 0x001F) | ((c >> 5) & 0x07E0) | ((c >> 8) & 0xF800);
  } else if constexpr (F == Format::k1555) {
    return ((c >> 3) & 0x001F) | ((c >> 6) & 0x03E0) | ((c >> 9) & 0x7C00);
  } else {
    return ((c >> 4) & 0x000F) | ((c >> 8) & 0x00F0) | ((c >> 12) & 0x0F00);
  }
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

// ---- Four pixels at a time ----------------------------------------------

#if defined(TARN_PIXEL_HAVE_SSE2)

// The packed helpers must fold into the group loop: a call per group of four
// pixels costs more than the blend itself.
#if defined(__GNUC__)
#define TARN_PACKED inline __attribute__((always_inline))
#else
#define TARN_PACKED __forceinline
#endif

TARN_PACKED __m128i splat16(int v) {
  return _mm_set1_epi16(static_cast<short>(v));
}
TARN_PACKED __m128i splat32(std::uint32_t v) {
  return _mm_set1_epi32(static_cast<int>(v));
}

// where ? a : b, per bit.
TARN_PACKED __m128i select(__m128i where, __m128i a, __m128i b) {
  return _mm_or_si128(_mm_and_si128(where, a), _mm_andnot_si128(where, b));
}

// (x * c + 128) >> 8 for a 15-bit x and an 8-bit c given as c << 8: the
// high half of the product is the truncated quotient, bit 15 of the low half
// the rounding.
TARN_PACKED __m128i rounded_product(__m128i x, __m128i c_hi) {
  return _mm_add_epi16(_mm_mulhi_epu16(x, c_hi), _mm_srli_epi16(_mm_mullo_epi16(x, c_hi), 15));
}

// Four source words blended over four destination words; alpha holds each
// pixel's alpha in its 32-bit lane, opaque is all ones where it is 255.
//
// The x87, MMX and MMXext forms give an opaque pixel the weights 256 and 0,
// which return the source word exactly, so no select follows the blend; the
// MMXext products (high halves of s * 256 by a * 256 and of d * 256 by
// (255 - a) * 256) equal the MMX products s * a and d * (255 - a) exactly,
// so both use the same lanes.
template <Blend B>
TARN_PACKED __m128i blend4(__m128i s, __m128i d, __m128i alpha, __m128i opaque) {
  if constexpr (B == Blend::kCyrix) {
    // A = (a * 257) / 2 and A ^ 0x7F80 in both halves of each pixel's lane.
    // With S = s * 128, (A * S + 16384) >> 15 equals (A * s + 128) >> 8.
    const __m128i scaled = _mm_srli_epi32(_mm_mullo_epi16(alpha, splat32(257)), 1);
    const __m128i a15 = _mm_or_si128(scaled, _mm_slli_epi32(scaled, 16));
    const __m128i inverse = _mm_xor_si128(a15, splat16(0x7F80));
    const __m128i high_bytes = splat16(static_cast<int>(0xFF00));
    const auto blend = [&](__m128i s_hi, __m128i d_hi) {
      return _mm_srli_epi16(
          _mm_add_epi16(rounded_product(a15, s_hi), rounded_product(inverse, d_hi)), 7);
    };
    // Blue and red from the even bytes, green and alpha from the odd ones.
    const __m128i even = blend(_mm_slli_epi16(s, 8), _mm_slli_epi16(d, 8));
    const __m128i odd = blend(_mm_and_si128(s, high_bytes), _mm_and_si128(d, high_bytes));
    return select(opaque, s, _mm_or_si128(even, _mm_slli_epi16(odd, 8)));
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

// widen and narrow for four 16-bit pixels held in 32-bit lanes.
template <Format F>
TARN_PACKED __m128i widen4(__m128i v) {
  if constexpr (F == Format::k565) {
    return _mm_or_si128(_mm_or_si128(_mm_slli_epi32(_mm_and_si128(v, splat32(0x001F)), 3),
                                     _mm_slli_epi32(_mm_and_si128(v, splat32(0x07E0)), 5)),
                        _mm_slli_epi32(_mm_and_si128(v, splat32(0xF800)), 8));
  } else if constexpr (F == Format::k1555) {
    return _mm_or_si128(_mm_or_si128(_mm_slli_epi32(_mm_and_si128(v, splat32(0x001F)), 3),
                                     _mm_slli_epi32(_mm_and_si128(v, splat32(0x03E0)), 6)),
                        _mm_slli_epi32(_mm_and_si128(v, splat32(0x7C00)), 9));
  } else {
    return _mm_or_si128(_mm_or_si128(_mm_slli_epi32(_mm_and_si128(v, splat32(0x000F)), 4),
                                     _mm_slli_epi32(_mm_and_si128(v, splat32(0x00F0)), 8)),
                        _mm_slli_epi32(_mm_and_si128(v, splat32(0x0F00)), 12));
  }
}

template <Format F>
TARN_PACKED __m128i narrow4(__m128i c) {
  if constexpr (F == Format::k565) {
    return _mm_or_si128(_mm_or_si128(_mm_and_si128(_mm_srli_epi32(c, 3), splat32(0x001F)),
                                     _mm_and_si128(_mm_srli_epi32(c, 5), splat32(0x07E0))),
                        _mm_and_si128(_mm_srli_epi32(c, 8), splat32(0xF800)));
  } else if constexpr (F == Format::k1555) {
    return _mm_or_si128(_mm_or_si128(_mm_and_si128(_mm_srli_epi32(c, 3), splat32(0x001F)),
                                     _mm_and_si128(_mm_srli_epi32(c, 6), splat32(0x03E0))),
                        _mm_and_si128(_mm_srli_epi32(c, 9), splat32(0x7C00)));
  } else {
    return _mm_or_si128(_mm_or_si128(_mm_and_si128(_mm_srli_epi32(c, 4), splat32(0x000F)),
                                     _mm_and_si128(_mm_srli_epi32(c, 8), splat32(0x00F0))),
                        _mm_and_si128(_mm_srli_epi32(c, 12), splat32(0x0F00)));
  }
}

// Four 16-bit values held in 32-bit lanes, packed into the low 64 bits. The
// sign extension keeps the signed saturating pack from clamping.
TARN_PACKED __m128i pack_low_halves(__m128i v) {
  const __m128i sign_extended = _mm_srai_epi32(_mm_slli_epi32(v, 16), 16);
  return _mm_packs_epi32(sign_extended, sign_extended);
}

// One bit per 32-bit lane of a comparison mask.
TARN_PACKED int lane_bits(__m128i mask) {
  return _mm_movemask_ps(_mm_castsi128_ps(mask));
}

// Four finished pixels: 32-bit words, or 16-bit values in the low 64 bits.
template <Format F>
TARN_PACKED void store_group(Byte* dst, __m128i pixels) {
  if constexpr (F == Format::k32) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), pixels);
  } else {
    _mm_storel_epi64(reinterpret_cast<__m128i*>(dst), pixels);
  }
}

// Stores only the pixels whose bit in skip is clear.
template <Format F>
TARN_PACKED void store_lanes(Byte* dst, __m128i pixels, int skip) {
  if constexpr (F == Format::k32) {
    alignas(16) std::uint32_t lanes[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(lanes), pixels);
    // Visits only the pixels to write: one loop exit to predict, not a
    // branch per pixel.
    for (unsigned keep = ~static_cast<unsigned>(skip) & 0xF; keep != 0; keep &= keep - 1) {
      const int i = std::countr_zero(keep);
      store32(dst + 4 * i, lanes[i]);
    }
  } else {
    alignas(16) std::uint16_t lanes[8];
    _mm_store_si128(reinterpret_cast<__m128i*>(lanes), pixels);
    for (unsigned keep = ~static_cast<unsigned>(skip) & 0xF; keep != 0; keep &= keep - 1) {
      const int i = std::countr_zero(keep);
      store16(dst + 2 * i, lanes[i]);
    }
  }
}

// Four 16-bit values held in the low halves of the 32-bit lanes of a and b,
// packed into eight 16-bit values.
TARN_PACKED __m128i pack_halves(__m128i a, __m128i b) {
  return _mm_packs_epi32(_mm_srai_epi32(_mm_slli_epi32(a, 16), 16),
                         _mm_srai_epi32(_mm_slli_epi32(b, 16), 16));
}

// One group of four pixels.
template <Blend B, Format F>
TARN_PACKED void blend_group(__m128i s, Byte* dst) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i alpha = _mm_srli_epi32(s, 24);
  const __m128i transparent = _mm_cmpeq_epi32(alpha, zero);
  const __m128i opaque = _mm_cmpeq_epi32(alpha, splat32(255));
  const int transparent_bits = lane_bits(transparent);
  if (transparent_bits == 0xF) return;
  __m128i result;
  if constexpr (F == Format::k32) {
    if (lane_bits(opaque) == 0xF) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), s);
      return;
    }
    const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(dst));
    result = blend4<B>(s, d, alpha, opaque);
  } else {
    const __m128i d =
        _mm_unpacklo_epi16(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(dst)), zero);
    result = pack_low_halves(narrow4<F>(blend4<B>(s, widen4<F>(d), alpha, opaque)));
  }
  if (transparent_bits == 0) {
    store_group<F>(dst, result);
  } else {
    // A transparent pixel's destination is not written at all.
    store_lanes<F>(dst, result, transparent_bits);
  }
}

// ---- Eight 16-bit pixels as planes ----
//
// For a 16-bit destination every form blends eight pixels at once, one
// channel per register: eight 16-bit destination pixels fill one
// register, so each channel widens with a shift and a mask, and narrows
// straight from the blend sum, which holds the 8-bit result in bits 8..15.

struct Field {
  int pos, width;
};
// Blue, green, red.
template <Format F>
constexpr Field kFields[3] = {};
template <>
constexpr Field kFields<Format::k565>[3] = {{0, 5}, {5, 6}, {11, 5}};
template <>
constexpr Field kFields<Format::k1555>[3] = {{0, 5}, {5, 5}, {10, 5}};
template <>
constexpr Field kFields<Format::k4444>[3] = {{0, 4}, {4, 4}, {8, 4}};

// Right by n bits, or left by -n.
template <int N>
TARN_PACKED __m128i shift16(__m128i v) {
  if constexpr (N > 0) return _mm_srli_epi16(v, N);
  if constexpr (N < 0) return _mm_slli_epi16(v, -N);
  return v;
}

// Channel C of eight pixels as 8-bit values: the field at the top of the byte.
template <Format F, int C>
TARN_PACKED __m128i widen_plane(__m128i pixels) {
  constexpr Field f = kFields<F>[C];
  return _mm_and_si128(shift16<f.pos - (8 - f.width)>(pixels),
                       splat16((0xFF << (8 - f.width)) & 0xFF));
}

// Channel C's field from a blend sum whose bits 8..15 hold the 8-bit result;
// every other bit comes out 0.
template <Format F, int C>
TARN_PACKED __m128i narrow_plane(__m128i sum) {
  constexpr Field f = kFields<F>[C];
  return shift16<16 - f.width - f.pos>(
      _mm_and_si128(sum, splat16((0xFF00 << (8 - f.width)) & 0xFF00)));
}

// Channel C (0 blue .. 3 alpha) of eight source words as 16-bit lanes.
template <int C>
TARN_PACKED __m128i source_plane(__m128i s0, __m128i s1) {
  const __m128i low_byte = splat32(0xFF);
  return _mm_packs_epi32(_mm_and_si128(_mm_srli_epi32(s0, 8 * C), low_byte),
                         _mm_and_si128(_mm_srli_epi32(s1, 8 * C), low_byte));
}

template <Blend B, Format F>
TARN_PACKED void blend8_planes(__m128i s0, __m128i s1, Byte* dst) {
  const __m128i alpha = _mm_packs_epi32(_mm_srli_epi32(s0, 24), _mm_srli_epi32(s1, 24));
  const int transparent = _mm_movemask_epi8(_mm_cmpeq_epi16(alpha, _mm_setzero_si128()));
  if (transparent == 0xFFFF) return;
  const __m128i opaque = _mm_cmpeq_epi16(alpha, splat16(255));
  const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(dst));
  // Each blend leaves the 8-bit result in bits 8..15 of its lane.
  __m128i w, inverse;
  if constexpr (B == Blend::kCyrix) {
    w = _mm_srli_epi16(_mm_mullo_epi16(alpha, splat16(257)),
                       1);  // A = (a * 257) / 2
    inverse = _mm_xor_si128(w, splat16(0x7F80));
  } else {
    // Opaque pixels get the weights 256 and 0, which return the source exactly.
    w = _mm_sub_epi16(alpha, opaque);
    inverse = B == Blend::kX87 ? _mm_sub_epi16(splat16(256), w) : _mm_subs_epu16(splat16(255), w);
  }
  const auto sum = [&](__m128i s_plane, __m128i d_plane) {
    if constexpr (B == Blend::kCyrix) {
      // (P + Q) / 128 in bits 8..15 is (P + Q) * 2; P + Q <= 32766.
      const __m128i s_hi = _mm_slli_epi16(s_plane, 8);
      const __m128i pq = _mm_add_epi16(rounded_product(w, s_hi),
                                       rounded_product(inverse, _mm_slli_epi16(d_plane, 8)));
      return select(opaque, s_hi, _mm_add_epi16(pq, pq));
    } else {
      // s * w + d * inverse <= 255 * 256: exact in 16 bits.
      return _mm_add_epi16(_mm_mullo_epi16(s_plane, w), _mm_mullo_epi16(d_plane, inverse));
    }
  };
  const __m128i out = _mm_or_si128(
      _mm_or_si128(narrow_plane<F, 0>(sum(source_plane<0>(s0, s1), widen_plane<F, 0>(d))),
                   narrow_plane<F, 1>(sum(source_plane<1>(s0, s1), widen_plane<F, 1>(d)))),
      narrow_plane<F, 2>(sum(source_plane<2>(s0, s1), widen_plane<F, 2>(d))));
  if (transparent == 0) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), out);
    return;
  }
  // A transparent pixel's destination is not written at all.
  alignas(16) std::uint16_t lanes[8];
  _mm_store_si128(reinterpret_cast<__m128i*>(lanes), out);
  // Two mask bits per pixel: keep the even ones.
  for (unsigned keep = ~static_cast<unsigned>(transparent) & 0x5555; keep != 0; keep &= keep - 1) {
    const int i = std::countr_zero(keep) / 2;
    store16(dst + 2 * i, lanes[i]);
  }
}

// Blends the pixels eight at a time, then four at a time; returns how many
// pixels it handled. One classification per eight pixels: all transparent
// costs the loads and a test, all opaque its stores, and eight 32-bit blends
// go straight through.
template <Blend B, Format F>
std::int64_t blend_groups(const Byte* src, Byte* dst, std::int64_t count) {
  constexpr int kDstBytes = F == Format::k32 ? 4 : 2;
  const __m128i zero = _mm_setzero_si128();
  const __m128i full_alpha = splat16(255);
  std::int64_t done = 0;
  for (; done + 8 <= count; done += 8, src += 32, dst += 8 * kDstBytes) {
    const __m128i s0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src));
    const __m128i s1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 16));
    // The eight alphas as 16-bit lanes; two movemask bits per pixel.
    const __m128i alpha = _mm_packs_epi32(_mm_srli_epi32(s0, 24), _mm_srli_epi32(s1, 24));
    const int transparent = _mm_movemask_epi8(_mm_cmpeq_epi16(alpha, zero));
    const int opaque = _mm_movemask_epi8(_mm_cmpeq_epi16(alpha, full_alpha));
    if (transparent == 0xFFFF) continue;
    if (opaque == 0xFFFF) {
      if constexpr (F == Format::k32) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), s0);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 16), s1);
      } else {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst),
                         pack_halves(narrow4<F>(s0), narrow4<F>(s1)));
      }
      continue;
    }
    if constexpr (F == Format::k32) {
      if ((transparent | opaque) == 0) {
        // Every pixel is a blend: no classification per group, full stores.
        const __m128i d0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(dst));
        const __m128i d1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(dst + 16));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst),
                         blend4<B>(s0, d0, _mm_srli_epi32(s0, 24), zero));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 16),
                         blend4<B>(s1, d1, _mm_srli_epi32(s1, 24), zero));
        continue;
      }
    }
    if constexpr (F == Format::k32) {
      blend_group<B, F>(s0, dst);
      blend_group<B, F>(s1, dst + 4 * kDstBytes);
    } else {
      blend8_planes<B, F>(s0, s1, dst);
    }
  }
  for (; done + 4 <= count; done += 4, src += 16, dst += 4 * kDstBytes) {
    blend_group<B, F>(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src)), dst);
  }
  return done;
}

#undef TARN_PACKED

#endif  // TARN_PIXEL_HAVE_SSE2

template <Blend B, Format F>
void blend_row(const Byte* src, Byte* dst, std::int64_t count) {
  std::int64_t done = 0;
#if defined(TARN_PIXEL_HAVE_SSE2)
  done = blend_groups<B, F>(src, dst, count);
#endif
  constexpr int kDstBytes = F == Format::k32 ? 4 : 2;
  blend_pixels<B, F>(src + done * 4, dst + done * kDstBytes, count - done);
}

// ---- AVX2 kernels
// ------------------------------------------------------------
//
// The same classification and blends with 256-bit registers: sixteen pixels
// a step. A 32-bit group skips transparent pixels with a masked store; a
// 16-bit group blends sixteen pixels as planes, loading the source so that
// the in-lane packs leave every plane in pixel order. What is left of a row
// goes to the baseline groups and pixels, which compute the same bytes.
// The Cyrix form's rounded products are single rounding multiplies here.

#if defined(TARN_BLIT_WIDE_KERNELS)

namespace avx2 {

#define TARN_WIDE_PACKED TARN_AVX2_KERNEL inline __attribute__((always_inline))

TARN_WIDE_PACKED __m256i splat16(int v) {
  return _mm256_set1_epi16(static_cast<short>(v));
}
TARN_WIDE_PACKED __m256i splat32(std::uint32_t v) {
  return _mm256_set1_epi32(static_cast<int>(v));
}
TARN_WIDE_PACKED __m256i load(const Byte* at) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
}
TARN_WIDE_PACKED void store(Byte* at, __m256i v) {
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(at), v);
}
// 16 bytes from lo into the low half, 16 from hi into the high half.
TARN_WIDE_PACKED __m256i load_halves(const Byte* lo, const Byte* hi) {
  return _mm256_inserti128_si256(
      _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(lo))),
      _mm_loadu_si128(reinterpret_cast<const __m128i*>(hi)), 1);
}

// where ? a : b, where is all ones or all zeros per 16-bit lane.
TARN_WIDE_PACKED __m256i select(__m256i where, __m256i a, __m256i b) {
  return _mm256_blendv_epi8(b, a, where);
}

// (x * c + 128) >> 8 for a 15-bit x and an 8-bit c given as c << 7: the
// rounded high half of the signed product, exact since both are below 2^15.
TARN_WIDE_PACKED __m256i rounded_product(__m256i x, __m256i c7) {
  return _mm256_mulhrs_epi16(x, c7);
}

// blend4 for eight pixels.
template <Blend B>
TARN_WIDE_PACKED __m256i blend8(__m256i s, __m256i d, __m256i alpha, __m256i opaque) {
  if constexpr (B == Blend::kCyrix) {
    const __m256i scaled = _mm256_srli_epi32(_mm256_mullo_epi16(alpha, splat32(257)), 1);
    const __m256i a15 = _mm256_or_si256(scaled, _mm256_slli_epi32(scaled, 16));
    const __m256i inverse = _mm256_xor_si256(a15, splat16(0x7F80));
    const __m256i low_bytes = splat16(0x00FF);
    const __m256i high_bytes = splat16(static_cast<int>(0xFF00));
    // Each sum P + Q stays below 2^15; its 8-bit result is sum >> 7.
    const __m256i even = _mm256_add_epi16(
        rounded_product(a15, _mm256_slli_epi16(_mm256_and_si256(s, low_bytes), 7)),
        rounded_product(inverse, _mm256_slli_epi16(_mm256_and_si256(d, low_bytes), 7)));
    const __m256i odd = _mm256_add_epi16(
        rounded_product(a15, _mm256_srli_epi16(_mm256_and_si256(s, high_bytes), 1)),
        rounded_product(inverse, _mm256_srli_epi16(_mm256_and_si256(d, high_bytes), 1)));
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
TARN_WIDE_PACKED void blend_group(__m256i s, __m256i alpha, Byte* dst) {
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
    // A transparent pixel's destination is not written at all.
    _mm256_maskstore_epi32(reinterpret_cast<int*>(dst),
                           _mm256_xor_si256(transparent, _mm256_set1_epi32(-1)), result);
  }
}

template <Blend B>
TARN_AVX2_KERNEL std::int64_t blend_groups32(const Byte* src, Byte* dst, std::int64_t count) {
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

// (v >> shift) & mask per 32-bit lane.
TARN_WIDE_PACKED __m256i field(__m256i v, int shift, std::uint32_t mask) {
  return _mm256_and_si256(_mm256_srli_epi32(v, shift), splat32(mask));
}

// narrow4 for eight pixels.
template <Format F>
TARN_WIDE_PACKED __m256i narrow8(__m256i c) {
  if constexpr (F == Format::k565) {
    return _mm256_or_si256(_mm256_or_si256(field(c, 3, 0x001F), field(c, 5, 0x07E0)),
                           field(c, 8, 0xF800));
  } else if constexpr (F == Format::k1555) {
    return _mm256_or_si256(_mm256_or_si256(field(c, 3, 0x001F), field(c, 6, 0x03E0)),
                           field(c, 9, 0x7C00));
  } else {
    return _mm256_or_si256(_mm256_or_si256(field(c, 4, 0x000F), field(c, 8, 0x00F0)),
                           field(c, 12, 0x0F00));
  }
}

// Sixteen 16-bit values from the low halves of the 32-bit lanes of a and b,
// lane by lane.
TARN_WIDE_PACKED __m256i pack_halves(__m256i a, __m256i b) {
  return _mm256_packs_epi32(_mm256_srai_epi32(_mm256_slli_epi32(a, 16), 16),
                            _mm256_srai_epi32(_mm256_slli_epi32(b, 16), 16));
}

template <int N>
TARN_WIDE_PACKED __m256i shift16(__m256i v) {
  if constexpr (N > 0) return _mm256_srli_epi16(v, N);
  if constexpr (N < 0) return _mm256_slli_epi16(v, -N);
  return v;
}

template <Format F, int C>
TARN_WIDE_PACKED __m256i widen_plane(__m256i pixels) {
  constexpr Field f = kFields<F>[C];
  return _mm256_and_si256(shift16<f.pos - (8 - f.width)>(pixels),
                          splat16((0xFF << (8 - f.width)) & 0xFF));
}

template <Format F, int C>
TARN_WIDE_PACKED __m256i narrow_plane(__m256i sum) {
  constexpr Field f = kFields<F>[C];
  return shift16<16 - f.width - f.pos>(
      _mm256_and_si256(sum, splat16((0xFF00 << (8 - f.width)) & 0xFF00)));
}

template <int C>
TARN_WIDE_PACKED __m256i source_plane(__m256i s0, __m256i s1) {
  const __m256i low_byte = splat32(0xFF);
  return _mm256_packs_epi32(_mm256_and_si256(_mm256_srli_epi32(s0, 8 * C), low_byte),
                            _mm256_and_si256(_mm256_srli_epi32(s1, 8 * C), low_byte));
}

// One channel's blend of sixteen pixels, the 8-bit result in bits 8..15.
template <Blend B>
TARN_WIDE_PACKED __m256i plane_sum(__m256i s_plane, __m256i d_plane, __m256i w, __m256i inverse,
                                   __m256i opaque) {
  if constexpr (B == Blend::kCyrix) {
    const __m256i pq = _mm256_add_epi16(rounded_product(w, _mm256_slli_epi16(s_plane, 7)),
                                        rounded_product(inverse, _mm256_slli_epi16(d_plane, 7)));
    return select(opaque, _mm256_slli_epi16(s_plane, 8), _mm256_add_epi16(pq, pq));
  } else {
    return _mm256_add_epi16(_mm256_mullo_epi16(s_plane, w), _mm256_mullo_epi16(d_plane, inverse));
  }
}

// blend8_planes for sixteen pixels; transparent has two bits per pixel.
template <Blend B, Format F>
TARN_WIDE_PACKED void blend16_planes(__m256i s0, __m256i s1, __m256i alpha,
                                     std::uint32_t transparent, Byte* dst) {
  const __m256i opaque = _mm256_cmpeq_epi16(alpha, splat16(255));
  const __m256i d = load(dst);
  __m256i w, inverse;
  if constexpr (B == Blend::kCyrix) {
    w = _mm256_srli_epi16(_mm256_mullo_epi16(alpha, splat16(257)), 1);
    inverse = _mm256_xor_si256(w, splat16(0x7F80));
  } else {
    w = _mm256_sub_epi16(alpha, opaque);
    inverse =
        B == Blend::kX87 ? _mm256_sub_epi16(splat16(256), w) : _mm256_subs_epu16(splat16(255), w);
  }
  const __m256i out = _mm256_or_si256(
      _mm256_or_si256(narrow_plane<F, 0>(plane_sum<B>(source_plane<0>(s0, s1), widen_plane<F, 0>(d),
                                                      w, inverse, opaque)),
                      narrow_plane<F, 1>(plane_sum<B>(source_plane<1>(s0, s1), widen_plane<F, 1>(d),
                                                      w, inverse, opaque))),
      narrow_plane<F, 2>(
          plane_sum<B>(source_plane<2>(s0, s1), widen_plane<F, 2>(d), w, inverse, opaque)));
  if (transparent == 0) {
    store(dst, out);
    return;
  }
  // A transparent pixel's destination is not written at all: pairs of kept
  // pixels take one masked 32-bit store, a kept pixel beside a transparent
  // one a store of its own.
  const std::uint32_t keep = ~transparent & 0x55555555;         // bit 2i: pixel i
  const std::uint32_t pairs = keep & (keep >> 2) & 0x11111111;  // bit 4p: pixels 2p, 2p + 1
  if (pairs != 0) {
    const __m256i pair_kept = _mm256_cmpeq_epi32(_mm256_cmpeq_epi16(alpha, _mm256_setzero_si256()),
                                                 _mm256_setzero_si256());
    _mm256_maskstore_epi32(reinterpret_cast<int*>(dst), pair_kept, out);
  }
  std::uint32_t single = keep & ~(pairs | pairs << 2);
  if (single == 0) return;
  alignas(32) std::uint16_t lanes[16];
  _mm256_store_si256(reinterpret_cast<__m256i*>(lanes), out);
  for (; single != 0; single &= single - 1) {
    const int i = std::countr_zero(single) / 2;
    store16(dst + 2 * i, lanes[i]);
  }
}

template <Blend B, Format F>
TARN_AVX2_KERNEL std::int64_t blend_groups16(const Byte* src, Byte* dst, std::int64_t count) {
  const __m256i zero = _mm256_setzero_si256();
  const __m256i full_alpha = splat16(255);
  std::int64_t done = 0;
  for (; done + 16 <= count; done += 16, src += 64, dst += 32) {
    // Pixels 0-3 with 8-11, and 4-7 with 12-15: packing the two lane by lane
    // gives pixels 0-15 in order.
    const __m256i s0 = load_halves(src, src + 32), s1 = load_halves(src + 16, src + 48);
    const __m256i alpha = _mm256_packs_epi32(_mm256_srli_epi32(s0, 24), _mm256_srli_epi32(s1, 24));
    const auto transparent =
        static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi16(alpha, zero)));
    if (transparent == 0xFFFFFFFF) continue;
    if (_mm256_movemask_epi8(_mm256_cmpeq_epi16(alpha, full_alpha)) == -1) {
      store(dst, pack_halves(narrow8<F>(s0), narrow8<F>(s1)));
      continue;
    }
    blend16_planes<B, F>(s0, s1, alpha, transparent, dst);
  }
  return done;
}

template <Blend B, Format F>
TARN_AVX2_KERNEL void blend_row(const Byte* src, Byte* dst, std::int64_t count) {
  constexpr int kDstBytes = F == Format::k32 ? 4 : 2;
  std::int64_t done;
  if constexpr (F == Format::k32) {
    done = blend_groups32<B>(src, dst, count);
  } else {
    done = blend_groups16<B, F>(src, dst, count);
  }
  pixel::blend_row<B, F>(src + done * 4, dst + done * kDstBytes, count - done);
}

#undef TARN_WIDE_PACKED

}  // namespace avx2

// ---- AVX-512 kernels
// ---------------------------------------------------------
//
// The AVX2 kernels' blends with 512-bit registers, classifying into mask
// registers: sixteen 32-bit or thirty-two 16-bit pixels a step, and a
// transparent pixel is skipped by the store's mask in every format.

namespace avx512 {

#define TARN_WIDE_PACKED TARN_AVX512_KERNEL inline __attribute__((always_inline))

TARN_WIDE_PACKED __m512i splat16(int v) {
  return _mm512_set1_epi16(static_cast<short>(v));
}
TARN_WIDE_PACKED __m512i splat32(std::uint32_t v) {
  return _mm512_set1_epi32(static_cast<int>(v));
}
TARN_WIDE_PACKED __m512i load(const Byte* at) {
  return _mm512_loadu_si512(at);
}

TARN_WIDE_PACKED __m512i rounded_product(__m512i x, __m512i c7) {
  return _mm512_mulhrs_epi16(x, c7);
}

// blend8 for sixteen pixels; opaque is the 255 pixels' mask.
template <Blend B>
TARN_WIDE_PACKED __m512i blend16(__m512i s, __m512i d, __m512i alpha, __mmask16 opaque) {
  const __m512i low_bytes = splat16(0x00FF);
  if constexpr (B == Blend::kCyrix) {
    const __m512i scaled = _mm512_srli_epi32(_mm512_mullo_epi16(alpha, splat32(257)), 1);
    const __m512i a15 = _mm512_or_si512(scaled, _mm512_slli_epi32(scaled, 16));
    const __m512i inverse = _mm512_xor_si512(a15, splat16(0x7F80));
    const __m512i high_bytes = splat16(static_cast<int>(0xFF00));
    const __m512i even = _mm512_add_epi16(
        rounded_product(a15, _mm512_slli_epi16(_mm512_and_si512(s, low_bytes), 7)),
        rounded_product(inverse, _mm512_slli_epi16(_mm512_and_si512(d, low_bytes), 7)));
    const __m512i odd = _mm512_add_epi16(
        rounded_product(a15, _mm512_srli_epi16(_mm512_and_si512(s, high_bytes), 1)),
        rounded_product(inverse, _mm512_srli_epi16(_mm512_and_si512(d, high_bytes), 1)));
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

template <Blend B>
TARN_AVX512_KERNEL std::int64_t blend_groups32(const Byte* src, Byte* dst, std::int64_t count) {
  const __m512i alpha_bits = splat32(0xFF000000);
  std::int64_t done = 0;
  for (; done + 16 <= count; done += 16, src += 64, dst += 64) {
    const __m512i s = load(src);
    const __mmask16 kept = _mm512_test_epi32_mask(s, alpha_bits);
    if (kept == 0) continue;
    const __m512i alpha = _mm512_srli_epi32(s, 24);
    const __mmask16 opaque = _mm512_cmpeq_epi32_mask(alpha, splat32(255));
    const __m512i result = opaque == 0xFFFF ? s : blend16<B>(s, load(dst), alpha, opaque);
    // A transparent pixel's destination is not written at all.
    _mm512_mask_storeu_epi32(dst, kept, result);
  }
  return done;
}

template <int N>
TARN_WIDE_PACKED __m512i shift16(__m512i v) {
  if constexpr (N > 0) return _mm512_srli_epi16(v, N);
  if constexpr (N < 0) return _mm512_slli_epi16(v, -N);
  return v;
}

template <Format F, int C>
TARN_WIDE_PACKED __m512i widen_plane(__m512i pixels) {
  constexpr Field f = kFields<F>[C];
  return _mm512_and_si512(shift16<f.pos - (8 - f.width)>(pixels),
                          splat16((0xFF << (8 - f.width)) & 0xFF));
}

template <Format F, int C>
TARN_WIDE_PACKED __m512i narrow_plane(__m512i sum) {
  constexpr Field f = kFields<F>[C];
  return shift16<16 - f.width - f.pos>(
      _mm512_and_si512(sum, splat16((0xFF00 << (8 - f.width)) & 0xFF00)));
}

template <int C>
TARN_WIDE_PACKED __m512i source_plane(__m512i s0, __m512i s1) {
  const __m512i low_byte = splat32(0xFF);
  return _mm512_packs_epi32(_mm512_and_si512(_mm512_srli_epi32(s0, 8 * C), low_byte),
                            _mm512_and_si512(_mm512_srli_epi32(s1, 8 * C), low_byte));
}

// Channel C's field of thirty-two blended pixels.
template <Blend B, Format F, int C>
TARN_WIDE_PACKED __m512i blend_plane(__m512i s0, __m512i s1, __m512i d, __m512i w, __m512i inverse,
                                     __mmask32 opaque) {
  const __m512i s_plane = source_plane<C>(s0, s1);
  const __m512i d_plane = widen_plane<F, C>(d);
  if constexpr (B == Blend::kCyrix) {
    const __m512i pq = _mm512_add_epi16(rounded_product(w, _mm512_slli_epi16(s_plane, 7)),
                                        rounded_product(inverse, _mm512_slli_epi16(d_plane, 7)));
    return narrow_plane<F, C>(
        _mm512_mask_mov_epi16(_mm512_add_epi16(pq, pq), opaque, _mm512_slli_epi16(s_plane, 8)));
  } else {
    return narrow_plane<F, C>(
        _mm512_add_epi16(_mm512_mullo_epi16(s_plane, w), _mm512_mullo_epi16(d_plane, inverse)));
  }
}

template <Blend B, Format F>
TARN_AVX512_KERNEL std::int64_t blend_groups16(const Byte* src, Byte* dst, std::int64_t count) {
  std::int64_t done = 0;
  for (; done + 32 <= count; done += 32, src += 128, dst += 64) {
    // The even and the odd 16-byte quarters of the 32 source pixels: packing
    // the two lane by lane gives pixels 0-31 in order.
    const __m512i x = load(src), y = load(src + 64);
    const __m512i s0 = _mm512_shuffle_i64x2(x, y, 0x88), s1 = _mm512_shuffle_i64x2(x, y, 0xDD);
    const __m512i alpha = _mm512_packs_epi32(_mm512_srli_epi32(s0, 24), _mm512_srli_epi32(s1, 24));
    const __mmask32 kept = _mm512_test_epi16_mask(alpha, alpha);
    if (kept == 0) continue;
    const __mmask32 opaque = _mm512_cmpeq_epi16_mask(alpha, splat16(255));
    if (opaque == 0xFFFFFFFF) {
      _mm512_storeu_si512(
          dst,
          _mm512_or_si512(
              _mm512_or_si512(narrow_plane<F, 0>(_mm512_slli_epi16(source_plane<0>(s0, s1), 8)),
                              narrow_plane<F, 1>(_mm512_slli_epi16(source_plane<1>(s0, s1), 8))),
              narrow_plane<F, 2>(_mm512_slli_epi16(source_plane<2>(s0, s1), 8))));
      continue;
    }
    const __m512i d = load(dst);
    __m512i w, inverse;
    if constexpr (B == Blend::kCyrix) {
      w = _mm512_srli_epi16(_mm512_mullo_epi16(alpha, splat16(257)), 1);
      inverse = _mm512_xor_si512(w, splat16(0x7F80));
    } else {
      w = _mm512_mask_mov_epi16(alpha, opaque, splat16(256));
      inverse =
          B == Blend::kX87 ? _mm512_sub_epi16(splat16(256), w) : _mm512_subs_epu16(splat16(255), w);
    }
    const __m512i out =
        _mm512_or_si512(_mm512_or_si512(blend_plane<B, F, 0>(s0, s1, d, w, inverse, opaque),
                                        blend_plane<B, F, 1>(s0, s1, d, w, inverse, opaque)),
                        blend_plane<B, F, 2>(s0, s1, d, w, inverse, opaque));
    // A transparent pixel's destination is not written at all.
    _mm512_mask_storeu_epi16(dst, kept, out);
  }
  return done;
}

template <Blend B, Format F>
TARN_AVX512_KERNEL void blend_row(const Byte* src, Byte* dst, std::int64_t count) {
  constexpr int kDstBytes = F == Format::k32 ? 4 : 2;
  std::int64_t done;
  if constexpr (F == Format::k32) {
    done = blend_groups32<B>(src, dst, count);
  } else {
    done = blend_groups16<B, F>(src, dst, count);
  }
  avx2::blend_row<B, F>(src + done * 4, dst + done * kDstBytes, count - done);
}

#undef TARN_WIDE_PACKED

}  // namespace avx512

#endif  // TARN_BLIT_WIDE_KERNELS

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
#if defined(__GNUC__)
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

// Clips against all four edges of the destination: a negative destination x
// or y skips as many source columns or rows, so what remains lands where it
// would have. Returns false when nothing is left, or when the rectangle's
// offsets do not fit in 64 bits. Coordinates stay below 2^33 in magnitude
// and pitches at most 2^31, so every sum and product here is exact.
bool clip(const std::uint32_t* src, std::int64_t src_x, std::int64_t src_y, std::int64_t width,
          std::int64_t height, std::int64_t src_pitch, void* dst, std::int64_t dst_x,
          std::int64_t dst_y, std::int64_t dst_width, std::int64_t dst_height,
          std::int64_t dst_pitch, int dst_bytes, Rect* rect) {
  if (dst_x < 0) {
    width += dst_x;
    src_x -= dst_x;
    dst_x = 0;
  }
  if (dst_y < 0) {
    height += dst_y;
    src_y -= dst_y;
    dst_y = 0;
  }
  if (width > dst_width - dst_x) width = dst_width - dst_x;
  if (height > dst_height - dst_y) height = dst_height - dst_y;
  if (width < 1 || height < 1) return false;
  std::int64_t src_offset, dst_offset;
  if (!rect_offsets(src_x, src_y, width, height, src_pitch, 4, &src_offset) ||
      !rect_offsets(dst_x, dst_y, width, height, dst_pitch, dst_bytes, &dst_offset)) {
    return false;
  }
  rect->src = advance(reinterpret_cast<const Byte*>(src), src_offset);
  rect->dst = advance(static_cast<Byte*>(dst), dst_offset);
  rect->width = width;
  rect->height = height;
  rect->src_pitch = src_pitch;
  rect->dst_pitch = dst_pitch;
  return true;
}

using RowFn = void (*)(const Byte* src, Byte* dst, std::int64_t count);

template <Blend B, Format F, Kernel K>
constexpr RowFn row_kernel() {
#if defined(TARN_BLIT_WIDE_KERNELS)
  if constexpr (K == Kernel::kAvx512) return &avx512::blend_row<B, F>;
  if constexpr (K == Kernel::kAvx2) return &avx2::blend_row<B, F>;
#endif
  return &blend_row<B, F>;
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

template <Blend B, Kernel K>
void alpha_blt(const std::uint32_t* src, std::int32_t src_x, std::int32_t src_y, std::int32_t width,
               std::int32_t height, std::int32_t src_pitch, void* dst, std::int32_t dst_x,
               std::int32_t dst_y, std::int32_t dst_width, std::int32_t dst_height,
               std::int32_t dst_pitch, std::int32_t bits_per_pixel, std::int32_t red_mask) {
  const bool sixteen = bits_per_pixel == 16;
  Rect rect;
  if (!clip(src, src_x, src_y, width, height, src_pitch, dst, dst_x, dst_y, dst_width, dst_height,
            dst_pitch, sixteen ? 2 : 4, &rect)) {
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

}  // namespace

#define TARN_DEFINE_ALPHA_BLT(ns, blend, kernel)                                                \
  namespace ns {                                                                                \
  void AlphaBlt32(const std::uint32_t* src, std::int32_t src_x, std::int32_t src_y,             \
                  std::int32_t width, std::int32_t height, std::int32_t src_pitch, void* dst,   \
                  std::int32_t dst_x, std::int32_t dst_y, std::int32_t dst_width,               \
                  std::int32_t dst_height, std::int32_t dst_pitch, std::int32_t bits_per_pixel, \
                  std::int32_t red_mask) {                                                      \
    alpha_blt<blend, kernel>(src, src_x, src_y, width, height, src_pitch, dst, dst_x, dst_y,    \
                             dst_width, dst_height, dst_pitch, bits_per_pixel, red_mask);       \
  }                                                                                             \
  }

TARN_DEFINE_ALPHA_BLT(x87, Blend::kX87, Kernel::kBaseline)
TARN_DEFINE_ALPHA_BLT(mmx, Blend::kMmx, Kernel::kBaseline)
TARN_DEFINE_ALPHA_BLT(mmxext, Blend::kMmxext, Kernel::kBaseline)
TARN_DEFINE_ALPHA_BLT(cyrix_emmx, Blend::kCyrix, Kernel::kBaseline)
#if defined(TARN_BLIT_WIDE_KERNELS)
TARN_DEFINE_ALPHA_BLT(mmx_avx2, Blend::kMmx, Kernel::kAvx2)
TARN_DEFINE_ALPHA_BLT(mmxext_avx2, Blend::kMmxext, Kernel::kAvx2)
TARN_DEFINE_ALPHA_BLT(cyrix_emmx_avx2, Blend::kCyrix, Kernel::kAvx2)
TARN_DEFINE_ALPHA_BLT(mmx_avx512, Blend::kMmx, Kernel::kAvx512)
TARN_DEFINE_ALPHA_BLT(mmxext_avx512, Blend::kMmxext, Kernel::kAvx512)
TARN_DEFINE_ALPHA_BLT(cyrix_emmx_avx512, Blend::kCyrix, Kernel::kAvx512)
#endif

#undef TARN_DEFINE_ALPHA_BLT

}  // namespace tarn::pixel
