#!/bin/bash
# Test and demo scaffolding: never shipped with the plug-in.
#
# Stands in for the Windows converter when the plug-in runs under Wine on
# Linux. Copied as an executable file named pdftotext.exe into the plug-in's
# folder, it is started by CreateProcessA as a Unix program (Wine runs an
# executable script as such, whatever its name), with the command line
# already split the Windows way and with Windows paths such as Z:\tmp\x.pdf.
# It turns those paths into Linux ones and runs Debian's pdftotext with
# every argument as it arrived.
#
# A Windows build of this converter reads its encoding maps from share\poppler\
# unicodeMap beside its own folder (beside the parent when that folder is
# named bin); Debian's reads /usr/share/poppler/unicodeMap. So that Debian's
# pdftotext sees what a Windows one installed here would see, the run gets a
# private mount namespace in which that folder of this script's folder lies
# over Debian's: merged with Debian's own maps, or alone when
# PDFTOTEXT_SHIM_DATA=own (a build that ships no encoding data). The machine
# itself is left unchanged. This needs root or unprivileged user namespaces.
#
# Wine quirks it has to live with:
# - Wine starts a Unix program detached: CreateProcessA succeeds but returns
#   no process handle, so the caller cannot wait for it or read its exit
#   code. Hence the text goes to a temporary file beside the target and is
#   renamed into place only when pdftotext succeeded: whoever polls for the
#   target sees all of the text or no file. And if PDFTOTEXT_SHIM_LOG names
#   a file (Linux or Windows path), one line is appended to it per finished
#   run: "rc=N" and the arguments as received, each quoted with printf %q.
#   That line is the only sign that a run has ended.
# - Non-ASCII characters (the host passes code page 1252) reach this script
#   as UTF-8 only if Wine runs in a UTF-8 locale (e.g. LANG=C.UTF-8); in the
#   C locale Wine has already folded é to e, and no mapping here can undo it.

set -u

real=/usr/bin/pdftotext
dosdevices=${WINEPREFIX:-$HOME/.wine}/dosdevices

# Windows drive path -> Linux path; anything else is returned unchanged.
# Z: is Wine's usual mapping of /; other drives go through the prefix's
# dosdevices symlinks, which Wine keeps pointing at the right places.
to_unix() {
    local a=$1
    case $a in
        [A-Za-z]:[\\/]*~*)
            # An 8.3 short name exists only in Wine's view of the disk: Wine resolves it.
            # The plug-in's own temporary names (~paperlens-...) are long names, mapped as
            # any other without starting winepath.
            local long stripped=${a//'~paperlens-'/}
            if [[ $stripped == *~* ]] && long=$(winepath -u "$a" 2>/dev/null) && [ -n "$long" ]; then
                printf '%s' "$long"
                return
            fi
            ;&
        [A-Za-z]:[\\/]*)
            local drive=${a:0:1} rest=${a:3}
            rest=${rest//\\//}
            if [[ $drive == [Zz] ]]; then
                printf '%s' "/$rest"
            else
                printf '%s' "$dosdevices/${drive,,}:/$rest"
            fi
            ;;
        *)
            printf '%s' "$a"
            ;;
    esac
}

args=()
positional=()
expect_value=
for orig in "$@"; do
    a=$(to_unix "$orig")
    if [ -n "$expect_value" ]; then
        expect_value=
    else
        case $a in
            -f|-l|-r|-x|-y|-W|-H|-fixed|-enc|-eol|-opw|-upw|-colspacing)
                expect_value=$a ;;
            -?*) ;;
            *) positional+=("${#args[@]}") ;;
        esac
    fi
    args+=("$a")
done

tmp=
empty=
cleanup() {
    [ -n "$tmp" ] && rm -f -- "$tmp"
    [ -n "$empty" ] && rmdir -- "$empty"
}
trap 'cleanup; exit 143' TERM
trap 'cleanup; exit 130' INT

# pdftotext [options] <PDF-file> [<text-file>]: redirect the text file, if
# one is named and it is not stdout, to a temporary name in its directory so
# that the final rename is atomic.
target=
if [ ${#positional[@]} -ge 2 ]; then
    i=${positional[1]}
    if [ "${args[$i]}" != - ]; then
        target=${args[$i]}
        tmp=$target.shim$$.tmp
        args[i]=$tmp
    fi
fi

# The data folder a Windows build of the converter in this script's folder would read.
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd -P)
data=$here
case ${here##*/} in [Bb][Ii][Nn]) data=$(dirname "$here") ;; esac
maps=$data/share/poppler/unicodeMap
if [ "${PDFTOTEXT_SHIM_DATA:-}" = own ]; then
    mode=own
    if [ ! -d "$maps" ]; then
        empty=$(mktemp -d) && maps=$empty
    fi
elif [ -d "$maps" ]; then
    mode=merged
else
    mode=system
fi
namespace=(unshare -m)
[ "$(id -u)" -eq 0 ] || namespace=(unshare -r -m)
# Inside a chroot (the i386 root of the 32-bit tests) "/" is no mount point and cannot be
# made private; the run that made the chroot keeps its mounts private already.
mountpoint -q / || namespace+=(--propagation unchanged)
[ $mode != system ] || namespace=()
# shellcheck disable=SC2016 # expanded by the inner shell
inner='system=/usr/share/poppler/unicodeMap
case $1 in
    own) mount --bind "$2" "$system" ;;
    merged) mount -t overlay overlay -o "lowerdir=${2//:/\\:}:$system" "$system" ;;
esac || { echo "pdftotext-shim: cannot put $2 in place of $system" >&2; exit 98; }
shift 2
exec "$@"'
# A Unix program cannot write into a Windows pipe under Wine: the Windows half names a file
# for pdftotext's messages and hands them on to whoever started the converter.
if [ -n "${PDFTOTEXT_SHIM_OUTPUT:-}" ]; then
    "${namespace[@]}" bash -c "$inner" shim "$mode" "$maps" "$real" "${args[@]}" \
        >>"$(to_unix "$PDFTOTEXT_SHIM_OUTPUT")" 2>&1
else
    "${namespace[@]}" bash -c "$inner" shim "$mode" "$maps" "$real" "${args[@]}"
fi
rc=$?

if [ -n "$target" ]; then
    if [ $rc -eq 0 ] && [ -e "$tmp" ]; then
        mv -f -- "$tmp" "$target" || rc=2
    fi
fi
cleanup

if [ -n "${PDFTOTEXT_SHIM_LOG:-}" ]; then
    line="rc=$rc"
    for orig in "$@"; do
        line+=" $(printf '%q' "$orig")"
    done
    # One write per line, so a reader never sees half of it.
    printf '%s\n' "$line" >> "$(to_unix "$PDFTOTEXT_SHIM_LOG")"
fi

exit $rc
