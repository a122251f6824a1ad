#!/bin/sh
# Tries vorlix out without a real disk: installs what it needs, builds it,
# makes a sandbox with a disk image file standing in for a USB stick, and
# starts vorlix on it.
#
#   demo/run-demo.sh                  all of that
#   demo/run-demo.sh --sandbox-only   only make the sandbox; print on stdout
#                                     the environment to use with it, as
#                                     shell assignments to eval
#
#   DEMO_NO_DEPS=1    skip installing packages
#   DEMO_NO_BUILD=1   skip the build (build/vorlix must exist)
#   DEMO_DIR=<dir>    where to make the sandbox (default: vorlix-demo in
#                     $TMPDIR or /tmp); an old sandbox there is replaced
#
# In the sandbox every helper vorlix starts stays inside it: kelmo only
# pretends to unmount the sandbox folder, pernix and draskel act on the
# sandbox disk file only, and the file manager is demo-fm.

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
case ${1-} in
    '') ;;
    --sandbox-only) sandbox_only=1 ;;
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

repo=$(cd -P -- "$(dirname -- "$0")/.." && pwd -P) || die "cannot find the repository"

# vorlix finds the whole disk by cutting the device name after its first
# run of digits, and that applies to the whole path. A digit in the
# sandbox's own path would send it to the wrong place (the sandbox's tools
# refuse that, but the demo would not work), so the default avoids one.
if [ -n "${DEMO_DIR-}" ]; then
    sandbox=$DEMO_DIR
else
    sandbox=${TMPDIR:-/tmp}/vorlix-demo
    case $sandbox in
        *[0-9]*) sandbox=/tmp/vorlix-demo ;;
    esac
