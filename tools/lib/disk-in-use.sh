# shellcheck shell=sh
# Whether a disk is in use, for the pernix and draskel stand-ins. Sourced by
# standin-common.sh, never run; find_disk_users is the entry point.
#
# Writing under a mounted file system corrupts it. vorlix unmounts the one
# it was started for, but other partitions of the same disk may still be
# mounted, and the tools can be run by hand. Names alone cannot tell: the
# disk may be spelt /tmp/t//da0 or reached through a symlink, a FUSE file
# system on Linux shows its device as the source but an anonymous device
# number, and on FreeBSD it shows /dev/fuse. So each kind of disk is judged
# by its identity:
#
# - a Linux block device by device numbers: those of the disk, of each of
#   its partitions and of whatever is built on them (/sys/dev/block), against
#   each mount's own number and that of the device its source names;
# - a FreeBSD disk (a character device) by GEOM's count of the opens of it,
#   which takes in every mounted partition or label and FUSE daemons too;
# - a regular file standing in for a disk by each mount's source: named as
#   the file or one of its partitions (the disk's name followed by a number,
#   or by p or s and a number: da0s1, nvme0n1p1), or being the same file,
#   and on Linux also through any loop device it backs.
#
# test's -ef (same device and inode) is not in POSIX, but every sh this runs
# on has it: dash, bash, FreeBSD's sh, busybox.
# shellcheck disable=SC3013

# Sets collapsed to $1 with // and /./ taken out, so that two spellings of
# one path compare equal as text.
collapse_path() {
    collapsed=$1
    while :; do
        case $collapsed in
            *//*) collapsed=${collapsed%%//*}/${collapsed#*//} ;;
            */./*) collapsed=${collapsed%%/./*}/${collapsed#*/./} ;;
            *) break ;;
        esac
    done
}

# Prints a device node's major:minor, in decimal.
dev_number() {
    # GNU stat gives them in hex, BSD stat in decimal.
    if _dn=$(stat -L -c '%t %T' -- "$1" 2>/dev/null); then
        # shellcheck disable=SC2086 # two numbers
        set -- $_dn
        printf '%d:%d\n' "0x$1" "0x$2"
    elif _dn=$(stat -L -f '%Hr:%Lr' "$1" 2>/dev/null); then
        printf '%s\n' "$_dn"
    else
        return 1
    fi
}

# Adds the block device whose /sys folder is $1 to disk_numbers, with its
# partitions and, over and over, whatever is built on any of them (a
# device-mapper or RAID device lists the devices under it in holders/).
# Names of the latter go to disk_holders.
add_sys_disk() {
    _queue=$1
    for _part in "$1"/*/partition; do
        [ -f "$_part" ] && _queue="$_queue ${_part%/partition}"
    done
    # Kernel device names hold no blanks, so a blank-separated queue will do.
    while [ -n "$_queue" ]; do
        _dir=${_queue%% *}
        case $_queue in
            *' '*) _queue=${_queue#* } ;;
            *) _queue= ;;
        esac
        _num=
        read -r _num 2>/dev/null <"$_dir/dev"
        case $disk_numbers in
            *" $_num "*) continue ;;
        esac
        [ -n "$_num" ] && disk_numbers="$disk_numbers$_num "
        for _holder in "$_dir"/holders/*; do
            [ -e "$_holder" ] || continue
            _holder=$(cd -P -- "$_holder" && pwd -P) || continue
            disk_holders="$disk_holders ${_holder##*/}"
            _queue="$_queue $_holder"
        done
    done
}

# Sets up what the disk $1 is known by: disk_names (up to three spellings,
# for the name rule), disk_numbers (" maj:min ... " of block devices that are
# the disk or part of it) and disk_holders. The name rule is left out for a
# Linux block device, whose numbers say it all and whose names would
# mislead (loop1 is no partition of loop10).
disk_identity() {
    disk_name_given=
    disk_name_dir=
    disk_name_real=
    disk_numbers=' '
    disk_holders=
    if [ -b "$1" ]; then
        _num=$(dev_number "$1") || return 0
        if [ -d "/sys/dev/block/$_num" ] &&
            _sys=$(cd -P -- "/sys/dev/block/$_num" && pwd -P); then
            # A partition given by hand: the whole disk it is on counts.
            [ -f "$_sys/partition" ] && _sys=${_sys%/*}
            add_sys_disk "$_sys"
        fi
        # Without /sys, the device itself at least.
        case $disk_numbers in
            *" $_num "*) ;;
            *) disk_numbers="$disk_numbers$_num " ;;
        esac
        return 0
    fi

    case $1 in
        /*) collapse_path "$1" ;;
        *) collapse_path "${PWD:-$(pwd)}/$1" ;;
    esac
    disk_name_given=$collapsed
    # The same with the folder's symlinks resolved, and the file the whole
    # path finally leads to.
    _dir=${disk_name_given%/*}
    if _dir=$(cd -P -- "${_dir:-/}" 2>/dev/null && pwd -P); then
        collapse_path "$_dir/${disk_name_given##*/}"
        disk_name_dir=$collapsed
    fi
    if command -v realpath >/dev/null 2>&1; then
        disk_name_real=$(realpath "$disk_name_given" 2>/dev/null)
    fi

    # A loop device reading the file makes it a Linux disk as well.
    if [ -f "$1" ]; then
        for _backing in /sys/block/loop*/loop/backing_file; do
            [ -r "$_backing" ] || continue
            _file=$(cat "$_backing" 2>/dev/null)
            [ -n "$_file" ] && [ "$_file" -ef "$1" ] || continue
            _sys=$(cd -P -- "${_backing%/loop/backing_file}" && pwd -P) &&
                add_sys_disk "$_sys"
        done
    fi
}

