# Checks the built TarnLib2DLL.dll from the outside, with objdump, without
# running it:
#   - the export table holds exactly the library's 99 names, each with its own
#     ordinal, ordinals 1..99;
#   - the scratch records sit where hosts expect them (g_mat1 on a 256-byte
#     boundary, 64 bytes apart; g_vecN 64 bytes apart, 16 past a 64-byte line);
#   - the DLL imports nothing but system DLLs (its C and C++ runtimes are
#     linked in).
# cmake -DDLL=path/TarnLib2DLL.dll -DOBJDUMP=i686-w64-mingw32-objdump
#       -DSOURCE_DIR=<project> -P check_dll.cmake
set(PROJECT_SOURCE_DIR ${SOURCE_DIR})
include(${SOURCE_DIR}/cmake/TarnExports.cmake)
tarn_read_exports(names ordinals kinds)

execute_process(COMMAND ${OBJDUMP} -p ${DLL} OUTPUT_VARIABLE dump RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -p ${DLL} failed")
endif()

set(failures 0)
macro(fail text)
  message(SEND_ERROR "${text}")
  math(EXPR failures "${failures} + 1")
endmacro()

string(REGEX MATCH "Ordinal Base[ \t]+([0-9]+)" _ "${dump}")
set(base ${CMAKE_MATCH_1})
if(NOT base EQUAL 1)
  fail("ordinal base is '${base}', not 1")
endif()

# "[Ordinal/Name Pointer] Table" lines: "[  39] Mx3DVecAccMagnitude", the
# number being the ordinal less the base.
string(REGEX MATCH "\\[Ordinal/Name Pointer\\] Table[^\n]*\n(([ \t]+\\[ *[0-9]+\\] [A-Za-z0-9_@]+\n)*)"
       _ "${dump}")
string(REGEX MATCHALL "\\[ *[0-9]+\\] [A-Za-z0-9_@]+" named "${CMAKE_MATCH_1}")
list(LENGTH named named_count)
if(NOT named_count EQUAL 99)
  fail("the DLL exports ${named_count} names, not 99")
endif()
foreach(entry IN LISTS named)
  string(REGEX MATCH "\\[ *([0-9]+)\\] (.*)" _ "${entry}")
  math(EXPR ordinal "${CMAKE_MATCH_1} + ${base}")
  set(name ${CMAKE_MATCH_2})
  list(FIND names ${name} index)
  if(index LESS 0)
    fail("unexpected export '${name}'")
  else()
    list(GET ordinals ${index} want)
    if(NOT ordinal EQUAL want)
      fail("${name} has ordinal ${ordinal}, expected ${want}")
    endif()
  endif()
endforeach()

# "[  67] +base[  68] 2f100 Export RVA": the address of each ordinal.
string(REGEX MATCHALL "\\+base\\[ *[0-9]+\\] [0-9a-f]+ Export RVA" addresses "${dump}")
list(LENGTH addresses address_count)
if(NOT address_count EQUAL 99)
  fail("the export address table has ${address_count} entries, not 99")
endif()
foreach(entry IN LISTS addresses)
  string(REGEX MATCH "\\+base\\[ *([0-9]+)\\] ([0-9a-f]+)" _ "${entry}")
  math(EXPR rva_${CMAKE_MATCH_1} "0x${CMAKE_MATCH_2}")
endforeach()
foreach(i RANGE 0 15)
  math(EXPR mat_ordinal "68 + ${i}")
  math(EXPR vec_ordinal "84 + ${i}")
  math(EXPR mat_offset "${rva_${mat_ordinal}} - ${rva_68}")
  math(EXPR vec_offset "${rva_${vec_ordinal}} - ${rva_84}")
  math(EXPR want_offset "${i} * 64")
  if(NOT mat_offset EQUAL want_offset OR NOT vec_offset EQUAL want_offset)
    fail("record ${i}: g_mat at +${mat_offset}, g_vec at +${vec_offset}, expected +${i}*64")
  endif()
endforeach()
math(EXPR mat_align "${rva_68} % 256")
math(EXPR vec_align "${rva_84} % 64")
if(NOT mat_align EQUAL 0 OR NOT vec_align EQUAL 16)
  fail("g_mat1 is ${mat_align} past a 256-byte boundary, g_vec1 ${vec_align} past a 64-byte line")
endif()

string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${dump}")
foreach(entry IN LISTS imports)
  string(REGEX REPLACE "DLL Name: " "" dll "${entry}")
  string(TOLOWER "${dll}" dll)
  if(NOT dll MATCHES "^(kernel32|msvcrt|winmm|ntdll|advapi32|user32)\\.dll$")
    fail("the DLL imports ${dll}, which is not a system DLL")
  endif()
endforeach()

if(failures GREATER 0)
  message(FATAL_ERROR "check_dll: ${failures} failed")
endif()
message(STATUS "check_dll: 99 exports with their ordinals, record layout and imports as expected")
