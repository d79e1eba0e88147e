#!/usr/bin/env bash
# Runs a command with 32-bit Windows programs made runnable: with-i386-root.sh COMMAND...
# cmake/wine-run.sh then runs each 32-bit program with the 32-bit Wine of an i386 Debian
# root, entered by chroot, rather than with the machine's own Wine (which is 64-bit only:
# no multi-arch i386 packages are needed).
#
# - The root (Debian's wine, wine32, poppler-utils, poppler-data) is made once by
#   debootstrap in a cache outside the clone, $PAPERLENS_CACHE (/var/cache/paperlens), and
#   made anew when its recipe below changes.
# - Where the kernel runs no 32-bit code (scripts/runs-32bit.sh), qemu-i386 from Debian's
#   bookworm-backports (bookworm's own is far too slow for Wine) is unpacked into the same
#   cache, and a binfmt_misc entry for i386 programs is registered for this command only
#   and removed when it ends, leaving binfmt_misc as it was.
# - The command runs in a private mount namespace in which the clone, /tmp and the
#   machine's poppler data are bind-mounted into the root at their own paths; the mounts
#   end with it, and the root stays untouched for the next run.
# - The root is checked under a shared lock, which waits for no other run; the command runs
#   without the lock's descriptor, and what a killed run left running in the root is ended
#   by the next, so that leftovers never block it.
# - Packages come from the Debian mirror the machine's apt sources name.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
top=$(dirname "$here")
if [ -n "${PAPERLENS_I386_ROOT:-}" ]; then
  exec "$@" # already set up, by an enclosing run
fi

mode=$("$here/runs-32bit.sh" -v) || { echo "with-i386-root: cannot run 32-bit programs here: ${mode#*: }" >&2; exit 3; }
mode=${mode%%:*}
cache=${PAPERLENS_CACHE:-/var/cache/paperlens}
mkdir -p "$cache"
note() { echo "with-i386-root: $*" >&2; }
suite=bookworm

# The Debian mirror the machine's own apt sources name for the suite: the one-line form
# (sources.list, *.list) and the deb822 form (*.sources).
machine_mirror() {
  local list=() sources=() file
  for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do [ -f "$file" ] && list+=("$file"); done
  for file in /etc/apt/sources.list.d/*.sources; do [ -f "$file" ] && sources+=("$file"); done
  {
    [ ${#list[@]} -eq 0 ] || awk -v suite="$suite" '$1 == "deb" {
      sub(/^deb[ \t]+(\[[^]]*\][ \t]+)?/, ""); split($0, f, /[ \t]+/)
      if (f[2] == suite) print f[1] }' "${list[@]}"
    [ ${#sources[@]} -eq 0 ] || awk -v suite="$suite" 'BEGIN { RS = "" } {
      types = uris = suites = ""; enabled = "yes"
      n = split($0, lines, "\n")
      for (i = 1; i <= n; i++) {
        if (lines[i] ~ /^[ \t]*#/) continue
        key = tolower(lines[i]); sub(/:.*/, "", key); value = lines[i]; sub(/^[^:]*:[ \t]*/, "", value)
        if (key == "types") types = value; else if (key == "uris") uris = value
        else if (key == "suites") suites = value; else if (key == "enabled") enabled = tolower(value)
      }
      if (enabled != "no" && (" " types " ") ~ / deb / && (" " suites " ") ~ (" " suite " ")) {
        split(uris, u, /[ \t]+/); print u[1] } }' "${sources[@]}"
  } | head -n 1 | sed 's:/*$::'
}
mirror=${PAPERLENS_DEBIAN_MIRROR:-$(machine_mirror)}
[ -n "$mirror" ] || { note "the machine's apt sources name no Debian mirror for $suite; set PAPERLENS_DEBIAN_MIRROR"; exit 3; }

# Retries a command that may fail for a moment (a mirror mid-sync, a dropped connection).
retry() {
  local attempt
  for attempt in 1 2 3; do
    "$@" && return 0
    [ "$attempt" -lt 3 ] && { note "failed (attempt $attempt of 3), trying again: $*"; sleep $((attempt * 10)); }
  done
  return 1
}

