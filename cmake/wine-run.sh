#!/usr/bin/env bash
# Runs a Windows program under Wine in the build tree's own prefix: wine-run.sh PREFIX PROGRAM ARGS...
# The prefix is made once, under a lock, so that tests started side by side do not race to make it.
#
# A 64-bit program runs with the machine's 64-bit Wine. A 32-bit one runs with the 32-bit
# Wine of the i386 root (scripts/with-i386-root.sh: natively where the kernel runs 32-bit
# code, under emulation where it does not); outside such a run this script starts one.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
prefix=$(realpath -m "$1") # Wine wants it absolute
shift
export WINEPREFIX=$prefix
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
# A UTF-8 locale lets non-ASCII paths reach Unix programs intact.
# Local time must differ from UTC, so that a UTC-for-local mistake shows.
export LC_ALL=${PAPERLENS_TEST_LOCALE:-C.UTF-8}
export TZ=${PAPERLENS_TEST_TZ:-America/New_York}

# The width of the program: its PE machine field where it is a file here, else the
# prefix's, else 64-bit.
machine=
if [ -f "$1" ]; then
  pe=$(od -An -tu4 -j60 -N4 "$1" | tr -d ' ')
  machine=$(od -An -tx2 -j$((pe + 4)) -N2 "$1" 2>/dev/null | tr -d ' ')
elif grep -qs '^#arch=win32' "$prefix/system.reg"; then
  machine=014c
fi

if [ "$machine" = 014c ]; then
  [ -n "${PAPERLENS_I386_ROOT:-}" ] || exec "$here/../scripts/with-i386-root.sh" "$0" "$prefix" "$@"
  # The root's own programs, in the same working folder (mounted at the same path).
  unset WINELOADER WINESERVER
  inroot=(chroot "$PAPERLENS_I386_ROOT" /usr/bin/env PATH=/usr/bin:/bin HOME=/root
    /bin/sh -c 'cd "$0" && exec "$@"' "$PWD")
else
  # Debian's wine picks its 32-bit loader whenever that is installed: name the 64-bit one.
  export WINELOADER=/usr/lib/wine/wine64
  inroot=()
fi
wine=("${inroot[@]}" wine)
[ -n "${WINELOADER:-}" ] && wine=("$WINELOADER")

if [ ! -f "$prefix/system.reg" ]; then
  mkdir -p "$(dirname "$prefix")"
  (
    flock 9
    # Without the lock's descriptor: Wine's services outlive this, and must not hold it.
    [ -f "$prefix/system.reg" ] || "${wine[@]}" wineboot.exe -i >/dev/null 2>&1 9<&-
    "${inroot[@]}" wineserver -w 9<&-
  ) 9>"$prefix.lock"
fi
exec "${wine[@]}" "$@"
