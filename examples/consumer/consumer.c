/* Out-of-tree host: selects the plain x87 tier and checks a table sine. */
#include <stdio.h>

#include "TarnLib2DLL.h"

int main(void) {
  if (!MxInitLibForCPU(MxCpuFPU) || MxInitTables() != 1) return 1;
  if (MxTSinOfDeg(90.0f) != 1.0f) return 1;
  printf("consumer: ok\n");
  return 0;
}
