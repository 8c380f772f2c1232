// The alpha blit: every variant in every kernel the machine runs against a plain per-pixel
// reference written from the formulas, over exhaustive blends, random surfaces of every width up to
// 70, all four destination formats, both pitch signs and every kind of clipping. The reference
// visits every destination pixel and writes those inside the rectangle; comparing whole buffers
// proves nothing else changed.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "pixel/pixel.h"
#if !defined(_WIN32)
#include <sys/mman.h>
#include <unistd.h>
#endif
#include "test_support.h"

namespace tarn::pixel {
namespace {

enum class Model { kX87, kMmx, kCyrix };

struct BlitVariant {
  std::string name;
  MxAlphaBlt32Fn fn;
  Model model;
};

// Every registered implementation in every kernel, with the blend it follows.
std::vector<BlitVariant> blit_variants() {
  constexpr test::ForVariant<Model> kModels[] = {{Variant::kX87, Model::kX87},
                                                 {Variant::kMmx, Model::kMmx},
                                                 {Variant::kMmxext, Model::kMmx},
                                                 {Variant::kCyrixEmmx, Model::kCyrix}};
  std::vector<BlitVariant> found;
  for (const auto& impl : test::registered<SlotId::MxAlphaBlt32>()) {
    if (const Model* model = test::reference(kModels, impl)) {
      found.push_back({impl.name, impl.fn, *model});
    }
  }
  return found;
}

const std::vector<BlitVariant>& kBlitVariants = *new std::vector<BlitVariant>(blit_variants());

// ---- Reference -------------------------------------------------------------

std::uint32_t ref_channel(Model m, std::uint32_t s, std::uint32_t d, std::uint32_t a) {
  switch (m) {
    case Model::kX87:
      return (s * a + d * (256 - a)) / 256;
    case Model::kMmx:
      return (s * a + d * (255 - a)) / 256;
    case Model::kCyrix: {
      const std::uint32_t big_s = s * 128, big_d = d * 128;
      const std::uint32_t big_a = a * 257 / 2, inv_a = big_a ^ 0x7F80;
      const std::uint32_t p = (big_a * big_s + 16384) / 32768;
      const std::uint32_t q = (inv_a * big_d + 16384) / 32768;
      return (p + q) / 128;
    }
  }
  return 0;
}

std::uint32_t ref_blend(Model m, std::uint32_t s, std::uint32_t d) {
  const std::uint32_t a = s >> 24;
  std::uint32_t out = 0;
  for (int c = 0; c < 4; ++c) {
    if (c == 3 && m == Model::kX87) break;  // the x87 form leaves alpha 0
    out |= ref_channel(m, (s >> (8 * c)) & 0xFF, (d >> (8 * c)) & 0xFF, a) << (8 * c);
  }
  return out;
}

struct Field {
  int pos, width;
};

struct Format {
  const char* name;
  int bits_per_pixel;
  int red_mask;
  int bytes;
  Field blue, green, red;  // unused for 32-bit
};

const Format kFormats[] = {
    {"32", 32, 0, 4, {}, {}, {}},
    {"565", 16, 0xF800, 2, {0, 5}, {5, 6}, {11, 5}},
    {"1555", 16, 0x7C00, 2, {0, 5}, {5, 5}, {10, 5}},
    {"4444", 16, 0x0F00, 2, {0, 4}, {4, 4}, {8, 4}},
};

std::uint32_t widen(const Format& f, std::uint32_t v) {
  std::uint32_t out = 0;
  const Field fields[] = {f.blue, f.green, f.red};
  for (int c = 0; c < 3; ++c) {
    const std::uint32_t value = (v >> fields[c].pos) & ((1u << fields[c].width) - 1);
    out |= (value << (8 - fields[c].width)) << (8 * c);
  }
  return out;
}

std::uint32_t narrow(const Format& f, std::uint32_t c32) {
  std::uint32_t out = 0;
  const Field fields[] = {f.blue, f.green, f.red};
  for (int c = 0; c < 3; ++c) {
    out |= (((c32 >> (8 * c)) & 0xFF) >> (8 - fields[c].width)) << fields[c].pos;
  }
  return out;
}

std::uint32_t ref_pixel(Model m, const Format& f, std::uint32_t s, std::uint32_t d) {
  const std::uint32_t a = s >> 24;
  if (a == 0) return d;
  if (f.bytes == 4) return a == 255 ? s : ref_blend(m, s, d);
  return narrow(f, a == 255 ? s : ref_blend(m, s, widen(f, d)));
}

std::uint32_t read_px(const unsigned char* p, int bytes) {
  std::uint32_t v = 0;
  std::memcpy(&v, p, bytes);  // little-endian
  return v;
}

void write_px(unsigned char* p, int bytes, std::uint32_t v) {
  std::memcpy(p, &v, bytes);
}

struct BlitArgs {
  const std::uint32_t* src;
  int src_x, src_y, width, height, src_pitch;
  void* dst;
  int dst_x, dst_y, dst_width, dst_height, dst_pitch;
};

// Destination pixel by pixel: each one inside the rectangle takes the source
// pixel at the same offset from the rectangle's corner.
void ref_blit(Model m, const Format& f, const BlitArgs& b) {
  for (std::int64_t dy = 0; dy < b.dst_height; ++dy) {
    for (std::int64_t dx = 0; dx < b.dst_width; ++dx) {
      const std::int64_t x = dx - b.dst_x, y = dy - b.dst_y;
      if (x < 0 || y < 0 || x >= b.width || y >= b.height) continue;
      const auto* sp = reinterpret_cast<const unsigned char*>(b.src) + (b.src_y + y) * b.src_pitch +
                       (b.src_x + x) * 4;
      auto* dp = static_cast<unsigned char*>(b.dst) + dy * b.dst_pitch + dx * f.bytes;
      write_px(dp, f.bytes, ref_pixel(m, f, read_px(sp, 4), read_px(dp, f.bytes)));
    }
  }
}

void run(MxAlphaBlt32Fn fn, const Format& f, const BlitArgs& b) {
  fn(b.src, b.src_x, b.src_y, b.width, b.height, b.src_pitch, b.dst, b.dst_x, b.dst_y, b.dst_width,
     b.dst_height, b.dst_pitch, f.bits_per_pixel, f.red_mask);
}

// ---- Surfaces ----------------------------------------------------------------

// A surface, rows top-down or bottom-up, in a buffer that holds it exactly
// (so AddressSanitizer sees any access beyond it) or, with guard rows and
// row padding, surrounds it with bytes that must stay unchanged.
struct Surface {
  Surface(int w, int h, int bytes_per_pixel, bool bottom_up, int padding_bytes = 0,
          int guard_rows = 0)
      : width(w), height(h), bytes(bytes_per_pixel) {
    const std::size_t row_bytes = static_cast<std::size_t>(w * bytes_per_pixel + padding_bytes);
    data.resize(row_bytes * (h + 2 * guard_rows));
    pitch = static_cast<int>(bottom_up ? -row_bytes : row_bytes);
    top_offset = row_bytes * (guard_rows + (bottom_up ? h - 1 : 0));
  }
  unsigned char* top() { return data.data() + top_offset; }
  int width, height, bytes, pitch;
  std::vector<unsigned char> data;
  std::size_t top_offset;
};

// Alpha in runs, so groups of transparent, opaque and mixed pixels all occur.
void fill_source(Surface& s, std::mt19937& rng) {
  int run_left = 0;
  std::uint32_t kind = 0;
  for (std::size_t i = 0; i + 4 <= s.data.size(); i += 4) {
    if (run_left-- == 0) {
      run_left = static_cast<int>(rng() % 9);
      kind = rng() % 3;
    }
    std::uint32_t px = rng() & 0x00FFFFFF;
    const std::uint32_t alpha = kind == 0 ? 0 : kind == 1 ? 255 : rng() % 256;
    px |= alpha << 24;
    std::memcpy(&s.data[i], &px, 4);
  }
}

void fill_random(Surface& s, std::mt19937& rng) {
  for (unsigned char& b : s.data) b = static_cast<unsigned char>(rng());
}

// ---- Blend formulas --------------------------------------------------------

TEST(PixelBlend, FormulasMatchForEveryTriple) {
  for (std::uint32_t a = 0; a < 256; ++a) {
    for (std::uint32_t s = 0; s < 256; ++s) {
      for (std::uint32_t d = 0; d < 256; ++d) {
        const std::uint32_t x87 = ref_channel(Model::kX87, s, d, a);
        const std::uint32_t mmx = ref_channel(Model::kMmx, s, d, a);
        const std::uint32_t cyrix = ref_channel(Model::kCyrix, s, d, a);
        if (blend_x87(s, d, a) != x87 || blend_mmx(s, d, a) != mmx ||
            blend_mmxext(s, d, a) != mmx || blend_cyrix(s, d, a) != cyrix || cyrix < mmx ||
            cyrix > mmx + 2) {
          FAIL() << "s " << s << " d " << d << " a " << a;
        }
      }
    }
  }
}

// Every (s, d, a) through each variant's blit: blue carries (s, d), green
// (d, s), alpha (a, d); 65536 pixels per alpha, so the packed path does it.
TEST(PixelBlend, BlitMatchesFormulaForEveryTriple) {
  std::vector<std::uint32_t> src(65536), dst(65536), want(65536);
  for (const BlitVariant& v : kBlitVariants) {
    for (std::uint32_t a = 1; a < 255; ++a) {
      for (std::uint32_t i = 0; i < 65536; ++i) {
        const std::uint32_t s = i >> 8, d = i & 0xFF;
        src[i] = a << 24 | (s ^ 0x5A) << 16 | d << 8 | s;
        dst[i] = d << 24 | (255 - d) << 16 | s << 8 | d;
        want[i] = ref_blend(v.model, src[i], dst[i]);
      }
      v.fn(src.data(), 0, 0, 256, 256, 1024, dst.data(), 0, 0, 256, 256, 1024, 32, 0);
      ASSERT_EQ(dst, want) << v.name << " alpha " << a;
    }
  }
}

// Onto each 16-bit format, every source channel value against every value
// of each destination field, for every alpha that blends: a destination
// whose two bytes are both b holds every value of every field as b runs
// through 0..255.
TEST(PixelBlend, SixteenBitBlitMatchesFormulaForEveryTriple) {
  std::vector<std::uint32_t> src(65536);
  std::vector<std::uint16_t> start(65536), dst(65536), want[3];
  for (const Format& f : kFormats) {
    if (f.bytes != 2) continue;
    for (std::uint32_t a = 1; a < 255; ++a) {
      for (std::uint32_t i = 0; i < 65536; ++i) {
        const std::uint32_t s = i >> 8, b = i & 0xFF;
        src[i] = a << 24 | (255 - s) << 16 | (s ^ 0x5A) << 8 | s;
        start[i] = static_cast<std::uint16_t>(b * 0x0101);
      }
      for (int m = 0; m < 3; ++m) {
        want[m].resize(65536);
        for (std::uint32_t i = 0; i < 65536; ++i) {
          want[m][i] = static_cast<std::uint16_t>(ref_pixel(Model(m), f, src[i], start[i]));
        }
      }
      for (const BlitVariant& v : kBlitVariants) {
        dst = start;
        v.fn(src.data(), 0, 0, 256, 256, 1024, dst.data(), 0, 0, 256, 256, 512, 16, f.red_mask);
        ASSERT_EQ(dst, want[static_cast<int>(v.model)])
            << v.name << " " << f.name << " alpha " << a;
      }
    }
  }
}

// The documented sample rows, in the green channel of a 32-bit blit, alone
// and in a group of four.
TEST(PixelBlend, SampleRows) {
  struct Row {
    std::uint32_t s, d, a, x87, mmx, cyrix;
  };
  const Row kRows[] = {
      {255, 255, 128, 255, 254, 255},
      {0, 255, 128, 127, 126, 127},
      {255, 0, 128, 127, 127, 128},
      {200, 100, 64, 125, 124, 124},
  };
  for (const BlitVariant& v : kBlitVariants) {
    for (const Row& r : kRows) {
      const std::uint32_t want = v.model == Model::kX87   ? r.x87
                                 : v.model == Model::kMmx ? r.mmx
                                                          : r.cyrix;
      for (int n : {1, 4}) {
        std::uint32_t src[4], dst[4];
        for (int i = 0; i < 4; ++i) {
          src[i] = r.a << 24 | r.s << 8;
          dst[i] = r.d << 8;
        }
        v.fn(src, 0, 0, n, 1, 16, dst, 0, 0, 4, 1, 16, 32, 0);
        EXPECT_EQ((dst[0] >> 8) & 0xFF, want) << v.name << " " << r.s << "," << r.d << "," << r.a;
      }
    }
  }
}

// Alpha 128 over a destination alpha of 255; what each variant leaves in
// the destination's alpha byte, and that 0 and 255 are not blends.
TEST(PixelBlend, DestinationAlphaByte) {
  const std::uint32_t kBlended[] = {0, 190, 191};  // by Model: x87, MMX and MMXext, Cyrix
  for (const BlitVariant& v : kBlitVariants) {
    std::uint32_t src[3] = {0x80102030u, 0x00FFFFFFu, 0xFF000001u};
    std::uint32_t dst[3] = {0xFF405060u, 0x12345678u, 0x12345678u};
    v.fn(src, 0, 0, 3, 1, 12, dst, 0, 0, 3, 1, 12, 32, 0);
    EXPECT_EQ(dst[0] >> 24, kBlended[static_cast<int>(v.model)]) << v.name;
    EXPECT_EQ(dst[1], 0x12345678u) << v.name;
    EXPECT_EQ(dst[2], 0xFF000001u) << v.name;
  }
}

TEST(PixelBlend, SixteenBitConversions) {
  struct Case {
    const char* what;
    int red_mask;
    std::uint16_t dst;
    std::uint32_t src;
    std::uint16_t want;  // the same in every variant
  };
  const Case kCases[] = {
      {"white 565 under black at 128", 0xF800, 0xFFFF, 0x80000000u, 0x7BEF},
      {"opaque white into 4444", 0x0F00, 0x1234, 0xFFFFFFFFu, 0x0FFF},
      {"1555 bit 15 cleared by a blend", 0x7C00, 0x8000, 0x80F80000u, 0x3C00},
      {"4444 top bits cleared by an opaque pixel", 0x0F00, 0xF000, 0xFF000000u, 0},
      {"transparent leaves every bit", 0x7C00, 0xFFFF, 0x00FFFFFFu, 0xFFFF},
  };
  for (const Case& c : kCases) {
    for (const BlitVariant& v : kBlitVariants) {
      std::uint16_t dst = c.dst;
      v.fn(&c.src, 0, 0, 1, 1, 4, &dst, 0, 0, 1, 1, 2, 16, c.red_mask);
      EXPECT_EQ(dst, c.want) << c.what << " " << v.name;
    }
  }
}

// ---- Whole surfaces ----------------------------------------------------------

// Runs the variant on dst and the reference on a copy of it; the whole
// buffers must agree, so every pixel outside the clipped rectangle (and any
// row padding) acts as a guard.
::testing::AssertionResult blit_matches(const BlitVariant& v, const Format& f, Surface& src,
                                        Surface& dst, int src_x, int src_y, int width, int height,
                                        int dst_x, int dst_y) {
  Surface want = dst;
  BlitArgs args{reinterpret_cast<const std::uint32_t*>(src.top()),
                src_x,
                src_y,
                width,
                height,
                src.pitch,
                dst.top(),
                dst_x,
                dst_y,
                dst.width,
                dst.height,
                dst.pitch};
  run(v.fn, f, args);
  args.dst = want.top();
  ref_blit(v.model, f, args);
  if (dst.data == want.data) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << v.name << " " << f.name << " rect " << dst_x << "," << dst_y << " " << width << "x"
         << height << (dst.pitch < 0 ? " bottom-up" : "");
}

// Every width 1..70 covers every group count and tail. Padded: the rectangle
// sits inside larger surfaces. Unpadded: it is the whole of both surfaces, so
// under AddressSanitizer any access past either surface faults.
TEST(PixelBlit, RandomSurfacesMatchReference) {
  std::mt19937 rng(12345);
  for (const BlitVariant& v : kBlitVariants) {
    for (const Format& f : kFormats) {
      for (bool bottom_up : {false, true}) {
        for (bool padded : {true, false}) {
          for (int width = 1; width <= 70; ++width) {
            const int height = padded ? 1 + width % 5 : 2;
            const int margin = padded ? 3 : 0;
            Surface src(width + margin, height + margin, 4, bottom_up);
            Surface dst(width + margin, height + margin, f.bytes, !bottom_up, padded ? 6 : 0,
                        padded ? 1 : 0);
            fill_source(src, rng);
            fill_random(dst, rng);
            const auto offset = [&] { return padded ? static_cast<int>(rng() % 4) : 0; };
            ASSERT_TRUE(blit_matches(v, f, src, dst, offset(), offset(), width, height, offset(),
                                     offset()));
          }
        }
      }
    }
  }
}

// Overhang on every side, rectangles off the surface, empty and negative
// sizes, and extremes whose sums would overflow 32 bits. The source is large
// enough for every column and row the visible part reads.
TEST(PixelBlit, ClipsAgainstAllFourEdges) {
  struct Case {
    int dst_x, dst_y, width, height;
  };
  const Case kCases[] = {
      {1, 1, 4, 3},  // inside
      {5, 1, 6, 2},
      {2, 3, 3, 9},  // right, bottom overhang
      {-3, 1, 5, 2},
      {1, -2, 3, 4},     // left, top overhang
      {-2, -3, 20, 20},  // every side
      {-5, 0, 5, 4},
      {7, 0, 3, 3},  // left of, right of the surface
      {0, -4, 3, 4},
      {0, 5, 3, 3},  // above, below the surface
      {1, 1, 0, 3},
      {1, 1, 3, 0},  // empty
      {3, 1, -2, 3},
      {1, 3, 2, -3},  // negative sizes
      {1, 1, INT_MAX, INT_MAX},
      {INT_MIN, INT_MIN, INT_MAX, INT_MAX},
      {INT_MAX, INT_MAX, INT_MAX, INT_MAX},
      {-1, -1, INT_MIN, INT_MIN},
  };
  std::mt19937 rng(777);
  for (const BlitVariant& v : kBlitVariants) {
    for (const Format& f : kFormats) {
      for (const Case& c : kCases) {
        for (bool bottom_up : {false, true}) {
          Surface src(40, 40, 4, false);
          Surface dst(7, 5, f.bytes, bottom_up, 8, 1);
          fill_source(src, rng);
          fill_random(dst, rng);
          EXPECT_TRUE(blit_matches(v, f, src, dst, 6, 6, c.width, c.height, c.dst_x, c.dst_y));
        }
      }
    }
  }
}

// Arguments at the ends of the 32-bit range. Rows and columns that clipping
// skips by the billion bring the source back onto the surface; a pitch of
// +-2^31 over a single row is never multiplied by more than 0. A rectangle
// whose byte offsets do not fit in 64 bits reaches no surface: nothing is
// read or written (the source pointer then points at nothing readable).
TEST(PixelBlit, ExtremeArgumentsAreExactOrSkipped) {
  struct Case {
    int src_x, src_y, width, height, src_pitch, dst_x, dst_y, dst_width, dst_height, dst_pitch;
    bool blits;  // false: offsets beyond 64 bits, nothing happens
  };
  constexpr int kPitch = 16 * 4;  // the 16 x 4 source below
  const Case kCases[] = {
      // Clipping skips billions of columns and rows, back onto the source.
      {9 - INT_MAX, 2 - INT_MAX, INT_MAX, INT_MAX, kPitch, 7 - INT_MAX, 1 - INT_MAX, 8, 3, 0, true},
      {2, 3 - INT_MAX, 5, INT_MAX, kPitch, 0, -(INT_MAX - 2), 8, 3, 0, true},
      // Pitches of -2^31 and 2^31 - 1 over a single row.
      {8 - INT_MAX, 0, INT_MAX, 1, INT_MIN, -(INT_MAX - 5), 0, 8, 1, INT_MIN, true},
      {1, 0, 6, 1, INT_MAX, 1, 0, 8, 1, INT_MAX, true},
      {0, 0, 8, INT_MAX, INT_MIN, 0, 0, 8, 1, INT_MIN, true},
      // Beyond 64 bits: the first row's start (the second case 4 bytes
      // below -2^63), the end of a first row that starts at 2^63 - 1, the
      // last of three rows whose first starts at 2^31 - 2^63.
      {INT_MIN, INT_MAX, 8, INT_MAX, INT_MIN, 0, -(INT_MAX - 1), 8, 3, 0, false},
      {-(3 << 29) - 1, INT_MAX, 8, INT_MAX, INT_MIN, 0, -(INT_MAX - 1), 8, 3, 0, false},
      {INT_MAX, INT_MAX, INT_MAX, INT_MAX, INT_MAX, -(INT_MAX - 8), -(INT_MAX - 1), 8, 3, 0, false},
      {INT_MAX, INT_MAX, INT_MAX, INT_MAX, INT_MAX, -(1 << 29), -(INT_MAX - 1), 8, 3, 0, false},
      {INT_MIN, INT_MAX, 8, INT_MAX, INT_MIN, 0, -(INT_MAX - 3), 8, 3, 0, false},
  };
  std::mt19937 rng(31);
  for (const BlitVariant& v : kBlitVariants) {
    for (const Format& f : kFormats) {
      for (const Case& c : kCases) {
        Surface src(16, 4, 4, false);
        Surface dst(8, 3, f.bytes, false);
        fill_source(src, rng);
        fill_random(dst, rng);
        const int dst_pitch = c.dst_pitch != 0 ? c.dst_pitch : dst.pitch;
        BlitArgs args{reinterpret_cast<const std::uint32_t*>(src.top()),
                      c.src_x,
                      c.src_y,
                      c.width,
                      c.height,
                      c.src_pitch,
                      dst.top(),
                      c.dst_x,
                      c.dst_y,
                      c.dst_width,
                      c.dst_height,
                      dst_pitch};
        Surface want = dst;
        if (c.blits) {
          args.dst = want.top();
          ref_blit(v.model, f, args);
          args.dst = dst.top();
        }
        run(v.fn, f, args);
        EXPECT_EQ(dst.data, want.data) << v.name << " " << f.name << " case " << (&c - kCases);
      }
    }
  }
}

#if !defined(_WIN32)
// A transparent pixel's destination is never written, not even with the
// value it holds. The row's transparent pixels lie on a read-only page and
// the rest on a writable one, the edge before every pixel of the row, with
// the read-only page after the row's kept pixels and before them: any store
// over a transparent pixel faults.
TEST(PixelBlit, TransparentPixelsAreNeverWritten) {
  constexpr int kWidth = 80;
  const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  void* mem = mmap(nullptr, 3 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(mem, MAP_FAILED);
  unsigned char* const pages = static_cast<unsigned char*>(mem);
  std::vector<std::uint32_t> src(kWidth);
  std::mt19937 rng(2024);
  for (const bool kept_first : {true, false}) {
    // Writable, then read-only: kept pixels first. Read-only, then writable:
    // transparent pixels first.
    unsigned char* const edge = pages + (kept_first ? 1 : 2) * page;
    ASSERT_EQ(mprotect(kept_first ? edge : edge - page, page, PROT_READ), 0);
    for (const Format& f : kFormats) {
      for (int before = 0; before <= kWidth; ++before) {
        for (int i = 0; i < kWidth; ++i) {
          const bool kept = (i < before) == kept_first;
          const std::uint32_t alpha = rng() % 2 ? 255 : 1 + rng() % 254;
          src[static_cast<std::size_t>(i)] = (kept ? alpha << 24 : 0) | (rng() & 0xFFFFFF);
        }
        unsigned char* const row = edge - before * f.bytes;
        for (const BlitVariant& v : kBlitVariants) {
          v.fn(src.data(), 0, 0, kWidth, 1, kWidth * 4, row, 0, 0, kWidth, 1, kWidth * f.bytes,
               f.bits_per_pixel, f.red_mask);
        }
      }
    }
    ASSERT_EQ(mprotect(kept_first ? edge : edge - page, page, PROT_READ | PROT_WRITE), 0);
  }
  munmap(mem, 3 * page);
}
#endif

// Working values live in each call: blits on several threads at once give
// the same surfaces as one after another.
TEST(PixelBlit, ConcurrentBlitsOnDifferentSurfaces) {
  constexpr int kSide = 64;
  std::mt19937 rng(99);
  Surface src(kSide, kSide, 4, false);
  fill_source(src, rng);
  std::vector<Surface> dsts(kBlitVariants.size(), Surface(kSide, kSide, 4, false));
  for (Surface& d : dsts) fill_random(d, rng);
  std::vector<Surface> wants = dsts;
  const auto blit = [&](std::size_t i, Surface& dst) {
    for (int repeat = 0; repeat < 50; ++repeat) {
      kBlitVariants[i].fn(reinterpret_cast<const std::uint32_t*>(src.top()), 0, 0, kSide, kSide,
                          src.pitch, dst.top(), 0, 0, kSide, kSide, dst.pitch, 32, 0);
    }
  };
  for (std::size_t i = 0; i < wants.size(); ++i) blit(i, wants[i]);
  std::vector<std::thread> threads;
  for (std::size_t i = 0; i < dsts.size(); ++i) threads.emplace_back(blit, i, std::ref(dsts[i]));
  for (std::thread& t : threads) t.join();
  for (std::size_t i = 0; i < dsts.size(); ++i) EXPECT_EQ(dsts[i].data, wants[i].data) << i;
}

}  // namespace
}  // namespace tarn::pixel
