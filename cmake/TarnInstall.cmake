# Installation: the libraries, the header, a CMake package and a pkg-config
# file. Two components: Runtime (the shared library a host loads) and
# Development (everything a host builds with), one Debian package each.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(tarn_install_targets TarnLib2DLL)
if(TARN_INSTALL_STATIC)
  list(APPEND tarn_install_targets TarnLib2DLL-static)
endif()

install(TARGETS ${tarn_install_targets} EXPORT TarnLib2DLLTargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT Runtime
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Runtime
    NAMELINK_COMPONENT Development
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Development
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES ${PROJECT_SOURCE_DIR}/include/TarnLib2DLL.h
  ${TARN_GENERATED_INCLUDE_DIR}/TarnLib2DLL_version.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
  COMPONENT Development)

set(tarn_cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/TarnLib2DLL)
install(EXPORT TarnLib2DLLTargets NAMESPACE TarnLib2DLL:: DESTINATION ${tarn_cmake_dir}
  COMPONENT Development)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/TarnLib2DLLConfig.cmake.in
  ${PROJECT_BINARY_DIR}/TarnLib2DLLConfig.cmake INSTALL_DESTINATION ${tarn_cmake_dir})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/TarnLib2DLLConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/TarnLib2DLLConfig.cmake
  ${PROJECT_BINARY_DIR}/TarnLib2DLLConfigVersion.cmake DESTINATION ${tarn_cmake_dir}
  COMPONENT Development)

# What a static link adds beyond the archive (pkg-config --static), the same
# as the static target's INTERFACE_LINK_LIBRARIES.
if(WIN32)
  set(TARN_PC_LIBS_PRIVATE "-lwinmm")
elseif(UNIX)
  set(TARN_PC_LIBS_PRIVATE "-lm")
endif()
# The .pc file finds its prefix from its own place, so the package stays
# relocatable (cmake --install --prefix anywhere).
file(RELATIVE_PATH TARN_PC_TO_PREFIX /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
configure_file(${PROJECT_SOURCE_DIR}/cmake/TarnLib2DLL.pc.in
  ${PROJECT_BINARY_DIR}/TarnLib2DLL.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/TarnLib2DLL.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT Development)

# Packaging belongs to the outermost project.
if(PROJECT_IS_TOP_LEVEL)
  include(${PROJECT_SOURCE_DIR}/cmake/TarnPackaging.cmake)
endif()
