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
# A search through a real document: the library beside a real converter (the stand-in for
# the 64-bit one, the Windows build for the 32-bit one), on a document the machine has.
installed=build/$preset/plugin/Paperlens.wcx64
[ "$preset" = win32 ] && installed=build/win32/tests/wine/installed/Paperlens.wcx
document=${PAPERLENS_BENCH_DOCUMENT:-/usr/share/doc/shared-mime-info/shared-mime-info-spec.pdf}
real=()
[ -f "$installed" ] && [ -f "$document" ] && real=(--installed="$PWD/$installed" --document="$document")
exec cmake/wine-run.sh "build/$preset/wineprefix" "build/$preset/bench/PaperlensBench.exe" "${real[@]}"
