# GoogleTest for the test programs. A native build uses the installed
# package; a cross build has no GoogleTest for its target, so it compiles
# Debian's copy of the sources (package googletest, /usr/src/googletest)
# with the target's compiler.
find_package(GTest QUIET)
if(NOT TARGET GTest::gtest_main)
  find_path(TARN_GOOGLETEST_SOURCE_DIR CMakeLists.txt
    PATHS /usr/src/googletest NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
  if(NOT TARN_GOOGLETEST_SOURCE_DIR)
    message(FATAL_ERROR "GoogleTest not found: install libgtest-dev (native) or googletest (cross)")
  endif()
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(${TARN_GOOGLETEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  if(NOT TARGET GTest::gtest_main)  # older sources define no namespaced names
    add_library(GTest::gtest ALIAS gtest)
    add_library(GTest::gtest_main ALIAS gtest_main)
  endif()
endif()
