#!/usr/bin/env bash
# Makes the release archive build/package/Paperlens-0.0.0.1.zip and checks it: builds the
# 32-bit and the 64-bit library, runs their tests, packs what the tests ran against with
# CPack in the 32-bit tree, and tests the archive unpacked under Wine.
#   --tested  the build trees' tests have just passed (scripts/test.sh ran them): do not
#             run them again.
set -euo pipefail
cd "$(dirname "$0")/.."
tested=0
case "${1:-}" in
  --tested) tested=1 ;;
  "") ;;
  *) echo "usage: scripts/package.sh [--tested]" >&2; exit 2 ;;
esac
scripts/setup.sh

# The 64-bit tree first: the 32-bit tree's archive takes its library and host.
cmake --preset win64 >/dev/null
cmake --preset win32 -DPAPERLENS_PLUGIN64_DIR="$PWD/build/win64/plugin" >/dev/null
run32=1
how32=$(scripts/runs-32bit.sh -v) || run32=0
for preset in win64 win32; do
  cmake --build --preset "$preset"
  if [ "$tested" -eq 1 ]; then
    continue
  elif [ "$preset" = win32 ] && [ "$run32" -eq 0 ]; then
    echo "package: the 32-bit tests are NOT RUN: ${how32#*: }"
  elif [ "$preset" = win32 ]; then
    scripts/with-i386-root.sh ctest --preset win32
  else
    ctest --preset "$preset"
  fi
done

cpack --config build/win32/CPackConfig.cmake -B "$PWD/build/package"
archive=build/package/Paperlens-0.0.0.1.zip
tests/package/check-package.sh "$archive" build/win32 build/win64 samples/sample.pdf
echo "package: $archive"
