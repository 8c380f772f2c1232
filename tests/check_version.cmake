# One version everywhere: the header's macros (as a host compiled against it
# prints them), the pkg-config file, the CMake package version file and, on
# ELF systems, the shared library's SONAME.
# Usage: cmake -DPRINTER=... -DPC_FILE=... -DVERSION_FILE=... [-DSHARED=... -DREADELF=...]
#        [-DEMULATOR=...] -P check_version.cmake
execute_process(COMMAND ${EMULATOR} ${PRINTER} OUTPUT_VARIABLE header_version
                OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)

file(STRINGS ${PC_FILE} pc_line REGEX "^Version:")
string(REGEX REPLACE "^Version: *" "" pc_version "${pc_line}")

# The version file answers a find_package request; ask for 0 to read it.
set(PACKAGE_FIND_VERSION 0)
set(PACKAGE_FIND_VERSION_MAJOR 0)
include(${VERSION_FILE})
set(package_version ${PACKAGE_VERSION})

if(NOT header_version MATCHES "^[0-9]+\\.[0-9]+\\.[0-9]+$"
   OR NOT header_version STREQUAL pc_version OR NOT header_version STREQUAL package_version)
  message(FATAL_ERROR "versions differ: header '${header_version}', pkg-config '${pc_version}', "
    "CMake package '${package_version}'")
endif()

if(SHARED)
  execute_process(COMMAND ${READELF} -d ${SHARED} OUTPUT_VARIABLE dynamic
                  COMMAND_ERROR_IS_FATAL ANY)
  string(REGEX MATCH "\\(SONAME\\)[^\n]*\\[([^]\n]+)\\]" _ "${dynamic}")
  set(soname "${CMAKE_MATCH_1}")
  string(REGEX MATCH "^[0-9]+" major "${header_version}")
  if(NOT soname STREQUAL "libTarnLib2DLL.so.${major}")
    message(FATAL_ERROR "SONAME '${soname}' does not carry major version ${major}")
  endif()
endif()
message(STATUS "version ${header_version} in the header, the .pc file and the CMake package")
