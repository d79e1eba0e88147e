#!/usr/bin/env bash
# Sets up the machine, builds the library and drives it through the command-line host, as
# a user would: teach the converter the encodings ANSI and KOI8-R (encodings), check the
# setup (check), then, as the file manager would, list the sample document, extract its four
# entries and search their text for an English and a Russian word. The converter is Debian's
# pdftotext behind the stand-in in build/<preset>/plugin, which passes every argument on as
# it arrives and reads the encoding maps from share/poppler/unicodeMap there (it needs root,
# or unprivileged user namespaces, for a private mount namespace).
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

western=$(windows "$PWD/samples/western.pdf")
rm -rf "$build/plugin/share" # start as a fresh install does: no maps yet

echo "== encodings"
host encodings "$library"
echo "== check"
host check "$library" "$sample"
echo "== list"
host list "$library" "$sample"
for document in "$sample" "$western"; do
  echo "== extract into $out"
  host extract "$library" "$document" "$(windows "$out")"
done
for entry in "$out"/*.txt; do
  # Each entry holds the converter's bytes; only this display turns them into UTF-8.
  echo "-- $(basename "$entry") ($(wc -c <"$entry") bytes), shown as UTF-8:"
  case $entry in
    *_k.txt) iconv -f KOI8-R -t UTF-8 "$entry" ;;
    *_a.txt) iconv -f WINDOWS-1252 -t UTF-8 "$entry" ;;
    *) cat "$entry" ;;
  esac
done
echo "== search for lighthouse, маяк"
host search "$library" "$sample" lighthouse маяк
