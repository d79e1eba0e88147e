#!/usr/bin/env bash
# Sets up the machine, builds the library and drives it through the command-line host on
# the sample document, as the file manager would: list it, extract its four entries, and
# search their text for an English and a Russian word.
#   scripts/demo.sh [win32|win64]   (by default the 32-bit library where this machine runs
#   32-bit code natively; win32 runs under emulation elsewhere, see scripts/with-i386-root.sh)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
preset=${1:-}
if [ -z "$preset" ]; then
  preset=win32
  how32=$(scripts/runs-32bit.sh -v) || true
  [ "${how32%%:*}" = native ] || { preset=win64; echo "(the 64-bit library, as ${how32#*: }; 'scripts/demo.sh win32' for the other)"; }
fi
case $preset in
  win32) library_name=Paperlens.wcx ;;
  win64) library_name=Paperlens.wcx64 ;;
  *) echo "usage: $0 [win32|win64]" >&2; exit 2 ;;
esac
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" >/dev/null
build=$PWD/build/$preset
out=$build/demo
rm -rf "$out" && mkdir -p "$out"
windows() { local p=${1//\//\\}; printf 'Z:%s' "$p"; }
host() { cmake/wine-run.sh "$build/wineprefix" "$build/plugin/PaperlensHost.exe" "$@"; }
library=$(windows "$build/plugin/$library_name")
sample=$(windows "$PWD/samples/sample.pdf")

echo "== list"
host list "$library" "$sample"
echo "== extract into $out"
host extract "$library" "$sample" "$(windows "$out")"
for entry in "$out"/*.txt; do
  echo "-- $(basename "$entry") ($(wc -c <"$entry") bytes), as UTF-8:"
  case $entry in
    *_k.txt) iconv -f KOI8-R -t UTF-8 "$entry" ;;
    *_a.txt) iconv -f WINDOWS-1252 -t UTF-8 "$entry" ;;
    *) cat "$entry" ;;
  esac
done
echo "== search for lighthouse, маяк"
host search "$library" "$sample" lighthouse маяк
