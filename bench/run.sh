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
# The installed copy of the library is this build's, not one left from an earlier build.
cmake --build --preset "$preset" --target WindowsConverterInstall >/dev/null
# A search through a real document: the library installed beside the Windows build of the
# converter of its width, as the end-to-end tests install it, on a document the machine has.
installed=build/$preset/tests/wine/installed/Paperlens.wcx64
[ "$preset" = win32 ] && installed=build/win32/tests/wine/installed/Paperlens.wcx
document=${PAPERLENS_BENCH_DOCUMENT:-$(ls /usr/share/doc/shared-mime-info/*.pdf 2>/dev/null | head -n 1 || true)}
real=()
# A copy in the build tree, which the 32-bit programs' i386 root sees at the same path.
if [ -f "$installed" ] && [ -f "$document" ]; then
  cp "$document" "build/$preset/bench/document.pdf"
  # Set up as a user does: the converter learns the ANSI encoding (and KOI8-R where it lacks it).
  cmake/wine-run.sh "build/$preset/wineprefix" "build/$preset/tests/wine/installed/PaperlensHost.exe" encodings \
    "Z:$(echo "$PWD/$installed" | tr / '\\')" >/dev/null
  real=(--installed="$PWD/$installed" --document="$PWD/build/$preset/bench/document.pdf")
fi
# On one processor: where Wine's server and a new process run on different ones, the
# process's start takes several times as long, on a coin flip per start, and the medians
# then swing between runs (the same build's search row from 1.24 to 3.75).
pin=()
command -v taskset >/dev/null && pin=(taskset -c 0)
exec "${pin[@]}" cmake/wine-run.sh "build/$preset/wineprefix" "build/$preset/bench/PaperlensBench.exe" "${real[@]}"
