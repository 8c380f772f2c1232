// Dword fill and copy over long runs: the block phase changes its means with
// the run length (C library routines, string stores), so each length band is
// checked for exact contents and untouched neighbours, in every variant.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "test_support.h"

namespace tarn::pixel {
namespace {

using test::as_slot_fn;
using test::slot_implementations;

constexpr std::uint32_t kMiBWords = 1u << 18;

// One run per band (below and inside the cache-resident band, beyond it),
// each with a ragged end, at a destination 4 past a multiple of 8.
const std::uint32_t kLongCounts[] = {kMiBWords + 3, 5 * kMiBWords + 5, 33 * kMiBWords + 7};

// The index of the first word of a that differs from b, or -1.
std::int64_t first_difference(const std::vector<std::uint32_t>& a,
                              const std::vector<std::uint32_t>& b) {
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i] != b[i]) return static_cast<std::int64_t>(i);
  }
  return -1;
}

TEST(PixelFillLongRuns, SetFillsExactlyTheRun) {
  for (const auto& v : slot_implementations(SlotId::MxSetDwordAlignedMem)) {
    for (std::uint32_t count : kLongCounts) {
      std::vector<std::uint32_t> buffer(count + 4, 0xA5A5A5A5u);
      std::vector<std::uint32_t> want = buffer;
      std::fill(want.begin() + 1, want.begin() + 1 + count, 0x3F800001u);
      as_slot_fn<SlotId::MxSetDwordAlignedMem>(v.fn)(buffer.data() + 1, count, 0x3F800001u);
      EXPECT_EQ(first_difference(buffer, want), -1) << v.name << " count " << count;
    }
  }
}

TEST(PixelFillLongRuns, CopyCopiesExactlyTheRun) {
  for (const auto& v : slot_implementations(SlotId::MxCopyDwordAlignedMem)) {
    for (std::uint32_t count : kLongCounts) {
      std::vector<std::uint32_t> source(count);
      for (std::uint32_t i = 0; i < count; ++i) source[i] = i * 2654435761u;
      std::vector<std::uint32_t> buffer(count + 4, 0xA5A5A5A5u);
      std::vector<std::uint32_t> want = buffer;
      std::copy(source.begin(), source.end(), want.begin() + 1);
      as_slot_fn<SlotId::MxCopyDwordAlignedMem>(v.fn)(buffer.data() + 1, source.data(), count);
      EXPECT_EQ(first_difference(buffer, want), -1) << v.name << " count " << count;
    }
  }
}

// A destination below an overlapping source, in every band: the run moves
// down as an ascending copy moves it.
TEST(PixelFillLongRuns, CopyDownOverlapping) {
  for (const auto& v : slot_implementations(SlotId::MxCopyDwordAlignedMem)) {
    for (std::uint32_t count : kLongCounts) {
      std::vector<std::uint32_t> buffer(count + 64);
      for (std::size_t i = 0; i < buffer.size(); ++i) buffer[i] = static_cast<std::uint32_t>(i);
      std::vector<std::uint32_t> want = buffer;
      std::copy(buffer.begin() + 61, buffer.begin() + 61 + count, want.begin() + 1);
      as_slot_fn<SlotId::MxCopyDwordAlignedMem>(v.fn)(buffer.data() + 1, buffer.data() + 61, count);
      EXPECT_EQ(first_difference(buffer, want), -1) << v.name << " count " << count;
    }
  }
}

}  // namespace
}  // namespace tarn::pixel
