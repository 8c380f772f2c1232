// The alpha blit against pixman's OVER composite, onto 32-bit a8r8g8b8 and
// 16-bit r5g6b5, x1r5g5b5 and x4r4g4b4 surfaces, for three kinds of source
// alpha; onto 32-bit surfaces also against libyuv's ARGB blend, a speed mark
// only: it divides by 256 instead of 255 and sets the destination alpha to 255.
#include <cmath>
#include <cstdint>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "bench_util.h"
#include "library.h"

#if TARN_BENCH_PIXMAN
#include <pixman.h>
#endif
#if TARN_BENCH_LIBYUV
#include <libyuv/planar_functions.h>
#endif

namespace tarn::bench {

namespace {

enum class Mix { kOpaque, kPartial, kSprite };
constexpr const char* kMixNames[] = {"opaque", "partial", "sprite"};

struct Dims {
  int width, height;
};
constexpr Dims kDims[] = {{640, 480}, {1024, 1024}};

// Alpha for a pixel of the sprite mix: a sheet of 64x64 tiles, each with a
// disc of radius 24 whose rim is antialiased over about a pixel and a half.
// About half the pixels are 0, 44 % are 255 and 5 % lie between.
std::uint32_t sprite_alpha(int x, int y) {
  float dx = static_cast<float>(x % 64) - 31.5f, dy = static_cast<float>(y % 64) - 31.5f;
  float inside = (24.0f - std::sqrt(dx * dx + dy * dy)) / 1.5f + 0.5f;
  if (inside <= 0.0f) return 0;
  if (inside >= 1.0f) return 255;
  return static_cast<std::uint32_t>(std::lround(inside * 255.0f));
}

// A source surface in the library's form (straight alpha) and the same
// image premultiplied, as pixman takes it.
struct Source {
  std::vector<std::uint32_t> straight, premultiplied;
  Source(Dims d, Mix mix) {
    Random rng(5 + static_cast<int>(mix));
    for (int y = 0; y < d.height; ++y) {
      for (int x = 0; x < d.width; ++x) {
        std::uint32_t rgb = rng.next() & 0xFFFFFFu;
        std::uint32_t a = mix == Mix::kOpaque    ? 255
                          : mix == Mix::kPartial ? 1 + rng.next() % 254
                                                 : sprite_alpha(x, y);
        straight.push_back(a << 24 | rgb);
        std::uint32_t pm = a << 24;
        for (int shift = 0; shift < 24; shift += 8)
          pm |= (((rgb >> shift) & 0xFFu) * a + 127) / 255 << shift;
        premultiplied.push_back(pm);
      }
    }
  }
};

Source& source(int dims, Mix mix) {
  static std::unique_ptr<Source> sources[2][3];
  auto& s = sources[dims][static_cast<int>(mix)];
  if (!s) s = std::make_unique<Source>(kDims[dims], mix);
  return *s;
}

// The destination formats: the blit's arguments, pixman's format, and a
// mid-grey opaque background.
struct Depth {
  const char* name;
  int bits_per_pixel, red_mask;
#if TARN_BENCH_PIXMAN
  pixman_format_code_t pixman;
#endif
  std::uint32_t grey;
};
#if TARN_BENCH_PIXMAN
#define TARN_PIXMAN_FORMAT(f) f,
#else
#define TARN_PIXMAN_FORMAT(f)
#endif
const Depth kDepths[] = {
    {"8888", 32, 0, TARN_PIXMAN_FORMAT(PIXMAN_a8r8g8b8) 0xFF808080u},
    {"565", 16, 0xF800, TARN_PIXMAN_FORMAT(PIXMAN_r5g6b5) 0x8410u},
    {"1555", 16, 0x7C00, TARN_PIXMAN_FORMAT(PIXMAN_x1r5g5b5) 0x4210u},
    {"4444", 16, 0x0F00, TARN_PIXMAN_FORMAT(PIXMAN_x4r4g4b4) 0x0888u},
};
#undef TARN_PIXMAN_FORMAT
constexpr int kDepthCount = static_cast<int>(std::size(kDepths));

// One destination surface per size and format, as 32-bit words (a 16-bit
// surface fills the first half, two pixels to a word).
std::uint32_t* destination(int dims, int depth) {
  static std::vector<std::uint32_t> surfaces[2][kDepthCount];
  auto& s = surfaces[dims][depth];
  if (s.empty()) {
    const Depth& f = kDepths[depth];
    const std::size_t pixels = static_cast<std::size_t>(kDims[dims].width) * kDims[dims].height;
    s.assign(f.bits_per_pixel == 16 ? (pixels + 1) / 2 : pixels,
             f.bits_per_pixel == 16 ? f.grey * 0x10001u : f.grey);
  }
  return s.data();
}

// The report tells an approximate peer by its label and keeps it out of the
// best exact peer.
[[maybe_unused]] constexpr const char* kApproximateLibyuv = "libyuv ARGBBlend (approximate)";

void set_pixels(benchmark::State& state, Dims d) {
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * d.width * d.height);
}

}  // namespace

