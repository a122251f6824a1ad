# shellcheck shell=sh disable=SC2034 # the variables are for the tests sourcing this
# Helpers for the stand-in tests, sourced by each test script: a scratch
# folder removed on exit, per-case checks, and the closing tally line.
# Everything runs on disk image files in the scratch folder, never on a
# real device.

set -u

# blkid and the mkfs tools live in sbin, which a user's PATH may lack.
PATH=$PATH:/sbin:/usr/sbin:/usr/local/sbin
export PATH

tests_dir=$(cd -P -- "$(dirname -- "$0")" && pwd -P)
tools_dir=$(dirname -- "$tests_dir")
repo_dir=$(dirname -- "$tools_dir")

passed=0
failed=0
skipped=0

tmp=$(mktemp -d "${TMPDIR:-/tmp}/standin-test.XXXXXX") || exit 1
trap 'rm -rf "$tmp"' EXIT
trap 'exit 130' INT HUP TERM

# A folder name with a space, shell metacharacters and a byte that is not
# UTF-8, to catch any unquoted path on its way through the tools.
odd_name="odd dir & <x> $(printf '\351')"

# begin NAME; any number of check ...; end
begin() {
    case_name=$1
    problems=
}

# check WHAT COMMAND...: notes WHAT as a problem unless COMMAND succeeds.
check() {
    _what=$1
    shift
    if ! "$@"; then
        problems="$problems
    - $_what"
    fi
}

# Ends the case; on failure shows what went wrong and the tool's last output.
end() {
    if [ -z "$problems" ]; then
        passed=$((passed + 1))
        printf 'ok      %s\n' "$case_name"
    else
        failed=$((failed + 1))
        printf 'FAILED  %s%s\n' "$case_name" "$problems"
        if [ -s "$tmp/out" ]; then
            printf '    output was:\n'
            tail -n 15 "$tmp/out" | awk '{ print "    | " $0 }'
        fi
    fi
}

skip() {
    skipped=$((skipped + 1))
    printf 'skipped %s (%s)\n' "$1" "$2"
}

# Exits 77, which ctest takes for "skipped", when nothing could be run at
# all; a partly skipped script passes or fails on what it ran.
finish() {
    if [ "$skipped" -gt 0 ]; then
        printf '%d passed, %d failed, %d skipped\n' "$passed" "$failed" "$skipped"
    else
        printf '%d passed, %d failed\n' "$passed" "$failed"
    fi
    [ "$failed" -eq 0 ] || exit 1
    [ "$passed" -eq 0 ] && [ "$skipped" -gt 0 ] && exit 77
    exit 0
}

# What a root-only case lacks here, or nothing when it can run: root, and
# unshare for a private mount namespace, so that what the case mounts is
# gone when it ends and nobody else sees it.
lacks_private_mounts() {
    if [ "$(id -u)" -ne 0 ]; then
        echo "needs root"
    elif ! command -v unshare >/dev/null 2>&1; then
        echo "no unshare"
    elif ! unshare -m true 2>/dev/null; then
        echo "unshare -m is not allowed here"
    fi
}

# run ANSWER COMMAND...: runs COMMAND with ANSWER (a line, or "-" for none at
# all) on stdin; output in $tmp/out, exit status in $rc.
run() {
    _answer=$1
    shift
    if [ "$_answer" = - ]; then
        "$@" </dev/null >"$tmp/out" 2>&1
    else
        printf '%s\n' "$_answer" | "$@" >"$tmp/out" 2>&1
    fi
    rc=$?
}

not() {
    ! "$@"
}

status_is() {
    [ "$rc" -eq "$1" ]
}

# In the C locale grep takes output holding odd bytes for text.
said() {
    LC_ALL=C grep -F -q -- "$1" "$tmp/out"
}

not_said() {
    ! said "$1"
}

absent() {
    [ ! -e "$1" ] && [ ! -L "$1" ]
}

# cksum of a file: enough to tell whether anything in it changed.
sum() {
    cksum <"$1" | awk '{ print $1, $2 }'
}

same_sum() {
    [ "$(sum "$1")" = "$2" ]
}

size_of() {
    wc -c <"$1" | tr -d ' \t'
}

# pattern_file PATH BYTES: a file of repeated text, so that any part of it
# overwritten by zeros or by image data shows up.
pattern_file() {
    yes 'vorlix test pattern, must stay untouched' | head -c "$2" >"$1"
}

random_file() {
    head -c "$2" /dev/urandom >"$1"
}

# sparse_file PATH MIB: a zero-filled disk file that takes no space.
sparse_file() {
    rm -f "$1"
    dd if=/dev/zero of="$1" bs=1048576 count=0 seek="$2" 2>/dev/null
}

# The file system type found on a disk image file, by whichever probe the
# system has; empty when none can tell.
fs_type() {
    if command -v blkid >/dev/null 2>&1; then
        blkid -p -o value -s TYPE "$1" 2>/dev/null
    elif command -v fstyp >/dev/null 2>&1; then
        fstyp "$1" 2>/dev/null | sed 's/^ext2fs$/ext4/'
    else
        case $(file -s "$1" 2>/dev/null) in
            *ext4*) echo ext4 ;;
            *[Ee]x[Ff][Aa][Tt]*) echo exfat ;;
        esac
    fi
}

can_probe_fs() {
    command -v blkid >/dev/null 2>&1 || command -v fstyp >/dev/null 2>&1 ||
        command -v file >/dev/null 2>&1
}
