#!/usr/bin/env bash
# Sets up the machine, builds both libraries and runs every test: the unit tests natively
# with sanitizers, and the 32-bit and 64-bit libraries under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

status=0
for preset in native win32 win64; do
  echo "== $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  ctest --preset "$preset" || status=1
done
exit $status
