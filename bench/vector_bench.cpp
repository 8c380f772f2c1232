// Vectors: every slot over arrays of random records, against Eigen's
// Vector3f and glm's vec3 compiled inline.
#include <array>
#include <cstdint>

#include "bench_util.h"
#include "peers.h"

namespace tarn::bench {

namespace {

constexpr int kVecs = 512;

struct Vectors {
  std::vector<Mx3DVec> a, b, out;
  std::vector<float> scalars, results;
  std::vector<std::int32_t> ints;
  std::vector<std::array<float, 3>> degrees;
  MxMat4x4 matrix;
  Vectors() : out(kVecs), results(kVecs), ints(kVecs) {
    Random rng(3);
    for (int i = 0; i < kVecs; ++i) {
      a.push_back(random_vec(rng));
      b.push_back(random_vec(rng));
      scalars.push_back(rng.uniform(-4, 4));
      degrees.push_back({rng.uniform(-360, 360), rng.uniform(-360, 360), rng.uniform(-360, 360)});
    }
    matrix = random_affine(rng);
  }
};

Vectors& vecs() {
  static Vectors v;
  return v;
}

// Throughput passes of the three slot shapes: float f(v), r = f(a, b), and
// an integer or float result of f(a, b).
template <class Fn>
void magnitude_tput(benchmark::State& st, Fn* slot) {
  Vectors& v = vecs();
  run_passes(st, kVecs, [&](int i) { v.results[i] = (*slot)(&v.a[i]); });
}

template <class Fn>
void binary_tput(benchmark::State& st, Fn* slot) {
  Vectors& v = vecs();
  run_passes(st, kVecs, [&](int i) { (*slot)(&v.out[i], &v.a[i], &v.b[i]); });
}

template <class Fn>
void compare_tput(benchmark::State& st, Fn* slot) {
  Vectors& v = vecs();
  run_passes(st, kVecs, [&](int i) { v.ints[i] = (*slot)(&v.a[i], &v.b[i]); });
}

#if TARN_BENCH_EIGEN
using Eigen::Vector3f;

struct EigenVectors {
  std::vector<Vector3f> a, b, out;
  std::vector<float> results;
  std::vector<std::int32_t> ints;
  Eigen::Affine3f matrix;
  EigenVectors() : out(kVecs), results(kVecs), ints(kVecs) {
    for (int i = 0; i < kVecs; ++i) {
      a.emplace_back(vecs().a[i].x, vecs().a[i].y, vecs().a[i].z);
      b.emplace_back(vecs().b[i].x, vecs().b[i].y, vecs().b[i].z);
    }
    matrix.matrix() = Eigen::Map<const Eigen::Matrix4f>(vecs().matrix.m);
  }
};

EigenVectors& eigen_vecs() {
  static EigenVectors v;
  return v;
}

template <class Op>
void eigen_tput(benchmark::State& st, Op op) {
  EigenVectors& v = eigen_vecs();
  run_passes(st, kVecs, [&](int i) { op(v, i); });
}
#endif

#if TARN_BENCH_GLM
struct GlmVectors {
  std::vector<glm::vec3> a, b, out;
  std::vector<float> results;
  std::vector<std::int32_t> ints;
  glm::mat4 matrix;
  GlmVectors() : out(kVecs), results(kVecs), ints(kVecs) {
    for (int i = 0; i < kVecs; ++i) {
      a.emplace_back(vecs().a[i].x, vecs().a[i].y, vecs().a[i].z);
      b.emplace_back(vecs().b[i].x, vecs().b[i].y, vecs().b[i].z);
    }
    matrix = convert_matrix<glm::mat4>(vecs().matrix);
  }
};

GlmVectors& glm_vecs() {
  static GlmVectors v;
  return v;
}

template <class Op>
void glm_tput(benchmark::State& st, Op op) {
  GlmVectors& v = glm_vecs();
  run_passes(st, kVecs, [&](int i) { op(v, i); });
}
#endif

}  // namespace

void register_vector() {
  register_slot<SlotId::Mx3DVecMagnitudeSquared>("Mx3DVecMagnitudeSquared.tput",
                                                 magnitude_tput<Mx3DVecMagnitudeSquaredFn>);
  register_slot<SlotId::Mx3DVecAccMagnitude>("Mx3DVecAccMagnitude.tput",
                                             magnitude_tput<Mx3DVecAccMagnitudeFn>);
  register_slot<SlotId::Mx3DVecRghFastMagnitude>("Mx3DVecRghFastMagnitude.tput",
                                                 magnitude_tput<Mx3DVecRghFastMagnitudeFn>);
  register_slot<SlotId::Mx3DVecDotProd>(
      "Mx3DVecDotProd.tput", [](benchmark::State& st, Mx3DVecDotProdFn* slot) {
        Vectors& v = vecs();
        run_passes(st, kVecs, [&](int i) { v.results[i] = (*slot)(&v.a[i], &v.b[i]); });
      });
  register_slot<SlotId::Mx3DVecCrossProd>("Mx3DVecCrossProd.tput", binary_tput<Mx3DVecCrossProdFn>);
  register_slot<SlotId::Mx3DVecAdd>("Mx3DVecAdd.tput", binary_tput<Mx3DVecAddFn>);
  register_slot<SlotId::Mx3DVecSub>("Mx3DVecSub.tput", binary_tput<Mx3DVecSubFn>);
  register_slot<SlotId::Mx3DVecCmpMagnitude>("Mx3DVecCmpMagnitude.tput",
                                             compare_tput<Mx3DVecCmpMagnitudeFn>);
  register_slot<SlotId::Mx3DVecCmp>("Mx3DVecCmp.tput", compare_tput<Mx3DVecCmpFn>);
  register_slot<SlotId::Mx3DVecScale>(
      "Mx3DVecScale.tput", [](benchmark::State& st, Mx3DVecScaleFn* slot) {
        Vectors& v = vecs();
        run_passes(st, kVecs, [&](int i) { (*slot)(&v.out[i], &v.a[i], v.scalars[i]); });
      });
  register_slot<SlotId::Mx3DVecTransform>(
      "Mx3DVecTransform.tput", [](benchmark::State& st, Mx3DVecTransformFn* slot) {
        Vectors& v = vecs();
        run_passes(st, kVecs, [&](int i) { (*slot)(&v.out[i], &v.a[i], &v.matrix); });
      });
  register_slot<SlotId::Mx3DVecTransform>(
      "Mx3DVecTransform.chain", [](benchmark::State& st, Mx3DVecTransformFn* slot) {
        Vectors& v = vecs();
        for (auto _ : st) {
          Mx3DVec acc = v.a[0];
          for (int i = 0; i < kVecs; ++i) (*slot)(&acc, &acc, &v.matrix);
          benchmark::DoNotOptimize(acc);
        }
        st.SetItemsProcessed(static_cast<std::int64_t>(st.iterations()) * kVecs);
      });
  register_slot<SlotId::Mx3DVecNormalize>(
      "Mx3DVecNormalize.tput", [](benchmark::State& st, Mx3DVecNormalizeFn* slot) {
        Vectors& v = vecs();
        run_passes(st, kVecs, [&](int i) { (*slot)(&v.out[i], &v.a[i]); });
      });
  register_slot<SlotId::Mx3DVecRotate>(
      "Mx3DVecRotate.tput", [](benchmark::State& st, Mx3DVecRotateFn* slot) {
        Vectors& v = vecs();
        run_passes(st, kVecs, [&](int i) { (*slot)(&v.out[i], &v.a[i], v.degrees[i].data()); });
      });

#if TARN_BENCH_EIGEN
  using V = EigenVectors;
  register_peer("Mx3DVecMagnitudeSquared.tput", "Eigen Vector3f", [](benchmark::State& st) {
    eigen_tput(st, [](V& v, int i) { v.results[i] = v.a[i].squaredNorm(); });
  });
  register_peer("Mx3DVecAccMagnitude.tput", "Eigen Vector3f", [](benchmark::State& st) {
    eigen_tput(st, [](V& v, int i) { v.results[i] = v.a[i].norm(); });
  });
  register_peer("Mx3DVecRghFastMagnitude.tput", "Eigen Vector3f", [](benchmark::State& st) {
    eigen_tput(st, [](V& v, int i) { v.results[i] = v.a[i].norm(); });
  });
  register_peer("Mx3DVecDotProd.tput", "Eigen Vector3f", [](benchmark::State& st) {
    eigen_tput(st, [](V& v, int i) { v.results[i] = v.a[i].dot(v.b[i]); });
  });
  register_peer("Mx3DVecCrossProd.tput", "Eigen Vector3f", [](benchmark::State& st) {
    eigen_tput(st, [](V& v, int i) { v.out[i] = v.a[i].cross(v.b[i]); });
  });
  register_peer("Mx3DVecAdd.tput", "Eigen Vector3f", [](benchmark::State& st) {
    eigen_tput(st, [](V& v, int i) { v.out[i] = v.a[i] + v.b[i]; });
  });
  register_peer("Mx3DVecSub.tput", "Eigen Vector3f", [](benchmark::State& st) {
    eigen_tput(st, [](V& v, int i) { v.out[i] = v.a[i] - v.b[i]; });
  });
  register_peer("Mx3DVecScale.tput", "Eigen Vector3f", [](benchmark::State& st) {
    const auto& s = vecs().scalars;
    eigen_tput(st, [&](V& v, int i) { v.out[i] = v.a[i] * s[i]; });
  });
  register_peer("Mx3DVecCmpMagnitude.tput", "Eigen Vector3f", [](benchmark::State& st) {
    eigen_tput(st, [](V& v, int i) {
      float ma = v.a[i].squaredNorm(), mb = v.b[i].squaredNorm();
      v.ints[i] = ma > mb ? 1 : (ma < mb ? 2 : 0);
    });
  });
  register_peer("Mx3DVecCmp.tput", "Eigen Vector3f", [](benchmark::State& st) {
    eigen_tput(st, [](V& v, int i) { v.ints[i] = v.a[i] == v.b[i] ? 0 : 1; });
  });
  register_peer("Mx3DVecTransform.tput", "Eigen Affine3f", [](benchmark::State& st) {
    eigen_tput(st, [](V& v, int i) { v.out[i] = v.matrix * v.a[i]; });
  });
  register_peer("Mx3DVecTransform.chain", "Eigen Affine3f", [](benchmark::State& st) {
    V& v = eigen_vecs();
    for (auto _ : st) {
      Vector3f acc = v.a[0];
      for (int i = 0; i < kVecs; ++i) acc = v.matrix * acc;
      benchmark::DoNotOptimize(acc);
    }
    st.SetItemsProcessed(static_cast<std::int64_t>(st.iterations()) * kVecs);
  });
  register_peer("Mx3DVecNormalize.tput", "Eigen Vector3f", [](benchmark::State& st) {
    eigen_tput(st, [](V& v, int i) { v.out[i] = v.a[i].normalized(); });
  });
  register_peer("Mx3DVecRotate.tput", "Eigen AngleAxisf", [](benchmark::State& st) {
    const auto& d = vecs().degrees;
    const float k = 3.14159265f / 180.0f;
    eigen_tput(st, [&](V& v, int i) {
      v.out[i] = (Eigen::AngleAxisf(d[i][2] * k, Vector3f::UnitZ()) *
                  Eigen::AngleAxisf(d[i][1] * k, Vector3f::UnitY()) *
                  Eigen::AngleAxisf(d[i][0] * k, Vector3f::UnitX())) *
                 v.a[i];
    });
  });
#endif

#if TARN_BENCH_GLM
  using G = GlmVectors;
  register_peer("Mx3DVecMagnitudeSquared.tput", "glm vec3", [](benchmark::State& st) {
    glm_tput(st, [](G& v, int i) { v.results[i] = glm::dot(v.a[i], v.a[i]); });
  });
  register_peer("Mx3DVecAccMagnitude.tput", "glm vec3", [](benchmark::State& st) {
    glm_tput(st, [](G& v, int i) { v.results[i] = glm::length(v.a[i]); });
  });
  register_peer("Mx3DVecRghFastMagnitude.tput", "glm vec3", [](benchmark::State& st) {
    glm_tput(st, [](G& v, int i) { v.results[i] = glm::length(v.a[i]); });
  });
  register_peer("Mx3DVecDotProd.tput", "glm vec3", [](benchmark::State& st) {
    glm_tput(st, [](G& v, int i) { v.results[i] = glm::dot(v.a[i], v.b[i]); });
  });
  register_peer("Mx3DVecCrossProd.tput", "glm vec3", [](benchmark::State& st) {
    glm_tput(st, [](G& v, int i) { v.out[i] = glm::cross(v.a[i], v.b[i]); });
  });
  register_peer("Mx3DVecAdd.tput", "glm vec3", [](benchmark::State& st) {
    glm_tput(st, [](G& v, int i) { v.out[i] = v.a[i] + v.b[i]; });
  });
  register_peer("Mx3DVecSub.tput", "glm vec3", [](benchmark::State& st) {
    glm_tput(st, [](G& v, int i) { v.out[i] = v.a[i] - v.b[i]; });
  });
  register_peer("Mx3DVecScale.tput", "glm vec3", [](benchmark::State& st) {
    const auto& s = vecs().scalars;
    glm_tput(st, [&](G& v, int i) { v.out[i] = v.a[i] * s[i]; });
  });
  register_peer("Mx3DVecCmp.tput", "glm vec3", [](benchmark::State& st) {
    glm_tput(st, [](G& v, int i) { v.ints[i] = v.a[i] == v.b[i] ? 0 : 1; });
  });
  register_peer("Mx3DVecTransform.tput", "glm mat4", [](benchmark::State& st) {
    glm_tput(st, [](G& v, int i) { v.out[i] = glm::vec3(v.matrix * glm::vec4(v.a[i], 1.0f)); });
  });
  register_peer("Mx3DVecTransform.chain", "glm mat4", [](benchmark::State& st) {
    G& v = glm_vecs();
    for (auto _ : st) {
      glm::vec3 acc = v.a[0];
      for (int i = 0; i < kVecs; ++i) acc = glm::vec3(v.matrix * glm::vec4(acc, 1.0f));
      benchmark::DoNotOptimize(acc);
    }
    st.SetItemsProcessed(static_cast<std::int64_t>(st.iterations()) * kVecs);
  });
  register_peer("Mx3DVecNormalize.tput", "glm vec3", [](benchmark::State& st) {
    glm_tput(st, [](G& v, int i) { v.out[i] = glm::normalize(v.a[i]); });
  });
#endif
}

}  // namespace tarn::bench
