#!/usr/bin/env bash
# Sets up the machine, builds both libraries and runs every test: the unit tests natively
# with sanitizers, the boundary code under libFuzzer for a minute, and the 32-bit and
# 64-bit libraries under Wine; then packs the release archive and tests it. Ends with one
# line per library: how its tests ran (natively, under emulation, or not at all, and why)
# and whether they passed.
#
# The 32-bit library's tests run with the Wine of an i386 root (scripts/with-i386-root.sh):
# natively where the kernel runs 32-bit code, under qemu's user-mode emulation where it
# does not. Where neither can be had (scripts/runs-32bit.sh says why) they are not run,
# and the 64-bit tree checks the 32-bit library's image instead.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

how32=$(scripts/runs-32bit.sh -v) || true
mode32=${how32%%:*}
why32=${how32#*: }
status=0
summary=()
# Runs one step, timing it, and records its outcome for the summary.
step() {
  local what=$1 how=$2
  shift 2
  local started=$SECONDS outcome=passed
  "$@" || { outcome=FAILED; status=1; }
  summary+=("$what: $how: $outcome ($((SECONDS - started)) s)")
}

# Runs one tree's tests as a step; its line says how the end-to-end tests (real-converter)
# ran, from CTest's own line for them, and with which converter.
tree_step() {
  local what=$1 how=$2 preset=$3 log=build/$3/test-run.log
  shift 3
  local started=$SECONDS outcome=passed
  "$@" 2>&1 | tee "$log" || { outcome=FAILED; status=1; }
  local converter e2e
  converter=$(sed -n 's/^PAPERLENS_WINDOWS_CONVERTER:PATH=//p' "build/$preset/CMakeCache.txt")
  case $(grep -E 'Test +#[0-9]+: real-converter ' "$log" || true) in
    *Passed*) e2e="end to end with the Windows converter Poppler ${converter##*/poppler-}: passed" ;;
    *Skipped*|*"Not Run"*) e2e="end-to-end tests NOT RUN: no Windows converter in $converter (scripts/setup.sh fetches it)" ;;
    "") e2e="end-to-end tests NOT RUN: CTest did not list them" ;;
    *) e2e="end to end with the Windows converter Poppler ${converter##*/poppler-}: FAILED" ;;
  esac
  summary+=("$what: $how: $outcome; $e2e ($((SECONDS - started)) s)")
}

for preset in native fuzz win32 win64; do
  echo "== $preset"
  if [ "$preset" = win64 ]; then
    other=""
    [ "$mode32" != none ] || other="$PWD/build/win32/plugin/Paperlens.wcx"
    cmake --preset "$preset" -DPAPERLENS_OTHER_LIBRARY="$other" >/dev/null
  else
    cmake --preset "$preset" >/dev/null
  fi
  cmake --build --preset "$preset"
  case $preset in
    native) step "logic (unit tests)" "ran natively, with sanitizers" ctest --preset native ;;
    fuzz) step "boundary code (fuzz target)" "ran natively, under libFuzzer" ctest --preset fuzz ;;
    win32)
      case $mode32 in
        native) tree_step "32-bit library Paperlens.wcx" "tests ran natively, in the i386 root's Wine ($why32)" win32 \
          scripts/with-i386-root.sh ctest --preset win32 ;;
        emulated) tree_step "32-bit library Paperlens.wcx" "tests ran UNDER EMULATION ($why32)" win32 \
          scripts/with-i386-root.sh ctest --preset win32 ;;
        *) summary+=("32-bit library Paperlens.wcx: built, tests NOT RUN ($why32); the win64 tests check its image") ;;
      esac ;;
    win64) tree_step "64-bit library Paperlens.wcx64" "tests ran natively, in the machine's 64-bit Wine" win64 \
      ctest --preset win64 ;;
  esac
done
# The release archive, made of the libraries just tested, and its own tests.
echo "== package"
if [ "$mode32" = none ]; then
  step "release archive" "checked, its 32-bit programs NOT RUN ($why32)" scripts/package.sh --tested
else
  step "release archive" "checked with both widths' programs (32-bit: $mode32)" \
    scripts/with-i386-root.sh scripts/package.sh --tested
fi
echo "== summary"
printf '%s\n' "${summary[@]}"
exit $status
