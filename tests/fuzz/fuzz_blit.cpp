// The blit, every variant, with arbitrary arguments over surfaces sized to
// exactly what the arguments allow it to touch (AddressSanitizer guards every
// byte beyond them): any destination size, position (negative, or at or past
// the right and bottom edges, included), width and height (zero, negative and
// huge included), source position, pitches of either sign, format word and
// red mask. Nothing outside the clipped rectangle of the destination may change,
// the source never changes, and a source pixel of alpha 0 leaves its
// destination pixel as it was.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "fuzz_support.h"

namespace {

using namespace tarn;

struct Surface {
  std::unique_ptr<unsigned char[]> storage;
  std::size_t size;
  unsigned char* top;  // the top-left pixel (the last row in memory when bottom-up)
};

Surface make_surface(std::int32_t rows, std::int32_t row_bytes, bool bottom_up) {
  Surface s;
  s.size = static_cast<std::size_t>(std::max(rows, 1)) * static_cast<std::size_t>(row_bytes);
  s.storage = std::make_unique<unsigned char[]>(s.size);
  s.top = s.storage.get() + (bottom_up && rows > 0 ? (rows - 1) * row_bytes : 0);
  return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const auto blits = fuzz::implementations<SlotId::MxAlphaBlt32>();
  if (blits.empty()) return 0;
  FuzzedDataProvider in(data, size);
  const auto blit = blits[in.ConsumeIntegralInRange<std::size_t>(0, blits.size() - 1)];

  std::int32_t bpp;
  switch (in.ConsumeIntegralInRange(0, 3)) {
    case 0:
      bpp = 16;
      break;
    case 1:
      bpp = 32;
      break;
    default:
      bpp = in.ConsumeIntegral<std::int32_t>();
  }
  const std::int32_t red_mask = in.ConsumeBool() ? in.PickValueInArray({0x7C00, 0x0F00, 0xF800})
                                                 : in.ConsumeIntegral<std::int32_t>();
  const std::int32_t pixel_bytes = bpp == 16 ? 2 : 4;

  const std::int32_t dst_w = in.ConsumeIntegralInRange(1, 48);
  const std::int32_t dst_h = in.ConsumeIntegralInRange(1, 48);
  const std::int32_t dst_x = in.ConsumeIntegralInRange(-6, dst_w + 4);
  const std::int32_t dst_y = in.ConsumeIntegralInRange(-6, dst_h + 4);
  const std::int32_t width =
      in.ConsumeBool() ? in.ConsumeIntegralInRange(-2, 60) : in.ConsumeIntegral<std::int32_t>();
  const std::int32_t height =
      in.ConsumeBool() ? in.ConsumeIntegralInRange(-2, 60) : in.ConsumeIntegral<std::int32_t>();
  const std::int32_t src_x = in.ConsumeIntegralInRange(0, 6);
  const std::int32_t src_y = in.ConsumeIntegralInRange(0, 6);
  // What the blit may touch after clipping against all four edges: a negative
  // destination position skips as many source columns or rows.
  const std::int64_t skip_x = std::max(0, -dst_x), skip_y = std::max(0, -dst_y);
  const std::int32_t left = std::max(dst_x, 0), top = std::max(dst_y, 0);
  const auto cols = static_cast<std::int32_t>(
      std::max<std::int64_t>(0, std::min<std::int64_t>(width - skip_x, dst_w - left)));
  const auto rows = static_cast<std::int32_t>(
      std::max<std::int64_t>(0, std::min<std::int64_t>(height - skip_y, dst_h - top)));
  const auto first_col = static_cast<std::int32_t>(src_x + skip_x);
  const auto first_row = static_cast<std::int32_t>(src_y + skip_y);
  const std::int32_t src_row_bytes =
      (first_col + std::max(cols, 1) + in.ConsumeIntegralInRange(0, 3)) * 4;
  const std::int32_t dst_row_bytes = (dst_w + in.ConsumeIntegralInRange(0, 3)) * pixel_bytes;
  const bool src_up = in.ConsumeBool(), dst_up = in.ConsumeBool();

  Surface src = make_surface(first_row + std::max(rows, 1), src_row_bytes, src_up);
  Surface dst = make_surface(dst_h, dst_row_bytes, dst_up);
  // Pixels: the input's bytes, with alpha pushed towards 0 and 255 often.
  for (std::size_t i = 0; i < src.size; i += 4) {
    std::uint32_t p = in.ConsumeIntegral<std::uint32_t>();
    switch (p >> 30) {
      case 0:
        p &= 0x00FFFFFF;
        break;
      case 1:
        p |= 0xFF000000;
        break;
      default:
        break;
    }
    std::memcpy(&src.storage[i], &p, 4);
  }
  for (std::size_t i = 0; i < dst.size; ++i)
    dst.storage[i] = static_cast<unsigned char>(i * 151 + 7);
  const std::unique_ptr<unsigned char[]> src_before = std::make_unique<unsigned char[]>(src.size);
  const std::unique_ptr<unsigned char[]> dst_before = std::make_unique<unsigned char[]>(dst.size);
  std::memcpy(src_before.get(), src.storage.get(), src.size);
  std::memcpy(dst_before.get(), dst.storage.get(), dst.size);

  const std::int32_t src_pitch = src_up ? -src_row_bytes : src_row_bytes;
  const std::int32_t dst_pitch = dst_up ? -dst_row_bytes : dst_row_bytes;
  if (std::getenv("TARN_FUZZ_VERBOSE")) {
    std::fprintf(stderr,
                 "blit src(%d,%d) %dx%d pitch %d -> dst(%d,%d) of %dx%d pitch %d, bpp %d mask %X;"
                 " source %zu bytes, destination %zu bytes\n",
                 src_x, src_y, width, height, src_pitch, dst_x, dst_y, dst_w, dst_h, dst_pitch, bpp,
                 static_cast<unsigned>(red_mask), src.size, dst.size);
  }
  blit(reinterpret_cast<const std::uint32_t*>(src.top), src_x, src_y, width, height, src_pitch,
       dst.top, dst_x, dst_y, dst_w, dst_h, dst_pitch, bpp, red_mask);

  fuzz::check(std::memcmp(src_before.get(), src.storage.get(), src.size) == 0,
              "the source changed");
  for (std::int32_t y = 0; y < dst_h; ++y) {
    const std::ptrdiff_t row = dst.top - dst.storage.get() + std::ptrdiff_t{y} * dst_pitch;
    for (std::int32_t x = 0; x < dst_row_bytes / pixel_bytes; ++x) {
      const std::size_t at = static_cast<std::size_t>(row + x * pixel_bytes);
      const bool unchanged = std::memcmp(&dst.storage[at], &dst_before[at],
                                         static_cast<std::size_t>(pixel_bytes)) == 0;
      const bool inside = y >= top && y < top + rows && x >= left && x < left + cols;
      if (!inside) {
        fuzz::check(unchanged, "a destination pixel outside the clipped rectangle changed");
        continue;
      }
      const std::ptrdiff_t src_at = src.top - src.storage.get() +
                                    std::ptrdiff_t{first_row + y - top} * src_pitch +
                                    (first_col + x - left) * 4;
      if (src_before[static_cast<std::size_t>(src_at) + 3] == 0) {
        fuzz::check(unchanged, "a source pixel of alpha 0 changed its destination pixel");
      }
    }
  }
  return 0;
}
