#!/usr/bin/env bash
# Tells how this machine runs the 32-bit library's tests. Exits 0 when it can run them,
# 1 when it cannot; with -v it prints one line, the mode and why:
#   native     the kernel runs 32-bit code: an i386 Debian root's Wine runs as it is
#   emulated   the kernel runs no 32-bit code, and the same root's programs run under
#              qemu's user-mode emulation (scripts/with-i386-root.sh sets both up)
#   none       neither can be had here, and why
# Both ways need root: a chroot, and for emulation a binfmt_misc entry.
set -uo pipefail
say() { [ "${1%%:*}" = none ] && status=1 || status=0; [ "$verbose" -eq 1 ] && echo "$1"; exit $status; }
verbose=0
[ "${1:-}" = -v ] && verbose=1

# The smallest i386 program: exit(0). Its last identification byte (padding, which the
# kernel ignores) is 1, so the usual emulator entries, which want 0 there, pass it by:
# it runs only where the kernel itself runs 32-bit code.
probe=$(mktemp /tmp/paperlens-probe32.XXXXXX)
trap 'rm -f "$probe"' EXIT
printf '\177ELF\1\1\1\0\0\0\0\0\0\0\0\1\2\0\3\0\1\0\0\0\124\200\4\10\64\0\0\0\0\0\0\0\0\0\0\0\64\0\40\0\1\0\0\0\0\0\0\0'\
'\1\0\0\0\0\0\0\0\0\200\4\10\0\200\4\10\135\0\0\0\135\0\0\0\5\0\0\0\0\20\0\0'\
'\270\1\0\0\0\61\333\315\200' >"$probe"
chmod +x "$probe"
kernel32=0
"$probe" 2>/dev/null && kernel32=1

if [ "$(id -u)" -ne 0 ]; then
  say "none: the i386 root the 32-bit tests run in needs root (chroot, bind mounts)"
elif [ "$kernel32" -eq 1 ]; then
  say "native: this kernel runs 32-bit code"
elif ! grep -qw binfmt_misc /proc/filesystems && [ ! -e /proc/sys/fs/binfmt_misc/register ]; then
  say "none: this kernel runs no 32-bit code and has no binfmt_misc to hand it to an emulator"
else
  say "emulated: this kernel runs no 32-bit code; qemu-i386 runs the i386 root's Wine"
fi
