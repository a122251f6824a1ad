# shellcheck shell=sh disable=SC2154
# (prog and usage_line are set by the script that sources this.)
# Common part of the pernix and draskel stand-ins: argument checks, the
# typed confirmation, the pause that keeps a failing window open, disk sizes.
# Sourced, never run. The caller sets $prog (its own name) and $usage_line
# first.
#
# Both tools normally run in a terminal window that closes the moment they
# exit, with a person at the keyboard. Tests drive them by piping answers in,
# so every question reads a line from stdin and treats EOF as "no".
#
# Exit status: 0 done, 1 refused or failed, 2 cancelled, 64 bad usage,
# 130 interrupted. vorlix itself only looks at the success marker.

# A desktop user's PATH often lacks the sbin directories where mkfs, blockdev,
# diskinfo and newfs live. Appended, so anything the caller put first wins.
PATH=${PATH:+$PATH:}/sbin:/usr/sbin:/usr/local/sbin
export PATH

# Set once the disk is being changed, so an interruption can say so.
work_started=

say() {
    printf '%s\n' "$*"
}

warn() {
    printf '%s: %s\n' "$prog" "$*" >&2
}

# The reason for a failure is only useful if the window stays open long
# enough to read it.
pause_for_enter() {
    printf 'Press Enter to close this window. '
    read -r _ || :
}

fail() {
    warn "$*"
    pause_for_enter
    exit 1
}

usage() {
    warn "usage: $usage_line"
    pause_for_enter
    exit 64
}

interrupted() {
    if [ -n "$work_started" ]; then
        warn "interrupted: $disk is only partly written and must not be trusted."
    else
        warn "interrupted before anything was written."
    fi
    pause_for_enter
    exit 130
}
trap interrupted INT

# Prints a size the way a person reads it, keeping the exact byte count.
human_size() {
    awk -v n="$1" 'BEGIN {
        split("bytes KiB MiB GiB TiB PiB", unit, " ")
        v = n; i = 1
        while (v >= 1024 && i < 6) { v /= 1024; i++ }
        if (i == 1) printf "%d bytes\n", n
        else printf "%.1f %s, %.0f bytes\n", v, unit[i], n
    }'
}

# Size of a regular file. wc reads the size from the file system for regular
# files; some wc implementations pad the number with blanks.
file_size() {
    _n=$(wc -c <"$1") || return 1
    printf '%s\n' "$_n" | tr -d ' \t'
}

# Size of a disk device, asked of the system rather than found by reading
# the device through: FreeBSD has diskinfo, Linux has blockdev.
device_size() {
    if command -v diskinfo >/dev/null 2>&1; then
        diskinfo -- "$1" 2>/dev/null | awk 'NR == 1 { print $3 }'
    elif command -v blockdev >/dev/null 2>&1; then
        blockdev --getsize64 "$1" 2>/dev/null
    fi
}

# The disk's sector size: FreeBSD's diskinfo, Linux's blockdev.
device_sector_size() {
    if command -v diskinfo >/dev/null 2>&1; then
        diskinfo -- "$1" 2>/dev/null | awk 'NR == 1 { print $2 }'
    elif command -v blockdev >/dev/null 2>&1; then
        blockdev --getss "$1" 2>/dev/null
    fi
}

is_number() {
    case $1 in
        '' | *[!0-9]*) return 1 ;;
    esac
}

# vorlix decides success by the marker alone. One left over from before would
# announce a success that never happened, and a marker that cannot be made
# after the disk was written would turn real work into a reported failure;
# both are caught before anything is touched.
check_marker() {
    marker=$1
    [ -n "$marker" ] || fail "the success marker path is empty."
    if [ -e "$marker" ] || [ -L "$marker" ]; then
        fail "the success marker $marker already exists; refusing, since it would report success whatever happened."
    fi
    _dir=$(dirname -- "$marker")
    if [ ! -d "$_dir" ] || [ ! -w "$_dir" ]; then
        fail "cannot create the success marker in $_dir."
    fi
}

