#!/usr/bin/env bash
# Installs the Debian packages the build and tests need, only those missing.
# Usage: tools/install-deps.sh [extra-package ...]
set -euo pipefail

packages=(cmake ninja-build g++ binutils pkgconf libgtest-dev libgmock-dev libbenchmark-dev libpng-dev "$@")

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if ((${#missing[@]})); then
  echo "installing: ${missing[*]}"
  sudo_cmd=()
  [[ $(id -u) -ne 0 ]] && sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq "${missing[@]}"
fi
