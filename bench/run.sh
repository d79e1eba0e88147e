#!/usr/bin/env bash
# Builds the library and the benchmark for one width and runs the benchmark under Wine.
#   bench/run.sh [win32|win64]
set -euo pipefail
cd "$(dirname "$0")/.."
preset=${1:-win32}
case $preset in
  win32|win64) ;;
  *) echo "usage: $0 [win32|win64]" >&2; exit 2 ;;
esac
scripts/setup.sh
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" --target PaperlensBench
exec cmake/wine-run.sh "build/$preset/wineprefix" "build/$preset/bench/PaperlensBench.exe"
