// Dword fill and copy over long runs: the block phase changes its means with
// the run length (C library routines, string stores), so each length band is
// checked for exact contents and untouched neighbours, in every variant.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "pixel/pixel.h"
#include "test_support.h"

namespace tarn::pixel {
namespace {

using test::as_slot_fn;
using test::slot_implementations;

constexpr std::uint32_t kMiBWords = 1u << 18;

// One run per band for a 32 MiB last-level cache (vector stores, string
// stores, streaming), each with a ragged end, at a destination 4 past a
// multiple of 8.
const std::uint32_t kLongCounts[] = {kMiBWords + 3, 17 * kMiBWords + 5, 33 * kMiBWords + 7};

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

namespace tarn::pixel {
namespace {

TEST(PixelFillLongRuns, BoundsFollowTheLastLevelCacheWithinLimits) {
  struct Case {
    CacheSizes caches;
    std::size_t bound, strings, copy_from, copy_to;
  };
  constexpr std::size_t K = 1u << 10, M = 1u << 20;
  const Case cases[] = {
      {{32 * K, 512 * K, 32 * M}, 32 * M, 16 * M, 32 * K, 1 * M},
      {{32 * K, 256 * K, 0}, 1 * M, 512 * K, 32 * K, 512 * K},     // no L3: the L2, at least 1 MiB
      {{48 * K, 2 * M, 0}, 2 * M, 1 * M, 48 * K, 2 * M},           // copy band within streaming
      {{48 * K, 1 * M, 508 * M}, 32 * M, 16 * M, 48 * K, 2 * M},   // a hypervisor's socket-wide L3
      {{64 * K, 1 * M, 1u << 30}, 32 * M, 16 * M, 64 * K, 2 * M},  // a 1 GiB cache
      {{0, 128 * K, 8 * M}, 8 * M, 4 * M, 32 * K, 512 * K},        // no L1 size, a small L2
      {{1 * M, 2 * M, 64 * M}, 32 * M, 16 * M, 256 * K, 4 * M},    // an implausible L1
      {{8 * K, 2 * M, 12 * M}, 12 * M, 6 * M, 16 * K, 4 * M},      // a tiny L1
  };
  for (const Case& c : cases) {
    choose_run_bounds(c.caches);
    EXPECT_EQ(streaming_bound(), c.bound) << c.caches.l3;
    EXPECT_EQ(string_bound(), c.strings) << c.caches.l3;
    EXPECT_EQ(copy_string_band().from, c.copy_from) << c.caches.l1d;
    EXPECT_EQ(copy_string_band().to, c.copy_to) << c.caches.l2;
  }
  choose_run_bounds(machine_kernels().caches, machine_kernels().long_string_copies);
}

// With a 512 KiB string bound and a 1 MiB streaming bound, runs on both
// sides of each, the source at the destination's line offset and off it, and
// a destination not on a multiple of 4: every means of every kernel stores
// the same bytes, whether long copies keep the string moves or stream.
TEST(PixelFillLongRuns, EveryMeansAroundTheStreamingBound) {
  for (bool long_string_copies : {true, false}) {
    SCOPED_TRACE(long_string_copies ? "long string copies" : "long copies streamed");
    choose_run_bounds({32u << 10, 256u << 10, 0}, long_string_copies);
    constexpr std::uint32_t kWords = 1u << 18;  // 1 MiB
    for (std::uint32_t count : {kWords / 2 - 9, kWords / 2 + 13, kWords - 9, kWords + 13}) {
      for (std::size_t dst_offset : {4u, 6u}) {
        for (std::size_t src_offset : {0u, 4u, 12u}) {
          const std::size_t bytes = std::size_t{count} * 4;
          std::vector<unsigned char> source(bytes + 64);
          for (std::size_t i = 0; i < source.size(); ++i) {
            source[i] = static_cast<unsigned char>(i * 131 + (i >> 11));
          }
          std::vector<unsigned char> want(bytes + 128, 0xA5);
          std::memcpy(want.data() + dst_offset, source.data() + src_offset, bytes);
          for (const auto& v : slot_implementations(SlotId::MxCopyDwordAlignedMem)) {
            std::vector<unsigned char> got(bytes + 128, 0xA5);
            as_slot_fn<SlotId::MxCopyDwordAlignedMem>(v.fn)(got.data() + dst_offset,
                                                            source.data() + src_offset, count);
            EXPECT_TRUE(got == want)
                << v.name << " count " << count << " dst " << dst_offset << " src " << src_offset;
          }
          if (src_offset != 0) continue;
          for (std::uint32_t value : {0u, 0x3F800001u}) {
            std::vector<unsigned char> filled(bytes + 128, 0xA5);
            for (std::size_t i = 0; i < count; ++i) {
              std::memcpy(filled.data() + dst_offset + 4 * i, &value, 4);
            }
            const SlotId slot =
                value == 0 ? SlotId::MxZeroDwordAlignedMem : SlotId::MxSetDwordAlignedMem;
            for (const auto& v : slot_implementations(slot)) {
              std::vector<unsigned char> got(bytes + 128, 0xA5);
              if (value == 0) {
                as_slot_fn<SlotId::MxZeroDwordAlignedMem>(v.fn)(got.data() + dst_offset, count);
              } else {
                as_slot_fn<SlotId::MxSetDwordAlignedMem>(v.fn)(got.data() + dst_offset, count,
                                                               value);
              }
              EXPECT_TRUE(got == filled)
                  << v.name << " count " << count << " dst " << dst_offset << " value " << value;
            }
          }
        }
      }
    }
  }
  choose_run_bounds(machine_kernels().caches, machine_kernels().long_string_copies);
}

}  // namespace
}  // namespace tarn::pixel
