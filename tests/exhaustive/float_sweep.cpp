// Float angles through MxSinCosFFF and MxSinCosDDF against an independent
// correctly rounded reference: LLVM libc's sincosf and sincos where they are
// built in (every STRIDE-th of the 2^32 patterns, all of them by default),
// MPFR otherwise, over a fixed sample of about a million patterns. With both,
// the peer's own results are checked against MPFR on that sample as well.
//
//   tarn_float_sweep [STRIDE] [--form NAME]   (default 1: every pattern; the
//   form, such as "fused", instead of the exports)
#include <atomic>
#include <bit>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "TarnLib2DLL.h"
#include "sweep_form.h"
#if TARN_HAVE_REFERENCE_PEER
#include "reference_peer.h"
#endif
#if TARN_HAVE_MPFR
#include <mpfr.h>
#endif
#if !TARN_HAVE_REFERENCE_PEER && !TARN_HAVE_MPFR
#error "the float sweep needs LLVM libc's sincosf and sincos or MPFR"
#endif

namespace {

constexpr std::uint64_t kPatterns = std::uint64_t{1} << 32;
// Without the peer, MPFR checks every kMpfrStride-th pattern (a prime: every
// exponent and low significand bits of all kinds).
constexpr std::uint64_t kMpfrStride = 4099;

struct Results {
  float sf, cf;
  double sd, cd;
};

bool same(float a, float b) {
  return std::bit_cast<std::uint32_t>(a) == std::bit_cast<std::uint32_t>(b) ||
         (std::isnan(a) && std::isnan(b));
}
bool same(double a, double b) {
  return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b) ||
         (std::isnan(a) && std::isnan(b));
}
bool same(const Results& a, const Results& b) {
  return same(a.sf, b.sf) && same(a.cf, b.cf) && same(a.sd, b.sd) && same(a.cd, b.cd);
}

Results library(float x) {
  Results r;
  const tarn::trig::ExactSinCosForm& form = tarn::sweep::swept_form();
  form.fff(&r.sf, &r.cf, x);
  form.ddf(&r.sd, &r.cd, x);
  return r;
}

#if TARN_HAVE_REFERENCE_PEER
Results peer(float x) {
  Results r;
  tarn_reference_sincosf(x, &r.sf, &r.cf);
  tarn_reference_sincos(x, &r.sd, &r.cd);
  return r;
}
#endif

#if TARN_HAVE_MPFR
// Rounded once by MPFR to 24 and to 53 bits; a float result of a subnormal
// angle is the angle itself, exact in 24 bits.
struct Mpfr {
  mpfr_t x, s24, c24, s53, c53;
  Mpfr() {
    mpfr_init2(x, 24);
    mpfr_inits2(24, s24, c24, static_cast<mpfr_ptr>(nullptr));
    mpfr_inits2(53, s53, c53, static_cast<mpfr_ptr>(nullptr));
  }
  ~Mpfr() { mpfr_clears(x, s24, c24, s53, c53, static_cast<mpfr_ptr>(nullptr)); }
  Results operator()(float a) {
    if (!std::isfinite(a)) return {NAN, NAN, NAN, NAN};
    mpfr_set_flt(x, a, MPFR_RNDN);
    mpfr_sin_cos(s24, c24, x, MPFR_RNDN);
    mpfr_sin_cos(s53, c53, x, MPFR_RNDN);
    return {mpfr_get_flt(s24, MPFR_RNDN), mpfr_get_flt(c24, MPFR_RNDN),
            mpfr_get_d(s53, MPFR_RNDN), mpfr_get_d(c53, MPFR_RNDN)};
  }
};
#endif

struct Tally {
  std::atomic<std::uint64_t> checked{0}, wrong{0}, peer_checked{0}, peer_wrong{0};
};

void report(const char* what, std::uint32_t pattern, const Results& got, const Results& want) {
  std::fprintf(stderr,
               "%s: angle %a (0x%08X): sine %a %a cosine %a %a, expected %a %a, %a %a\n", what,
               static_cast<double>(std::bit_cast<float>(pattern)), pattern,
               static_cast<double>(got.sf), got.sd, static_cast<double>(got.cf), got.cd,
               static_cast<double>(want.sf), want.sd, static_cast<double>(want.cf), want.cd);
}

