#!/usr/bin/env bash
# Checks the release archive as a user gets it: check-package.sh ARCHIVE WIN32-TREE WIN64-TREE SAMPLE
# Lists the archive against the release's file list, unpacks it into an empty folder whose
# path holds a space, and compares the libraries and hosts with the build trees' own files;
# then, with the recording converter where the release's Paperlens.ini names the converter,
# runs the package tests of each width under Wine and the unpacked command-line hosts as a
# user checking a setup would, and at last searches the sample with the Windows converter of
# each width, copied beside them as "poppler" as a user unpacks it.
set -euo pipefail
archive=$(realpath "$1")
win32=$(realpath "$2")
win64=$(realpath "$3")
sample=$(realpath "$4")
here=$(cd "$(dirname "$0")" && pwd)
wine_run=$here/../../cmake/wine-run.sh

failures=0
fail() {
  echo "check-package: FAILED: $*" >&2
  failures=$((failures + 1))
}
# Where this machine cannot run 32-bit programs, they are not run. Each width's programs
# run with that width's Wine, which starts converters of its own width only: the tree's
# own converters go beside the unpacked libraries for its turn.
run32=1
"$here/../../scripts/runs-32bit.sh" || run32=0
skip32() {
  [ "$run32" -eq 0 ] && [ "$1" = "$win32" ] && echo "check-package: NOT RUN here, for want of 32-bit code: $2"
}
windows_path() { local p=$1; printf 'Z:%s' "${p//\//\\}"; }

expected='Paperlens.ini
Paperlens.wcx
Paperlens.wcx64
PaperlensHost.exe
PaperlensHost64.exe
pluginst.inf
readme.txt'

[ "$(basename "$archive")" = Paperlens-0.0.0.1.zip ] || fail "the archive is named $(basename "$archive")"
listed=$(cmake -E tar tf "$archive" | LC_ALL=C sort)
if [ "$listed" != "$expected" ]; then
  fail "the archive holds other entries than the release's files:"
  diff <(echo "$expected") <(echo "$listed") >&2 || true
fi

scratch=$(mktemp -d /tmp/paperlens-package.XXXXXX)
trap 'rm -rf "$scratch"' EXIT
folder="$scratch/Program Files/paperlens"
mkdir -p "$folder" "$scratch/out"
(cd "$folder" && cmake -E tar xf "$archive")
unpacked=$(cd "$folder" && find . -mindepth 1 -printf '%P\n' | LC_ALL=C sort)
[ "$unpacked" = "$expected" ] || fail "unpacking gave: $(echo $unpacked)"
# Where the release's setting names the converter, as users unpack it.
setting=$(tr -d '\r' <"$folder/Paperlens.ini" | sed -n 's/^PDF=//p')
converter="$folder/${setting//\\//}"
mkdir -p "$(dirname "$converter")"

# The very files the build trees' tests ran against.
for pair in "Paperlens.wcx:$win32/plugin/Paperlens.wcx" "Paperlens.wcx64:$win64/plugin/Paperlens.wcx64" \
            "PaperlensHost.exe:$win32/plugin/PaperlensHost.exe" "PaperlensHost64.exe:$win64/plugin/PaperlensHost.exe"; do
  name=${pair%%:*}
  cmp -s "$folder/$name" "${pair#*:}" || fail "$name differs from ${pair#*:}"
done

for tree in "$win32" "$win64"; do
  skip32 "$tree" "the 32-bit package tests" && continue
  cp "$tree/tests/wine/RecordingConverter.exe" "$converter"
  echo "== package tests, $(basename "$tree")"
  "$wine_run" "$tree/wineprefix" "$tree/tests/package/PackageTests.exe" \
    "--folder=$(windows_path "$folder")" "--sample=$(windows_path "$sample")" ||
    fail "package tests of $(basename "$tree")"
done

