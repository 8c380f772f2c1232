// Placeholder until the cycle timer lands: every measurement ends with the
// sentinel.
#include "TarnLib2DLL.h"

extern "C" {
MX_API void MX_CALL MxStartTickCount(void) {}
MX_API void MX_CALL MxEndTickCount(uint64_t* ticks) {
  *ticks = 0x8FFFFFFFFFFFFFFFull;
}
}
