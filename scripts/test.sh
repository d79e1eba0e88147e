#!/usr/bin/env bash
# Sets up the machine, builds both libraries and runs every test: the unit tests natively
# with sanitizers, the boundary code under libFuzzer for a minute, and the 32-bit and
# 64-bit libraries under Wine; then packs the release archive and tests it.
#
# On a machine that runs no 32-bit code (scripts/runs-32bit.sh) the 32-bit library and
# its tests are built but not run; the 64-bit tree then checks the 32-bit library's image.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

status=0
run32=1
scripts/runs-32bit.sh || run32=0
for preset in native fuzz win32 win64; do
  echo "== $preset"
  if [ "$preset" = win64 ]; then
    other=""
    [ "$run32" -eq 1 ] || other="$PWD/build/win32/plugin/Paperlens.wcx"
    cmake --preset "$preset" -DPAPERLENS_OTHER_LIBRARY="$other" >/dev/null
  else
    cmake --preset "$preset" >/dev/null
  fi
  cmake --build --preset "$preset"
  if [ "$preset" = win32 ] && [ "$run32" -eq 0 ]; then
    echo "== win32: built, tests NOT RUN: this machine runs no 32-bit code; the win64 tests check its image"
    continue
  fi
  ctest --preset "$preset" || status=1
done
# The release archive, made of the libraries just tested, and its own tests.
echo "== package"
scripts/package.sh --tested || status=1
[ "$run32" -eq 1 ] || echo "== NOTE: the 32-bit library's tests were not run on this machine"
exit $status
