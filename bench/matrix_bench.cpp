// Matrices: the dispatch floor, products, the orthonormal inverse, builders
// and concatenated rotations, against Eigen and glm compiled inline.
#include <array>

#include "bench_util.h"
#include "peers.h"

namespace tarn::bench {

namespace {

constexpr int kMats = 128;  // three arrays of them stay in the first-level cache

struct Matrices {
  std::vector<MxMat4x4> a, b, out;
  std::vector<std::array<float, 3>> angles;
  std::vector<Mx3DVec> vecs;
  Matrices() : out(kMats) {
    Random rng(2);
    for (int i = 0; i < kMats; ++i) {
      a.push_back(random_affine(rng));
      b.push_back(random_affine(rng));
      angles.push_back({rng.uniform(-3, 3), rng.uniform(-3, 3), rng.uniform(-3, 3)});
      vecs.push_back(random_vec(rng));
    }
  }
};

Matrices& mats() {
  static Matrices m;
  return m;
}

// Products through a slot: throughput out[i] = b[i]*a[i], and a chain
// acc = acc*a[i] that restarts from the identity every pass.
template <class Fn>
void product_tput(benchmark::State& state, Fn* slot) {
  Matrices& m = mats();
  run_passes(state, kMats, [&](int i) { (*slot)(&m.out[i], &m.a[i], &m.b[i]); });
}

template <class Fn>
void product_chain(benchmark::State& state, Fn* slot) {
  Matrices& m = mats();
  const MxMat4x4 identity = {{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}};
  for (auto _ : state) {
    MxMat4x4 acc = identity;
    for (int i = 0; i < kMats; ++i) (*slot)(&acc, &m.a[i], &acc);
    benchmark::DoNotOptimize(acc);
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * kMats);
}

// The same for a peer type T with operator*.
template <class T>
void peer_product_tput(benchmark::State& state) {
  static std::vector<T> a, b, out(kMats);
  if (a.empty()) {
    for (int i = 0; i < kMats; ++i) {
      a.push_back(convert_matrix<T>(mats().a[i]));
      b.push_back(convert_matrix<T>(mats().b[i]));
    }
  }
  run_passes(state, kMats, [&](int i) { out[i] = a[i] * b[i]; });
}

template <class T>
void peer_product_chain(benchmark::State& state, const T& identity) {
  static std::vector<T> a;
  if (a.empty())
    for (int i = 0; i < kMats; ++i) a.push_back(convert_matrix<T>(mats().a[i]));
  for (auto _ : state) {
    T acc = identity;
    for (int i = 0; i < kMats; ++i) acc = acc * a[i];
    benchmark::DoNotOptimize(acc);
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * kMats);
}

template <class Fn>
void builder_tput(benchmark::State& state, Fn op) {
  Matrices& m = mats();
  run_passes(state, kMats, [&](int i) { op(&m.out[i], i); });
}

template <class T, class Op>
void peer_builder_tput(benchmark::State& state, Op op) {
  static std::vector<T> out(kMats);
  run_passes(state, kMats, [&](int i) { out[i] = op(i); });
}

#if TARN_BENCH_EIGEN
using Eigen::Affine3f;
using Eigen::AffineCompact3f;
using Eigen::AngleAxisf;
using Eigen::Matrix4f;
using Eigen::Vector3f;

Affine3f eigen_affine(const MxMat4x4& m) {
  Affine3f t;
  t.matrix() = Eigen::Map<const Matrix4f>(m.m);
  return t;
}

// A rotation from three angles in the given axis order (0 = x, 1 = y, 2 = z).
template <int A0, int A1, int A2>
Matrix4f eigen_euler(const std::array<float, 3>& angles) {
  const Vector3f axes[3] = {Vector3f::UnitX(), Vector3f::UnitY(), Vector3f::UnitZ()};
  Affine3f t(AngleAxisf(angles[A0], axes[A0]) * AngleAxisf(angles[A1], axes[A1]) *
             AngleAxisf(angles[A2], axes[A2]));
  return t.matrix();
}
#endif

}  // namespace

void register_dispatch_floor() {
  // The empty slot: the cost of the call alone, in the same loop shape as the
  // other throughput jobs.
  register_slot<SlotId::MxInvMat4x4>("MxInvMat4x4.tput",
                                     [](benchmark::State& st, MxInvMat4x4Fn* slot) {
                                       Matrices& m = mats();
                                       run_passes(st, kMats, [&](int i) { (*slot)(&m.out[i]); });
                                     });
}

void register_matrix() {
  register_slot<SlotId::MxMatMult4x4_4x4>("MxMatMult4x4_4x4.tput",
                                          product_tput<MxMatMult4x4_4x4Fn>);
  register_slot<SlotId::MxMatMult4x4_4x4>("MxMatMult4x4_4x4.chain",
                                          product_chain<MxMatMult4x4_4x4Fn>);
  register_slot<SlotId::MxSparseMatMult4x4_4x4>("MxSparseMatMult4x4_4x4.tput",
                                                product_tput<MxSparseMatMult4x4_4x4Fn>);
  register_slot<SlotId::MxSparseMatMult4x4_4x4>("MxSparseMatMult4x4_4x4.chain",
                                                product_chain<MxSparseMatMult4x4_4x4Fn>);
  register_slot<SlotId::MxInvOrthMat4x4>("MxInvOrthMat4x4.tput",
                                         [](benchmark::State& st, MxInvOrthMat4x4Fn* slot) {
                                           Matrices& m = mats();
                                           run_passes(st, kMats, [&](int i) { (*slot)(&m.a[i]); });
                                         });
  register_slot<SlotId::MxZeroMat>("MxZeroMat.tput", [](benchmark::State& st, MxZeroMatFn* slot) {
    builder_tput(st, [slot](MxMat4x4* o, int) { (*slot)(o); });
  });
  register_slot<SlotId::MxIdMat>("MxIdMat.tput", [](benchmark::State& st, MxIdMatFn* slot) {
    builder_tput(st, [slot](MxMat4x4* o, int) { (*slot)(o); });
  });
  register_slot<SlotId::MxTranslateMat>(
      "MxTranslateMat.tput", [](benchmark::State& st, MxTranslateMatFn* slot) {
        const auto& v = mats().vecs;
        builder_tput(st, [&](MxMat4x4* o, int i) { (*slot)(o, v[i].x, v[i].y, v[i].z); });
      });
  register_slot<SlotId::MxTranslateMatFromVec>(
      "MxTranslateMatFromVec.tput", [](benchmark::State& st, MxTranslateMatFromVecFn* slot) {
        const auto& v = mats().vecs;
        builder_tput(st, [&](MxMat4x4* o, int i) { (*slot)(o, &v[i]); });
      });
  register_slot<SlotId::MxScaleMat>(
      "MxScaleMat.tput", [](benchmark::State& st, MxScaleMatFn* slot) {
        const auto& v = mats().vecs;
        builder_tput(st, [&](MxMat4x4* o, int i) { (*slot)(o, v[i].x, v[i].y, v[i].z); });
      });

#define TARN_CONCAT_JOB(order)                                                                \
  register_slot<SlotId::MxConcatRotMat##order>(                                               \
      "MxConcatRotMat" #order ".tput", [](benchmark::State& st, MxConcatRotMatFn* slot) {     \
        const auto& a = mats().angles;                                                        \
        builder_tput(st, [&](MxMat4x4* o, int i) { (*slot)(o, a[i][0], a[i][1], a[i][2]); }); \
      });
  TARN_CONCAT_JOB(XYZ)
  TARN_CONCAT_JOB(XZY)
  TARN_CONCAT_JOB(YZX)
  TARN_CONCAT_JOB(YXZ)
  TARN_CONCAT_JOB(ZXY)
  TARN_CONCAT_JOB(ZYX)
