// The blit, every variant, with arbitrary arguments over surfaces sized to
// exactly what the arguments allow it to touch (AddressSanitizer guards every
// byte beyond them): any destination size, position (negative, or at or past
// the right and bottom edges, included), width and height (zero, negative,
// huge and near 2^31 included), source position, pitches of either sign,
// format word and red mask. Coordinates, extents and pitches also come from
// the ends of the 32-bit range: clipping that skips billions of columns and
// rows back onto the source, pitches of +-2^31 over a single row, and source
// positions anywhere at all, which must leave both surfaces alone when the
// rectangle is empty or its byte offsets do not fit in 64 bits (the runs
// whose offsets fit but point elsewhere are outside the contract and are not
// made). Nothing outside the clipped rectangle of the destination may change,
// the source never changes, and a source pixel of alpha 0 leaves its
// destination pixel as it was.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <climits>
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

// A value within 64 of either end of the 32-bit range.
std::int32_t near_limit(FuzzedDataProvider& in) {
  const std::int32_t off = in.ConsumeIntegralInRange(0, 64);
  return in.ConsumeBool() ? INT_MIN + off : INT_MAX - off;
}

// Half the runs draw ordinary values (extremes off): width and height huge
// or 32-bit at times, the rest from [low, high]. The others draw values near
// a limit half the time, any value or an ordinary one a quarter each.
std::int32_t coordinate(FuzzedDataProvider& in, bool extremes, std::int32_t low, std::int32_t high,
                        bool any_at_times = false) {
  const int kind = in.ConsumeIntegralInRange(0, 3);
  if (!extremes) {
    return any_at_times && kind < 2 ? in.ConsumeIntegral<std::int32_t>()
                                    : in.ConsumeIntegralInRange(low, high);
  }
  switch (kind) {
    case 0:
    case 1:
      return near_limit(in);
    case 2:
      return in.ConsumeIntegral<std::int32_t>();
    default:
      return in.ConsumeIntegralInRange(low, high);
  }
}

// Whether row * pitch + column * 4 fits in 64 bits for both corners of a
// rectangle.
bool offsets_fit(std::int64_t column, std::int64_t row, std::int64_t cols, std::int64_t rows,
                 std::int64_t pitch, std::int64_t bytes) {
  const auto fits = [](__int128 v) { return v >= INT64_MIN && v <= INT64_MAX; };
  return fits(__int128{row} * pitch + __int128{column} * bytes) &&
         fits(__int128{row + rows - 1} * pitch + __int128{column + cols} * bytes);
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
  const bool extremes = in.ConsumeBool();
  const std::int32_t dst_x = coordinate(in, extremes, -6, dst_w + 4);
  const std::int32_t dst_y = coordinate(in, extremes, -6, dst_h + 4);
  const std::int32_t width = coordinate(in, extremes, -2, 60, true);
  const std::int32_t height = coordinate(in, extremes, -2, 60, true);
  // What the blit may touch after clipping against all four edges: a negative
  // destination position skips as many source columns or rows.
  const std::int64_t skip_x = std::max<std::int64_t>(0, -std::int64_t{dst_x});
  const std::int64_t skip_y = std::max<std::int64_t>(0, -std::int64_t{dst_y});
  const std::int32_t left = std::max(dst_x, 0), top = std::max(dst_y, 0);
  auto cols = static_cast<std::int32_t>(
      std::max<std::int64_t>(0, std::min<std::int64_t>(width - skip_x, dst_w - left)));
  auto rows = static_cast<std::int32_t>(
      std::max<std::int64_t>(0, std::min<std::int64_t>(height - skip_y, dst_h - top)));
  // The source position: one that clipping brings onto the source surface
  // (first_col, first_row), or anywhere.
  const bool src_anywhere = extremes && in.ConsumeBool();
  std::int64_t first_col = in.ConsumeIntegralInRange(0, 6);
  std::int64_t first_row = in.ConsumeIntegralInRange(0, 6);
  std::int32_t src_x = static_cast<std::int32_t>(first_col - skip_x);
  std::int32_t src_y = static_cast<std::int32_t>(first_row - skip_y);
  if (src_anywhere) {
    src_x = coordinate(in, true, 0, 6);
    src_y = coordinate(in, true, 0, 6);
    first_col = src_x + skip_x;
    first_row = src_y + skip_y;
  }
  const std::int32_t src_row_bytes =
      src_anywhere ? 32
                   : static_cast<std::int32_t>(first_col + std::max(cols, 1) +
                                               in.ConsumeIntegralInRange(0, 3)) *
                         4;
  const std::int32_t dst_row_bytes = (dst_w + in.ConsumeIntegralInRange(0, 3)) * pixel_bytes;
  const bool src_up = in.ConsumeBool(), dst_up = in.ConsumeBool();
  std::int32_t src_pitch = src_up ? -src_row_bytes : src_row_bytes;
  std::int32_t dst_pitch = dst_up ? -dst_row_bytes : dst_row_bytes;
  // Any pitch where the blit reads or writes row 0 only.
  if ((src_anywhere || (rows <= 1 && first_row == 0)) && in.ConsumeBool()) {
    src_pitch = coordinate(in, true, -256, 256);
  }
  if (dst_h == 1 && in.ConsumeBool()) dst_pitch = coordinate(in, true, -256, 256);
  if (cols > 0 && rows > 0 && src_anywhere) {
    // Offsets beyond 64 bits reach no surface: the blit does nothing. Any
    // other source position off the surface is outside the contract.
    if (offsets_fit(first_col, first_row, cols, rows, src_pitch, 4)) return 0;
    cols = rows = 0;
  }

  Surface src = make_surface(src_anywhere ? 1 : static_cast<std::int32_t>(first_row) + std::max(rows, 1),
                             src_row_bytes, src_up);
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