# qemu-i386 from bookworm-backports, through apt with a private list and cache, so that
# the machine's own sources and lists stay as they are.
fetch_qemu() {
  local found
  found=$(ls -d "$cache"/qemu-*/usr/bin/qemu-i386 2>/dev/null | tail -n 1 || true)
  if [ -n "$found" ]; then
    echo "$found"
    return
  fi
  local apt=$cache/apt
  mkdir -p "$apt/lists/partial" "$apt/cache/archives/partial" "$apt/download"
  echo "deb $mirror bookworm-backports main" >"$apt/sources.list"
  local options=(-q -o Dir::Etc::sourcelist="$apt/sources.list" -o Dir::Etc::sourceparts=-
    -o Dir::State::Lists="$apt/lists" -o Dir::Cache="$apt/cache" -o APT::Sandbox::User=root)
  retry apt-get "${options[@]}" update >&2
  (cd "$apt/download" && rm -f ./*.deb && retry apt-get "${options[@]}" download qemu-user >&2)
  local deb
  deb=$(ls "$apt"/download/qemu-user_*.deb)
  local version
  version=$(dpkg-deb -f "$deb" Version)
  local into=$cache/qemu-${version//[:~+]/_}
  rm -rf "$into.partial" && mkdir -p "$into.partial"
  dpkg-deb --fsys-tarfile "$deb" | tar -x -C "$into.partial" ./usr/bin/qemu-i386
  rm -f "$deb"
  mv "$into.partial" "$into"
  echo "$into/usr/bin/qemu-i386"
}

# binfmt_misc entries of this and other runs are named paperlens-i386-PID, so that runs
# side by side each remove only their own; one left by a run that was killed is removed
# by the next.
binfmt=/proc/sys/fs/binfmt_misc
entry=
mounted_binfmt=0
unregister() {
  [ -n "$entry" ] && [ -e "$binfmt/$entry" ] && echo -1 >"$binfmt/$entry"
  if [ "$mounted_binfmt" -eq 1 ] && ! ls "$binfmt" | grep -qv '^register$\|^status$'; then
    umount "$binfmt" 2>/dev/null || true
  fi
  return 0
}
register() {
  local qemu=$1
  if [ ! -e "$binfmt/register" ]; then
    mount -t binfmt_misc binfmt_misc "$binfmt"
    mounted_binfmt=1
  fi
  local stale
  for stale in "$binfmt"/paperlens-i386-*; do
    [ -e "$stale" ] && ! kill -0 "${stale##*-}" 2>/dev/null && echo -1 >"$stale"
  done
  entry=paperlens-i386-$$
  trap unregister EXIT
  trap 'exit 130' INT
  trap 'exit 143' TERM HUP
  # Debian's own entry for qemu-i386 (its magic and mask), with F: the kernel opens the
  # emulator now, so that it need not exist inside the root.
  local magic='\x7f\x45\x4c\x46\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
  local mask='\xff\xff\xff\xff\xff\xfe\xfe\xfc\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
  echo ":$entry:M::$magic:$mask:$qemu:F" >"$binfmt/register"
}

# The root's recipe: this function's text and the variables it reads are the cache key.
root_packages="wine wine32 poppler-utils poppler-data tzdata"
build_root() {
  local into=$1
  debootstrap --variant=minbase --arch=i386 "$suite" "$into" "$mirror" >&2 ||
    { rm -rf "$into" && debootstrap --variant=minbase --arch=i386 "$suite" "$into" "$mirror" >&2; }
  cat >"$into/etc/apt/sources.list" <<EOF
deb $mirror $suite main
deb $mirror $suite-updates main
deb ${mirror%/debian}/debian-security $suite-security main
EOF
  # A list that fails to download leaves the root with the others' packages.
  unshare -m sh -c "mount -t proc proc '$into/proc' && mount --rbind /dev '$into/dev' &&
    { chroot '$into' apt-get -q update || { sleep 10; chroot '$into' apt-get -q update; } || true; } &&
    DEBIAN_FRONTEND=noninteractive chroot '$into' apt-get -q -y --no-install-recommends install $root_packages &&
    chroot '$into' apt-get clean" >&2
}
key=$( { declare -f build_root; echo "$root_packages $suite $mirror"; } | sha256sum | cut -c1-12)
root=$cache/i386-root-$key

# Ends what runs left in the root. With `own`, every process of the caller's mount
# namespace but the caller (at a run's end); with `orphans`, every process chrooted into
# the root whose mount namespace no run holds any more (a run that was killed). The wine
# servers last and with TERM, so that they go down on their own and keep their state; the
# rest with KILL, each named, so that what outlived a test can be told.
end_leftovers() {
  local which=$1 live=" " process pid argv command signal left=0 names= why=
  [ "$which" = own ] || why=" by a run that did not end them"
  if [ "$which" = orphans ]; then
    for process in /proc/[0-9]*; do # a run's shell is named with-i386-root
      mapfile -d '' -t argv 2>/dev/null <"$process/cmdline" || continue
      [ "${argv[3]:-}" != with-i386-root ] || live+="$(readlink "$process/ns/mnt" 2>/dev/null) "
    done
  fi
  for signal in KILL TERM; do
    for process in /proc/[0-9]*; do
      pid=${process#/proc/}
      [ "$pid" != $$ ] || continue
      # Tests of the shell itself (-ef: the same file), so that a long process list is quick.
      if [ "$which" = own ]; then
        [ "$process/ns/mnt" -ef /proc/self/ns/mnt ] || continue
      else
        [ "$process/root" -ef "$PAPERLENS_I386_ROOT" ] || continue
        [[ $live != *" $(readlink "$process/ns/mnt" 2>/dev/null) "* ]] || continue
      fi
      command=$(tr "\0" " " 2>/dev/null <"$process/cmdline")
      [ -n "$command" ] || continue # gone meanwhile
      case $command in
        *wineserver*) [ $signal = TERM ] && kill -TERM "$pid" 2>/dev/null ;;
        *) [ $signal = KILL ] && kill -KILL "$pid" 2>/dev/null && left=$((left + 1)) &&
          names="$names
  $command" ;;
      esac
    done
    [ $signal = KILL ] && [ $left -ne 0 ] && sleep 4
  done
  [ $left -eq 0 ] || note "ended $left Wine process(es) left running in the root$why:$names"
  return 0
}

if [ "$mode" = emulated ]; then
  qemu=$(fetch_qemu)
  register "$qemu"
  export PAPERLENS_UNDER_EMULATION=1
fi
# A shared lock on the root for the run, so that no newer recipe's run removes it meanwhile:
# it waits only while a root is being removed, never for other runs. Nothing the command
# starts holds it (the command runs without this descriptor), so that a run's leftovers
# never keep the next waiting. The root is made under a lock of its own, by one run.
exec 9>>"$root.lock"
flock -s 9
if [ ! -x "$root/usr/bin/wine" ]; then
  (
    flock 8
    [ ! -x "$root/usr/bin/wine" ] || exit 0
    note "making the i386 root $root (some minutes, once)"
    started=$SECONDS
    rm -rf "$root.partial"
    build_root "$root.partial"
    rm -rf "$root" && mv "$root.partial" "$root"
    note "made the i386 root in $((SECONDS - started)) s"
    # Roots of older recipes, unless a run is using one.
    for old in "$cache"/i386-root-*; do
      case $old in *.lock) continue ;; esac
      [ "${old%.partial}" != "$root" ] || continue
      ( flock -n 7 && rm -rf "$old" ) 7>"${old%.partial}.lock" || true
    done
  ) 8>"$root.make.lock" 9<&-
fi

export PAPERLENS_I386_ROOT=$root
end_leftovers orphans
# Bind mounts only inside this command's own mount namespace.
status=0
unshare -m bash -c "$(declare -f note end_leftovers)"'
  set -e
  root=$PAPERLENS_I386_ROOT top=$1
  shift
  mount -t proc proc "$root/proc"
  mount --rbind /dev "$root/dev"
  mount --rbind /sys "$root/sys"
  mount --bind /tmp "$root/tmp"
  mkdir -p "$root$top" && mount --bind "$top" "$root$top"
  # The root reads the same converter data as the machine, and sees any maps a test
  # mounted over it.
  [ ! -d /usr/share/poppler ] || mount --rbind /usr/share/poppler "$root/usr/share/poppler"
  set +e
  "$@"
  status=$?
  # Whatever this run started and left running in the root ends with it.
  end_leftovers own
  exit $status' with-i386-root "$top" "$@" 9<&- || status=$?
exit $status
