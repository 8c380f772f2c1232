// CMOV forms: selections without branches. The integer results equal the x87
// forms'; the float ones differ for +0.0 against -0.0, where these give b.
#include "scalar/scalar.h"

namespace tarn::scalar::cmov {

std::int32_t IMin(std::int32_t a, std::int32_t b) {
  return a > b ? b : a;
}
std::int32_t IMax(std::int32_t a, std::int32_t b) {
  return a < b ? b : a;
}

// b >= a fails for an unordered pair, so FMin then takes b and FMax a.
float FMin(float a, float b) {
  return b > a ? a : b;
}
float FMax(float a, float b) {
  return b >= a ? b : a;
}

}  // namespace tarn::scalar::cmov