#undef TARN_CONCAT_JOB

#if TARN_BENCH_EIGEN
  register_peer("MxMatMult4x4_4x4.tput", "Eigen Matrix4f", peer_product_tput<Matrix4f>);
  register_peer("MxMatMult4x4_4x4.chain", "Eigen Matrix4f", [](benchmark::State& st) {
    peer_product_chain<Matrix4f>(st, Matrix4f::Identity());
  });
  // The affine job can be done by any of Eigen's 4x4 forms; all are shown.
  register_peer("MxSparseMatMult4x4_4x4.tput", "Eigen Matrix4f", peer_product_tput<Matrix4f>);
  register_peer("MxSparseMatMult4x4_4x4.tput", "Eigen Affine3f", [](benchmark::State& st) {
    static std::vector<Affine3f> a, b, out(kMats);
    if (a.empty()) {
      for (int i = 0; i < kMats; ++i) {
        a.push_back(eigen_affine(mats().a[i]));
        b.push_back(eigen_affine(mats().b[i]));
      }
    }
    run_passes(st, kMats, [&](int i) { out[i] = a[i] * b[i]; });
  });
  register_peer("MxSparseMatMult4x4_4x4.tput", "Eigen AffineCompact3f", [](benchmark::State& st) {
    static std::vector<AffineCompact3f> a, b, out(kMats);
    if (a.empty()) {
      for (int i = 0; i < kMats; ++i) {
        a.push_back(AffineCompact3f(eigen_affine(mats().a[i])));
        b.push_back(AffineCompact3f(eigen_affine(mats().b[i])));
      }
    }
    run_passes(st, kMats, [&](int i) { out[i] = a[i] * b[i]; });
  });
  register_peer("MxSparseMatMult4x4_4x4.chain", "Eigen Affine3f", [](benchmark::State& st) {
    static std::vector<Affine3f> a;
    if (a.empty())
      for (int i = 0; i < kMats; ++i) a.push_back(eigen_affine(mats().a[i]));
    for (auto _ : st) {
      Affine3f acc = Affine3f::Identity();
      for (int i = 0; i < kMats; ++i) acc = acc * a[i];
      benchmark::DoNotOptimize(acc);
    }
    st.SetItemsProcessed(static_cast<std::int64_t>(st.iterations()) * kMats);
  });
  register_peer("MxInvOrthMat4x4.tput", "Eigen Matrix4f", [](benchmark::State& st) {
    static std::vector<Matrix4f> a;
    if (a.empty())
      for (int i = 0; i < kMats; ++i) a.push_back(convert_matrix<Matrix4f>(mats().a[i]));
    run_passes(st, kMats, [&](int i) { a[i].topLeftCorner<3, 3>().transposeInPlace(); });
  });
  register_peer("MxZeroMat.tput", "Eigen Matrix4f", [](benchmark::State& st) {
    peer_builder_tput<Matrix4f>(st, [](int) { return Matrix4f::Zero(); });
  });
  register_peer("MxIdMat.tput", "Eigen Matrix4f", [](benchmark::State& st) {
    peer_builder_tput<Matrix4f>(st, [](int) { return Matrix4f::Identity(); });
  });
  register_peer("MxTranslateMat.tput", "Eigen Affine3f", [](benchmark::State& st) {
    const auto& v = mats().vecs;
    peer_builder_tput<Affine3f>(
        st, [&](int i) { return Affine3f(Eigen::Translation3f(v[i].x, v[i].y, v[i].z)); });
  });
  register_peer("MxScaleMat.tput", "Eigen Affine3f", [](benchmark::State& st) {
    const auto& v = mats().vecs;
    peer_builder_tput<Affine3f>(
        st, [&](int i) { return Affine3f(Eigen::Scaling(v[i].x, v[i].y, v[i].z)); });
  });
