# Per-source instruction-set flags. The 32-bit x86 toolchains compile with
# -msse2 -mfpmath=sse so that float arithmetic rounds once; processor
# identification (its rules, the hardware layer and the fault guard its probes
# run under) must run on any x86 processor, SSE or not, before anything is
# known about it, so its sources go back to the compiler's baseline (the
# file's own options come after the toolchain's, and the last one wins).
function(tarn_apply_baseline_sources target)
  if(NOT (CMAKE_SYSTEM_PROCESSOR MATCHES "^(i[3-6]86|x86)$"))
    return()
  endif()
  get_target_property(sources ${target} SOURCES)
  foreach(source IN LISTS sources)
    if(source MATCHES "(^|/)(identify[^/]*|host_processor|fault_guard_[a-z]+)\\.cpp$")
      set_property(SOURCE ${source} TARGET_DIRECTORY ${target} APPEND PROPERTY
        COMPILE_OPTIONS -mno-sse -mno-sse2 -mfpmath=387)
    endif()
  endforeach()
endfunction()