void register_blit() {
  for (int di = 0; di < 2; ++di) {
    if (quick() && di > 0) continue;
    const Dims d = kDims[di];
    for (Mix mix : {Mix::kOpaque, Mix::kPartial, Mix::kSprite}) {
      for (int depth = 0; depth < kDepthCount; ++depth) {
        const Depth& f = kDepths[depth];
        std::string job = "MxAlphaBlt32." + std::to_string(d.width) + "x" +
                          std::to_string(d.height) + "." + kMixNames[static_cast<int>(mix)] + "." +
                          f.name;
        register_slot<SlotId::MxAlphaBlt32>(job, [=](benchmark::State& st, MxAlphaBlt32Fn* slot) {
          const std::uint32_t* src = source(di, mix).straight.data();
          void* dst = destination(di, depth);
          const int pitch = d.width * f.bits_per_pixel / 8;
          for (auto _ : st) {
            (*slot)(src, 0, 0, d.width, d.height, d.width * 4, dst, 0, 0, d.width, d.height, pitch,
                    f.bits_per_pixel, f.red_mask);
            benchmark::ClobberMemory();
          }
          set_pixels(st, d);
        });
#if TARN_BENCH_PIXMAN
        register_peer(job, "pixman", [=](benchmark::State& st) {
          auto* src_bits = source(di, mix).premultiplied.data();
          pixman_image_t* src =
              pixman_image_create_bits(PIXMAN_a8r8g8b8, d.width, d.height, src_bits, d.width * 4);
          pixman_image_t* dst = pixman_image_create_bits(
              f.pixman, d.width, d.height, destination(di, depth), d.width * f.bits_per_pixel / 8);
          for (auto _ : st) {
            pixman_image_composite32(PIXMAN_OP_OVER, src, nullptr, dst, 0, 0, 0, 0, 0, 0, d.width,
                                     d.height);
            benchmark::ClobberMemory();
          }
          pixman_image_unref(src);
          pixman_image_unref(dst);
          set_pixels(st, d);
        });
#endif
#if TARN_BENCH_LIBYUV
        if (f.bits_per_pixel == 32) {
          register_peer(job, kApproximateLibyuv, [=](benchmark::State& st) {
            const auto* src =
                reinterpret_cast<const std::uint8_t*>(source(di, mix).premultiplied.data());
            auto* dst = reinterpret_cast<std::uint8_t*>(destination(di, depth));
            const int pitch = d.width * 4;
            for (auto _ : st) {
              libyuv::ARGBBlend(src, pitch, dst, pitch, dst, pitch, d.width, d.height);
              benchmark::ClobberMemory();
            }
            set_pixels(st, d);
          });
        }
#endif
      }
    }
  }
}

}  // namespace tarn::bench
