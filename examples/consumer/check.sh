#!/usr/bin/env bash
# Installs the build tree into a scratch prefix and builds the C consumer
# against it twice: through the CMake package and through pkg-config.
# Usage: check.sh BUILD_DIR SCRATCH_DIR [shared|static]
#   shared: the shared library, found through an rpath.
#   static: the archive, linked with exactly what the package's static target
#           and `pkg-config --static` give (for the latter the prefix holds no
#           shared library, which the linker would otherwise prefer).
set -euo pipefail
build=$1
scratch=$2
kind=${3:-shared}
here=$(cd "$(dirname "$0")" && pwd)
rm -rf "$scratch"
prefix=$scratch/prefix

cmake --install "$build" --prefix "$prefix" >/dev/null
libdir=$(dirname "$(dirname "$(find "$prefix" -name TarnLib2DLL.pc)")")

# A program that must not load the shared library at run time.
no_shared_dependency() {
  if readelf -d "$1" | grep -q 'NEEDED.*TarnLib2DLL'; then
    echo "$1 needs the shared library" >&2
    exit 1
  fi
}

if [[ $kind == static ]]; then
  cmake -S "$here" -B "$scratch/cmake" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" \
    -DTARN_CONSUMER_STATIC=ON >/dev/null
  cmake --build "$scratch/cmake" >/dev/null
  no_shared_dependency "$scratch/cmake/consumer"
  "$scratch/cmake/consumer"

  rm -f "$libdir"/libTarnLib2DLL.so*
  export PKG_CONFIG_PATH=$libdir/pkgconfig
  # shellcheck disable=SC2046
  cc -std=c99 -o "$scratch/consumer-pc" "$here/consumer.c" \
    $(pkg-config --static --cflags --libs TarnLib2DLL)
  no_shared_dependency "$scratch/consumer-pc"
  "$scratch/consumer-pc"
else
  cmake -S "$here" -B "$scratch/cmake" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" \
    -DCMAKE_BUILD_RPATH="$libdir" >/dev/null
  cmake --build "$scratch/cmake" >/dev/null
  "$scratch/cmake/consumer"

  export PKG_CONFIG_PATH=$libdir/pkgconfig
  # shellcheck disable=SC2046
  cc -std=c99 -o "$scratch/consumer-pc" "$here/consumer.c" $(pkg-config --cflags --libs TarnLib2DLL) \
    -Wl,-rpath,"$(pkg-config --variable=libdir TarnLib2DLL)"
  "$scratch/consumer-pc"
fi
