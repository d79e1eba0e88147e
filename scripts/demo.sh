#!/usr/bin/env bash
# The plug-in as a new user meets it. Installs the library, the command-line host and the
# Windows build of the converter into a folder of their own, as the user's guide says; then
# drives the library through the host: check the setup, teach the converter the ANSI
# encoding (encodings), list a document, extract its four entries as the file manager does,
# show each one, and search the text for an English and a Russian word.
#   scripts/demo.sh [win64|win32]   (the 64-bit library by default; win32 runs the 32-bit
#   one, under emulation where this machine runs no 32-bit code, see scripts/with-i386-root.sh)
set -euo pipefail
cd "$(dirname "$0")/.."
preset=${1:-win64}
case $preset in
  win64) width=64-bit library_name=Paperlens.wcx64 program='Library\bin\pdftotext.exe' ;;
  win32) width=32-bit library_name=Paperlens.wcx program='bin\pdftotext.exe' ;;
  *) echo "usage: $0 [win64|win32]" >&2; exit 2 ;;
esac
scripts/setup.sh
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" --target Paperlens PaperlensHost >/dev/null
build=$PWD/build/$preset
converter=$(sed -n 's/^PAPERLENS_WINDOWS_CONVERTER:PATH=//p' "$build/CMakeCache.txt")
if [ ! -f "$converter/${program//\\//}" ]; then
  echo "demo: no Windows converter in $converter; scripts/setup.sh could not fetch it (see its message above)" >&2
  exit 1
fi
version=${converter##*/poppler-}
package=${converter#"${PAPERLENS_CACHE:-/var/cache/paperlens}"/}
package=$(sed 's/-\([0-9.]*\)$/ \1/' <<<"${package%%/*}")

out=$build/demo
plugin=$out/plugin
texts=$out/texts
rm -rf "$out" && mkdir -p "$plugin" "$texts"
cp "$build/plugin/$library_name" "$build/plugin/PaperlensHost.exe" "$plugin/"
cp -r "$converter" "$plugin/poppler"
printf '[Converters]\r\nPDF=poppler\\%s\r\n' "$program" >"$plugin/Paperlens.ini"

windows() { local p=${1//\//\\}; printf 'Z:%s' "$p"; }
host() { cmake/wine-run.sh "$build/wineprefix" "$plugin/PaperlensHost.exe" "$@"; }
# A step the demo goes on after, whatever it answers: its exit code is part of what it shows.
try() { local status=0; host "$@" || status=$?; [ "$status" -eq 0 ] || echo "(exit code $status)"; return 0; }
library=$(windows "$plugin/$library_name")
sample=$(windows "$PWD/samples/sample.pdf")
western=$(windows "$PWD/samples/western.pdf")

cat <<EOF
== The setup
The $width library $library_name with the converter Poppler $version for $width Windows
(pdftotext.exe, from the npm package $package), installed in
$plugin as a user unpacks them:
  $library_name, PaperlensHost.exe, Paperlens.ini, and poppler\\ (the converter's folder, unchanged)
Paperlens.ini names the converter: $(tr -d '\r' <"$plugin/Paperlens.ini" | tail -n 1)
The documents: samples/sample.pdf (an English and a Russian paragraph) and samples/western.pdf
(typographic quotes, dashes, the euro and a Cyrillic word; a second page of ligatures and a table).

== check, on sample.pdf: the setup as unpacked
EOF
try check "$library" "$sample"
echo
echo "== encodings: teaches the converter the ANSI encoding (here code page 1252) and KOI8-R where it lacks it"
try encodings "$library"
echo
echo "== check again, on sample.pdf"
try check "$library" "$sample"
echo
echo "== list sample.pdf: the four entries the file manager sees"
host list "$library" "$sample"

# Shows one entry; only this display turns its bytes into UTF-8.
show() {
  local entry=$1 note=$2
  echo "-- $(basename "$entry") ($(wc -c <"$entry") bytes): $note"
  case $entry in
    *_k.txt) iconv -f KOI8-R -t UTF-8 "$entry" ;;
    *_a.txt) iconv -f WINDOWS-1252 -t UTF-8 "$entry" ;;
    *) cat "$entry" ;;
  esac
}
for document in sample western; do
  echo
  echo "== extract $document.pdf's four entries into $texts"
  try extract "$library" "$(windows "$PWD/samples/$document.pdf")" "$(windows "$texts")"
  for suffix in _u _a _k ""; do
    entry=$texts/$document$suffix.txt
    if [ ! -f "$entry" ]; then
      echo "-- $(basename "$entry"): not written (see the extraction's answer above)"
      continue
    fi
    case $suffix in
      _u) show "$entry" "UTF-8, every character" ;;
      _a) show "$entry" "ANSI (code page 1252), which holds Western European letters, the quotes, dashes
   and the euro, but no Cyrillic: the converter leaves out what the code page cannot hold, so
   the Russian words are blanks, their spaces and punctuation kept" ;;
      _k) show "$entry" "KOI8-R, which holds Cyrillic and ASCII but neither é nor the quotes, dashes
   or euro: the converter leaves out what it cannot hold (café becomes caf) and writes some
   in ASCII instead (\" for quotes, -- for an em dash, fi for the ligature)" ;;
      *) show "$entry" "the converter's default encoding, which for Poppler is UTF-8" ;;
    esac
  done
done
echo
echo "== search sample.pdf for lighthouse and маяк: each entry searched in its own encoding"
status=0
host search "$library" "$sample" lighthouse маяк | tee "$out/search.txt" || status=$?
hits=$(grep -c -E '^sample[^:]*:[0-9]+:' "$out/search.txt" || true)
written=$(ls "$texts" | wc -l)

cat <<EOF

== Summary
Converter: Poppler $version for $width Windows, at poppler\\$program beside $library_name.
Entries written: $written of 8, in $texts.
Search of sample.pdf: $hits matching lines (exit code $status).
EOF
# The demo fails where a user would see a failure: an entry not written, or nothing found.
[ "$written" -eq 8 ] && [ "$hits" -gt 0 ] && [ "$status" -eq 0 ]
