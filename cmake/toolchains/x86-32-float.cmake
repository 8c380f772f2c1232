# Shared by the 32-bit x86 toolchains. Compiled float arithmetic goes through
# SSE scalar instructions, so every operation is rounded once to single
# precision (the x87 stack would round to its own precision and range).
# Code that must run before SSE is known to exist (processor identification)
# is compiled back to the baseline by cmake/TarnTargetFlags.cmake.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")
