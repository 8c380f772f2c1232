# tarn_nm_symbols(<out-var> <line-regex> <nm arguments...>): the first
# capture group of every line of `${NM} <arguments>` that matches.
function(tarn_nm_symbols out pattern)
  execute_process(COMMAND ${NM} ${ARGN} OUTPUT_VARIABLE nm_out COMMAND_ERROR_IS_FATAL ANY)
  string(REGEX MATCHALL "[^\n]+" lines "${nm_out}")
  set(symbols)
  foreach(line IN LISTS lines)
    if(line MATCHES "${pattern}")
      list(APPEND symbols ${CMAKE_MATCH_1})
    endif()
  endforeach()
  set(${out} ${symbols} PARENT_SCOPE)
endfunction()
