# 32-bit Windows with Debian's mingw-w64 cross compiler (g++-mingw-w64-i686),
# the -posix flavour (GoogleTest needs its threads). Tests run under Wine
# through tools/wine-run.sh, with a throwaway prefix in the build directory.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)

set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

include(${CMAKE_CURRENT_LIST_DIR}/x86-32-float.cmake)
# Hosts built by other compilers call in with the stack aligned to 4 bytes
# only; realign wherever the code needs more.
string(APPEND CMAKE_C_FLAGS_INIT " -mincoming-stack-boundary=2")
string(APPEND CMAKE_CXX_FLAGS_INIT " -mincoming-stack-boundary=2")
# Executables carry their C and C++ runtimes (and winpthread) inside, so they
# run under Wine or Windows with nothing but the system DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

get_filename_component(_tarn_source_dir ${CMAKE_CURRENT_LIST_DIR}/../.. ABSOLUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR
  ${_tarn_source_dir}/tools/wine-run.sh win32 ${CMAKE_BINARY_DIR}/wineprefix)
unset(_tarn_source_dir)
# Tests are listed when CTest runs, not while building, so a build never
# waits for the emulator.
set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)
