/* A minimal host: identify the processor (or force a tier), build the sine
 * table, then call operations through their slots. */
#include <stdio.h>

#include "TarnLib2DLL.h"

int main(int argc, char** argv) {
  MxMat4x4 m;
  float s, c;
  /* Identification also sets the thread's floating-point state. Any argument
     forces a word of our own instead, here MxCpuFPU: the plain x87 tier. */
  MxCpuFlags flags = MxIdentifyCPU();
  if (argc > 1) flags = MxCpuFPU;
  (void)argv;

  if (!MxInitLibForCPU(flags)) return 1; /* the word lacks MxCpuFPU */
  MxInitTables();                        /* before any table lookup or rotation */

  MxTSinCosOfDeg(&s, &c, 30.0f); /* every operation is a call through a slot */
  printf("sin 30 = %.8f, cos 30 = %.8f\n", s, c);

  /* With row vectors, (1, 0, 0) turns to row 0: toward -y. Its -0 is the
     cosine of a quarter turn, the negated table entry for 0. */
  MxDegRotZMat(&m, 90.0f);
  printf("rotation about z by 90: row 0 = (%g, %g, %g)\n", m.m[0], m.m[1], m.m[2]);
  return 0;
}
