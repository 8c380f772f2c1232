// Zero, identity, translation and scale: pure stores. Arguments travel as bit
// patterns, so -0.0, infinities and NaNs (signalling ones included) arrive
// unchanged, and the two forms store identical bits.
#include <bit>
#include <cstdint>
#include <cstring>

#include "isa/platform.h"
#include "matrix/matrix.h"

namespace tarn::matrix {
namespace {

constexpr std::uint32_t kOne = 0x3F800000;  // 1.0f

inline std::uint32_t bits(float f) {
  std::uint32_t w = std::bit_cast<std::uint32_t>(f);
#if defined(TARN_X86_32) && defined(TARN_GNU_C)
  // Held in an integer register: copied through the x87 stack, a signalling
  // NaN would arrive quiet.
  __asm__("" : "+r"(w));
#endif
  return w;
}

// Reads one float of a vector as bits, touching only its own four bytes.
inline std::uint32_t bits_at(const float* f) {
  std::uint32_t w;
  std::memcpy(&w, f, sizeof w);
  return w;
}

// The sixteen words of a builder's result, before it is stored.
struct Image {
  std::uint32_t w[16] = {};
};

constexpr Image identity() {
  Image img;
  img.w[0] = img.w[5] = img.w[10] = img.w[15] = kOne;
  return img;
}

Image translation(std::uint32_t x, std::uint32_t y, std::uint32_t z) {
  Image img = identity();
  img.w[12] = x;
  img.w[13] = y;
  img.w[14] = z;
  return img;
}

Image scale(std::uint32_t sx, std::uint32_t sy, std::uint32_t sz) {
  Image img;
  img.w[0] = sx;
  img.w[5] = sy;
  img.w[10] = sz;
  img.w[15] = kOne;
  return img;
}

// Fully unrolled, so the image never reaches memory of its own: each word
// is stored from a register or as an immediate. (Built on the stack and read
// back in other widths, it stalled every store-to-load forward.)
void store_words(MxMat4x4* m, const Image& img) {
#pragma GCC unroll 16
  for (int i = 0; i < 16; ++i) std::memcpy(&m->m[i], &img.w[i], 4);
}

void store_pairs(MxMat4x4* m, const Image& img) {
#pragma GCC unroll 8
  for (int i = 0; i < 16; i += 2) {
    const std::uint64_t pair = img.w[i] | (std::uint64_t{img.w[i + 1]} << 32);
    std::memcpy(&m->m[i], &pair, 8);
  }
}

}  // namespace

#define TARN_DEFINE_BUILDERS(ns, store)                                    \
  namespace ns {                                                           \
  void ZeroMat(MxMat4x4* m) {                                              \
    store(m, Image{});                                                     \
  }                                                                        \
  void IdMat(MxMat4x4* m) {                                                \
    store(m, identity());                                                  \
  }                                                                        \
  void TranslateMat(MxMat4x4* m, float x, float y, float z) {              \
    store(m, translation(bits(x), bits(y), bits(z)));                      \
  }                                                                        \
  void TranslateMatFromVec(MxMat4x4* m, const Mx3DVec* v) {                \
    store(m, translation(bits_at(&v->x), bits_at(&v->y), bits_at(&v->z))); \
  }                                                                        \
  void ScaleMat(MxMat4x4* m, float sx, float sy, float sz) {               \
    store(m, scale(bits(sx), bits(sy), bits(sz)));                         \
  }                                                                        \
  }

TARN_DEFINE_BUILDERS(x87, store_words)
TARN_DEFINE_BUILDERS(mmx, store_pairs)

#undef TARN_DEFINE_BUILDERS

}  // namespace tarn::matrix
