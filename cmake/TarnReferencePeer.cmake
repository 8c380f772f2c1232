# LLVM's C library (Debian's libllvmlibc-19-dev) holds correctly rounded
# sincosf and sincos: the benchmarks' peer for the exact sine-cosine, and an
# independent reference for the sweeps. Optional: without the archive (or on
# other targets) the target tarn_reference_peer does not exist and its rows
# and checks drop out.
#
# Its two objects are taken out of the archive at build time. They need two
# hidden symbols of that library's own (its errno), which a stub supplies, and
# their public names are renamed so that they do not clash with glibc's.
set(TARN_LLVM_LIBC_ARCHIVE "/usr/lib/llvm-19/lib/libllvmlibc.a" CACHE FILEPATH
  "LLVM libc static archive holding the reference sincosf and sincos")

if(CMAKE_CROSSCOMPILING OR NOT CMAKE_SYSTEM_NAME STREQUAL "Linux"
   OR NOT CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64" OR NOT EXISTS "${TARN_LLVM_LIBC_ARCHIVE}"
   OR NOT CMAKE_AR OR NOT CMAKE_OBJCOPY)
  message(STATUS "Reference sincosf/sincos (LLVM libc): not found, its rows and checks are skipped")
  return()
endif()

set(_peer_dir "${CMAKE_BINARY_DIR}/reference-peer")
set(_peer_objects "${_peer_dir}/sincosf.o" "${_peer_dir}/sincos.o")
add_custom_command(
  OUTPUT ${_peer_objects}
  COMMAND ${CMAKE_COMMAND} -E make_directory "${_peer_dir}/x"
  COMMAND ${CMAKE_COMMAND} -E chdir "${_peer_dir}/x"
    ${CMAKE_AR} x "${TARN_LLVM_LIBC_ARCHIVE}" sincosf.cpp.o sincos.cpp.o
  COMMAND ${CMAKE_OBJCOPY} --redefine-sym sincosf=tarn_reference_sincosf
    "${_peer_dir}/x/sincosf.cpp.o" "${_peer_dir}/sincosf.o"
  COMMAND ${CMAKE_OBJCOPY} --redefine-sym sincos=tarn_reference_sincos
    "${_peer_dir}/x/sincos.cpp.o" "${_peer_dir}/sincos.o"
  DEPENDS "${TARN_LLVM_LIBC_ARCHIVE}"
  COMMENT "Taking sincosf and sincos out of LLVM libc"
  VERBATIM)
set_source_files_properties(${_peer_objects} PROPERTIES EXTERNAL_OBJECT TRUE GENERATED TRUE)

add_library(tarn_reference_peer STATIC
  ${PROJECT_SOURCE_DIR}/tests/reference/reference_peer_stub.cpp ${_peer_objects})
target_include_directories(tarn_reference_peer PUBLIC ${PROJECT_SOURCE_DIR}/tests/reference)
target_compile_definitions(tarn_reference_peer INTERFACE TARN_HAVE_REFERENCE_PEER=1)
set(TARN_REFERENCE_PEER_VERSION "LLVM libc 19")
message(STATUS "Reference sincosf/sincos: ${TARN_REFERENCE_PEER_VERSION} (${TARN_LLVM_LIBC_ARCHIVE})")
