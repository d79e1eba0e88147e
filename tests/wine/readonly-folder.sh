#!/usr/bin/env bash
# Makes or removes a folder nobody may write into, for the tests of a converter that
# cannot open its output: readonly-folder.sh make|remove FOLDER. Root writes through
# permission bits, so as root the folder is made immutable instead.
set -euo pipefail
folder=$2
case $1 in
  make)
    mkdir -p "$folder"
    if [ "$(id -u)" -eq 0 ]; then chattr +i "$folder"; else chmod a-w "$folder"; fi
    ;;
  remove)
    [ -d "$folder" ] || exit 0
    if [ "$(id -u)" -eq 0 ]; then chattr -i "$folder"; else chmod u+w "$folder"; fi
    rmdir "$folder"
    ;;
  *) echo "usage: $0 make|remove FOLDER" >&2; exit 2 ;;
esac
