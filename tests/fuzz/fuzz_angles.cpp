// Arbitrary float bit patterns through every angle-taking operation: the six
// table lookups of both forms agree bit for bit and give a signed table entry
// (never a NaN, never beyond 1); the single-axis rotation builders and the
// concatenated rotations of every form give finite matrices with column 3
// (0, 0, 0, 1); the vector rotation and the exact sine-cosine functions
// return without fault.
#include <fuzzer/FuzzedDataProvider.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "TarnLib2DLL.h"
#include "dispatch/tiers.h"
#include "fuzz_support.h"

namespace {

using namespace tarn;

bool is_lookup_value(float v) {
  return std::isfinite(v) && std::fabs(v) <= 1.0f;
}

bool same(float a, float b) {
  return std::bit_cast<std::uint32_t>(a) == std::bit_cast<std::uint32_t>(b);
}

void check_rotation_matrix(const MxMat4x4& m, const char* what) {
  for (float e : m.m) fuzz::check(std::isfinite(e), what);
  fuzz::check(m.m[3] == 0.0f && m.m[7] == 0.0f && m.m[11] == 0.0f && m.m[15] == 1.0f, what);
}

template <SlotId S>
void all_agree_single(float a) {
  const auto fns = fuzz::implementations<S>();
  for (auto fn : fns) {
    const float v = fn(a);
    fuzz::check(is_lookup_value(v), "a lookup gave a value outside the table");
    fuzz::check(same(v, fns[0](a)), "the lookup forms disagree");
  }
}

template <SlotId S>
void all_agree_pair(float a) {
  const auto fns = fuzz::implementations<S>();
  float s0, c0;
  fns[0](&s0, &c0, a);
  for (auto fn : fns) {
    float s, c;
    fn(&s, &c, a);
    fuzz::check(is_lookup_value(s) && is_lookup_value(c),
                "a lookup gave a value outside the table");
    fuzz::check(same(s, s0) && same(c, c0), "the sine-cosine lookup forms disagree");
  }
}

void initialise() {
  MxInitLibForCPU(tier_flags(Tier::kCmov3DNowMmxextExt3DNow));
  MxInitTables();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool initialised = (initialise(), true);
  (void)initialised;
  FuzzedDataProvider in(data, size);
  float angles[4];
  for (float& a : angles) a = std::bit_cast<float>(in.ConsumeIntegral<std::uint32_t>());
  const double wide = std::bit_cast<double>(in.ConsumeIntegral<std::uint64_t>());

  for (float a : angles) {
    all_agree_single<SlotId::MxTSin>(a);
    all_agree_single<SlotId::MxTCos>(a);
    all_agree_single<SlotId::MxTSinOfDeg>(a);
    all_agree_single<SlotId::MxTCosOfDeg>(a);
    all_agree_pair<SlotId::MxTSinCos>(a);
    all_agree_pair<SlotId::MxTSinCosOfDeg>(a);
  }

  MxMat4x4 m;
  for (auto build : {MxRotXMat, MxRotYMat, MxRotZMat, MxDegRotXMat, MxDegRotYMat, MxDegRotZMat}) {
    std::memset(&m, 0xFF, sizeof m);
    build(&m, angles[0]);
    check_rotation_matrix(m, "a single-axis rotation is not a finite rotation matrix");
  }

#define TARN_FUZZ_CONCAT(name)                                          \
  for (auto fn : fuzz::implementations<SlotId::name>()) {               \
    std::memset(&m, 0xFF, sizeof m);                                    \
    fn(&m, angles[0], angles[1], angles[2]);                            \
    check_rotation_matrix(m, #name " is not a finite rotation matrix"); \
  }
  TARN_FUZZ_CONCAT(MxConcatRotMatXYZ)
  TARN_FUZZ_CONCAT(MxConcatRotMatXZY)
  TARN_FUZZ_CONCAT(MxConcatRotMatYZX)
  TARN_FUZZ_CONCAT(MxConcatRotMatYXZ)
  TARN_FUZZ_CONCAT(MxConcatRotMatZXY)
  TARN_FUZZ_CONCAT(MxConcatRotMatZYX)
#undef TARN_FUZZ_CONCAT

  for (auto rotate : fuzz::implementations<SlotId::Mx3DVecRotate>()) {
    Mx3DVec v = {angles[3], 1.0f, -2.0f, 0.0f}, r;
    rotate(&r, &v, angles);
    rotate(&v, &v, angles);
  }

  float fs, fc;
  double ds, dc;
  MxSinCosFFF(&fs, &fc, angles[3]);
  MxSinCosDDD(&ds, &dc, wide);
  MxSinCosDDF(&ds, &dc, angles[3]);
  MxSinCosFFD(&fs, &fc, wide);
  return 0;
}
