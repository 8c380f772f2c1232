/* Prints the version the public header gives a C99 host. */
#include <stdio.h>

#include "TarnLib2DLL.h"

int main(void) {
  printf("%d.%d.%d\n", TARNLIB2DLL_VERSION_MAJOR, TARNLIB2DLL_VERSION_MINOR,
         TARNLIB2DLL_VERSION_PATCH);
  return 0;
}
