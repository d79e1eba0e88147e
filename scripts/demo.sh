#!/usr/bin/env bash
# Sets up the machine, builds the 32-bit library and drives it through the command-line
# host on the sample document, as the file manager would: list it, extract its four
# entries, and search their text for an English and a Russian word.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset win32 >/dev/null
cmake --build --preset win32 >/dev/null
build=$PWD/build/win32
out=$build/demo
rm -rf "$out" && mkdir -p "$out"
windows() { local p=${1//\//\\}; printf 'Z:%s' "$p"; }
host() { cmake/wine-run.sh "$build/wineprefix" "$build/plugin/PaperlensHost.exe" "$@"; }
library=$(windows "$build/plugin/Paperlens.wcx")
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
