# 32-bit x86 Linux with Debian's i686 cross compiler (g++-i686-linux-gnu).
# Its binaries run directly on an x86-64 kernel that executes 32-bit code;
# where the kernel cannot (some virtual machines), tests run under qemu-user.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(CMAKE_C_COMPILER i686-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER i686-linux-gnu-g++)

set(CMAKE_FIND_ROOT_PATH /usr/i686-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

execute_process(COMMAND /usr/i686-linux-gnu/lib/ld-linux.so.2 --version
  RESULT_VARIABLE _tarn_native_rc OUTPUT_QUIET ERROR_QUIET)
if(NOT _tarn_native_rc EQUAL 0)
  set(CMAKE_CROSSCOMPILING_EMULATOR qemu-i386 -L /usr/i686-linux-gnu)
endif()
unset(_tarn_native_rc)
set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)

# Single-precision arithmetic rounds once only in SSE registers; on the x87
# stack it would keep extended precision between operations.
include(${CMAKE_CURRENT_LIST_DIR}/x86-32-float.cmake)