fi
case $sandbox in
    /*) ;;
    *) sandbox=$(pwd -P)/$sandbox ;;
esac

# --- 1. packages ------------------------------------------------------------
# install-deps says what it installs, and nothing when all is there.
if [ -z "$sandbox_only" ] && [ "${DEMO_NO_DEPS-}" != 1 ]; then
    if command -v apt-get >/dev/null 2>&1 && command -v dpkg-query >/dev/null 2>&1; then
        "$repo/.ci/install-deps" ||
            die "installing packages failed; install them by hand and rerun with DEMO_NO_DEPS=1"
    else
        say "==> Not a Debian system: skipping package installation."
        say "    Needed: cmake, a C++ compiler, Qt 6 base development files,"
        say "    rxvt-unicode (urxvt), exfatprogs, e2fsprogs."
    fi
fi

# --- 2. build ---------------------------------------------------------------
# Only the program: the tests and the benchmark would take most of the
# time. The flags are those tests/run.sh gives build/, so that the test run
# afterwards reuses these objects instead of building them again.
if [ -z "$sandbox_only" ] && [ "${DEMO_NO_BUILD-}" != 1 ]; then
    if [ -x "$repo/build/vorlix" ]; then
        say "==> Building vorlix in $repo/build"
    else
        say "==> Building vorlix in $repo/build (the first time takes about half a minute)"
    fi
    if ! cmake -S "$repo" -B "$repo/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DVORLIX_WERROR=ON -DVORLIX_SANITIZE=OFF >/dev/null ||
        ! cmake --build "$repo/build" -j "$(nproc 2>/dev/null || echo 2)" --target vorlix; then
        die "the build failed"
    fi
fi

# --- 3. sandbox -------------------------------------------------------------
stamp=.vorlix-demo-sandbox

# Replaces an old sandbox, but nothing else: a folder without the stamp
# this script leaves, or with anything mounted in it, is not removed.
if [ -e "$sandbox" ] || [ -L "$sandbox" ]; then
    if [ -L "$sandbox" ] || [ ! -d "$sandbox" ]; then
        die "$sandbox exists and is not a folder; choose another DEMO_DIR"
    fi
    if [ -f "$sandbox/$stamp" ]; then
        sandbox=$(cd -P -- "$sandbox" && pwd -P)
        if mount 2>/dev/null | awk -v dir="$sandbox" '
            index($0, " on " dir " ") || index($0, " on " dir "/") { found = 1 }
            END { exit !found }'; then
            die "something is mounted inside the old sandbox $sandbox; unmount it first"
        fi
        rm -rf -- "$sandbox" || die "cannot remove the old sandbox $sandbox"
    elif [ -n "$(ls -A -- "$sandbox")" ]; then
        die "$sandbox is not empty and is not a demo sandbox; not touching it (choose another DEMO_DIR)"
    fi
fi
mkdir -p -- "$sandbox" || die "cannot create $sandbox"
sandbox=$(cd -P -- "$sandbox" && pwd -P)
: >"$sandbox/$stamp"

case $sandbox in
    *[0-9]*)
        say "run-demo: note: $sandbox has a digit in it; vorlix may take the wrong"
        say "          path for the disk, and copying or formatting will be refused."
        ;;
esac

say "==> Making the sandbox in $sandbox"

# The "mounted" stick: a plain folder with a few files.
mnt=$sandbox/mnt
mkdir -p "$mnt/photos" "$mnt/documents"
cat >"$mnt/README.txt" <<'EOF'
This folder plays the part of a mounted USB stick in the vorlix demo.
Nothing is really mounted here, and unmounting it only pretends.
The stick itself is the file ../da0 (64 MiB); ../da0s1 is the name of its
first partition, which vorlix was started with.
EOF
printf 'Shopping: bread, milk, tea.\n' >"$mnt/documents/notes with spaces.txt"
printf 'Holiday, day one: rain. Day two: more rain.\n' >"$mnt/documents/diary.txt"
printf 'P1\n4 4\n0110\n1001\n1001\n0110\n' >"$mnt/photos/ring.pbm"

# The stick: a sparse 64 MiB file (it takes no room until written), and its
# first partition's name, which is all vorlix needs of it.
dd if=/dev/zero of="$sandbox/da0" bs=1048576 count=0 seek=64 2>/dev/null ||
    die "cannot create the disk file $sandbox/da0"
ln -s da0 "$sandbox/da0s1"

# An image to copy onto the stick: a small ext4 file system holding a few
# files where mkfs.ext4 can make one (then blkid or file -s recognise the
# stick afterwards), otherwise 4 MiB of numbered lines.
img=$sandbox/sample.img
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

say "    mount point:  $mnt"
say "    device:       $sandbox/da0s1 (the disk is $sandbox/da0, 64 MiB)"
say "    sample image: $img ($img_kind)"
say "    helpers:      $bin (first on PATH); log of their calls: $sandbox/demo.log"

if [ -n "$sandbox_only" ]; then
    printf 'VORLIX_DEMO_DIR=%s; export VORLIX_DEMO_DIR\n' "$(shell_quote "$sandbox")"
    printf 'PATH=%s; export PATH\n' "$(shell_quote "$PATH")"
    printf 'VORLIX_FM=%s; export VORLIX_FM\n' "$(shell_quote "$VORLIX_FM")"
    say ''
    say "To use it:  eval \"\$($0 --sandbox-only)\""
    say "            $repo/build/vorlix \"\$VORLIX_DEMO_DIR/mnt\" \"\$VORLIX_DEMO_DIR/da0s1\" msdosfs"
    exit 0
fi

# --- 4. start vorlix --------------------------------------------------------
vorlix=$repo/build/vorlix
[ -x "$vorlix" ] || die "$vorlix is missing; build it first (or drop DEMO_NO_BUILD=1)"
if [ -z "${DISPLAY-}" ] && [ -z "${WAYLAND_DISPLAY-}" ]; then
    say "run-demo: note: no DISPLAY is set; vorlix needs a graphical session."
fi
say "==> Starting vorlix; the sandbox stays in $sandbox"
exec "$vorlix" "$mnt" "$sandbox/da0s1" msdosfs