# noclobber makes the shell create the file exclusively, so nothing planted
# at that name in the meantime (a symlink in /tmp, say) is followed.
make_marker() {
    if (set -C && : >"$marker") 2>/dev/null; then
        return 0
    fi
    fail "the work is done, but the success marker $marker could not be created."
}

check_image() {
    image=$1
    if [ ! -e "$image" ]; then
        fail "image $image does not exist."
    elif [ -d "$image" ]; then
        fail "image $image is a directory, not an image file."
    elif [ ! -f "$image" ]; then
        fail "image $image is not a regular file."
    elif [ ! -r "$image" ]; then
        fail "image $image cannot be read."
    fi
    image_size=$(file_size "$image") && is_number "$image_size" ||
        fail "cannot tell the size of image $image."
    [ "$image_size" -gt 0 ] || fail "image $image is empty."
}

# Sets disk_size, disk_kind, disk_sector (the size of the disk's sectors)
# and, for a raw device that takes nothing but whole sectors (FreeBSD's
# disks are character devices of that kind), disk_raw.
check_disk() {
    disk=$1
    disk_sector=512
    disk_raw=
    if [ -f "$disk" ]; then
        disk_kind="disk image file"
        disk_size=$(file_size "$disk")
    elif [ -b "$disk" ] || [ -c "$disk" ]; then
        # A device counts as a disk when the system can tell its size. That
        # takes in FreeBSD's disks, which are character devices, and keeps
        # out things like /dev/null or a terminal.
        disk_kind="disk device"
        disk_size=$(device_size "$disk")
        is_number "$disk_size" ||
            fail "$disk is a device, but not a disk whose size this system can tell."
        disk_sector=$(device_sector_size "$disk")
        is_number "$disk_sector" && [ "$disk_sector" -gt 0 ] ||
            fail "cannot tell the sector size of $disk."
        # shellcheck disable=SC2034 # for pernix
        [ -c "$disk" ] && disk_raw=1
    elif [ ! -e "$disk" ]; then
        fail "disk $disk does not exist."
    elif [ -d "$disk" ]; then
        fail "disk $disk is a directory, not a disk."
    else
        fail "disk $disk is neither a block device nor a regular file."
    fi
    is_number "$disk_size" || fail "cannot tell the size of disk $disk."
    [ -w "$disk" ] || fail "no permission to write to $disk."
}

# Refuses a disk that is mounted, in whole or in part, or otherwise in use
# (disk-in-use.sh, sourced beside this file, tells).
check_not_in_use() {
    find_disk_users "$disk"
}

describe_disk() {
    printf '%s, %s\n' "$disk_kind" "$(human_size "$disk_size")"
}

# Shows the disk and asks. Nothing short of the word itself counts: a stray
# Enter must not erase a disk.
confirm_erase() {
    say "Disk:  $disk"
    say "       $(describe_disk)"
    say ''
    say 'EVERYTHING on this disk will be erased.'
    printf 'Type yes and press Enter to go on; anything else cancels: '
    _answer=
    read -r _answer || :
    if [ "$_answer" != yes ]; then
        say ''
        say "$prog: cancelled; nothing was written to $disk."
        pause_for_enter
        exit 2
    fi
}

# Whether this system's dd takes the given operands. GNU dd and newer BSD dd
# can report progress and fsync by themselves, older ones reject the
# operands; trying it on a scratch file is more reliable than guessing the
# version. (A scratch file, as fsync on /dev/null fails on Linux.)
dd_supports() {
    _probe=$(mktemp "${TMPDIR:-/tmp}/standin-dd.XXXXXX") || return 1
    dd if=/dev/null of="$_probe" "$@" >/dev/null 2>&1
    _rc=$?
    rm -f "$_probe"
    return "$_rc"
}
