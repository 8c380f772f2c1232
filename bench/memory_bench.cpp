// Fill and copy of dword runs at sizes from one cache line to far beyond the
// caches, against glibc's memset, wmemset (a 32-bit fill) and memcpy, and
// the processor's repeated dword store and move.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>
#include <utility>

#include "library.h"

namespace tarn::bench {

namespace {

static_assert(sizeof(wchar_t) == 4, "wmemset stands in for a 32-bit fill");

struct Size {
  const char* name;
  std::size_t bytes;
};
constexpr Size kSizes[] = {{"64B", 64},       {"4KiB", 4 << 10},   {"256KiB", 256 << 10},
                           {"4MiB", 4 << 20}, {"64MiB", 64 << 20}, {"256MiB", 256u << 20}};
constexpr std::size_t kQuickLimit = 256 << 10;

// Two page-aligned buffers of the largest size in use, touched once so that
// no timing pays for page faults.
struct Buffers {
  std::uint8_t* dst = nullptr;
  std::uint8_t* src = nullptr;
  explicit Buffers(std::size_t bytes) {
    dst = static_cast<std::uint8_t*>(std::aligned_alloc(4096, bytes));
    src = static_cast<std::uint8_t*>(std::aligned_alloc(4096, bytes));
    if (dst == nullptr || src == nullptr) {
      std::fprintf(stderr, "cannot allocate %zu bytes\n", bytes);
      std::exit(2);
    }
    std::memset(dst, 0x11, bytes);
    std::memset(src, 0x5A, bytes);
  }
};

Buffers& buffers() {
  static Buffers b(quick() ? kQuickLimit : kSizes[std::size(kSizes) - 1].bytes);
  return b;
}

template <class Op>
void run_memory(benchmark::State& state, std::size_t bytes, Op op) {
  Buffers& b = buffers();
  for (auto _ : state) {
    op(b.dst, b.src, bytes);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(bytes));
}

}  // namespace

void register_memory() {
  for (const Size& size : kSizes) {
    if (quick() && size.bytes > kQuickLimit) continue;
    const std::size_t bytes = size.bytes;
    const std::uint32_t dwords = static_cast<std::uint32_t>(bytes / 4);
    const std::string zero = std::string("MxZeroDwordAlignedMem.") + size.name;
    const std::string set = std::string("MxSetDwordAlignedMem.") + size.name;
    const std::string copy = std::string("MxCopyDwordAlignedMem.") + size.name;

    register_slot<SlotId::MxZeroDwordAlignedMem>(
        zero, [=](benchmark::State& st, MxZeroDwordAlignedMemFn* slot) {
          run_memory(st, bytes, [=](void* d, const void*, std::size_t) { (*slot)(d, dwords); });
        });
    register_slot<SlotId::MxSetDwordAlignedMem>(
        set, [=](benchmark::State& st, MxSetDwordAlignedMemFn* slot) {
          run_memory(st, bytes,
                     [=](void* d, const void*, std::size_t) { (*slot)(d, dwords, 0x3F800000u); });
        });
    register_slot<SlotId::MxCopyDwordAlignedMem>(copy, [=](benchmark::State& st,
                                                           MxCopyDwordAlignedMemFn* slot) {
      run_memory(st, bytes, [=](void* d, const void* s, std::size_t) { (*slot)(d, s, dwords); });
    });

    register_peer(zero, "glibc memset", [=](benchmark::State& st) {
      run_memory(st, bytes, [](void* d, const void*, std::size_t n) { std::memset(d, 0, n); });
    });
    register_peer(set, "glibc wmemset", [=](benchmark::State& st) {
      run_memory(st, bytes, [](void* d, const void*, std::size_t n) {
        std::wmemset(static_cast<wchar_t*>(d), static_cast<wchar_t>(0x3F800000), n / 4);
      });
    });
    register_peer(copy, "glibc memcpy", [=](benchmark::State& st) {
      run_memory(st, bytes, [](void* d, const void* s, std::size_t n) { std::memcpy(d, s, n); });
    });
#if defined(__x86_64__) || defined(__i386__)
    register_peer(zero, "glibc wmemset", [=](benchmark::State& st) {
      run_memory(st, bytes, [](void* d, const void*, std::size_t n) {
        std::wmemset(static_cast<wchar_t*>(d), 0, n / 4);
      });
    });
    for (const auto& [job, value] : {std::pair{zero, 0u}, std::pair{set, 0x3F800000u}}) {
      register_peer(job, "rep stosd", [=, v = value](benchmark::State& st) {
        run_memory(st, bytes, [v](void* d, const void*, std::size_t n) {
          std::size_t words = n / 4;
          asm volatile("rep stosl" : "+D"(d), "+c"(words) : "a"(v) : "memory");
        });
      });
    }
    register_peer(copy, "rep movsd", [=](benchmark::State& st) {
      run_memory(st, bytes, [](void* d, const void* s, std::size_t n) {
        std::size_t words = n / 4;
        asm volatile("rep movsl" : "+D"(d), "+S"(s), "+c"(words) : : "memory");
      });
    });
#endif
  }
}

}  // namespace tarn::bench
