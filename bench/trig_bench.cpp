// Sine and cosine: the table lookups against glibc's sinf/cosf/sincosf and
// SLEEF's scalar 3.5-ulp functions; the exact functions against glibc's
// sincosf/sincos and LLVM libc's correctly rounded ones.
#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <numbers>
#include <string>
#include <vector>

#include "bench_util.h"
#include "library.h"
#include "trig/trig.h"

#if TARN_HAVE_REFERENCE_PEER
#include "reference_peer.h"
#endif

#if TARN_BENCH_SLEEF
#include <sleef.h>
#endif

namespace tarn::bench {

namespace {

constexpr int kAngles = 1024;
constexpr float kDegree = std::numbers::pi_v<float> / 180.0f;

struct Angles {
  std::vector<float> radians, degrees;
  std::vector<float> out1, out2;
  Angles() : out1(kAngles), out2(kAngles) {
    Random rng(1);
    for (int i = 0; i < kAngles; ++i) {
      radians.push_back(rng.uniform(-2 * std::numbers::pi_v<float>, 2 * std::numbers::pi_v<float>));
      degrees.push_back(rng.uniform(-360.0f, 360.0f));
    }
  }
};

Angles& angles() {
  static Angles a;
  return a;
}

// float f(float) over the array, and as a chain x = f(x + angle[i]).
template <class F>
void unary_tput(benchmark::State& state, const std::vector<float>& in, F f) {
  float* out = angles().out1.data();
  run_passes(state, kAngles, [&](int i) { out[i] = f(in[i]); });
}

template <class F>
void unary_chain(benchmark::State& state, F f) {
  const float* in = angles().radians.data();
  float x = 0.5f;
  run_passes(state, kAngles, [&](int i) { x = f(x + in[i]); });
  benchmark::DoNotOptimize(x);
}

template <class F>
void pair_tput(benchmark::State& state, const std::vector<float>& in, F f) {
  float* s = angles().out1.data();
  float* c = angles().out2.data();
  run_passes(state, kAngles, [&](int i) { f(&s[i], &c[i], in[i]); });
}

template <class F>
void pair_chain(benchmark::State& state, F f) {
  const float* in = angles().radians.data();
  float x = 0.5f;
  run_passes(state, kAngles, [&](int i) {
    float s, c;
    f(&s, &c, x + in[i]);
    x = s + c;
  });
  benchmark::DoNotOptimize(x);
}

void glibc_sincosf(float* s, float* c, float x) {
  sincosf(x, s, c);
}

#if TARN_BENCH_SLEEF
void sleef_sincosf(float* s, float* c, float x) {
  Sleef_float2 r = Sleef_sincosf_u35(x);
  *s = r.x;
  *c = r.y;
}
#endif

// ---- The exact functions: result type R, angle type A, over angles in
// +-2 pi and +-1e6 (double angles with all 53 bits random), and as a chain.

template <class A>
struct ExactAngles {
  std::vector<A> near, far;
  ExactAngles() {
    Random rng(2);
    auto uniform = [&rng](double range) {
      const std::uint64_t bits = std::uint64_t{rng.next()} << 21 ^ rng.next();
      return static_cast<A>(
          (static_cast<double>(bits & ((std::uint64_t{1} << 53) - 1)) * 0x1p-52 - 1.0) * range);
    };
    for (int i = 0; i < kAngles; ++i) {
      near.push_back(uniform(2 * std::numbers::pi));
      far.push_back(uniform(1e6));
    }
  }
};

template <class A>
const ExactAngles<A>& exact_angles() {
  static const ExactAngles<A> a;
  return a;
}

template <class R, class A, class F>
void exact_tput(benchmark::State& state, const std::vector<A>& in, F f) {
  std::vector<R> s(kAngles), c(kAngles);
  run_passes(state, kAngles, [&](int i) { f(&s[i], &c[i], in[i]); });
  benchmark::DoNotOptimize(s.data());
  benchmark::DoNotOptimize(c.data());
}

template <class R, class A, class F>
void exact_chain(benchmark::State& state, F f) {
  const A* in = exact_angles<A>().near.data();
  A x = 0.5;
  run_passes(state, kAngles, [&](int i) {
    R s, c;
    f(&s, &c, static_cast<A>(x + in[i]));
    x = static_cast<A>(s + c);
  });
  benchmark::DoNotOptimize(x);
}

// Each peer in the exact functions' shape: sine, cosine, angle. A float angle
// with double results takes the peers' double function, a double angle with
// float results their float function.
void glibc_fff(float* s, float* c, float x) {
  sincosf(x, s, c);
}
void glibc_ddd(double* s, double* c, double x) {
  sincos(x, s, c);
}
void glibc_ddf(double* s, double* c, float x) {
  sincos(x, s, c);
}
void glibc_ffd(float* s, float* c, double x) {
  sincosf(static_cast<float>(x), s, c);
}
#if TARN_HAVE_REFERENCE_PEER
void reference_fff(float* s, float* c, float x) {
  tarn_reference_sincosf(x, s, c);
}
void reference_ddd(double* s, double* c, double x) {
  tarn_reference_sincos(x, s, c);
}
void reference_ddf(double* s, double* c, float x) {
  tarn_reference_sincos(x, s, c);
}
void reference_ffd(float* s, float* c, double x) {
  tarn_reference_sincosf(static_cast<float>(x), s, c);
}
#define REFERENCE(form) \
  { "LLVM libc", reference_##form }
#else
#define REFERENCE(form) \
  { "", nullptr }
#endif

template <class R, class A>
struct ExactPeer {
  const char* who;
  void (*f)(R*, R*, A);
};

// Rows "<name>.tput" (+-2 pi), "<name>.tput_1e6" and "<name>.chain" for the
// library's function and each peer that is built in.
template <class R, class A>
void register_exact(const std::string& name, void (*tarn)(R*, R*, A),
                    std::initializer_list<ExactPeer<R, A>> peers) {
  auto rows = [&name](const std::string& who, void (*f)(R*, R*, A)) {
    register_peer(name + ".tput", who,
                  [f](benchmark::State& st) { exact_tput<R, A>(st, exact_angles<A>().near, f); });
    register_peer(name + ".tput_1e6", who,
                  [f](benchmark::State& st) { exact_tput<R, A>(st, exact_angles<A>().far, f); });
    register_peer(name + ".chain", who, [f](benchmark::State& st) { exact_chain<R, A>(st, f); });
  };
  rows("tarn", tarn);
  for (const ExactPeer<R, A>& p : peers) {
    if (p.f != nullptr) rows(p.who, p.f);
  }
}

// The forms the exports do not run here, forced ("tarn [fused]"): measured,
// not assumed, on a processor that runs a preferred one.
template <class R, class A>
void register_forced_forms(const std::string& name,
                           void (*trig::ExactSinCosForm::*member)(R*, R*, A)) {
  trig::ExactSinCosForm forms[trig::kMaxExactSinCosForms];
  const int count = trig::exact_sin_cos_forms(forms);
  for (int i = 1; i < count; ++i) {
    const std::string who = std::string("tarn [") + forms[i].name + "]";
    void (*f)(R*, R*, A) = forms[i].*member;
    register_peer(name + ".tput", who,
                  [f](benchmark::State& st) { exact_tput<R, A>(st, exact_angles<A>().near, f); });
    register_peer(name + ".chain", who, [f](benchmark::State& st) { exact_chain<R, A>(st, f); });
  }
}

}  // namespace

void register_trig() {
  // Radians: throughput and latency.
  register_slot<SlotId::MxTSin>("MxTSin.tput", [](benchmark::State& st, MxTSinFn* slot) {
    unary_tput(st, angles().radians, [slot](float x) { return (*slot)(x); });
  });
  register_slot<SlotId::MxTSin>("MxTSin.chain", [](benchmark::State& st, MxTSinFn* slot) {
    unary_chain(st, [slot](float x) { return (*slot)(x); });
  });
  register_slot<SlotId::MxTCos>("MxTCos.tput", [](benchmark::State& st, MxTCosFn* slot) {
    unary_tput(st, angles().radians, [slot](float x) { return (*slot)(x); });
  });
  register_slot<SlotId::MxTCos>("MxTCos.chain", [](benchmark::State& st, MxTCosFn* slot) {
    unary_chain(st, [slot](float x) { return (*slot)(x); });
  });
  register_slot<SlotId::MxTSinCos>("MxTSinCos.tput", [](benchmark::State& st, MxTSinCosFn* slot) {
    pair_tput(st, angles().radians, [slot](float* s, float* c, float x) { (*slot)(s, c, x); });
  });
  register_slot<SlotId::MxTSinCos>("MxTSinCos.chain", [](benchmark::State& st, MxTSinCosFn* slot) {
    pair_chain(st, [slot](float* s, float* c, float x) { (*slot)(s, c, x); });
  });
  // Degrees: the peers convert to radians first, as their users must.
  register_slot<SlotId::MxTSinOfDeg>(
      "MxTSinOfDeg.tput", [](benchmark::State& st, MxTSinOfDegFn* slot) {
        unary_tput(st, angles().degrees, [slot](float x) { return (*slot)(x); });
      });
  register_slot<SlotId::MxTCosOfDeg>(
      "MxTCosOfDeg.tput", [](benchmark::State& st, MxTCosOfDegFn* slot) {
        unary_tput(st, angles().degrees, [slot](float x) { return (*slot)(x); });
      });
  register_slot<SlotId::MxTSinCosOfDeg>(
      "MxTSinCosOfDeg.tput", [](benchmark::State& st, MxTSinCosOfDegFn* slot) {
        pair_tput(st, angles().degrees, [slot](float* s, float* c, float x) { (*slot)(s, c, x); });
      });

  register_peer("MxTSin.tput", "glibc",
                [](benchmark::State& st) { unary_tput(st, angles().radians, sinf); });
  register_peer("MxTSin.chain", "glibc", [](benchmark::State& st) { unary_chain(st, sinf); });
  register_peer("MxTCos.tput", "glibc",
                [](benchmark::State& st) { unary_tput(st, angles().radians, cosf); });
  register_peer("MxTCos.chain", "glibc", [](benchmark::State& st) { unary_chain(st, cosf); });
  register_peer("MxTSinCos.tput", "glibc",
                [](benchmark::State& st) { pair_tput(st, angles().radians, glibc_sincosf); });
  register_peer("MxTSinCos.chain", "glibc",
                [](benchmark::State& st) { pair_chain(st, glibc_sincosf); });
  register_peer("MxTSinOfDeg.tput", "glibc", [](benchmark::State& st) {
    unary_tput(st, angles().degrees, [](float x) { return sinf(x * kDegree); });
  });
  register_peer("MxTCosOfDeg.tput", "glibc", [](benchmark::State& st) {
    unary_tput(st, angles().degrees, [](float x) { return cosf(x * kDegree); });
  });
  register_peer("MxTSinCosOfDeg.tput", "glibc", [](benchmark::State& st) {
    pair_tput(st, angles().degrees,
              [](float* s, float* c, float x) { sincosf(x * kDegree, s, c); });
  });
#if TARN_BENCH_SLEEF
  register_peer("MxTSin.tput", "SLEEF", [](benchmark::State& st) {
    unary_tput(st, angles().radians, [](float x) { return Sleef_sinf_u35(x); });
  });
  register_peer("MxTSin.chain", "SLEEF", [](benchmark::State& st) {
    unary_chain(st, [](float x) { return Sleef_sinf_u35(x); });
  });
  register_peer("MxTCos.tput", "SLEEF", [](benchmark::State& st) {
    unary_tput(st, angles().radians, [](float x) { return Sleef_cosf_u35(x); });
  });
  register_peer("MxTCos.chain", "SLEEF", [](benchmark::State& st) {
    unary_chain(st, [](float x) { return Sleef_cosf_u35(x); });
  });
  register_peer("MxTSinCos.tput", "SLEEF",
                [](benchmark::State& st) { pair_tput(st, angles().radians, sleef_sincosf); });
  register_peer("MxTSinCos.chain", "SLEEF",
                [](benchmark::State& st) { pair_chain(st, sleef_sincosf); });
#endif

  // The exact functions (plain exports, no slot) against the C libraries'
  // sincosf and sincos.
  const Library& lib = Library::get();
  register_exact<float, float>("MxSinCosFFF", lib.sincos_fff,
                               {{"glibc", glibc_fff}, REFERENCE(fff)});
  register_exact<double, double>("MxSinCosDDD", lib.sincos_ddd,
                                 {{"glibc", glibc_ddd}, REFERENCE(ddd)});
  register_exact<double, float>("MxSinCosDDF", lib.sincos_ddf,
                                {{"glibc", glibc_ddf}, REFERENCE(ddf)});
  register_exact<float, double>("MxSinCosFFD", lib.sincos_ffd,
                                {{"glibc", glibc_ffd}, REFERENCE(ffd)});
  register_forced_forms<float, float>("MxSinCosFFF", &trig::ExactSinCosForm::fff);
  register_forced_forms<double, double>("MxSinCosDDD", &trig::ExactSinCosForm::ddd);
  register_forced_forms<double, float>("MxSinCosDDF", &trig::ExactSinCosForm::ddf);
  register_forced_forms<float, double>("MxSinCosFFD", &trig::ExactSinCosForm::ffd);
}

}  // namespace tarn::bench