#define TARN_EIGEN_EULER(order, a0, a1, a2)                                                     \
  register_peer("MxConcatRotMat" #order ".tput", "Eigen AngleAxisf", [](benchmark::State& st) { \
    const auto& a = mats().angles;                                                              \
    peer_builder_tput<Matrix4f>(st, [&](int i) { return eigen_euler<a0, a1, a2>(a[i]); });      \
  });
  TARN_EIGEN_EULER(XYZ, 0, 1, 2)
  TARN_EIGEN_EULER(XZY, 0, 2, 1)
  TARN_EIGEN_EULER(YZX, 1, 2, 0)
  TARN_EIGEN_EULER(YXZ, 1, 0, 2)
  TARN_EIGEN_EULER(ZXY, 2, 0, 1)
  TARN_EIGEN_EULER(ZYX, 2, 1, 0)
#undef TARN_EIGEN_EULER
#endif

#if TARN_BENCH_GLM
  register_peer("MxMatMult4x4_4x4.tput", "glm mat4", peer_product_tput<glm::mat4>);
  register_peer("MxMatMult4x4_4x4.chain", "glm mat4",
                [](benchmark::State& st) { peer_product_chain<glm::mat4>(st, glm::mat4(1.0f)); });
  register_peer("MxSparseMatMult4x4_4x4.tput", "glm mat4", peer_product_tput<glm::mat4>);
  register_peer("MxSparseMatMult4x4_4x4.chain", "glm mat4",
                [](benchmark::State& st) { peer_product_chain<glm::mat4>(st, glm::mat4(1.0f)); });
  register_peer("MxZeroMat.tput", "glm mat4", [](benchmark::State& st) {
    peer_builder_tput<glm::mat4>(st, [](int) { return glm::mat4(0.0f); });
  });
  register_peer("MxIdMat.tput", "glm mat4", [](benchmark::State& st) {
    peer_builder_tput<glm::mat4>(st, [](int) { return glm::mat4(1.0f); });
  });
  register_peer("MxTranslateMat.tput", "glm mat4", [](benchmark::State& st) {
    const auto& v = mats().vecs;
    peer_builder_tput<glm::mat4>(st, [&](int i) {
      return glm::translate(glm::mat4(1.0f), glm::vec3(v[i].x, v[i].y, v[i].z));
    });
  });
  register_peer("MxScaleMat.tput", "glm mat4", [](benchmark::State& st) {
    const auto& v = mats().vecs;
    peer_builder_tput<glm::mat4>(
        st, [&](int i) { return glm::scale(glm::mat4(1.0f), glm::vec3(v[i].x, v[i].y, v[i].z)); });
  });
#define TARN_GLM_EULER(order)                                                          \
  register_peer("MxConcatRotMat" #order ".tput", "glm", [](benchmark::State& st) {     \
    const auto& a = mats().angles;                                                     \
    peer_builder_tput<glm::mat4>(                                                      \
        st, [&](int i) { return glm::eulerAngle##order(a[i][0], a[i][1], a[i][2]); }); \
  });
  TARN_GLM_EULER(XYZ)
  TARN_GLM_EULER(XZY)
  TARN_GLM_EULER(YZX)
  TARN_GLM_EULER(YXZ)
  TARN_GLM_EULER(ZXY)
  TARN_GLM_EULER(ZYX)
#undef TARN_GLM_EULER
#endif
}

}  // namespace tarn::bench
