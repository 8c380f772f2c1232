#!/usr/bin/env bash
# Installs the Debian packages the build and tests need, only those missing.
# With everything installed it only asks dpkg-query and never runs apt-get, so
# it costs nothing in front of every build. Runs apt-get directly as root (a
# fresh root may have no sudo), through sudo otherwise.
# Usage: tools/install-deps.sh [extra-package ...]
set -euo pipefail

packages=(cmake ninja-build g++ binutils pkgconf libgtest-dev libgmock-dev libbenchmark-dev libpng-dev "$@")

if ! command -v dpkg-query >/dev/null 2>&1; then
  echo "install-deps: not a Debian-based system; install these (or your system's equivalents) yourself:" >&2
  echo "  ${packages[*]}" >&2
  exit 0
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
((${#missing[@]})) || exit 0

as_root=()
if [[ $(id -u) -ne 0 ]]; then
  if ! command -v sudo >/dev/null 2>&1; then
    echo "install-deps: missing packages: ${missing[*]}" >&2
    echo "install-deps: installing them needs root, and sudo is not installed;" >&2
    echo "  run it as root, or have root run: apt-get install ${missing[*]}" >&2
    exit 1
  fi
  as_root=(sudo)
fi

echo "install-deps: installing ${missing[*]}"
# sudo drops the caller's environment, so the front end goes in through env.
if ! "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq ||
   ! "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"; then
  echo "install-deps: could not install ${missing[*]}" >&2
  exit 1
fi