# The hosts, run in the unpacked folder as the user's guide tells.
cd "$folder"
for pair in "PaperlensHost.exe:Paperlens.wcx:$win32" "PaperlensHost64.exe:Paperlens.wcx64:$win64"; do
  IFS=: read -r tool library tree <<<"$pair"
  skip32 "$tree" "$tool" && continue
  cp "$tree/tests/wine/RecordingConverter.exe" "$converter"
  run() { "$wine_run" "$tree/wineprefix" "./$tool" "$@"; }
  echo "== $tool"

  status=0
  run >"$scratch/stdout" 2>"$scratch/stderr" || status=$?
  usage=$(tr -d '\r' <"$scratch/stderr")
  [ "$status" -eq 2 ] || fail "$tool with no arguments exits $status, not 2"
  [ ! -s "$scratch/stdout" ] || fail "$tool with no arguments writes to its output: $(cat "$scratch/stdout")"
  [[ $usage == "usage: $tool "* ]] || fail "$tool with no arguments does not print its usage under its own name: $usage"
  for command in encodings check list extract search --full-path; do
    grep -q -- "$command" <<<"$usage" || fail "$tool's usage does not explain $command"
  done

  status=0
  run list ".\\$library" "$(windows_path "$sample")" >"$scratch/stdout" 2>&1 || status=$?
  [ "$status" -eq 0 ] || fail "$tool list exits $status"
  for entry in sample_a.txt sample_k.txt sample_u.txt sample.txt; do
    grep -q "^  $entry " "$scratch/stdout" || fail "$tool list does not list $entry"
  done
  grep -q "^4 entries" "$scratch/stdout" || fail "$tool list does not count 4 entries"

  rm -f "$scratch"/out/*
  status=0
  RECCONV_WRITE=1 run extract ".\\$library" "$(windows_path "$sample")" "$(windows_path "$scratch/out")" \
    >"$scratch/stdout" 2>&1 || status=$?
  [ "$status" -eq 0 ] || fail "$tool extract exits $status"
  [ "$(grep -c ' written, ' "$scratch/stdout")" -eq 4 ] || fail "$tool extract: $(cat "$scratch/stdout")"
  [ "$(tr -d "\f" <"$scratch/out/sample_k.txt" 2>/dev/null)" = converted:KOI8-R ] ||
    fail "$tool extract did not have sample_k.txt converted"
  cat "$scratch/stdout"
done

# A real converter in the recording converter's place: the Windows build of each width's
# converter its tree's end-to-end tests run, copied from the cache as a user unpacks it and
# named in the unpacked Paperlens.ini as those tests name it. Once encodings has taught it ANSI, searching
# finds the sample's text in each entry's own encoding.
for pair in "PaperlensHost.exe:Paperlens.wcx:$win32" "PaperlensHost64.exe:Paperlens.wcx64:$win64"; do
  IFS=: read -r tool library tree <<<"$pair"
  skip32 "$tree" "$tool search" && continue
  unpacked_converter=$(sed -n 's/^PAPERLENS_WINDOWS_CONVERTER:PATH=//p' "$tree/CMakeCache.txt")
  converter=$(sed -n 's/^PDF=//p' "$tree/tests/wine/installed/Paperlens.ini" | tr -d '\r')
  if [ ! -f "$unpacked_converter/$(tr '\\' / <<<"${converter#poppler\\}")" ]; then
    echo "check-package: NOT RUN: $tool search, for want of the Windows converter (scripts/setup.sh fetches it)"
    continue
  fi
  rm -rf "$folder/poppler" "$folder/pdftotext.exe"
  cp -r "$unpacked_converter" "$folder/poppler"
  printf '[Converters]\r\nPDF=%s\r\n' "$converter" >"$folder/Paperlens.ini"
  echo "== $tool encodings and search, with $converter"
  status=0
  "$wine_run" "$tree/wineprefix" "./$tool" encodings ".\\$library" >"$scratch/stdout" 2>&1 || status=$?
  cat "$scratch/stdout"
  [ "$status" -eq 0 ] || fail "$tool encodings exits $status"
  status=0
  "$wine_run" "$tree/wineprefix" "./$tool" search ".\\$library" "$(windows_path "$sample")" café маяк \
    >"$scratch/stdout" 2>&1 || status=$?
  cat "$scratch/stdout"
  [ "$status" -eq 0 ] || fail "$tool search exits $status"
  for hit in "sample_a.txt:5: café" "sample_u.txt:5: café" "sample_u.txt:7: Старый маяк" "sample_k.txt:7: Старый маяк"; do
    grep -q "^$hit" "$scratch/stdout" || fail "$tool search does not find \"$hit\""
  done
  # Run from a shell as a user does, check shows the converter's messages once, indented;
  # the library's own runs add none on standard error.
  head -c 400 "$sample" >"$scratch/damaged.pdf"
  status=0
  "$wine_run" "$tree/wineprefix" "./$tool" check ".\\$library" "$(windows_path "$scratch/damaged.pdf")" \
    >"$scratch/stdout" 2>"$scratch/stderr" || status=$?
  [ "$status" -eq 1 ] || fail "$tool check of a damaged document exits $status, not 1"
  tr -d '\r' <"$scratch/stdout" | sed -n 's/^      //p' | sort -u >"$scratch/messages"
  [ -s "$scratch/messages" ] || fail "$tool check shows no message of the converter: $(cat "$scratch/stdout")"
  ! grep -qxFf "$scratch/messages" <(tr -d '\r' <"$scratch/stderr") ||
    fail "$tool check writes the converter's messages a second time: $(cat "$scratch/stderr")"
done

if [ "$failures" -ne 0 ]; then
  echo "check-package: $failures check(s) failed" >&2
  exit 1
fi
echo "check-package: $(basename "$archive") passed"
