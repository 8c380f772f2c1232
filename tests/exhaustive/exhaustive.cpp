// Exhaustive checks, too long for the unit suite (tens of seconds on two
// cores), run by tools/hardening.sh:
//   lookups  every one of the 2^32 float bit patterns through the sine-cosine
//            lookups (radians and degrees) of both forms, every 16th through the
//            four single-value lookups too: every result is the signed table
//            entry that the angle's step selects, so the forms agree bit for
//            bit and no pattern reads outside the table
//   blend    every (source, destination, alpha) byte triple through every blit
//            variant onto a 32-bit surface, and every 16-bit destination pixel
//            under every alpha in all three 16-bit formats, against the
//            variant's formula
// Usage: tarn_exhaustive [lookups|blend]... (default: both)
#include <atomic>
#include <bit>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "TarnLib2DLL.h"
#include "dispatch/registry.h"
#include "trig/trig.h"

namespace {

using namespace tarn;

// ---- Lookups

using Single = float (*)(float);
using Pair = void (*)(float*, float*, float);

struct LookupForm {
  Variant variant;
  Single sin, cos, sin_deg, cos_deg;
  Pair sincos, sincos_deg;
};

template <SlotId S>
typename SlotTraits<S>::Fn impl_of(Variant v) {
  return reinterpret_cast<typename SlotTraits<S>::Fn>(find_impl(S, v));
}

LookupForm lookup_form(Variant v) {
  return {v,
          impl_of<SlotId::MxTSin>(v),
          impl_of<SlotId::MxTCos>(v),
          impl_of<SlotId::MxTSinOfDeg>(v),
          impl_of<SlotId::MxTCosOfDeg>(v),
          impl_of<SlotId::MxTSinCos>(v),
          impl_of<SlotId::MxTSinCosOfDeg>(v)};
}

// The step index written out afresh: t = angle * multiplier, u = t + 1.5 * 2^15,
// and the low 16 bits of u's pattern minus 49152.0f's count the steps.
std::uint32_t step_of(float angle, float multiplier) {
  const float t = angle * multiplier;
  const float u = t + 49152.0f;
  return (std::bit_cast<std::uint32_t>(u) - 0x47400000u) & 0xFFFFu;
}

// The sine of step n as a signed table entry, and the cosine as the sine a
// quarter turn on.
std::uint32_t sine_bits(std::uint32_t n) {
  const std::uint32_t k = n & 0x3FFF;
  const std::uint32_t quadrant = n >> 14;
  const float entry = trig::g_sine_table[(quadrant & 1) ? 16384 - k : k];
  return std::bit_cast<std::uint32_t>(entry) | ((quadrant & 2) ? 0x80000000u : 0u);
}
std::uint32_t cosine_bits(std::uint32_t n) {
  return sine_bits((n + 0x4000) & 0xFFFF);
}

struct LookupFailure {
  std::atomic<std::uint64_t> count{0};
  std::atomic<std::uint32_t> first{0xFFFFFFFFu};
};

void note_failure(LookupFailure& f, std::uint32_t pattern) {
  if (f.count++ == 0) f.first = pattern;
}

void check_lookup_range(const LookupForm* forms, std::size_t form_count, std::uint64_t begin,
                        std::uint64_t end, LookupFailure& failure) {
  const float radian = trig::kRadianMultiplier, degree = trig::kDegreeMultiplier;
  for (std::uint64_t p = begin; p < end; ++p) {
    const auto pattern = static_cast<std::uint32_t>(p);
    const float a = std::bit_cast<float>(pattern);
    const std::uint32_t nr = step_of(a, radian), nd = step_of(a, degree);
    const std::uint32_t want[4] = {sine_bits(nr), cosine_bits(nr), sine_bits(nd), cosine_bits(nd)};
    for (std::size_t i = 0; i < form_count; ++i) {
      const LookupForm& f = forms[i];
      float s, c, sd, cd;
      f.sincos(&s, &c, a);
      f.sincos_deg(&sd, &cd, a);
      bool ok = std::bit_cast<std::uint32_t>(s) == want[0] &&
                std::bit_cast<std::uint32_t>(c) == want[1] &&
                std::bit_cast<std::uint32_t>(sd) == want[2] &&
                std::bit_cast<std::uint32_t>(cd) == want[3];
      // The single-value lookups share the step logic; every 16th pattern
      // keeps the sweep within its time.
      if ((pattern & 15) == 0) {
        ok = ok && std::bit_cast<std::uint32_t>(f.sin(a)) == want[0] &&
             std::bit_cast<std::uint32_t>(f.cos(a)) == want[1] &&
             std::bit_cast<std::uint32_t>(f.sin_deg(a)) == want[2] &&
             std::bit_cast<std::uint32_t>(f.cos_deg(a)) == want[3];
      }
      if (!ok) note_failure(failure, pattern);
    }
  }
}

bool check_lookups(unsigned threads) {
  MxInitTables();
  std::vector<LookupForm> forms;
  for (Variant v : {Variant::kX87, Variant::kCmov}) {
    const LookupForm f = lookup_form(v);
    if (!f.sin || !f.cos || !f.sin_deg || !f.cos_deg || !f.sincos || !f.sincos_deg) {
      std::printf("lookups: the %s form is incomplete\n", std::string(variant_name(v)).c_str());
      return false;
    }
    forms.push_back(f);
  }
  LookupFailure failure;
  std::vector<std::thread> workers;
  const std::uint64_t total = 1ull << 32;
  for (unsigned t = 0; t < threads; ++t) {
    workers.emplace_back([&, t] {
      check_lookup_range(forms.data(), forms.size(), total * t / threads, total * (t + 1) / threads,
                         failure);
    });
  }
  for (std::thread& w : workers) w.join();
  if (failure.count != 0) {
    std::printf("lookups: %llu failures, first at pattern 0x%08X\n",
                static_cast<unsigned long long>(failure.count.load()), failure.first.load());
    return false;
  }
  std::printf(
      "lookups: all 2^32 patterns through both pair lookups (every 16th through the four single\n"
      "         ones) of %zu forms: every result is the table entry of its step\n",
      forms.size());
  return true;
}

// ---- Blend

using Blit = MxAlphaBlt32Fn;

// The blend of one channel, by variant.
std::uint32_t blend(Variant v, std::uint32_t s, std::uint32_t d, std::uint32_t a) {
  switch (v) {
    case Variant::kX87:
      return (s * a + d * (256 - a)) >> 8;
    case Variant::kMmx:
    case Variant::kMmxext:
      return (s * a + d * (255 - a)) >> 8;
    default: {  // Cyrix EMMX, 15-bit fixed point
      const std::uint32_t S = s * 128, D = d * 128;
      const std::uint32_t A = (a * 257) / 2, A2 = A ^ 0x7F80;
      const std::uint32_t P = (A * S + 16384) / 32768, Q = (A2 * D + 16384) / 32768;
      return (P + Q) / 128;
    }
  }
}

std::uint32_t expected_32(Variant v, std::uint32_t src, std::uint32_t dst) {
  const std::uint32_t a = src >> 24;
  if (a == 0) return dst;
  if (a == 255) return src;
  std::uint32_t out = 0;
  const int channels = v == Variant::kX87 ? 3 : 4;
  for (int c = 0; c < channels; ++c) {
    out |= blend(v, (src >> (8 * c)) & 0xFF, (dst >> (8 * c)) & 0xFF, a) << (8 * c);
  }
  return out;
}

struct Format16 {
  const char* name;
  std::int32_t red_mask;
  int bits[3];   // blue, green, red field widths
  int shift[3];  // field positions
};

constexpr Format16 kFormats16[] = {{"1-5-5-5", 0x7C00, {5, 5, 5}, {0, 5, 10}},
                                   {"4-4-4-4", 0x0F00, {4, 4, 4}, {0, 4, 8}},
                                   {"5-6-5", 0xF800, {5, 6, 5}, {0, 5, 11}}};

std::uint16_t expected_16(Variant v, const Format16& f, std::uint32_t src, std::uint16_t dst) {
  const std::uint32_t a = src >> 24;
  if (a == 0) return dst;
  std::uint32_t out = 0;
  for (int c = 0; c < 3; ++c) {
    const std::uint32_t field = (dst >> f.shift[c]) & ((1u << f.bits[c]) - 1);
    const std::uint32_t d = field << (8 - f.bits[c]);
    const std::uint32_t s = (src >> (8 * c)) & 0xFF;
    const std::uint32_t value = a == 255 ? s : blend(v, s, d, a);
    out |= (value >> (8 - f.bits[c])) << f.shift[c];
  }
  return static_cast<std::uint16_t>(out);
}

bool check_blend_variant(Variant v, Blit blit) {
  const std::string name(variant_name(v));
  std::uint64_t failures = 0;
  // 32-bit: per (alpha, destination value), one row of 256 source values.
  // Each channel runs through all 256 values in a different order.
  std::vector<std::uint32_t> src(256), dst(256);
  for (std::uint32_t a = 0; a < 256; ++a) {
    for (std::uint32_t i = 0; i < 256; ++i) {
      src[i] = a << 24 | ((i * 7 + a) & 0xFF) << 16 | (255 - i) << 8 | i;
    }
    for (std::uint32_t d = 0; d < 256; ++d) {
      const std::uint32_t dst_word = (d ^ 0x5A) << 24 | ((d * 5) & 0xFF) << 16 | d << 8 | d;
      for (std::uint32_t& p : dst) p = dst_word;
      blit(src.data(), 0, 0, 256, 1, 1024, dst.data(), 0, 0, 256, 1, 1024, 32, 0);
      for (std::uint32_t i = 0; i < 256; ++i) {
        if (dst[i] != expected_32(v, src[i], dst_word) && failures++ == 0) {
          std::printf("blend %s 32-bit: src %08X over %08X gave %08X, want %08X\n", name.c_str(),
                      src[i], dst_word, dst[i], expected_32(v, src[i], dst_word));
        }
      }
    }
  }
  // 16-bit: per (format, alpha), every destination pixel value once.
  std::vector<std::uint32_t> src16(65536);
  std::vector<std::uint16_t> dst16(65536);
  for (const Format16& f : kFormats16) {
    for (std::uint32_t a = 0; a < 256; ++a) {
      for (std::uint32_t i = 0; i < 65536; ++i) {
        src16[i] = a << 24 | ((i * 40503u) & 0xFFFFFF);
        dst16[i] = static_cast<std::uint16_t>(i);
      }
      blit(src16.data(), 0, 0, 256, 256, 1024, dst16.data(), 0, 0, 256, 256, 512, 16, f.red_mask);
      for (std::uint32_t i = 0; i < 65536; ++i) {
        const std::uint16_t want = expected_16(v, f, src16[i], static_cast<std::uint16_t>(i));
        if (dst16[i] != want && failures++ == 0) {
          std::printf("blend %s %s: src %08X over %04X gave %04X, want %04X\n", name.c_str(),
                      f.name, src16[i], i, dst16[i], want);
        }
      }
    }
  }
  if (failures != 0) {
    std::printf("blend %s: %llu failures\n", name.c_str(),
                static_cast<unsigned long long>(failures));
    return false;
  }
  std::printf("blend %s: 2^24 triples on 32 bits, 2^24 (pixel, alpha) pairs per 16-bit format\n",
              name.c_str());
  return true;
}

bool check_blend(unsigned threads) {
  std::vector<std::pair<Variant, Blit>> variants;
  for (Variant v : {Variant::kX87, Variant::kMmx, Variant::kMmxext, Variant::kCyrixEmmx}) {
    if (const GenericFn fn = find_impl(SlotId::MxAlphaBlt32, v)) {
      variants.emplace_back(v, reinterpret_cast<Blit>(fn));
    }
  }
  if (variants.empty()) {
    std::printf("blend: no blit variant is built yet; nothing to check\n");
    return true;
  }
  std::atomic<bool> ok{true};
  std::atomic<std::size_t> next{0};
  std::vector<std::thread> workers;
  for (unsigned t = 0; t < threads; ++t) {
    workers.emplace_back([&] {
      for (std::size_t i; (i = next++) < variants.size();) {
        if (!check_blend_variant(variants[i].first, variants[i].second)) ok = false;
      }
    });
  }
  for (std::thread& w : workers) w.join();
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  bool lookups = argc == 1, blend_checks = argc == 1;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "lookups") == 0) {
      lookups = true;
    } else if (std::strcmp(argv[i], "blend") == 0) {
      blend_checks = true;
    } else {
      std::fprintf(stderr, "usage: tarn_exhaustive [lookups|blend]...\n");
      return 2;
    }
  }
  constexpr unsigned kThreads = 2;
  bool ok = true;
  const auto start = std::chrono::steady_clock::now();
  if (lookups) ok &= check_lookups(kThreads);
  if (blend_checks) ok &= check_blend(kThreads);
  const auto seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("%s in %.1f s\n", ok ? "exhaustive checks passed" : "EXHAUSTIVE CHECKS FAILED",
              seconds);
  return ok ? 0 : 1;
}
