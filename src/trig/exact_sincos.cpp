// The exact sine-cosine functions. The C library's long double sine and
// cosine reduce every finite angle exactly (not only below 2^63, as the x87
// sine-cosine instruction does) and evaluate it with a 64-bit significand;
// each result is then rounded once, to nearest, to its destination type.
//
// That long double arithmetic needs the x87 unit at extended precision, while
// the library's own set-up leaves the calling thread at single precision: the
// control word is set for the computation and restored afterwards.
#include <cfloat>
#include <cmath>
#include <cstdint>

#include "TarnLib2DLL.h"

static_assert(LDBL_MANT_DIG >= 64, "the exact sine-cosine needs at least a 64-bit significand");

namespace {

#if (defined(__i386__) || defined(__x86_64__)) && defined(__GNUC__)
// Extended precision, round to nearest, the caller's exception masks. The
// memory clobbers keep the computation and the stores inside the scope.
class ExtendedPrecisionScope {
 public:
  ExtendedPrecisionScope() {
    __asm__ volatile("fnstcw %0" : "=m"(saved_) : : "memory");
    const std::uint16_t working =
        static_cast<std::uint16_t>((saved_ & ~kRoundingControl) | kExtendedPrecision);
    __asm__ volatile("fldcw %0" : : "m"(working) : "memory");
  }
  ~ExtendedPrecisionScope() { __asm__ volatile("fldcw %0" : : "m"(saved_) : "memory"); }
  ExtendedPrecisionScope(const ExtendedPrecisionScope&) = delete;
  ExtendedPrecisionScope& operator=(const ExtendedPrecisionScope&) = delete;

 private:
  static constexpr std::uint16_t kExtendedPrecision = 0x0300;  // precision control 11
  static constexpr std::uint16_t kRoundingControl = 0x0C00;    // 00 = to nearest
  std::uint16_t saved_;
};
#else
// Without an x87 unit long double arithmetic has no precision setting.
struct ExtendedPrecisionScope {};
#endif

inline void sin_cos_extended(long double x, long double* s, long double* c) {
#if defined(__GLIBC__)
  sincosl(x, s, c);
#else
  *s = std::sin(x);
  *c = std::cos(x);
#endif
}

template <typename Result, typename Angle>
void sin_cos_exact(Result* sine, Result* cosine, Angle angle) {
  if (!std::isfinite(angle)) {
    // NaN for NaN and infinite angles, without touching errno.
    const Result nan = static_cast<Result>(angle - angle);
    *cosine = nan;
    *sine = nan;
    return;
  }
  [[maybe_unused]] ExtendedPrecisionScope scope;
  long double s, c;
  sin_cos_extended(angle, &s, &c);
  // The cosine first: when both pointers name one variable it keeps the sine.
  *cosine = static_cast<Result>(c);
  *sine = static_cast<Result>(s);
}

}  // namespace

extern "C" {
MX_API void MX_CALL MxSinCosFFF(float* sine, float* cosine, float angle) {
  sin_cos_exact(sine, cosine, angle);
}
MX_API void MX_CALL MxSinCosDDD(double* sine, double* cosine, double angle) {
  sin_cos_exact(sine, cosine, angle);
}
MX_API void MX_CALL MxSinCosDDF(double* sine, double* cosine, float angle) {
  sin_cos_exact(sine, cosine, angle);
}
MX_API void MX_CALL MxSinCosFFD(float* sine, float* cosine, double angle) {
  sin_cos_exact(sine, cosine, angle);
}
}
