#!/usr/bin/env bash
# Sets up the machine, builds the 32-bit library and runs it through the command-line host
# on the sample document, as the file manager would.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset win32 >/dev/null
cmake --build --preset win32 >/dev/null
build=$PWD/build/win32
exec cmake/wine-run.sh "$build/wineprefix" "$build/plugin/PaperlensHost.exe" list \
  "Z:${build//\//\\}\\plugin\\Paperlens.wcx" "Z:${PWD//\//\\}\\samples\\sample.pdf"
