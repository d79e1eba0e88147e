#!/usr/bin/env bash
# Runs a Windows program under Wine in the build tree's own prefix: wine-run.sh PREFIX PROGRAM ARGS...
# The prefix is made once, under a lock, so that tests started side by side do not race to make it.
set -euo pipefail
prefix=$(realpath -m "$1") # Wine wants it absolute
shift
export WINEPREFIX=$prefix
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
# A UTF-8 locale lets non-ASCII paths reach Unix programs intact.
# Local time must differ from UTC, so that a UTC-for-local mistake shows.
export LC_ALL=${PAPERLENS_TEST_LOCALE:-C.UTF-8}
export TZ=${PAPERLENS_TEST_TZ:-America/New_York}
# Debian's wine picks the 32-bit loader whenever it is installed; on a machine that runs no
# 32-bit code that loader cannot start, and 64-bit programs need the 64-bit one named.
wine=wine
if ! "$(dirname "$0")/../scripts/runs-32bit.sh"; then
  wine=/usr/lib/wine/wine64
  export WINELOADER=$wine
fi
if [ ! -f "$prefix/system.reg" ]; then
  mkdir -p "$(dirname "$prefix")"
  (
    flock 9
    [ -f "$prefix/system.reg" ] || "$wine" wineboot.exe -i >/dev/null 2>&1
    wineserver -w
  ) 9>"$prefix.lock"
fi
exec "$wine" "$@"
