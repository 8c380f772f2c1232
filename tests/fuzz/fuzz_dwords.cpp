// Fill and copy, every variant, with arbitrary counts and start addresses at
// any byte offset, each run in an allocation of exactly its own size
// (AddressSanitizer guards every byte beyond it). Zero and set give the
// value in every dword; a copy between separate runs, or within one in
// either direction, gives the source as it was.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "fuzz_support.h"

namespace {

using namespace tarn;

// `count` dwords starting `offset` bytes into their own allocation.
struct Run {
  std::unique_ptr<unsigned char[]> storage;
  unsigned char* start;
};

Run make_run(std::uint32_t count, std::uint32_t offset) {
  Run r;
  r.storage = std::make_unique<unsigned char[]>(std::size_t{count} * 4 + offset);
  r.start = r.storage.get() + offset;
  return r;
}

bool same_bytes(const unsigned char* a, const unsigned char* b, std::size_t n) {
  return n == 0 || std::memcmp(a, b, n) == 0;
}

bool every_dword_is(const unsigned char* p, std::uint32_t count, std::uint32_t value) {
  for (std::uint32_t i = 0; i < count; ++i) {
    std::uint32_t w;
    std::memcpy(&w, p + std::size_t{i} * 4, 4);
    if (w != value) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const auto zeros = fuzz::implementations<SlotId::MxZeroDwordAlignedMem>();
  static const auto sets = fuzz::implementations<SlotId::MxSetDwordAlignedMem>();
  static const auto copies = fuzz::implementations<SlotId::MxCopyDwordAlignedMem>();
  if (zeros.empty() || sets.empty() || copies.empty()) return 0;
  FuzzedDataProvider in(data, size);
  const int op = in.ConsumeIntegralInRange(0, 4);
  const std::uint32_t count = in.ConsumeBool() ? in.ConsumeIntegralInRange<std::uint32_t>(0, 20)
                                               : in.ConsumeIntegralInRange<std::uint32_t>(0, 3000);
  const std::uint32_t offset = in.ConsumeIntegralInRange<std::uint32_t>(0, 15);
  const std::uint32_t value = in.ConsumeIntegral<std::uint32_t>();
  const std::vector<std::uint8_t> bytes = in.ConsumeRemainingBytes<std::uint8_t>();
  auto fill = [&](unsigned char* p, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
      p[i] = bytes.empty() ? static_cast<unsigned char>(i * 31) : bytes[i % bytes.size()];
    }
  };

  switch (op) {
    case 0: {
      for (auto zero : zeros) {
        Run r = make_run(count, offset);
        fill(r.start, std::size_t{count} * 4);
        zero(r.start, count);
        fuzz::check(every_dword_is(r.start, count, 0), "zero left a dword non-zero");
      }
      break;
    }
    case 1: {
      for (auto set : sets) {
        Run r = make_run(count, offset);
        set(r.start, count, value);
        fuzz::check(every_dword_is(r.start, count, value), "set missed a dword");
      }
      break;
    }
    case 2: {  // separate runs, each at its own offset
      const std::uint32_t src_offset = value & 15;
      for (auto copy : copies) {
        Run src = make_run(count, src_offset), dst = make_run(count, offset);
        fill(src.start, std::size_t{count} * 4);
        const std::vector<unsigned char> want(src.start, src.start + std::size_t{count} * 4);
        copy(dst.start, src.start, count);
        fuzz::check(same_bytes(dst.start, want.data(), want.size()), "copy differs");
        fuzz::check(same_bytes(src.start, want.data(), want.size()), "copy changed its source");
      }
      break;
    }
    case 3:
    default: {  // within one run, the destination below the source or above it
      const bool upwards = op == 4;
      const std::uint32_t shift = 1 + (value % 40);
      for (auto copy : copies) {
        Run r = make_run(count + shift, offset);
        fill(r.start, std::size_t{count + shift} * 4);
        std::vector<unsigned char> want(r.start, r.start + std::size_t{count + shift} * 4);
        unsigned char* low = r.start;
        unsigned char* high = r.start + std::size_t{shift} * 4;
        unsigned char* want_low = want.data();
        unsigned char* want_high = want.data() + std::size_t{shift} * 4;
        // Upwards is outside the contract; the sound result is the source as
        // it was, as if copied through a buffer.
        if (upwards) {
          std::memmove(want_high, want_low, std::size_t{count} * 4);
          copy(high, low, count);
        } else {
          std::memmove(want_low, want_high, std::size_t{count} * 4);
          copy(low, high, count);
        }
        fuzz::check(same_bytes(r.start, want.data(), want.size()), "overlapping copy differs");
      }
      break;
    }
  }
  return 0;
}
