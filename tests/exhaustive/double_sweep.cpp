// A random sweep of double angles through MxSinCosDDD and MxSinCosFFD,
// compared with the library's independent double-double evaluation (within
// 2^-100, relative) wherever that decides the rounding; angles it cannot
// decide are counted and skipped. Angles: random bit patterns (every
// exponent), uniform in +-2pi and in +-1e6, next to multiples of pi/2 and
// next to multiples of pi/256 (the table's steps).
// With --peer (where LLVM libc is built in), MxSinCosDDD is compared with its
// correctly rounded sincos instead, on every angle.
//
//   tarn_double_sweep [COUNT] [--peer] [--form NAME]   (default 1000000; the full
//   sweep is 100000000; the form, such as "fused", instead of the exports)
#include <bit>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <numbers>
#include <random>
#include <string_view>
#include <thread>
#include <vector>

#include "TarnLib2DLL.h"
#include "sweep_form.h"
#if TARN_HAVE_REFERENCE_PEER
#include "reference_peer.h"
#endif
#include "trig/trig.h"

namespace {

// The rounding of hi + lo, within 2^-99 |hi|, to T; false when undecided.
template <typename T>
bool decide(T* out, double hi, double lo) {
  const double e = std::fabs(hi) * 0x1p-99;
  const double below = hi + (lo - e);
  const double above = hi + (lo + e);
  if constexpr (sizeof(T) == 8) {
    *out = below;
    return below == above;
  } else {
    auto on_midpoint = [](double d) {
      return (std::bit_cast<std::uint64_t>(d) & 0x1FFFFFFF) == 0x10000000;
    };
    *out = static_cast<float>(below);
    return static_cast<float>(below) == static_cast<float>(above) && !on_midpoint(below) &&
           !on_midpoint(above);
  }
}

// An angle a few units from k * step, k below limit.
double next_to_multiple(std::mt19937_64& rng, double step, std::uint64_t limit) {
  const double k = static_cast<double>(rng() % (2 * limit)) - static_cast<double>(limit);
  const double x = k * step;
  const auto units = static_cast<std::int64_t>(rng() % 64) - 32;
  const double y = std::bit_cast<double>(std::bit_cast<std::int64_t>(x) + units);
  return std::isfinite(y) ? y : x;  // below zero's pattern lie NaNs
}

double draw(std::mt19937_64& rng, std::uint64_t i) {
  switch (i % 5) {
    case 0:
      for (;;) {
        const double x = std::bit_cast<double>(rng());
        if (std::isfinite(x)) return x;
      }
    case 1:
      return std::uniform_real_distribution<double>(-2 * std::numbers::pi, 2 * std::numbers::pi)(rng);
    case 2:
      return std::uniform_real_distribution<double>(-1e6, 1e6)(rng);
    case 3:
      return next_to_multiple(rng, 1.5707963267948966, 1000000);
    default:
      return next_to_multiple(rng, 0x1.921fb54442d18p-7, 1 << 27);
  }
}

struct Tally {
  std::uint64_t checked = 0, undecided = 0, failed = 0;
};

// MxSinCosDDD against the peer's sincos: both results of every angle.
Tally sweep_peer(std::uint64_t seed, std::uint64_t count) {
  std::mt19937_64 rng(seed);
  Tally t;
#if TARN_HAVE_REFERENCE_PEER
  for (std::uint64_t i = 0; i < count; ++i) {
    const double x = draw(rng, i);
    double sd, cd, ps, pc;
    tarn::sweep::swept_form().ddd(&sd, &cd, x);
    tarn_reference_sincos(x, &ps, &pc);
    t.checked += 2;
    if (std::bit_cast<std::uint64_t>(sd) != std::bit_cast<std::uint64_t>(ps) ||
        std::bit_cast<std::uint64_t>(cd) != std::bit_cast<std::uint64_t>(pc)) {
      if (t.failed++ < 10) std::fprintf(stderr, "mismatch with the peer: angle %a\n", x);
    }
  }
#else
  (void)rng;
  (void)count;
#endif
  return t;
}

Tally sweep(std::uint64_t seed, std::uint64_t count) {
  std::mt19937_64 rng(seed);
  Tally t;
  for (std::uint64_t i = 0; i < count; ++i) {
    const double x = draw(rng, i);
    const tarn::trig::ExactSinCos ref = tarn::trig::exact_sin_cos(x);
    double sd, cd, ws, wc;
    float sf, cf, wsf, wcf;
    const tarn::trig::ExactSinCosForm& form = tarn::sweep::swept_form();
    form.ddd(&sd, &cd, x);
    form.ffd(&sf, &cf, x);
    const bool decided[4] = {decide(&ws, ref.sin_hi, ref.sin_lo), decide(&wc, ref.cos_hi, ref.cos_lo),
                             decide(&wsf, ref.sin_hi, ref.sin_lo),
                             decide(&wcf, ref.cos_hi, ref.cos_lo)};
    const bool same[4] = {std::bit_cast<std::uint64_t>(sd) == std::bit_cast<std::uint64_t>(ws),
                          std::bit_cast<std::uint64_t>(cd) == std::bit_cast<std::uint64_t>(wc),
                          std::bit_cast<std::uint32_t>(sf) == std::bit_cast<std::uint32_t>(wsf),
                          std::bit_cast<std::uint32_t>(cf) == std::bit_cast<std::uint32_t>(wcf)};
    for (int k = 0; k < 4; ++k) {
      if (!decided[k]) {
        ++t.undecided;
      } else if (++t.checked, !same[k]) {
        if (t.failed++ < 10) std::fprintf(stderr, "mismatch: result %d of angle %a\n", k, x);
      }
    }
  }
  return t;
}

}  // namespace

