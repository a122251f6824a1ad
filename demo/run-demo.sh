#!/bin/sh
# Tries vorlix out without a real disk: installs what it needs, builds it
# and its session agent vorlix-watch, makes a sandbox with a disk image file
# standing in for a USB stick, starts vorlix-watch there and mounts the
# stick, so that vorlix opens on it as it would on a desktop.
#
#   demo/run-demo.sh                  all of that
#   demo/run-demo.sh --sandbox-only   only make the sandbox and mount its
#                                     stick; print on stdout the environment
#                                     to use with it, as shell assignments
#                                     to eval
#   demo/run-demo.sh --clean          unmount the sandbox's stick and remove
#                                     the sandbox
#
#   DEMO_NO_DEPS=1    skip installing packages
#   DEMO_NO_BUILD=1   skip the build (build/vorlix and, for a mounted
#                     stick, build/vorlix-watch must exist)
#   DEMO_DIR=<dir>    where to make the sandbox (default: vorlix-demo in
#                     $TMPDIR or /tmp); an old sandbox there is unmounted
#                     and replaced
#
# The sandbox must be the user's alone, as must every folder above it
# (each the user's or root's, and writable by no one else unless sticky,
# as /tmp is); any other place is refused, and so is a path holding a
# control character or a backslash. --clean removes nothing while anything
# is mounted inside the sandbox.
#
# The stick is an ext4 file system in the disk file, mounted through FUSE
# (fuse2fs), which needs no root where the system lets users mount FUSE
# file systems. Where it cannot be mounted, and always on FreeBSD, the
# mount point is a plain folder instead, the script says so, and it starts
# vorlix on that folder itself. When vorlix ends, so do vorlix-watch and
# the script, with vorlix's exit status; however vorlix ended (killed,
# aborted, crashed), the stick is unmounted first.
#
# vorlix needs a graphical session: without DISPLAY or WAYLAND_DISPLAY the
# script says so and how to give it one, before it installs, builds or
# mounts anything, and ends with status 78, as vorlix itself would.
#
# In the sandbox every helper vorlix starts stays inside it: kelmo unmounts
# only the sandbox's stick, pernix and draskel act on the sandbox disk file
# only, and the file manager is demo-fm.

set -u

say() {
    printf '%s\n' "$*" >&2
}

die() {
    say "run-demo: $*"
    exit 1
}

# Single-quotes a value for the shell, so any path survives eval.
shell_quote() {
    printf "'%s'" "$(printf '%s' "$1" | sed "s/'/'\\\\''/g")"
}

sandbox_only=
clean=
case ${1-} in
    '') ;;
    --sandbox-only) sandbox_only=1 ;;
    --clean) clean=1 ;;
    -h | --help)
        sed -n '2,/^$/s/^# \{0,1\}//p' "$0" >&2
        exit 0
        ;;
    *) die "unknown argument $1 (try --help)" ;;
esac

# mkfs and friends live in sbin, which a user's PATH may lack. vorlix gets
# the user's own PATH (with the sandbox's helpers first).
user_path=$PATH
PATH=$PATH:/sbin:/usr/sbin:/usr/local/sbin
export PATH

# Everything the script makes is writable by the user alone: the sandbox
# holds the helpers vorlix runs, and whoever could change those would run
# their own code as this user (as root, if root runs the demo).
umask 022

repo=$(cd -P -- "$(dirname -- "$0")/.." && pwd -P) || die "cannot find the repository"

on_freebsd=
[ "$(uname -s 2>/dev/null)" = FreeBSD ] && on_freebsd=1

# The window needs a display. Told at once, not after a build and a mount
# that would only end in vorlix's own complaint. (--sandbox-only and
# --clean open no window.)
if [ -z "$sandbox_only" ] && [ -z "$clean" ] &&
    [ -z "${DISPLAY-}" ] && [ -z "${WAYLAND_DISPLAY-}" ]; then
    say "run-demo: the demo needs a graphical session: neither DISPLAY nor WAYLAND_DISPLAY"
    say "    is set, so vorlix could open no window. Nothing was mounted or started."
    say "    Run it from a terminal of your desktop, or over \"ssh -X\" (the window then"
    say "    opens on your own screen), or give it a display of its own:"
    say "      xvfb-run -a $0            (Debian: package xvfb)"
    say "      Xvfb :1 & DISPLAY=:1 $0   (FreeBSD: package xorg-vfbserver)"
    say "          an X server in memory: nothing shows on a screen, but every"
    say "          button works (xdotool can press them)"
    say "      Xephyr :1 & DISPLAY=:1 $0"
    say "          a nested X server, in a window of the desktop you are in"
    say "      sway (or weston), started from a terminal of your desktop, opens a nested"
    say "          Wayland compositor in a window: run the demo from a terminal inside it"
    exit 78
