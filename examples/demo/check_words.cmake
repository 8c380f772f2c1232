# tarn-demo and capability words: what it refuses, and which tier it names.
#   cmake -DDEMO=tarn-demo -DINFO=tarn-info -DSCRATCH=dir -P check_words.cmake
# A word that is no number is a usage error (2); a number without MxCpuFPU
# selects no tier (1) and must stop the demo before it renders anything. For
# good words the demo names the tier itself (a host cannot ask the library),
# so its names are compared with tarn-info's, which asks the selection code.
cmake_minimum_required(VERSION 3.25)

set(failures 0)
macro(fail text)
  message("FAIL: ${text}")
  math(EXPR failures "${failures} + 1")
endmacro()

function(run_demo)
  execute_process(COMMAND ${DEMO} ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out
    ERROR_VARIABLE err)
  set(rc "${rc}" PARENT_SCOPE)
  set(out "${out}" PARENT_SCOPE)
  set(err "${err}" PARENT_SCOPE)
endfunction()

set(small --frames 1 --size 16x16 --no-png)

# Not a number, trailing junk, a sign, blanks, beyond 32 bits, no value.
foreach(word "x87" "0x2junk" "2 " " 2" "-2" "+2" "" "0x" "0x100000000" "99999999999999999999")
  run_demo(--flags "${word}" ${small})
  if(NOT rc EQUAL 2 OR NOT err MATCHES "usage: tarn-demo")
    fail("--flags '${word}': exit ${rc}, expected the usage message and 2: ${err}")
  endif()
endforeach()
foreach(args "--flags" "--frames;0" "--frames;8x" "--size;16x16x" "--size;640"
    "--flags;2;--all-tiers")
  run_demo(${args})
  if(NOT rc EQUAL 2)
    fail("'${args}': exit ${rc}, expected 2")
  endif()
endforeach()

# Numbers whose FPU bit is clear, in any base and with every other bit set.
foreach(word 0 0x1 0x0 00 0xFFFFFFFD 0x80000000 0x24D 4294967293)
  run_demo(--flags ${word} ${small})
  if(NOT rc EQUAL 1 OR NOT err MATCHES "no tier: the word 0x[0-9A-F]+ lacks MxCpuFPU")
    fail("--flags ${word}: exit ${rc}, expected 'no tier' and 1: ${err}")
  endif()
  if(NOT out STREQUAL "")
    fail("--flags ${word}: went on after refusing the word: ${out}")
  endif()
endforeach()

# Every tier's smallest word, then words with bits that some rows ignore
# (each run identifies the processor, which takes a second: few words).
execute_process(COMMAND ${INFO} --all-tiers OUTPUT_VARIABLE table RESULT_VARIABLE rc)
string(REGEX MATCHALL "\n[^ \n]+ +0x[0-9A-F]+" rows "${table}")
list(LENGTH rows count)
if(NOT rc EQUAL 0 OR NOT count EQUAL 14)
  fail("tarn-info --all-tiers: exit ${rc}, ${count} tier rows")
endif()
set(words)
foreach(row IN LISTS rows)
  string(REGEX REPLACE ".* " "" base "${row}")
  list(APPEND words ${base})
endforeach()
# SSE with CPUID, Cyrix and no-FPU bits; SSE without MMXext; SSE beside 3DNow!;
# every bit below 0x400; CMOV with SSE but no MMX.
list(APPEND words 0x8000034F 0x4E 0x256 0x7F 0x3FF 0x4A)
foreach(word IN LISTS words)
  execute_process(COMMAND ${INFO} --flags ${word} OUTPUT_VARIABLE info)
  string(REGEX MATCH "\ntier +([^\n]+)" _ "${info}")
  set(expected "${CMAKE_MATCH_1}")
  run_demo(--flags ${word} ${small})
  string(REGEX MATCH "\ntier: ([^\n]+)" _ "${out}")
  if(NOT rc EQUAL 0 OR expected STREQUAL "" OR NOT CMAKE_MATCH_1 STREQUAL expected)
    fail("--flags ${word}: exit ${rc}, tier '${CMAKE_MATCH_1}', tarn-info says '${expected}'")
  endif()
endforeach()

# Pictures of a forced word are named by its tier, the blit variant beside it.
file(REMOVE_RECURSE "${SCRATCH}")
run_demo(--flags 0x13E --frames 1 --size 16x16 --out "${SCRATCH}/forced")
file(GLOB pictures RELATIVE "${SCRATCH}/forced" "${SCRATCH}/forced/*.png")
list(SORT pictures)
set(want "frame000-CMOV_3DNow__ext3DNow__CyrixEMMX-32.png")
list(APPEND want "frame000-CMOV_3DNow__ext3DNow__CyrixEMMX-565.png")
if(NOT rc EQUAL 0 OR NOT pictures STREQUAL want)
  fail("--flags 0x13E wrote '${pictures}' (exit ${rc}), expected '${want}'")
endif()

if(failures GREATER 0)
  message(FATAL_ERROR "${failures} failures")
endif()
message("tarn-demo: every word refused or named as the library selects it")
