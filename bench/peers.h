// Test data shared by the matrix and vector benchmarks, and the peers'
// headers (each optional).
#pragma once

#include <cmath>
#include <cstring>
#include <vector>

#include "TarnLib2DLL.h"
#include "library.h"

#if TARN_BENCH_EIGEN
#include <Eigen/Core>
#include <Eigen/Geometry>
#endif

#if TARN_BENCH_GLM
// glm as its users build it for speed: inline everywhere. Left to the
// compiler, a large file gets out-of-line vector products whose halves pass
// through the stack, fifty times slower than the inline code.
#define GLM_FORCE_INLINE
#define GLM_ENABLE_EXPERIMENTAL
#include <glm/glm.hpp>
#include <glm/gtc/matrix_transform.hpp>
#include <glm/gtx/euler_angles.hpp>
#endif

namespace tarn::bench {

// A rigid motion: rotation by three random angles, then a translation in
// [-1, 1]^3; column 3 is (0, 0, 0, 1). Products of these stay bounded.
inline MxMat4x4 random_affine(Random& rng) {
  const float pi = 3.14159265f;
  float ax = rng.uniform(-pi, pi), ay = rng.uniform(-pi, pi), az = rng.uniform(-pi, pi);
  float sx = std::sin(ax), cx = std::cos(ax), sy = std::sin(ay), cy = std::cos(ay);
  float sz = std::sin(az), cz = std::cos(az);
  MxMat4x4 m = {{cy * cz, cy * sz, -sy, 0.0f,                                    //
                 sx * sy * cz - cx * sz, sx * sy * sz + cx * cz, sx * cy, 0.0f,  //
                 cx * sy * cz + sx * sz, cx * sy * sz - sx * cz, cx * cy, 0.0f,  //
                 rng.uniform(-1, 1), rng.uniform(-1, 1), rng.uniform(-1, 1), 1.0f}};
  return m;
}

inline Mx3DVec random_vec(Random& rng) {
  return {rng.uniform(-10, 10), rng.uniform(-10, 10), rng.uniform(-10, 10), 0.0f};
}

// Copies the sixteen floats into a peer's 4x4 type. Read as column-major, a
// row-major matrix for row vectors is the column-major matrix for column
// vectors: the same transform in each library's own convention.
template <class T>
T convert_matrix(const MxMat4x4& m) {
  T t;
  static_assert(sizeof(T) >= sizeof(m));
  std::memcpy(static_cast<void*>(&t), &m, sizeof(m));
  return t;
}

}  // namespace tarn::bench
