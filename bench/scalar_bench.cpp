// Scalar helpers: each slot against the inline C++ a user would write.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "bench_util.h"
#include "library.h"

namespace tarn::bench {

namespace {

constexpr int kScalars = 1024;

struct Scalars {
  std::vector<float> a, b, out;
  std::vector<std::int32_t> ia, ib, iout;
  Scalars() : out(kScalars), iout(kScalars) {
    Random rng(4);
    for (int i = 0; i < kScalars; ++i) {
      a.push_back(rng.uniform(0.5f, 1000.0f));
      b.push_back(rng.uniform(0.5f, 1000.0f));
      ia.push_back(static_cast<std::int32_t>(rng.next()));
      ib.push_back(static_cast<std::int32_t>(rng.next()));
    }
  }
};

Scalars& scalars() {
  static Scalars s;
  return s;
}

// f(a[i]), f(a[i], b[i]) and their integer forms, through a slot or inline.
template <class F>
void float_unary(benchmark::State& st, F f) {
  Scalars& s = scalars();
  run_passes(st, kScalars, [&](int i) { s.out[i] = f(s.a[i]); });
}
template <class F>
void float_binary(benchmark::State& st, F f) {
  Scalars& s = scalars();
  run_passes(st, kScalars, [&](int i) { s.out[i] = f(s.a[i], s.b[i]); });
}
template <class F>
void int_binary(benchmark::State& st, F f) {
  Scalars& s = scalars();
  run_passes(st, kScalars, [&](int i) { s.iout[i] = f(s.ia[i], s.ib[i]); });
}

}  // namespace

void register_scalar() {
#define TARN_SCALAR_JOB(slot_name, shape)                                                        \
  register_slot<SlotId::Mx##slot_name>("Mx" #slot_name ".tput",                                  \
                                       [](benchmark::State& st, Mx##slot_name##Fn* slot) {       \
                                         shape(st, [slot](auto... x) { return (*slot)(x...); }); \
                                       });
  TARN_SCALAR_JOB(AccSqrt, float_unary)
  TARN_SCALAR_JOB(RghFastSqrt, float_unary)
  TARN_SCALAR_JOB(FAccRecip, float_unary)
  TARN_SCALAR_JOB(FRghFastRecip, float_unary)
  TARN_SCALAR_JOB(FMin, float_binary)
  TARN_SCALAR_JOB(FMax, float_binary)
  TARN_SCALAR_JOB(FAccDiv, float_binary)
  TARN_SCALAR_JOB(FRghFastDiv, float_binary)
  TARN_SCALAR_JOB(IMin, int_binary)
  TARN_SCALAR_JOB(IMax, int_binary)
#undef TARN_SCALAR_JOB
  register_slot<SlotId::MxF2I>("MxF2I.tput", [](benchmark::State& st, MxF2IFn* slot) {
    Scalars& s = scalars();
    run_passes(st, kScalars, [&](int i) { s.iout[i] = (*slot)(s.a[i]); });
  });
  register_slot<SlotId::MxI2F>("MxI2F.tput", [](benchmark::State& st, MxI2FFn* slot) {
    Scalars& s = scalars();
    run_passes(st, kScalars, [&](int i) { s.out[i] = (*slot)(s.ia[i]); });
  });

  const char* cpp = "C++ inline";
  register_peer("MxAccSqrt.tput", cpp, [](benchmark::State& st) {
    float_unary(st, [](float x) { return std::sqrt(x); });
  });
  register_peer("MxRghFastSqrt.tput", cpp, [](benchmark::State& st) {
    float_unary(st, [](float x) { return std::sqrt(x); });
  });
  register_peer("MxFAccRecip.tput", cpp,
                [](benchmark::State& st) { float_unary(st, [](float x) { return 1.0f / x; }); });
  register_peer("MxFRghFastRecip.tput", cpp,
                [](benchmark::State& st) { float_unary(st, [](float x) { return 1.0f / x; }); });
  register_peer("MxFMin.tput", cpp, [](benchmark::State& st) {
    float_binary(st, [](float x, float y) { return std::min(x, y); });
  });
  register_peer("MxFMax.tput", cpp, [](benchmark::State& st) {
    float_binary(st, [](float x, float y) { return std::max(x, y); });
  });
  register_peer("MxFAccDiv.tput", cpp, [](benchmark::State& st) {
    float_binary(st, [](float x, float y) { return x / y; });
  });
  register_peer("MxFRghFastDiv.tput", cpp, [](benchmark::State& st) {
    float_binary(st, [](float x, float y) { return x / y; });
  });
  register_peer("MxIMin.tput", cpp, [](benchmark::State& st) {
    int_binary(st, [](std::int32_t x, std::int32_t y) { return std::min(x, y); });
  });
  register_peer("MxIMax.tput", cpp, [](benchmark::State& st) {
    int_binary(st, [](std::int32_t x, std::int32_t y) { return std::max(x, y); });
  });
  register_peer("MxF2I.tput", cpp, [](benchmark::State& st) {
    Scalars& s = scalars();
    run_passes(st, kScalars,
               [&](int i) { s.iout[i] = static_cast<std::int32_t>(std::lrint(s.a[i])); });
  });
  register_peer("MxI2F.tput", cpp, [](benchmark::State& st) {
    Scalars& s = scalars();
    run_passes(st, kScalars, [&](int i) { s.out[i] = static_cast<float>(s.ia[i]); });
  });
}

}  // namespace tarn::bench
