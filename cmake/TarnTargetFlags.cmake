# The library's instruction set on 32-bit x86. The toolchains compile tests
# and tools with -msse2 -mfpmath=sse (they run on the build machine), but the
# library must run on any processor it has a tier for, from the 486 on: it is
# compiled for that baseline with x87 float arithmetic (the options come after
# the toolchain's, and the last one wins). The SSE forms switch SSE on for
# themselves (src/isa/isa.h).
function(tarn_apply_baseline target)
  if(NOT (CMAKE_SYSTEM_PROCESSOR MATCHES "^(i[3-6]86|x86)$"))
    return()
  endif()
  target_compile_options(${target} PRIVATE
    -march=i486 -mtune=generic -mno-mmx -mno-sse -mno-sse2 -mfpmath=387)
endfunction()
