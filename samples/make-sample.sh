#!/bin/bash
# Regenerate the sample documents: sample.pdf, western.pdf, quotes.pdf, pages.pdf and blank.pdf. Installs what the generator needs (Debian
# packages, only when missing), then runs make-sample.py with Debian's own
# python3, which is the one that sees python3-reportlab.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

need=()
for pkg in python3-reportlab fonts-dejavu-core; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
        need+=("$pkg")
    fi
done
if [ ${#need[@]} -gt 0 ]; then
    sudo=
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    $sudo apt-get update
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${need[@]}"
fi

for out in "$here/sample.pdf" "$here/western.pdf" "$here/quotes.pdf" "$here/pages.pdf" "$here/blank.pdf"; do
    flag=
    [ "$(basename "$out")" = western.pdf ] && flag=--western
    [ "$(basename "$out")" = blank.pdf ] && flag=--blank
    [ "$(basename "$out")" = quotes.pdf ] && flag=--quotes
    [ "$(basename "$out")" = pages.pdf ] && flag=--pages
    /usr/bin/python3 "$here/make-sample.py" $flag "$out"
    echo "wrote $out ($(stat -c %s "$out") bytes)"
done
