# Compares the shared library's dynamic symbol table with the export list.
# Usage: cmake -DLIBRARY=... -DEXPORTS_TOOL=... -DNM=... [-DEMULATOR=...] -P check_exports.cmake
# (EMULATOR: how a cross build runs its own programs, e.g. qemu-aarch64;-L;...)
include(${CMAKE_CURRENT_LIST_DIR}/nm_symbols.cmake)
tarn_nm_symbols(actual "([^ ]+)$" -D --defined-only ${LIBRARY})
execute_process(COMMAND ${EMULATOR} ${EXPORTS_TOOL} --names OUTPUT_VARIABLE expected_out
                COMMAND_ERROR_IS_FATAL ANY)
string(REGEX MATCHALL "[^\n]+" expected "${expected_out}")
list(SORT actual)
list(SORT expected)
if(NOT actual STREQUAL expected)
  set(extra ${actual})
  list(REMOVE_ITEM extra ${expected})
  set(missing ${expected})
  list(REMOVE_ITEM missing ${actual})
  message(FATAL_ERROR "exported symbols differ\n  unexpected: ${extra}\n  missing: ${missing}")
endif()
list(LENGTH actual count)
message(STATUS "exactly the ${count} listed names are exported")
