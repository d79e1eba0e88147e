#!/usr/bin/env bash
# Installs what building and testing need on a fresh Debian 12 machine, and only what this
# machine can use. Idempotent: when everything is present it installs nothing.
#
# The 32-bit end-to-end tests run a Windows build of the converter as users install it: the
# npm package pdf-poppler carries one (lib/win/poppler-0.51). It is fetched once with npm,
# checked against its digest and kept outside the clone, beside the i386 root
# ($PAPERLENS_CACHE, /var/cache/paperlens). A failed download is said and passed over: the
# tests that need it then say they did not run.
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

converter=pdf-poppler@0.2.3
converter_sha256=5c4c7ee687faa2d6e7ad0aa62cd4ec304525fbd8ec9726224c46f1642094b286
fetch_windows_converter() {
  local cache=${PAPERLENS_CACHE:-/var/cache/paperlens}
  local into=$cache/${converter/@/-} work
  if [ -f "$into/lib/win/poppler-0.51/bin/pdftotext.exe" ]; then
    echo "setup: the Windows converter $converter is in place in $into"
    return 0
  fi
  mkdir -p "$cache" && work=$(mktemp -d) || return 1
  (
    flock 9
    [ ! -f "$into/lib/win/poppler-0.51/bin/pdftotext.exe" ] || exit 0
    cd "$work" && npm pack --loglevel=error "$converter" >/dev/null &&
      echo "$converter_sha256  ${converter/@/-}.tgz" | sha256sum -c --quiet &&
      rm -rf "$into" "$into.partial" && mkdir "$into.partial" &&
      tar -xzf "${converter/@/-}.tgz" -C "$into.partial" --strip-components=1 package/lib/win &&
      mv "$into.partial" "$into" && echo "setup: fetched the Windows converter $converter into $into"
  ) 9>"$into.lock"
  local status=$?
  rm -rf "$work" "$into.partial"
  return $status
}
# After the packages (npm among them), said on a line of its own.
converter_note() {
  fetch_windows_converter ||
    echo "setup: could NOT get the Windows converter $converter from npm (see npm's messages above):" \
      "the 32-bit end-to-end tests with the real converter will NOT RUN"
}

mapfile -t wanted < <(missing)
if [ ${#wanted[@]} -eq 0 ]; then
  echo "setup: everything needed is installed; installed nothing"
  converter_note
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
converter_note
if [ ${#failed[@]} -eq 0 ]; then
  echo "setup: installed ${done_list[*]}; nothing failed"
else
  echo "setup: installed ${done_list[*]:-nothing}; could NOT install ${failed[*]} (see apt's messages above)"
  exit 1
fi
