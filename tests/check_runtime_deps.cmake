# The libraries need the C library and libm only: the shared library names no
# other dependency, and the archive leaves no C++ runtime symbol (mangled
# names, __cxa_*, _Unwind_*, the personality routine) for the host to supply.
# Usage: cmake -DSHARED=... -DSTATIC=... -DREADELF=... -DNM=... -P check_runtime_deps.cmake
execute_process(COMMAND ${READELF} -d ${SHARED} OUTPUT_VARIABLE dynamic
                COMMAND_ERROR_IS_FATAL ANY)
string(REGEX MATCHALL "\\(NEEDED\\)[^\n]*\\[[^]\n]+\\]" needed_lines "${dynamic}")
set(needed)
foreach(line IN LISTS needed_lines)
  string(REGEX REPLACE ".*\\[(.*)\\]" "\\1" lib "${line}")
  list(APPEND needed ${lib})
endforeach()
set(unexpected ${needed})
list(FILTER unexpected EXCLUDE REGEX "^(libc|libm)\\.so\\.[0-9]+$")
if(unexpected OR NOT needed)
  message(FATAL_ERROR "shared library needs: ${needed}\n  beyond libc and libm: ${unexpected}")
endif()

# Undefined across the whole archive: referenced by one member, defined by none.
include(${CMAKE_CURRENT_LIST_DIR}/nm_symbols.cmake)
tarn_nm_symbols(external "^ +U (.+)$" -u ${STATIC})
tarn_nm_symbols(defined "^[0-9a-fA-F]+ [A-Za-z] (.+)$" --defined-only ${STATIC})
list(REMOVE_DUPLICATES external)
if(defined)
  list(REMOVE_ITEM external ${defined})
endif()
set(runtime ${external})
list(FILTER runtime INCLUDE REGEX "^(_Z|__cxa_|__gxx_|_Unwind_)")
if(runtime)
  message(FATAL_ERROR "the archive needs C++ runtime symbols: ${runtime}")
endif()
message(STATUS "shared library needs ${needed}; the archive needs no C++ runtime "
  "(external symbols: ${external})")
