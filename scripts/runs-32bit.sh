#!/usr/bin/env bash
# Exits 0 when this machine runs 32-bit Windows programs under Wine, 1 when it does not.
# Some kernels run no 32-bit code at all (Wine's 32-bit loader then fails with "Exec format
# error"); under an emulator registered for i386 programs it would run, but the tests would
# take hours, so that counts as not running either.
set -uo pipefail
for entry in /proc/sys/fs/binfmt_misc/*; do
  [ -f "$entry" ] || continue
  if grep -qx enabled "$entry" && grep -q '^magic 7f454c4601010100000000000000000002000300' "$entry"; then
    exit 1
  fi
done
/usr/lib/wine/wine --version >/dev/null 2>&1 || exit 1