int main(int argc, char** argv) {
  std::uint64_t count = 1000000;
  bool peer = false;
  if (!tarn::sweep::take_form_option(argc, argv)) return 3;
  if (argc > 1 && std::string_view(argv[argc - 1]) == "--peer") {
    peer = true;
    --argc;
  }
  if (argc > 2 || (argc == 2 && (count = std::strtoull(argv[1], nullptr, 10)) == 0)) {
    std::fprintf(stderr, "usage: tarn_double_sweep [COUNT > 0] [--peer] [--form NAME]\n");
    return 2;
  }
#if !TARN_HAVE_REFERENCE_PEER
  if (peer) {
    std::fprintf(stderr, "tarn_double_sweep: built without LLVM libc, no --peer\n");
    return 2;
  }
#endif
  const auto start = std::chrono::steady_clock::now();
  constexpr unsigned kThreads = 2;
  std::vector<Tally> tallies(kThreads);
  std::vector<std::thread> workers;
  for (unsigned t = 0; t < kThreads; ++t) {
    const std::uint64_t share = count / kThreads + (t < count % kThreads ? 1 : 0);
    workers.emplace_back([&tallies, t, share, peer] {
      tallies[t] = peer ? sweep_peer(0x5EED + t, share) : sweep(0x5EED + t, share);
    });
  }
  for (std::thread& w : workers) w.join();
  Tally all;
  for (const Tally& t : tallies) {
    all.checked += t.checked;
    all.undecided += t.undecided;
    all.failed += t.failed;
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf(
      "%s (%s)%s: %llu angles, %llu results checked, %llu undecided by the reference, "
      "%llu wrong, in %.1f s\n",
      all.failed == 0 ? "double sweep passed" : "DOUBLE SWEEP FAILED",
      tarn::sweep::swept_form().name, peer ? " (MxSinCosDDD against LLVM libc's sincos)" : "",
      static_cast<unsigned long long>(count), static_cast<unsigned long long>(all.checked),
      static_cast<unsigned long long>(all.undecided), static_cast<unsigned long long>(all.failed),
      seconds);
  return all.failed == 0 ? 0 : 1;
}
