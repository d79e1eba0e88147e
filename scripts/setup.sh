#!/usr/bin/env bash
# Installs what building and testing need on a fresh Debian 12 machine, and only what this
# machine can use. Idempotent: when everything is present it installs nothing.
#
# The end-to-end tests run Windows builds of the converter as users install them, each
# carried by an npm package: pdf-poppler 0.2.3 the 32-bit Poppler 0.51 (lib/win/poppler-0.51),
# node-poppler 8.0.6 the 64-bit Poppler 25.11.0 (src/lib/win32/poppler-25.11.0). Each is
# fetched once with npm, checked against its digest and kept, that folder alone, outside the
# clone, beside the i386 root ($PAPERLENS_CACHE, /var/cache/paperlens). A failed download is
# said and passed over: the tests that need it then say they did not run.
#
# The 32-bit library's tests run with the Wine of an i386 root that scripts/with-i386-root.sh
# makes (debootstrap), so no multi-arch i386 package is installed here. A package index
# that fails to download (a mirror mid-sync) is tried again, then left out: the lists that
# did download serve. The last line says what was installed and what could not be.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
  cmake ninja-build
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
  wine wine64
  googletest
  poppler-utils poppler-data qpdf
  clang libclang-rt-14-dev
)
# The i386 root, where this machine can run it.
scripts/runs-32bit.sh && packages+=(debootstrap)
command -v npm >/dev/null || packages+=(npm)

sudo_if_needed() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }
installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }
missing() {
  local p
  for p in "${packages[@]}"; do installed "$p" || echo "$p"; done
}

# fetch_windows_converter PACKAGE@VERSION SHA256 FOLDER PROGRAM: keeps FOLDER of the package's
# tarball in $cache/PACKAGE-VERSION/FOLDER, unless FOLDER/PROGRAM is there already.
fetch_windows_converter() {
  local package=$1 sha256=$2 folder=$3
  local cache=${PAPERLENS_CACHE:-/var/cache/paperlens}
  local into=$cache/${package/@/-} work
  local program=$into/$folder/$4
  if [ -f "$program" ]; then
    echo "setup: the Windows converter $package is in place in $into"
    return 0
  fi
  mkdir -p "$cache" && work=$(mktemp -d) || return 1
  (
    flock 9
    [ ! -f "$program" ] || exit 0
    cd "$work" && npm pack --loglevel=error "$package" >/dev/null &&
      echo "$sha256  ${package/@/-}.tgz" | sha256sum -c --quiet &&
      rm -rf "$into" "$into.partial" && mkdir "$into.partial" &&
      tar -xzf "${package/@/-}.tgz" -C "$into.partial" --strip-components=1 "package/$folder" &&
      mv "$into.partial" "$into" && echo "setup: fetched the Windows converter $package into $into"
  ) 9>"$into.lock"
  local status=$?
  rm -rf "$work" "$into.partial"
  return $status
}
# After the packages (npm among them), each said on a line of its own.
converter_notes() {
  local width package sha256 folder program
  while read -r width package sha256 folder program; do
    fetch_windows_converter "$package" "$sha256" "$folder" "$program" </dev/null ||
      echo "setup: could NOT get the Windows converter $package from npm (see npm's messages above):" \
        "the $width end-to-end tests with the real converter will NOT RUN"
  done <<'END'
32-bit pdf-poppler@0.2.3 5c4c7ee687faa2d6e7ad0aa62cd4ec304525fbd8ec9726224c46f1642094b286 lib/win/poppler-0.51 bin/pdftotext.exe
64-bit node-poppler@8.0.6 0fafb3b5a42d5bfe7fe0aa9c4d7b030751a5fd75e1fe983c0de4d5f7c19f7e19 src/lib/win32/poppler-25.11.0 Library/bin/pdftotext.exe
END
}

mapfile -t wanted < <(missing)
if [ ${#wanted[@]} -eq 0 ]; then
  echo "setup: everything needed is installed; installed nothing"
  converter_notes
  exit 0
fi

echo "setup: installing ${wanted[*]}"
export DEBIAN_FRONTEND=noninteractive
apt_get() { sudo_if_needed env DEBIAN_FRONTEND=noninteractive apt-get -q -o Acquire::Retries=3 "$@"; }
update_lists() {
  local attempt
  for attempt in 1 2 3; do
    apt_get update && return 0
    if [ "$attempt" -lt 3 ]; then
      echo "setup: some package lists did not download (attempt $attempt of 3); trying again"
      sleep $((attempt * 10))
    fi
  done
  echo "setup: some package lists still do not download; going on with those that did"
}

update_lists
# All at once; should that fail, a second time (a download may fail for a moment), then one
# by one, so that one package that cannot be had keeps none of the others out.
if ! apt_get install -y --no-install-recommends "${wanted[@]}"; then
  sleep 15
  if ! apt_get install -y --no-install-recommends "${wanted[@]}"; then
    for p in "${wanted[@]}"; do
      installed "$p" || apt_get install -y --no-install-recommends "$p" || true
    done
  fi
fi

done_list=() failed=()
for p in "${wanted[@]}"; do
  if installed "$p"; then done_list+=("$p"); else failed+=("$p"); fi
done
converter_notes
if [ ${#failed[@]} -eq 0 ]; then
  echo "setup: installed ${done_list[*]}; nothing failed"
else
  echo "setup: installed ${done_list[*]:-nothing}; could NOT install ${failed[*]} (see apt's messages above)"
  exit 1
fi
