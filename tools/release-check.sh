#!/usr/bin/env bash
# What a release ships, checked as a user meets it:
#  - the API reference builds from the public header with Doxygen, and no
#    public name is undocumented (a warning fails it);
#  - the Debian packages build with cpack, install with apt-get into a
#    throwaway Debian 12 root, and there a C host builds and runs with nothing
#    but `cc host.c $(pkg-config --cflags --libs TarnLib2DLL)`; removing them
#    leaves nothing behind. The machine itself gets no package of ours.
#
#   tools/release-check.sh [BUILD_DIR]        (default: build-release)
#
# Needs root (chroot) and a Debian 12 root archive: FRESH_CACHE, default
# /var/tmp/fresh-bookworm.tar, as ../shared/tools/fresh-machine-check leaves it.
# Exit status: 0 passed; 1 a step failed; 2 the check could not run (not
# root, no root archive, the package archive unreachable).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-release}
cache=${FRESH_CACHE:-/var/tmp/fresh-bookworm.tar}

skip() { echo "release-check: warning: $*; not checked" >&2; exit 2; }
fail() { echo "release-check: FAILED: $*" >&2; exit 1; }

# Built as a distribution builds it: installed under /usr.
bash tools/install-deps.sh dpkg-dev doxygen
rm -rf "$build"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr \
  -DTARN_WARNINGS_AS_ERRORS=ON -DTARN_BUILD_TESTS=OFF -DTARN_BUILD_TOOLS=OFF \
  -DTARN_BUILD_BENCHMARKS=OFF >/dev/null

echo "== API reference"
cmake --build "$build" --target docs || fail "the API reference (undocumented names above)"
echo "  $build/docs/api/html/index.html"

cmake --build "$build" >/dev/null
(cd "$build" && cpack -G DEB >/dev/null 2>&1) || fail "cpack -G DEB"
mapfile -t debs < <(find "$build" -maxdepth 1 -name '*.deb' | sort)
((${#debs[@]} == 2)) || fail "expected a runtime and a development package, got: ${debs[*]}"
names=()
for deb in "${debs[@]}"; do
  names+=("$(dpkg-deb -f "$deb" Package)")
  echo "== $(basename "$deb")"
  dpkg-deb -f "$deb" Package Version Section Depends
  dpkg-deb -c "$deb" | awk '$6 !~ /\/$/ {print "  " $6, $7, $8}'
done

[[ $(id -u) == 0 ]] || skip "needs root for the throwaway root"
[[ -s $cache ]] || skip "no Debian 12 root at $cache (../shared/tools/fresh-machine-check makes it)"

root=$(mktemp -d /var/tmp/release-check.XXXXXX)
cleanup() {
  for m in dev/pts dev proc; do mountpoint -q "$root/$m" && umount -l "$root/$m"; done
  rm -rf "$root"
}
trap cleanup EXIT
chmod 755 "$root"
tar -C "$root" -xf "$cache"
mount -t proc proc "$root/proc"
mount --bind /dev "$root/dev"
mount --bind /dev/pts "$root/dev/pts"
cp /etc/resolv.conf "$root/etc/" 2>/dev/null || true
mkdir -p "$root/tmp/release-check"
cp "${debs[@]}" examples/consumer/consumer.c "$root/tmp/release-check/"
# apt reads local packages as its own unprivileged user.
chmod -R a+rX "$root/tmp/release-check"

in_root() {
  chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root \
    DEBIAN_FRONTEND=noninteractive bash -euo pipefail -c "cd /tmp/release-check; $1"
}
in_root 'apt-get update -qq' >/dev/null 2>&1 || skip "the Debian archive could not be reached"
# A C compiler and pkg-config, as a host's developer has them.
in_root 'apt-get install -y -qq --no-install-recommends gcc libc6-dev pkgconf' >/dev/null 2>&1 ||
  skip "could not install a compiler in the throwaway root"

echo "== apt-get install ./*.deb"
in_root 'apt-get install -y -q --no-install-recommends ./*.deb' 2>/dev/null | grep -E '^(Setting up|Unpacking) ' ||
  fail "apt-get install of the packages"
echo "== cc consumer.c \$(pkg-config --cflags --libs TarnLib2DLL)"
in_root 'cc -std=c99 -o consumer consumer.c $(pkg-config --cflags --libs TarnLib2DLL) && ./consumer' ||
  fail "the C host did not build or run against the installed packages"
in_root 'test -f "$(pkg-config --variable=libdir TarnLib2DLL)/cmake/TarnLib2DLL/TarnLib2DLLConfig.cmake"' ||
  fail "no CMake package"
in_root 'grep -q "^#define TARNLIB2DLL_VERSION_MAJOR" /usr/include/TarnLib2DLL_version.h' ||
  fail "no version header"

echo "== apt-get purge"
in_root "apt-get purge -y -qq ${names[*]}" >/dev/null ||
  fail "the packages did not remove"
in_root '! ldconfig -p | grep -q TarnLib2DLL && ! ls /usr/lib/*/libTarnLib2DLL* /usr/include/TarnLib2DLL* 2>/dev/null' ||
  fail "files or the loader cache entry are left after removal"
echo "release-check: passed"