# True when the path $1 names the disk or a partition of it by the name rule.
names_disk() {
    collapse_path "$1"
    for _name in "$disk_name_given" "$disk_name_dir" "$disk_name_real"; do
        [ -n "$_name" ] || continue
        case $collapsed in
            "$_name" | "$_name"[0-9]* | "$_name"p[0-9]* | "$_name"s[0-9]*)
                return 0 ;;
        esac
    done
    return 1
}

# True when a mount with device number $1 (or -) and source $2 is of the
# disk $3.
mount_of_disk() {
    case $disk_numbers in
        *" $1 "*) return 0 ;;
    esac
    case $2 in
        /*) ;;
        *) return 1 ;;
    esac
    [ -n "$disk_name_given" ] && names_disk "$2" && return 0
    [ "$2" -ef "$3" ] && return 0
    if [ "$disk_numbers" != ' ' ] && [ -b "$2" ]; then
        case $disk_numbers in
            *" $(dev_number "$2") "*) return 0 ;;
        esac
    fi
    return 1
}

# One line per mounted file system: its device number and its source. From
# /proc/self/mountinfo where there is one: its third field is the device
# number, and the source comes two fields after the "-" that ends the
# optional fields. Each is one word there, the kernel writing blank, tab,
# newline and backslash as \ooo. Elsewhere mount(8) lists "<source> on
# <dir> ..." (Linux and the BSDs alike); the source is all before " on ", as
# a name may itself hold blanks, and no number is known.
mount_sources() {
    if [ -r /proc/self/mountinfo ]; then
        awk '{
            for (i = 7; i <= NF && $i != "-"; i++) ;
            print $3, $(i + 2)
        }' /proc/self/mountinfo
    else
        mount 2>/dev/null | while IFS= read -r _line; do
            printf '%s %s\n' - "${_line%% on *}"
        done
    fi
}

# Prints " <source>" for each mount of the disk $1.
disk_mounts() {
    _escaped=
    [ -r /proc/self/mountinfo ] && _escaped=1
    mount_sources | while IFS=' ' read -r _num _src; do
        case $_escaped$_src in
            1*\\*)
                # awk turns \ooo in a -v value into its byte, which is just
                # how mountinfo writes them (and a backslash is \134 there).
                _src=$(awk -v s="$_src" 'BEGIN { printf "%s.", s }')
                _src=${_src%.}
                ;;
        esac
        mount_of_disk "$_num" "$_src" "$1" && printf ' %s' "$_src"
    done
}

# Prints GEOM's access mode of the provider $1 (da0, da0s1, md0), such as
# r1w1e2: read, write and exclusive opens, each counting those of everything
# built on it. Nothing when GEOM does not know it.
geom_mode() {
    command -v geom >/dev/null 2>&1 || return 0
    _mode=$(geom disk list "$1" 2>/dev/null | awk '$1 == "Mode:" { print $2; exit }')
    if [ -z "$_mode" ] && command -v sysctl >/dev/null 2>&1; then
        # Not a disk of its own (a partition or a memory disk): the
        # provider's entry in the whole GEOM tree. The name goes in through
        # the environment, where awk takes no escapes from it.
        _mode=$(sysctl -n kern.geom.confxml 2>/dev/null | geom_want=$1 awk '
            /<provider / { in_p = 1; name = ""; mode = "" }
            in_p && /<mode>/ && mode == "" { mode = $0; gsub(/.*<mode>|<\/mode>.*/, "", mode) }
            in_p && /<name>/ && name == "" { name = $0; gsub(/.*<name>|<\/name>.*/, "", name) }
            /<\/provider>/ { if (in_p && name == ENVIRON["geom_want"]) { print mode; exit } in_p = 0 }')
    fi
    printf '%s\n' "$_mode"
}

# Fails, saying why, when the disk $1 is in use.
find_disk_users() {
    disk_identity "$1"
    [ -r /proc/self/mountinfo ] || mount >/dev/null 2>&1 ||
        fail "cannot tell whether $1 is in use: there is no mount table to read."
    _mounted=$(disk_mounts "$1")
    [ -z "$_mounted" ] ||
        fail "$1 is in use: mounted now:$_mounted. Unmount it first."
    [ -z "$disk_holders" ] ||
        fail "$1 is in use: the system has built on it:$disk_holders. Stop using that first."

    # A FreeBSD disk: GEOM counts every user of it, FUSE daemons among them,
    # whose mounts show only /dev/fuse as their source.
    if [ -c "$1" ]; then
        if command -v realpath >/dev/null 2>&1; then
            _dev=$(realpath "$1" 2>/dev/null)
        else
            collapse_path "$1"
            _dev=$collapsed
        fi
        case $_dev in
            /dev/?*) _mode=$(geom_mode "${_dev#/dev/}") ;;
            *) _mode= ;;
        esac
        case $_mode in
            r0w0e0) ;;
            r[0-9]*w[0-9]*e[0-9]*)
                fail "$1 is in use: GEOM reports it open ($_mode), by a mounted file system, a FUSE daemon or another program, on the disk or one of its partitions. Unmount it first." ;;
            *)
                fail "cannot tell whether $1 is in use: GEOM does not report on it." ;;
        esac
    fi
}
