#!/usr/bin/env bash
# Sets up the machine, builds both libraries and runs every test: the unit tests natively
# with sanitizers, the boundary code under libFuzzer for a minute, and the 32-bit and
# 64-bit libraries under Wine; then packs the release archive and tests it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

status=0
for preset in native fuzz win32 win64; do
  echo "== $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  ctest --preset "$preset" || status=1
done
# The release archive, made of the libraries just tested, and its own tests.
echo "== package"
scripts/package.sh --tested || status=1
exit $status
