// The 32 exported scratch records. Their layout is part of the interface, so
// it is laid down in assembler rather than left to the compiler:
//   g_mat1..g_mat16  64 bytes each, contiguous, g_mat1 on a 256-byte boundary;
//   g_vec1..g_vec16  64 bytes apart in a 1 KiB block on a 64-byte boundary,
//                    each 16 bytes past the start of its 64-byte line.
// Every byte of both 1 KiB blocks is 0x3F, so every float reads 0.74705881.
#include "TarnLib2DLL.h"
#include "isa/platform.h"

#if defined(TARN_ELF)
#define TARN_OBJECT(sym, size) ".type " sym ", %object\n.size " sym ", " #size "\n"
#define TARN_DATA_BEGIN ".pushsection .data\n"
#define TARN_DATA_END ".popsection\n"
#else  // PE/COFF: no symbol types or sizes, no section stack
#define TARN_OBJECT(sym, size)
#define TARN_DATA_BEGIN ".data\n"
#define TARN_DATA_END ".text\n"
#endif

#if defined(TARN_WINDOWS_32)
#define TARN_SYM(name) "_" #name  // 32-bit Windows decorates C data names
#else
#define TARN_SYM(name) #name
#endif

#define TARN_MAT(name)                                          \
  ".globl " TARN_SYM(name) "\n" TARN_OBJECT(TARN_SYM(name), 64) \
      TARN_SYM(name) ":\n.fill 64, 1, 0x3F\n"

// Each vector line: 16 bytes before the record, the record, 32 bytes after.
#define TARN_VEC(name)                                                             \
  ".fill 16, 1, 0x3F\n.globl " TARN_SYM(name) "\n" TARN_OBJECT(TARN_SYM(name), 16) \
      TARN_SYM(name) ":\n.fill 48, 1, 0x3F\n"

#if defined(TARN_GNU_C)
// clang-format off
__asm__(
    TARN_DATA_BEGIN
    ".balign 256\n"
    TARN_MAT(g_mat1) TARN_MAT(g_mat2) TARN_MAT(g_mat3) TARN_MAT(g_mat4)
    TARN_MAT(g_mat5) TARN_MAT(g_mat6) TARN_MAT(g_mat7) TARN_MAT(g_mat8)
    TARN_MAT(g_mat9) TARN_MAT(g_mat10) TARN_MAT(g_mat11) TARN_MAT(g_mat12)
    TARN_MAT(g_mat13) TARN_MAT(g_mat14) TARN_MAT(g_mat15) TARN_MAT(g_mat16)
    ".balign 64\n"
    TARN_VEC(g_vec1) TARN_VEC(g_vec2) TARN_VEC(g_vec3) TARN_VEC(g_vec4)
    TARN_VEC(g_vec5) TARN_VEC(g_vec6) TARN_VEC(g_vec7) TARN_VEC(g_vec8)
    TARN_VEC(g_vec9) TARN_VEC(g_vec10) TARN_VEC(g_vec11) TARN_VEC(g_vec12)
    TARN_VEC(g_vec13) TARN_VEC(g_vec14) TARN_VEC(g_vec15) TARN_VEC(g_vec16)
    TARN_DATA_END);
// clang-format on
#else
#error "the scratch records need a compiler with GNU-style top-level assembler"
#endif