fi

# --- where the sandbox goes --------------------------------------------------
# Any folder will do, digits and blanks included (TMPDIR=/tmp/user/1000 is
# common): vorlix names the disk by cutting only the device's own name,
# da0s1, after its first run of digits.
if [ -n "${DEMO_DIR-}" ]; then
    sandbox=$DEMO_DIR
    named_by=DEMO_DIR
else
    sandbox=${TMPDIR:-/tmp}/vorlix-demo
    named_by=TMPDIR
fi

# A path with a control character or a backslash is refused outright: a
# trailing newline vanishes in a command substitution, so that one check
# would look at one folder and the next step use another, and the escapes
# of the mount table and of awk would make the same path read differently.
# (The newline sits inside the list, where the substitution keeps it.)
control_chars=$(printf '\001\002\003\004\005\006\007\010\011\012\013\014\015\016\017\020\021\022\023\024\025\026\027\030\031\032\033\034\035\036\037\177')
plain_path() {
    case $1 in
        *[\\"$control_chars"]*) return 1 ;;
    esac
    return 0
}
plain_path "$sandbox" ||
    die "$named_by holds a newline, tab, backslash or other control character; choose a plain path for the sandbox"

case $sandbox in
    /*) ;;
    *) sandbox=$(pwd -P)/$sandbox ;;
esac
while :; do
    case $sandbox in
        / | *[!/]) break ;;
        */) sandbox=${sandbox%/} ;;
    esac
done
sandbox_name=${sandbox##*/}
case $sandbox_name in
    '' | . | ..) die "$named_by must end in the name of the sandbox's own folder, not in /, . or .." ;;