// Pattern i * stride + i % stride: every residue modulo the stride comes up.
void sweep(unsigned part, unsigned parts, std::uint64_t stride, Tally& tally) {
#if TARN_HAVE_MPFR
  Mpfr mpfr;
#endif
  std::uint64_t checked = 0, peer_checked = 0;
#if TARN_HAVE_REFERENCE_PEER
  const std::uint64_t count = kPatterns / stride;
  const std::uint64_t begin = count * part / parts, end = count * (part + 1) / parts;
  for (std::uint64_t i = begin; i < end; ++i) {
    const auto pattern = static_cast<std::uint32_t>(i * stride + i % stride);
    const float x = std::bit_cast<float>(pattern);
    const Results got = library(x), want = peer(x);
    ++checked;
    if (!same(got, want) && tally.wrong++ < 10) report("mismatch", pattern, got, want);
#if TARN_HAVE_MPFR
    if (i % kMpfrStride == 0) {
      const Results exact = mpfr(x);
      ++peer_checked;
      if (!same(want, exact) && tally.peer_wrong++ < 10) report("peer off", pattern, want, exact);
    }
#endif
  }
#elif TARN_HAVE_MPFR
  (void)stride;
  const std::uint64_t count = kPatterns / kMpfrStride;
  for (std::uint64_t i = count * part / parts; i < count * (part + 1) / parts; ++i) {
    const auto pattern = static_cast<std::uint32_t>(i * kMpfrStride + i % kMpfrStride);
    const float x = std::bit_cast<float>(pattern);
    const Results got = library(x), want = mpfr(x);
    ++checked;
    if (!same(got, want) && tally.wrong++ < 10) report("mismatch", pattern, got, want);
  }
#endif
  tally.checked += checked;
  tally.peer_checked += peer_checked;
}

}  // namespace

int main(int argc, char** argv) {
  std::uint64_t stride = 1;
  if (!tarn::sweep::take_form_option(argc, argv)) return 3;
  if (argc > 2 || (argc == 2 && ((stride = std::strtoull(argv[1], nullptr, 10)) == 0 ||
                                 stride >= kPatterns))) {
    std::fprintf(stderr, "usage: tarn_float_sweep [STRIDE > 0] [--form NAME]\n");
    return 2;
  }
#if TARN_HAVE_REFERENCE_PEER
  const char* reference = "LLVM libc's sincosf and sincos";
#elif TARN_HAVE_MPFR
  const char* reference = "MPFR (fixed sample: LLVM libc is not built in)";
#endif
  const auto start = std::chrono::steady_clock::now();
  constexpr unsigned kThreads = 2;
  Tally tally;
  std::vector<std::thread> workers;
  for (unsigned t = 0; t < kThreads; ++t) {
    workers.emplace_back([t, stride, &tally] { sweep(t, kThreads, stride, tally); });
  }
  for (std::thread& w : workers) w.join();
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const bool ok = tally.wrong == 0 && tally.peer_wrong == 0;
  std::printf(
      "%s: %llu float patterns (stride %llu) through MxSinCosFFF and MxSinCosDDF (%s) "
      "against %s, %llu wrong",
      ok ? "float sweep passed" : "FLOAT SWEEP FAILED",
      static_cast<unsigned long long>(tally.checked.load()),
      static_cast<unsigned long long>(stride), tarn::sweep::swept_form().name, reference,
      static_cast<unsigned long long>(tally.wrong.load()));
  if (tally.peer_checked != 0) {
    std::printf("; the peer against MPFR on %llu of them, %llu wrong",
                static_cast<unsigned long long>(tally.peer_checked.load()),
                static_cast<unsigned long long>(tally.peer_wrong.load()));
  }
  std::printf(", in %.1f s\n", seconds);
  return ok ? 0 : 1;
}
