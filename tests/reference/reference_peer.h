// LLVM libc's correctly rounded sincosf and sincos under names of their own
// (target tarn_reference_peer, defined only where the archive is installed:
// TARN_HAVE_REFERENCE_PEER). An independent reference: correctly rounded to
// nearest, whatever method it uses.
#pragma once

extern "C" {
void tarn_reference_sincosf(float x, float* sine, float* cosine);
void tarn_reference_sincos(double x, double* sine, double* cosine);
}
