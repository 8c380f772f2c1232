# The API reference, built by the target `docs` where Doxygen is installed
# (Debian: doxygen). An undocumented public name fails it. Left to the parent
# when the library is built inside another project.
if(NOT PROJECT_IS_TOP_LEVEL)
  return()
endif()
find_package(Doxygen QUIET)
if(NOT DOXYGEN_FOUND)
  message(STATUS "Doxygen not found: no docs target (the API reference)")
  return()
endif()
set(TARN_DOCS_DIR ${PROJECT_BINARY_DIR}/docs/api)
configure_file(${PROJECT_SOURCE_DIR}/docs/Doxyfile.in ${PROJECT_BINARY_DIR}/Doxyfile @ONLY)
add_custom_command(
  OUTPUT ${PROJECT_BINARY_DIR}/docs/api.stamp
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${TARN_DOCS_DIR}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${TARN_DOCS_DIR}
  COMMAND ${DOXYGEN_EXECUTABLE} ${PROJECT_BINARY_DIR}/Doxyfile
  COMMAND ${CMAKE_COMMAND} -E touch ${PROJECT_BINARY_DIR}/docs/api.stamp
  DEPENDS ${PROJECT_BINARY_DIR}/Doxyfile ${PROJECT_SOURCE_DIR}/docs/api-mainpage.md
    ${PROJECT_SOURCE_DIR}/include/TarnLib2DLL.h
    ${TARN_GENERATED_INCLUDE_DIR}/TarnLib2DLL_version.h
  COMMENT "API reference (Doxygen) in ${TARN_DOCS_DIR}/html"
  VERBATIM)
add_custom_target(docs DEPENDS ${PROJECT_BINARY_DIR}/docs/api.stamp)
