#!/usr/bin/env bash
# Installs the build tree into a scratch prefix and builds the consumer
# against it twice: through the CMake package and through pkg-config.
# Usage: check.sh BUILD_DIR SCRATCH_DIR
set -euo pipefail
build=$1
scratch=$2
here=$(cd "$(dirname "$0")" && pwd)
rm -rf "$scratch"
prefix=$scratch/prefix

cmake --install "$build" --prefix "$prefix" >/dev/null

cmake -S "$here" -B "$scratch/cmake" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_BUILD_RPATH="$prefix/lib" >/dev/null
cmake --build "$scratch/cmake" >/dev/null
"$scratch/cmake/consumer"

libdir=$(dirname "$(find "$prefix" -name TarnLib2DLL.pc)")
export PKG_CONFIG_PATH=$libdir
# shellcheck disable=SC2046
cc -std=c99 -o "$scratch/consumer-pc" "$here/consumer.c" $(pkg-config --cflags --libs TarnLib2DLL) \
  -Wl,-rpath,"$(pkg-config --variable=libdir TarnLib2DLL)"
"$scratch/consumer-pc"
