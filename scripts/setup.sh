#!/usr/bin/env bash
# Installs what building and testing need on a fresh Debian 12 machine, and only what this
# machine can use. Idempotent: when everything is present it installs nothing.
#
# The 32-bit library's tests run with the Wine of an i386 root that scripts/with-i386-root.sh
# makes (debootstrap), so no multi-arch i386 package is installed here. A package index
# that fails to download (a mirror mid-sync) is tried again, then left out: the lists that
# did download serve. The last line says what was installed and what could not be.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
  cmake ninja-build
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
  wine wine64
  googletest
  poppler-utils poppler-data qpdf
  clang libclang-rt-14-dev
)
# The i386 root, where this machine can run it.
scripts/runs-32bit.sh && packages+=(debootstrap)

sudo_if_needed() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }
installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }
missing() {
  local p
  for p in "${packages[@]}"; do installed "$p" || echo "$p"; done
}

mapfile -t wanted < <(missing)
if [ ${#wanted[@]} -eq 0 ]; then
  echo "setup: everything needed is installed; installed nothing"
  exit 0
fi

echo "setup: installing ${wanted[*]}"
export DEBIAN_FRONTEND=noninteractive
apt_get() { sudo_if_needed env DEBIAN_FRONTEND=noninteractive apt-get -q -o Acquire::Retries=3 "$@"; }
update_lists() {
  local attempt
  for attempt in 1 2 3; do
    apt_get update && return 0
    if [ "$attempt" -lt 3 ]; then
      echo "setup: some package lists did not download (attempt $attempt of 3); trying again"
      sleep $((attempt * 10))
    fi
  done
  echo "setup: some package lists still do not download; going on with those that did"
}

update_lists
# All at once; should that fail, a second time (a download may fail for a moment), then one
# by one, so that one package that cannot be had keeps none of the others out.
if ! apt_get install -y --no-install-recommends "${wanted[@]}"; then
  sleep 15
  if ! apt_get install -y --no-install-recommends "${wanted[@]}"; then
    for p in "${wanted[@]}"; do
      installed "$p" || apt_get install -y --no-install-recommends "$p" || true
    done
  fi
fi

done_list=() failed=()
for p in "${wanted[@]}"; do
  if installed "$p"; then done_list+=("$p"); else failed+=("$p"); fi
done
if [ ${#failed[@]} -eq 0 ]; then
  echo "setup: installed ${done_list[*]}; nothing failed"
else
  echo "setup: installed ${done_list[*]:-nothing}; could NOT install ${failed[*]} (see apt's messages above)"
  exit 1
fi
