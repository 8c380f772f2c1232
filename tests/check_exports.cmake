# Compares the shared library's dynamic symbol table with the export list.
# Usage: cmake -DLIBRARY=... -DEXPORTS_TOOL=... -DNM=... -P check_exports.cmake
execute_process(COMMAND ${NM} -D --defined-only ${LIBRARY} OUTPUT_VARIABLE nm_out
                COMMAND_ERROR_IS_FATAL ANY)
string(REGEX MATCHALL "[^\n]+" lines "${nm_out}")
set(actual)
foreach(line IN LISTS lines)
  string(REGEX REPLACE "^.* " "" name "${line}")
  list(APPEND actual ${name})
endforeach()
execute_process(COMMAND ${EXPORTS_TOOL} --names OUTPUT_VARIABLE expected_out
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
