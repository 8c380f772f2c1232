// Dword fill and copy: every variant in every kernel the machine runs against
// memset/memmove semantics, for every count up to 40 and some large ones
// (each side of the vector kernels' 32- and 128-byte steps), every byte
// offset mod 8, with the bytes around the run checked untouched.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "test_support.h"

namespace tarn::pixel {
namespace {

using test::as_slot_fn;
using test::slot_implementations;

std::vector<std::uint32_t> counts() {
  std::vector<std::uint32_t> result;
  for (std::uint32_t n = 0; n <= 40; ++n) result.push_back(n);
  for (std::uint32_t n : {63u, 64u, 65u, 71u, 72u, 73u, 79u, 80u, 81u, 1000u, 4099u}) {
    result.push_back(n);
  }
  return result;
}

constexpr std::size_t kGuardBytes = 64;
constexpr unsigned char kGuard = 0xA5;

// A buffer aligned to 16 with room for guards on both sides of any run.
struct Arena {
  explicit Arena(std::uint32_t count) : words(count + 2 * kGuardBytes / 4 + 8) {
    std::memset(words.data(), kGuard, words.size() * 4);
  }
  unsigned char* at(std::size_t byte_offset) {
    return reinterpret_cast<unsigned char*>(words.data()) + kGuardBytes + byte_offset;
  }
  std::vector<std::uint32_t> words;
};

std::vector<unsigned char> snapshot(Arena& a) {
  const auto* p = reinterpret_cast<const unsigned char*>(a.words.data());
  return {p, p + a.words.size() * 4};
}

TEST(PixelFill, SetAndZeroWriteExactlyTheRun) {
  const auto zeros = slot_implementations(SlotId::MxZeroDwordAlignedMem);
  const auto sets = slot_implementations(SlotId::MxSetDwordAlignedMem);
  for (std::uint32_t value : {0u, 0x3F800000u, 0xDEADBEEFu}) {
    for (const auto& v : value == 0 ? zeros : sets) {
      for (std::uint32_t count : counts()) {
        for (std::size_t offset = 0; offset < 8; ++offset) {
          Arena arena(count);
          std::vector<unsigned char> want = snapshot(arena);
          for (std::uint32_t i = 0; i < count; ++i) {
            std::memcpy(want.data() + kGuardBytes + offset + 4 * i, &value, 4);
          }
          if (value == 0) {
            as_slot_fn<SlotId::MxZeroDwordAlignedMem>(v.fn)(arena.at(offset), count);
          } else {
            as_slot_fn<SlotId::MxSetDwordAlignedMem>(v.fn)(arena.at(offset), count, value);
          }
          ASSERT_EQ(snapshot(arena), want)
              << v.name << " count " << count << " offset " << offset << " value " << value;
        }
      }
    }
  }
}

TEST(PixelFill, CopyWritesExactlyTheRun) {
  for (const auto& v : slot_implementations(SlotId::MxCopyDwordAlignedMem)) {
    const auto copy = as_slot_fn<SlotId::MxCopyDwordAlignedMem>(v.fn);
    for (std::uint32_t count : counts()) {
      for (std::size_t dst_offset = 0; dst_offset < 8; ++dst_offset) {
        for (std::size_t src_offset : {0u, 3u, 4u}) {
          std::vector<unsigned char> source(count * 4 + 8);
          for (std::size_t i = 0; i < source.size(); ++i) {
            source[i] = static_cast<unsigned char>(i * 7 + 1);
          }
          Arena arena(count);
          std::vector<unsigned char> want = snapshot(arena);
          if (count != 0) {
            std::memcpy(want.data() + kGuardBytes + dst_offset, source.data() + src_offset,
                        count * 4);
          }
          copy(arena.at(dst_offset), source.data() + src_offset, count);
          ASSERT_EQ(snapshot(arena), want) << v.name << " count " << count << " dst offset "
                                           << dst_offset << " src offset " << src_offset;
        }
      }
    }
  }
}

// Writes ascend and each 32-byte block is loaded before it is stored, so a
// destination below an overlapping source is copied as if through a buffer.
// A destination above the source is outside the contract; every variant
// still copies it as if through a buffer rather than repeating the source.
TEST(PixelFill, OverlappingCopiesBehaveLikeMemmove) {
  for (const auto& v : slot_implementations(SlotId::MxCopyDwordAlignedMem)) {
    const auto copy = as_slot_fn<SlotId::MxCopyDwordAlignedMem>(v.fn);
    for (std::uint32_t count : {1u, 7u, 8u, 9u, 17u, 40u, 73u, 257u}) {
      for (int shift_bytes : {-132, -36, -32, -28, -8, -4, 4, 8, 32, 36, 132}) {
        for (std::size_t base : {136u, 140u}) {
          std::vector<std::uint32_t> words(count + 80);
          for (std::size_t i = 0; i < words.size(); ++i) {
            words[i] = 0x01010101u * static_cast<std::uint32_t>(i + 1);
          }
          auto* bytes = reinterpret_cast<unsigned char*>(words.data());
          std::vector<unsigned char> want(bytes, bytes + words.size() * 4);
          std::memmove(want.data() + base + shift_bytes, want.data() + base, count * 4);
          copy(bytes + base + shift_bytes, bytes + base, count);
          ASSERT_EQ(std::vector<unsigned char>(bytes, bytes + words.size() * 4), want)
              << v.name << " count " << count << " shift " << shift_bytes << " base " << base;
        }
      }
    }
  }
}

}  // namespace
}  // namespace tarn::pixel
