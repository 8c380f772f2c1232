// Placeholder until processor identification lands: reports the x86-64
// baseline (CPUID, FPU, MMX, CMOV, SSE, MMX extensions) or a bare FPU.
#include "TarnLib2DLL.h"

extern "C" {

MX_API MxCpuFlags MX_CALL MxIdentifyCPU(void) {
#if defined(__x86_64__)
  return MxCpuCPUID | MxCpuFPU | MxCpuMMX | MxCpuCMOV | MxCpuSSE | MxCpuMMXExt;
#else
  return MxCpuFPU;
#endif
}

MX_API const char* MX_CALL MxGetCPUVendor(void) {
  return "";
}

MX_API uint32_t MX_CALL MxGetCPUSpeed(void) {
  return 0;
}
}
