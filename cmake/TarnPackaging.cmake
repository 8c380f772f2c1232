# Debian packages (cpack -G DEB in a build configured with
# CMAKE_INSTALL_PREFIX=/usr): the runtime package holds the shared library
# alone, the development package everything a host builds with. Their names
# follow the SONAME, so a new major version installs beside the old one.
set(CPACK_PACKAGE_NAME TarnLib2DLL)
set(CPACK_PACKAGE_VENDOR "TarnLib2DLL developers")
set(CPACK_PACKAGE_CONTACT "TarnLib2DLL developers <tarnlib2dll@invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL Runtime Development)
set(CPACK_COMPONENT_DEVELOPMENT_DEPENDS Runtime)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
# Stripped as a distribution ships them (the archive keeps its symbols).
set(CPACK_STRIP_FILES ON)
# Runtime: Depends from the library's own NEEDED entries (libc6), a shlibs
# file for the packages of hosts, and ldconfig run on install and removal.
set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libtarnlib2dll${PROJECT_VERSION_MAJOR})
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
# (CPack puts the summary first; these are the extended descriptions.)
set(CPACK_DEBIAN_RUNTIME_DESCRIPTION
  "The shared library libTarnLib2DLL.so.${PROJECT_VERSION_MAJOR}: processor identification with
per-CPU dispatch, 4x4 matrices, table and exact sine-cosine, scalar helpers,
3D vectors, dword fill and copy and an alpha-blending blit.")
# Development: the header, the link-time name, the static archive, the CMake
# package and the pkg-config file; the runtime package of the same version.
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME libtarnlib2dll-dev)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
# The header includes <stdint.h>; a static link needs libm.
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS "libc6-dev | libc-dev")
set(CPACK_DEBIAN_DEVELOPMENT_DESCRIPTION
  "Development files: the C header, the shared library's link-time name, the
static library, the CMake package (find_package(TarnLib2DLL)) and the
pkg-config file (TarnLib2DLL).")
include(CPack)
