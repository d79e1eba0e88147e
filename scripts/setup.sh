#!/usr/bin/env bash
# Installs what building and testing need on a fresh Debian 12 machine.
# Idempotent: when everything is present it changes nothing and installs nothing.
set -euo pipefail

packages=(
  cmake ninja-build
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
  wine wine64 wine32:i386
  googletest
  poppler-utils poppler-data
  clang libclang-rt-14-dev
)

sudo_if_needed() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "setup: installing ${missing[*]}"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  sudo_if_needed dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
sudo_if_needed apt-get update -qq
sudo_if_needed apt-get install -y -qq --no-install-recommends "${missing[@]}"
