// Prints the library's export list, derived from the one list in
// src/dispatch/exports.h:
//   tarn-exports --names    one exported name per line (for symbol checks)
//   tarn-exports --def      a Windows module-definition file with ordinals
#include <cstdio>
#include <cstring>

#include "dispatch/exports.h"

namespace {

struct Export {
  int ordinal;
  const char* name;
  bool data;
};

constexpr Export kExports[] = {
#define TARN_FUNCTION(ordinal, name) {ordinal, #name, false},
#define TARN_SLOT(ordinal, name, group) {ordinal, #name, true},
#define TARN_RECORD(ordinal, name) {ordinal, #name, true},
    TARN_EXPORTS(TARN_FUNCTION, TARN_SLOT, TARN_RECORD)
#undef TARN_FUNCTION
#undef TARN_SLOT
#undef TARN_RECORD
};

}  // namespace

int main(int argc, char** argv) {
  const bool def = argc == 2 && std::strcmp(argv[1], "--def") == 0;
  const bool names = argc == 2 && std::strcmp(argv[1], "--names") == 0;
  if (!def && !names) {
    std::fprintf(stderr, "usage: tarn-exports --names | --def\n");
    return 2;
  }
  if (def) std::printf("LIBRARY TarnLib2DLL.dll\nEXPORTS\n");
  for (const Export& e : kExports) {
    if (names) {
      std::printf("%s\n", e.name);
    } else {
      std::printf("  %s @%d%s\n", e.name, e.ordinal, e.data ? " DATA" : "");
    }
  }
  return 0;
}
