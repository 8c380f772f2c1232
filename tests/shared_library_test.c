/* The shared library as a host meets it, written in C99 against the public
 * header: every export resolves, the records have their layout and initial
 * bytes, the slots are null until a successful selection, and a word without
 * the FPU bit changes nothing. Usage: shared_library_test path/to/library */
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#if defined(_WIN32)
/* The few loader calls used here, on the Windows loader. */
#include <windows.h>
#define RTLD_NOW 0
#define RTLD_LOCAL 0
static void* dlopen(const char* path, int flags) {
  (void)flags;
  return (void*)LoadLibraryA(path);
}
static void* dlsym(void* lib, const char* name) {
  FARPROC address = GetProcAddress((HMODULE)lib, name);
  void* object;
  memcpy(&object, &address, sizeof object); /* ISO C has no cast between the two */
  return object;
}
static const char* dlerror(void) {
  return "LoadLibrary failed";
}
static int dlclose(void* lib) {
  return FreeLibrary((HMODULE)lib) ? 0 : 1;
}
#else
#include <dlfcn.h>
#endif

#include "TarnLib2DLL.h"
#include "dispatch/exports.h"

static int passed, failed;

static void check(int ok, const char* what, const char* name) {
  if (ok) {
    ++passed;
  } else {
    ++failed;
    printf("FAILED: %s %s\n", what, name ? name : "");
  }
}

#define NAME_OF(ordinal, name) #name,
#define SLOT_NAME_OF(ordinal, name, group) #name,
static const char* const kAllExports[] = {TARN_EXPORTS(NAME_OF, SLOT_NAME_OF, NAME_OF)};
static const char* const kSlotNames[] = {TARN_EXPORTS(TARN_IGNORE, SLOT_NAME_OF, TARN_IGNORE)};
static const char* const kRecordNames[] = {TARN_EXPORTS(TARN_IGNORE, TARN_IGNORE, NAME_OF)};
#undef NAME_OF
#undef SLOT_NAME_OF

enum {
  kExports = sizeof kAllExports / sizeof *kAllExports,
  kSlots = sizeof kSlotNames / sizeof *kSlotNames
};

static int slots_all_null(void* lib) {
  int i;
  for (i = 0; i < kSlots; ++i) {
    void** slot = (void**)dlsym(lib, kSlotNames[i]);
    if (slot == NULL || *slot != NULL) return 0;
  }
  return 1;
}

int main(int argc, char** argv) {
  void* lib;
  int i;
  const unsigned char* mat1;
  const unsigned char* vec1;
  if (argc != 2) {
    fprintf(stderr, "usage: %s library\n", argv[0]);
    return 2;
  }
  lib = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
  if (lib == NULL) {
    printf("FAILED: dlopen %s\n", dlerror());
    return 1;
  }

  check(kExports == 99, "export count", NULL);
  check(kSlots == 50, "slot count", NULL);
  for (i = 0; i < kExports; ++i)
    check(dlsym(lib, kAllExports[i]) != NULL, "resolves", kAllExports[i]);

  /* kRecordNames holds the 32 records: g_mat1..16 then g_vec1..16. */
  mat1 = (const unsigned char*)dlsym(lib, kRecordNames[0]);
  vec1 = (const unsigned char*)dlsym(lib, kRecordNames[16]);
  check(mat1 != NULL && ((uintptr_t)mat1 % 256) == 0, "256-byte alignment", "g_mat1");
  check(vec1 != NULL && ((uintptr_t)vec1 % 64) == 16, "16 past a 64-byte boundary", "g_vec1");
  for (i = 0; i < 16; ++i) {
    check(dlsym(lib, kRecordNames[i]) == mat1 + 64 * i, "contiguous", kRecordNames[i]);
    check(dlsym(lib, kRecordNames[16 + i]) == vec1 + 64 * i, "64 bytes apart",
          kRecordNames[16 + i]);
  }
  if (mat1 != NULL && vec1 != NULL) {
    int all_3f = 1;
    for (i = 0; i < 1024; ++i) all_3f &= mat1[i] == 0x3F && vec1[i - 16] == 0x3F;
    check(all_3f, "every byte 0x3F at load", "records");
  }

  check(slots_all_null(lib), "null at load", "slots");
  {
    int (*init)(MxCpuFlags);
    int32_t (*tables)(void);
    /* The POSIX idiom for a function address from dlsym. */
    *(void**)(&init) = dlsym(lib, "MxInitLibForCPU");
    *(void**)(&tables) = dlsym(lib, "MxInitTables");
    check(init(0) == 0 && init(MxCpuNoFPU | MxCpuMMX) == 0, "returns 0 without the FPU bit", NULL);
    check(slots_all_null(lib), "still null after a failed selection", "slots");
    check(init(MxCpuFPU) == 1, "selects with the FPU bit", NULL);
    check(tables() == 1, "builds the tables", NULL);
    {
      MxTSinOfDegFn sin_deg = *(MxTSinOfDegFn*)dlsym(lib, "MxTSinOfDeg");
      MxIdMatFn id = *(MxIdMatFn*)dlsym(lib, "MxIdMat");
      MxMat4x4 m;
      check(sin_deg != NULL && sin_deg(90.0f) == 1.0f, "table sine through the slot",
            "MxTSinOfDeg");
      id(&m);
      check(m.m[0] == 1.0f && m.m[1] == 0.0f && m.m[15] == 1.0f, "identity through the slot",
            "MxIdMat");
    }
  }
  dlclose(lib);
  printf("%d passed, %d failed\n", passed, failed);
  return failed == 0 ? 0 : 1;
}
