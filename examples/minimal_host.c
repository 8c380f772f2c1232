/* A minimal host: identify the processor (or force a tier), build the sine
 * table, then call operations through their slots. */
#include <stdio.h>

#include "TarnLib2DLL.h"

int main(int argc, char** argv) {
  (void)argv;
  /* A host may force a lower tier with a word of its own, e.g. "x87" below. */
  const MxCpuFlags flags = (argc > 1) ? MxCpuFPU : MxIdentifyCPU();
  MxMat4x4 m;
  float s, c;

  if (!MxInitLibForCPU(flags)) return 1;
  MxInitTables();

  MxTSinCosOfDeg(&s, &c, 30.0f);
  MxDegRotZMat(&m, 90.0f);
  printf("sin 30 = %.8f, cos 30 = %.8f\n", s, c);
  printf("rotation about z by 90: row 0 = (%g, %g, %g)\n", m.m[0], m.m[1], m.m[2]);
  return 0;
}
