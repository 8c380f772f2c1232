# The README shows examples/minimal_host.c as a newcomer's first program: its
# copy there must be the file, byte for byte, or the two drift apart.
#   cmake -DREADME=README.md -DHOST=examples/minimal_host.c -P check_readme_host.cmake
file(READ "${README}" readme)
file(READ "${HOST}" host)
string(FIND "${readme}" "## A minimal host" at)
if(at LESS 0)
  message(FATAL_ERROR "README has no 'A minimal host' section")
endif()
string(SUBSTRING "${readme}" ${at} -1 section)
string(FIND "${section}" "```c\n" open)
if(open LESS 0)
  message(FATAL_ERROR "README's minimal host has no C block")
endif()
math(EXPR open "${open} + 5")
string(SUBSTRING "${section}" ${open} -1 section)
string(FIND "${section}" "```\n" close)
string(SUBSTRING "${section}" 0 ${close} block)
if(NOT block STREQUAL host)
  file(WRITE "${CMAKE_CURRENT_BINARY_DIR}/readme-host.c" "${block}")
  message(FATAL_ERROR "README's minimal host differs from ${HOST} (README's copy written to "
    "${CMAKE_CURRENT_BINARY_DIR}/readme-host.c)")
endif()
message("README's minimal host is ${HOST}")
