# Shared by the 32-bit x86 toolchains. Tests and tools run on the build
# machine and compile their float arithmetic to SSE scalar instructions, so
# their reference values are rounded once to single precision. The library
# itself is compiled for the 486 baseline by cmake/TarnTargetFlags.cmake.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")
