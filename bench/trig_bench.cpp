// Sine and cosine: the table lookups and the exact functions against glibc's
// sinf/cosf/sincosf and SLEEF's scalar 3.5-ulp functions.
#include <cmath>
#include <numbers>
#include <vector>

#include "bench_util.h"
#include "library.h"

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
  std::vector<double> radians_d, out1_d, out2_d;
  Angles() : out1(kAngles), out2(kAngles), out1_d(kAngles), out2_d(kAngles) {
    Random rng(1);
    for (int i = 0; i < kAngles; ++i) {
      radians.push_back(rng.uniform(-2 * std::numbers::pi_v<float>, 2 * std::numbers::pi_v<float>));
      degrees.push_back(rng.uniform(-360.0f, 360.0f));
      radians_d.push_back(radians.back());
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

  // The exact functions (plain exports, no slot) against the same peers.
  auto fff = Library::get().sincos_fff;
  auto ddd = Library::get().sincos_ddd;
  register_peer("MxSinCosFFF.tput", "tarn", [fff](benchmark::State& st) {
    pair_tput(st, angles().radians, [fff](float* s, float* c, float x) { fff(s, c, x); });
  });
  register_peer("MxSinCosFFF.tput", "glibc",
                [](benchmark::State& st) { pair_tput(st, angles().radians, glibc_sincosf); });
  register_peer("MxSinCosDDD.tput", "tarn", [ddd](benchmark::State& st) {
    Angles& a = angles();
    run_passes(st, kAngles, [&](int i) { ddd(&a.out1_d[i], &a.out2_d[i], a.radians_d[i]); });
  });
  register_peer("MxSinCosDDD.tput", "glibc", [](benchmark::State& st) {
    Angles& a = angles();
    run_passes(st, kAngles, [&](int i) { sincos(a.radians_d[i], &a.out1_d[i], &a.out2_d[i]); });
  });
}

}  // namespace tarn::bench
