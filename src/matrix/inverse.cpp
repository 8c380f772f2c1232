// Inversion: the orthonormal inverse transposes the 3x3 block in place, moving
// each value as its bit pattern (a NaN, signalling or not, moves unchanged);
// the general inverse is not provided.
#include <cstdint>
#include <cstring>

#include "matrix/matrix.h"

namespace tarn::matrix {
namespace {

void swap_words(MxMat4x4* m, int i, int j) {
  std::uint32_t wi, wj;
  std::memcpy(&wi, &m->m[i], 4);
  std::memcpy(&wj, &m->m[j], 4);
  std::memcpy(&m->m[i], &wj, 4);
  std::memcpy(&m->m[j], &wi, 4);
}

}  // namespace

namespace x87 {
void InvOrthMat4x4(MxMat4x4* m) {
  swap_words(m, 1, 4);
  swap_words(m, 2, 8);
  swap_words(m, 6, 9);
}
}  // namespace x87

namespace noop {
void InvMat4x4(MxMat4x4*) {}
}  // namespace noop

}  // namespace tarn::matrix