esac
parent=${sandbox%/*}
[ -n "$parent" ] || parent=/

# Sets phys to the real path of the folder $1, symlinks resolved. pwd's
# newline is cut off without cutting one that belongs to the name.
physical() {
    phys=$(cd -P -- "$1" 2>/dev/null && pwd -P && echo .) ||
        die "cannot look into $1"
    phys=${phys%?}
    phys=${phys%?}
    plain_path "$phys" ||
        die "$1 leads to a path with a control character or a backslash; choose another DEMO_DIR"
}

uid=$(id -u)

# Owner's uid and mode string (drwxrwxrwt) of the folder $1, itself and
# not where a symlink leads.
owner_and_mode() {
    # shellcheck disable=SC2012 # one folder, its name checked by plain_path
    ls -ldn -- "$1" 2>/dev/null | awk 'NR == 1 { print $3, $1 }'
}

# True when no one but the user, or root, can change the folder $1 or any
# folder above it: each belongs to root or the user, and is writable by no
# one else unless sticky (as /tmp is), where others cannot move or remove
# what is not theirs. Otherwise sets unsafe to why.
safe_ancestry() {
    _d=$1
    while :; do
        # shellcheck disable=SC2046 # two words
        set -- $(owner_and_mode "$_d")
        if [ "$#" -ne 2 ]; then
            unsafe="cannot look at $_d"
            return 1
        fi
        case $1 in
            0 | "$uid") ;;
            *)
                unsafe="$_d belongs to another user (uid $1)"
                return 1 ;;
        esac
        case $2 in
            ?????????[tT]*) ;;
            ?????w* | ????????w*)
                unsafe="others can write to $_d"
                return 1 ;;
        esac
        [ "$_d" = / ] && return 0
        _d=${_d%/*}
        [ -n "$_d" ] || _d=/
    done
}

# True when $1 is a folder of the user's own, not a symlink, that no one
# else can write to. Otherwise sets unsafe to why.
own_folder() {
    if [ -L "$1" ] || [ ! -d "$1" ]; then
        unsafe="it is not a folder"
        return 1
    fi
    # shellcheck disable=SC2046 # two words
    set -- $(owner_and_mode "$1")
    if [ "${1-}" != "$uid" ]; then
        unsafe="it belongs to another user (uid ${1-unknown})"
        return 1
    fi
    case ${2-} in
        ?????w* | ????????w*)
            unsafe="others can write to it"
            return 1 ;;
    esac
    return 0
}

# Makes sure the sandbox's place is safe to use, and sets sandbox to its
# real path. With "make", creates the folders above it that are missing,
# after checking the one they go in.
settle_place() {
    _above=$parent
    while [ ! -d "$_above" ]; do
        [ -e "$_above" ] || [ -L "$_above" ] &&
            die "$_above is in the way of the sandbox $sandbox and is not a folder; choose another DEMO_DIR"
        _above=${_above%/*}
        [ -n "$_above" ] || _above=/
    done
    physical "$_above"
    safe_ancestry "$phys" ||
        die "not using $sandbox: $unsafe, so another user could change the sandbox; choose another DEMO_DIR"
    [ "$1" = make ] || [ -d "$parent" ] || return 0
    mkdir -p -- "$parent" || die "cannot create $parent"
    physical "$parent"
    safe_ancestry "$phys" ||
        die "not using $sandbox: $unsafe, so another user could change the sandbox; choose another DEMO_DIR"
    sandbox=${phys%/}/$sandbox_name
    if [ -e "$sandbox" ] || [ -L "$sandbox" ]; then
        own_folder "$sandbox" ||
            die "not using $sandbox: $unsafe; choose another DEMO_DIR"
    fi
}

# --- old sandboxes ---------------------------------------------------------
stamp=.vorlix-demo-sandbox

# True when a FUSE file system is mounted on the folder. Without findmnt
# (not Linux) the stick is never mounted, so nothing here is either.
fuse_mounted() {
    command -v findmnt >/dev/null 2>&1 || return 1
    case $(findmnt -n -o FSTYPE -M "$1" 2>/dev/null) in
        fuse | fuse.*) return 0 ;;
    esac
    return 1
}

# Prints a mount point at or below the folder $1, if there is one. On Linux
# from the kernel's own table, whose fifth field is the mount point with
# blank, tab, newline and backslash written as \ooo: the folder's path has
# none but blanks of those (plain_path), so with its blanks written the
# same way the two compare as they stand. It goes to awk through the
# environment, which takes no escapes from it. Elsewhere from mount(8)'s
# "<source> on <dir> (...)" lines.
mount_below() {
    if [ -r /proc/self/mountinfo ]; then
        demo_dir_escaped=$(printf '%s\n' "$1" | sed 's/ /\\040/g') awk '
            BEGIN { d = ENVIRON["demo_dir_escaped"] }
            $5 == d || index($5, d "/") == 1 { print $5; exit }' /proc/self/mountinfo
    else
        mount 2>/dev/null | while IFS= read -r _line; do
            case $_line in
                *" on $1 "* | *" on $1/"*)
                    printf '%s\n' "$_line"
                    break ;;
            esac
        done
    fi
}

# True while the process runs. A zombie counts as ended: where the system's
# first process does not reap orphans it stays one for good.
running() {
    case $(ps -o stat= -p "$1" 2>/dev/null) in
        '' | Z*) return 1 ;;
    esac
    return 0
}

# Unmounts a sandbox's stick the way its kelmo does: the real stand-in,
# which names the processes that keep a busy stick mounted.
unmount_stick() {
    PATH=$repo/demo/sandbox-bin/fuse-umount:$PATH VORLIX_DEMO_DIR=$1 \
        "$repo/tools/kelmo" umount "$1/mnt"
}

# Removes the folder $1 without crossing into another file system, should
# one be mounted below it after all: GNU rm's --one-file-system, BSD rm's
# -x. (A bind mount of a folder on the same file system is not told apart
# that way, which is why mount_below is asked first.)
remove_tree() {
    if rm -rf --one-file-system -- "$1/.no-such-file" 2>/dev/null; then
        rm -rf --one-file-system -- "$1"
    elif rm -rf -x -- "$1/.no-such-file" 2>/dev/null; then
        rm -rf -x -- "$1"
    else
        rm -rf -- "$1"
    fi
}

# Removes an old sandbox, after unmounting its stick, but nothing else: a
# folder without the stamp this script leaves, or with anything else
# mounted in it, is not removed. An empty folder is left for reuse.
# settle_place has checked that the folder is the user's alone.
remove_sandbox() {
    if [ ! -f "$sandbox/$stamp" ]; then
        [ -z "$(ls -A -- "$sandbox")" ] && return 0
        die "$sandbox is not empty and is not a demo sandbox; not touching it (choose another DEMO_DIR)"
    fi
    if fuse_mounted "$sandbox/mnt"; then
        say "==> Unmounting the sandbox's stick $sandbox/mnt"
        unmount_stick "$sandbox" ||
            die "cannot unmount the sandbox's stick $sandbox/mnt (see above); close what uses it and try again"
    fi
    _below=$(mount_below "$sandbox")
    [ -z "$_below" ] ||
        die "something is mounted inside the old sandbox $sandbox ($_below); unmount it first"
    remove_tree "$sandbox" || die "cannot remove the old sandbox $sandbox"
}

if [ -n "$clean" ]; then
    if [ ! -e "$sandbox" ] && [ ! -L "$sandbox" ]; then
        say "run-demo: there is no sandbox at $sandbox; nothing to clean."
        exit 0
    fi
    settle_place check
    remove_sandbox
    if [ -e "$sandbox" ]; then
        say "run-demo: $sandbox is an empty folder, not a sandbox; left as it is."
    else
        say "==> Removed the sandbox $sandbox"
    fi
    exit 0
fi

# Before the long steps, so that a place that will not do is told at once.
settle_place check

# --- 1. packages ------------------------------------------------------------
# install-deps says what it installs, and nothing when all is there.
if [ -z "$sandbox_only" ] && [ "${DEMO_NO_DEPS-}" != 1 ]; then
    if [ -n "$on_freebsd" ]; then
        say "==> FreeBSD: not installing packages. The demo needs these (as root):"
        say "    pkg install cmake qt6-base qt6-tools rxvt-unicode e2fsprogs exfat-utils"
    elif command -v apt-get >/dev/null 2>&1 && command -v dpkg-query >/dev/null 2>&1; then
        "$repo/.ci/install-deps" ||
            die "installing packages failed; install them by hand and rerun with DEMO_NO_DEPS=1"
    else
        say "==> Not a Debian system: skipping package installation."
        say "    Needed: cmake, a C++ compiler, Qt 6 base development files,"
        say "    rxvt-unicode (urxvt), exfatprogs, e2fsprogs, and for a mounted"
        say "    stick fuse2fs and fusermount3 (FUSE 3)."
    fi
fi

# --- 2. build ---------------------------------------------------------------
# Only the program: the tests and the benchmark would take most of the
# time. The flags are those tests/run.sh gives build/, so that the test run
# afterwards reuses these objects instead of building them again.
if [ -z "$sandbox_only" ] && [ "${DEMO_NO_BUILD-}" != 1 ]; then
    if [ -x "$repo/build/vorlix" ]; then
        say "==> Building vorlix and vorlix-watch in $repo/build"
    else
        say "==> Building vorlix and vorlix-watch in $repo/build (the first time takes about half a minute)"
    fi
    if ! cmake -S "$repo" -B "$repo/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DVORLIX_WERROR=ON -DVORLIX_SANITIZE=OFF >/dev/null ||
        ! cmake --build "$repo/build" -j "$(nproc 2>/dev/null || echo 2)" --target vorlix vorlix-watch; then
        die "the build failed"
    fi
fi

# --- 3. sandbox -------------------------------------------------------------
settle_place make
if [ -e "$sandbox" ] || [ -L "$sandbox" ]; then
    remove_sandbox
fi
# Made anew by mkdir alone, which fails when someone has put something in
# its place meanwhile; either way it must now be the user's own.
if [ ! -d "$sandbox" ]; then
    mkdir -- "$sandbox" || die "cannot create $sandbox"
fi
own_folder "$sandbox" || die "not using $sandbox: $unsafe"
: >"$sandbox/$stamp"

say "==> Making the sandbox in $sandbox"

# The stick: a sparse 64 MiB file (it takes no room until written), and its
# first partition's name, which is all vorlix needs of it.
blank_disk() {
    rm -f -- "$sandbox/da0"
    dd if=/dev/zero of="$sandbox/da0" bs=1048576 count=0 seek=64 2>/dev/null ||
        die "cannot create the disk file $sandbox/da0"
}
blank_disk
ln -s da0 "$sandbox/da0s1"

# A few files for the stick, written into its file system or, where it
# cannot be mounted, into the plain folder.
stick_files() {
    mkdir -p "$1/photos" "$1/documents"
    printf 'Shopping: bread, milk, tea.\n' >"$1/documents/notes with spaces.txt"
    printf 'Holiday, day one: rain. Day two: more rain.\n' >"$1/documents/diary.txt"
    printf 'P1\n4 4\n0110\n1001\n1001\n0110\n' >"$1/photos/ring.pbm"
}

mnt=$sandbox/mnt
mkdir -p "$mnt"

# Why the stick cannot be mounted here; empty when it can. The FUSE mount
# is made on Linux alone: FreeBSD's FUSE and its mount table work
# otherwise, and the stick stays a folder there.
fuse_problem=
if [ -n "$on_freebsd" ]; then
    fuse_problem="on FreeBSD the demo mounts nothing"
elif [ ! -c /dev/fuse ]; then
    fuse_problem="there is no /dev/fuse"
elif ! command -v fusermount3 >/dev/null 2>&1; then
    fuse_problem="fusermount3 is not installed (Debian package fuse3)"
elif ! command -v fuse2fs >/dev/null 2>&1; then
    fuse_problem="fuse2fs is not installed (Debian package fuse2fs)"
elif ! command -v mkfs.ext4 >/dev/null 2>&1; then
    fuse_problem="mkfs.ext4 is not installed (Debian package e2fsprogs)"
elif ! command -v findmnt >/dev/null 2>&1; then
    fuse_problem="findmnt is not installed (Debian package util-linux)"
fi

# Makes an ext4 file system holding the stick's files in the disk file; on
# failure sets fuse_problem.
make_stick_fs() {
    _log=$sandbox/fuse2fs.log
    _files=$sandbox/.stick-files
    mkdir -p "$_files"
    stick_files "$_files"
    cat >"$_files/README.txt" <<'EOF'
This is the USB stick of the vorlix demo: an ext4 file system in the file
../da0 (64 MiB), mounted here through FUSE by fuse2fs. ../da0s1 is the name
of its first partition, which vorlix was started with.
Unmount really unmounts it; Reformat and Copy disk image write ../da0.
EOF
    # No journal: fuse2fs does not use one, and warns on each mount of a
    # file system that has one. The user owns the top folder, so the stick
    # is theirs to write to.
    if ! mkfs.ext4 -q -F -L vorlix-stick -O ^has_journal \
        -E root_owner="$(id -u):$(id -g)" -d "$_files" "$sandbox/da0" >"$_log" 2>&1; then
        fuse_problem="mkfs.ext4 could not make the file system: $(sed -n 1p "$_log")"
        rm -rf "$_files"
        return 1
    fi
    rm -rf "$_files"
}

# Mounts the stick on mnt; on failure sets fuse_problem and blanks the disk
# file again. fuse2fs opens the disk through its partition's name, da0s1,
# which the mount table then shows as the stick's device, as it would a
# real stick's partition.
mount_stick() {
    _log=$sandbox/fuse2fs.log
    # fuse2fs stays in the foreground of a subshell that ends at once: it
    # then belongs to no process here, and vorlix never has to reap it. Its
    # own folder is /, so that it holds nothing busy. minixdf counts the
    # whole disk in the total, so that Filesystem info shows the stick's
    # 64 MiB.
    (
        (cd / && exec fuse2fs -f -o minixdf "$sandbox/da0s1" "$mnt") \
            </dev/null >>"$_log" 2>&1 &
        echo "$!" >"$sandbox/.fuse2fs.pid"
    )
    _pid=$(cat "$sandbox/.fuse2fs.pid")
    _tries=0
    until fuse_mounted "$mnt"; do
        if ! running "$_pid"; then
            fuse_problem="fuse2fs could not mount it: $(sed -n 1p "$_log")"
            break
        fi
        if [ "$_tries" -ge 100 ]; then
            kill "$_pid" 2>/dev/null
            fuse_problem="fuse2fs had not mounted it after 10 s"
            break
        fi
        sleep 0.1
        _tries=$((_tries + 1))
    done
    if [ -n "$fuse_problem" ]; then
        rm -f "$sandbox/.fuse2fs.pid"
        blank_disk
        return 1
    fi
}

# Where the stick cannot be mounted: says why, and makes mnt a plain
# folder holding the stick's files.
plain_stick() {
    if [ -n "$on_freebsd" ]; then
        say "==> On FreeBSD the stick is a plain folder: the demo mounts nothing there"
        say "    (it mounts the stick through FUSE with fuse2fs on Linux only)."
    else
        say "==> The stick cannot be mounted here: $fuse_problem."
        say "    Its mount point is a plain folder instead."
    fi
    say "    Filesystem info describes the disk that folder is on, and Unmount"
    say "    only pretends."
    stick_files "$mnt"
    cat >"$mnt/README.txt" <<'EOF'
This folder plays the part of a mounted USB stick in the vorlix demo.
The stick could not be mounted through FUSE here, so nothing is really
mounted, and unmounting it only pretends.
The stick itself is the file ../da0 (64 MiB); ../da0s1 is the name of its
first partition, which vorlix was started with.
EOF
    fstype=msdosfs
    stick_kind="a plain folder; nothing is mounted"
}

# With --sandbox-only the stick is mounted now. For the demo itself it is
# mounted once vorlix-watch watches (step 4), so that the mount opens the
# window, as it would on a desktop.
stick_to_mount=
if [ -z "$fuse_problem" ] && make_stick_fs; then
    fstype=ext4
    if [ -z "$sandbox_only" ]; then
        stick_to_mount=1
        stick_kind="ext4 in da0, to be mounted through FUSE by fuse2fs"
    elif mount_stick; then
        stick_kind="ext4 in da0, mounted through FUSE by fuse2fs"
    else
        plain_stick
    fi
else
    plain_stick
fi

# An image to copy onto the stick: a small ext4 file system holding a few
# files where mkfs.ext4 can make one (then blkid or file -s recognise the
# stick afterwards), otherwise 4 MiB of numbered lines. It lies in the
# home folder vorlix is given, where the Copy dialog opens.
home=$sandbox/home
mkdir -p "$home"
img=$home/sample.img
img_src=$sandbox/.sample-contents
mkdir -p "$img_src"
printf 'This file came from sample.img.\n' >"$img_src/from-the-image.txt"
if command -v mkfs.ext4 >/dev/null 2>&1 &&
    mkfs.ext4 -q -F -L vorlix-sample -d "$img_src" "$img" 4M >/dev/null 2>&1; then
    img_kind="a 4 MiB ext4 file system"
else
    rm -f "$img"
    awk 'BEGIN { for (i = 0; i < 131072; i++) printf "vorlix sample image line %015d\n", i }' >"$img" ||
        die "cannot create $img"
    img_kind="4 MiB of numbered lines"
fi
rm -rf "$img_src"

# The helpers vorlix starts, found first on PATH.
bin=$sandbox/bin
mkdir -p "$bin"
for tool in kelmo pernix draskel; do
    ln -s "$repo/demo/sandbox-bin/sandbox-tool" "$bin/$tool"
done
ln -s "$repo/demo/sandbox-bin/demo-fm" "$bin/demo-fm"
if ! command -v urxvt >/dev/null 2>&1; then
    ln -s "$repo/demo/sandbox-bin/urxvt-fallback" "$bin/urxvt"
    say "    (no urxvt here: the copy and format tools run in xterm, or in this terminal)"
fi

PATH=$bin:$user_path
VORLIX_FM=demo-fm
export PATH VORLIX_FM

say "    mount point:  $mnt ($stick_kind)"
say "    device:       $sandbox/da0s1 (the disk is $sandbox/da0, 64 MiB)"
say "    sample image: $img ($img_kind)"
say "    helpers:      $bin (first on PATH); log of their calls: $sandbox/demo.log"

if [ -n "$sandbox_only" ]; then
    printf 'VORLIX_DEMO_DIR=%s; export VORLIX_DEMO_DIR\n' "$(shell_quote "$sandbox")"
    printf 'VORLIX_DEMO_FSTYPE=%s; export VORLIX_DEMO_FSTYPE\n' "$fstype"
    printf 'PATH=%s; export PATH\n' "$(shell_quote "$PATH")"
    printf 'VORLIX_FM=%s; export VORLIX_FM\n' "$(shell_quote "$VORLIX_FM")"
    say ''
    say "To use it:  eval \"\$($0 --sandbox-only)\""
    say "            $repo/build/vorlix \"\$VORLIX_DEMO_DIR/mnt\" \"\$VORLIX_DEMO_DIR/da0s1\" \"\$VORLIX_DEMO_FSTYPE\""
    say "To remove it, unmounting the stick first:  $0 --clean"
    exit 0
fi

# --- 4. start vorlix --------------------------------------------------------
vorlix=$repo/build/vorlix
[ -x "$vorlix" ] || die "$vorlix is missing; build it first (or drop DEMO_NO_BUILD=1)"

# vorlix's Copy dialog opens in the home folder, so it gets the sandbox's,
# where sample.img is. The X server's key is looked for in the home folder
# unless XAUTHORITY names it, so that must point at the user's. demo-fm
# gives the file manager the user's own home back, with their settings.
if [ -z "${XAUTHORITY-}" ] && [ -n "${HOME-}" ] && [ -f "$HOME/.Xauthority" ]; then
    XAUTHORITY=$HOME/.Xauthority
    export XAUTHORITY
fi
VORLIX_DEMO_USER_HOME=${HOME-}
HOME=$home
export VORLIX_DEMO_USER_HOME HOME

# The stick's mount opens the window, as on a desktop: vorlix-watch, the
# session agent, watches first, and then the stick is mounted. The agent
# keeps its lock in a runtime folder of the sandbox's, beside any the
# desktop runs, and admits the sandbox's device, which no system calls
# removable. It starts the sandbox's vorlix (demo-vorlix), which runs the
# build's and, once that ends, ends the agent; the demo then ends with
# vorlix's status. Returns only when the stick could not be mounted after
# all, with mnt made a plain folder.
agent=
finished=
stick_up=
# However the demo ends: the agent ends, a vorlix still running is ended,
# and a stick still mounted is unmounted. Unmount, Reformat and Copy leave
# none; a vorlix that was killed, aborted or crashed does, and so does one
# ended with the script.
end_demo() {
    [ -n "$agent" ] && kill "$agent" 2>/dev/null
    _window=$(cat "$sandbox/.vorlix.pid" 2>/dev/null)
    if [ -z "$finished" ] && [ -n "$_window" ]; then
        kill -s TERM -- "-$_window" 2>/dev/null
        # Until its group is gone, it may still hold the stick.
        _tries=0
        while kill -s 0 -- "-$_window" 2>/dev/null && [ "$_tries" -lt 50 ]; do
            sleep 0.1
            _tries=$((_tries + 1))
        done
    fi
    [ -n "$stick_up" ] && fuse_mounted "$mnt" || return 0
    _status=$(cat "$sandbox/.vorlix.status" 2>/dev/null)
    if [ -z "$_status" ]; then
        say "==> Unmounting the sandbox's stick"
    elif [ "$_status" -gt 128 ]; then
        say "==> vorlix was ended by signal $((_status - 128)) with the stick still mounted; unmounting it"
    else
        say "==> vorlix ended (status $_status) with the stick still mounted; unmounting it"
    fi
    unmount_stick "$sandbox" ||
        say "run-demo: cannot unmount the sandbox's stick $mnt (see above); close what uses it, then run $0 --clean"
}
watch_and_mount() {
    _watch=$repo/build/vorlix-watch
    [ -x "$_watch" ] || die "$_watch is missing; build it first (or drop DEMO_NO_BUILD=1)"
    mkdir -m 700 "$sandbox/run" || die "cannot create $sandbox/run"
    ln -s "$repo/demo/sandbox-bin/demo-vorlix" "$bin/vorlix"
    # The device as an expression that matches it alone: each character
    # that means something there is escaped (plain_path kept backslashes
    # out of the path).
    _pattern=$(printf '%s\n' "$sandbox/da0s1" | sed 's/[].[*^$+?(){}|]/\\&/g')
    [ -n "$_pattern" ] || die "cannot write $sandbox/da0s1 as an expression"
    if [ -n "${XDG_RUNTIME_DIR+set}" ]; then
        VORLIX_DEMO_RUNTIME_DIR=$XDG_RUNTIME_DIR
        export VORLIX_DEMO_RUNTIME_DIR
    fi
    # One agent runs per user and display, and the desktop's may run
    # already: the demo's watches under a display name of its sandbox's,
    # and demo-vorlix gives vorlix the session's displays back.
    _display=vorlix-demo-$(printf '%s' "$sandbox" | cksum | cut -d ' ' -f 1):0
    # Where every agent also keeps its lock; the demo's goes once it ended.
    _shared_lock=/tmp/vorlix-watch-$(id -u)/vorlix-watch-$_display.lock
    if [ -n "${DISPLAY+set}" ]; then
        VORLIX_DEMO_DISPLAY=$DISPLAY
        export VORLIX_DEMO_DISPLAY
    fi
    if [ -n "${WAYLAND_DISPLAY+set}" ]; then
        VORLIX_DEMO_WAYLAND_DISPLAY=$WAYLAND_DISPLAY
        export VORLIX_DEMO_WAYLAND_DISPLAY
    fi
    trap end_demo EXIT
    trap 'exit 130' INT HUP TERM
    env -u WAYLAND_DISPLAY "DISPLAY=$_display" \
        "VORLIX_DEMO_PROGRAM=$vorlix" "VORLIX_DEMO_DIR=$sandbox" "XDG_RUNTIME_DIR=$sandbox/run" \
        "VORLIX_WATCH_DEVICES=$_pattern" "$_watch" &
    agent=$!
    # It names itself in its lock file once it watches.
    _tries=0
    until [ "$(cat "$sandbox/run/"vorlix-watch-*.lock 2>/dev/null)" = "$agent" ]; do
        running "$agent" || die "vorlix-watch could not start (see above)"
        [ "$_tries" -lt 100 ] || die "vorlix-watch was not watching after 10 s"
        sleep 0.1
        _tries=$((_tries + 1))
    done

    say "==> vorlix-watch watches the sandbox; mounting the stick opens vorlix on it"
    say "    Reformat, Copy disk image and Unmount end vorlix: run this again for a fresh stick."
    # Said before the mount is made: the agent may open vorlix, and the
    # demo be interrupted, before mount_stick has seen the mount.
    stick_up=1
    if ! mount_stick; then
        stick_up=
        kill "$agent" 2>/dev/null
        wait "$agent" 2>/dev/null
        agent=
        rm -f "$_shared_lock"
        rm -f "$bin/vorlix"
        plain_stick
        return 0
    fi
    _tries=0
    until [ -s "$sandbox/.vorlix.pid" ]; do
        if [ "$_tries" -ge 100 ] || ! running "$agent"; then
            die "vorlix-watch did not start vorlix for the stick within 10 s"
        fi
        sleep 0.1
        _tries=$((_tries + 1))
    done
    # (The shell would report the agent's end by its signal.)
    wait "$agent" 2>/dev/null
    agent=
    rm -f "$_shared_lock"
    _status=$(cat "$sandbox/.vorlix.status" 2>/dev/null) ||
        die "vorlix-watch ended without starting vorlix (see above)"
    finished=1
    exit "$_status"
}
if [ -n "$stick_to_mount" ]; then
    watch_and_mount
fi

say "==> Starting vorlix; the sandbox stays in $sandbox"
say "    Reformat, Copy disk image and Unmount end vorlix: run this again for a fresh stick."
exec "$vorlix" "$mnt" "$sandbox/da0s1" "$fstype"
