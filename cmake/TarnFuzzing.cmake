# Instrumentation for the libFuzzer build (Clang): every object gets
# AddressSanitizer, UndefinedBehaviorSanitizer and fuzzer coverage. The
# shared TarnLib2DLL (linked with --no-undefined) takes the sanitizer runtime
# as a shared library; the fuzz targets link it statically, as libFuzzer wants.
if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  message(FATAL_ERROR "TARN_BUILD_FUZZERS needs Clang (the fuzz preset selects clang-14)")
endif()
set(tarn_fuzz_sanitizers -fsanitize=address,undefined -fno-sanitize-recover=all)
add_compile_options(${tarn_fuzz_sanitizers} -fsanitize=fuzzer-no-link -fno-omit-frame-pointer)
add_link_options(${tarn_fuzz_sanitizers})
string(APPEND CMAKE_SHARED_LINKER_FLAGS " -shared-libsan")
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-runtime-dir
  OUTPUT_VARIABLE tarn_sanitizer_runtime_dir OUTPUT_STRIP_TRAILING_WHITESPACE)
list(APPEND CMAKE_BUILD_RPATH ${tarn_sanitizer_runtime_dir})
