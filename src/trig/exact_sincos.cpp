// Placeholder until the exact sine-cosine family lands: long double sine and
// cosine, cosine stored first.
#include <cmath>

#include "TarnLib2DLL.h"

namespace {
template <typename S, typename A>
void sincos_exact(S* sine, S* cosine, A angle) {
  const long double x = angle;
  *cosine = static_cast<S>(std::cos(x));
  *sine = static_cast<S>(std::sin(x));
}
}  // namespace

extern "C" {
MX_API void MX_CALL MxSinCosFFF(float* s, float* c, float a) {
  sincos_exact(s, c, a);
}
MX_API void MX_CALL MxSinCosDDD(double* s, double* c, double a) {
  sincos_exact(s, c, a);
}
MX_API void MX_CALL MxSinCosDDF(double* s, double* c, float a) {
  sincos_exact(s, c, a);
}
MX_API void MX_CALL MxSinCosFFD(float* s, float* c, double a) {
  sincos_exact(s, c, a);
}
}
