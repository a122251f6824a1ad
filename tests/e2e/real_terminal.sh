#!/bin/sh
# The shipped vorlix on a private X server, driven with real input events:
# it copies an image and formats a disk through the real urxvt and the
# stand-in tools, on the demo sandbox's disk file, whose stick the sandbox's
# kelmo really unmounts first where FUSE lets the sandbox mount it. The job
# tests run a build whose test hook answers the dialogs, with a fake
# terminal; this is the whole path a user takes, clicks and keystrokes
# included, on the binary that ships.
#
#   real_terminal.sh <vorlix binary>
#
# Needs Xvfb, xdotool, urxvt, ImageMagick's import, mkfs.ext4, and blkid
# or else fstyp and dumpe2fs (FreeBSD), and skips (exit 77) without them. When a case fails, a screenshot
# of the screen is left in the current folder and the sandbox's log of tool
# calls is printed. With E2E_SHOT_DIR set, a screenshot of every step is
# kept there as well, named <case>-<step>.png.

set -u

here=$(cd -P -- "$(dirname -- "$0")" && pwd -P) || exit 1
repo=$(cd -P -- "$here/../.." && pwd -P) || exit 1

if [ "$#" -ne 1 ]; then
    echo "usage: $0 <vorlix binary>" >&2
    exit 64
fi

# Run again on a private X server: the typing goes wherever the keyboard
# focus is, which must be nobody else's window.
if [ -z "${E2E_PRIVATE_DISPLAY-}" ]; then
    E2E_PRIVATE_DISPLAY=1 exec sh "$repo/tests/xvfb/with-xvfb.sh" sh "$0" "$@"
fi

# mkfs.ext4, blkid and dumpe2fs live in sbin, which a user's PATH may lack.
PATH=$PATH:/sbin:/usr/sbin:/usr/local/sbin
export PATH

vorlix=$(cd -P -- "$(dirname -- "$1")" && pwd -P)/$(basename -- "$1")
[ -x "$vorlix" ] || { echo "real_terminal: $1 is not an executable" >&2; exit 1; }
# A missing tool is the system's lack, not a fault: 77 tells CTest to count
# the test as skipped.
# FreeBSD's e2fsprogs comes without blkid; fstyp (in its base system) and
# dumpe2fs tell the type and the file system's UUID there.
if command -v blkid >/dev/null 2>&1; then probes=blkid; else probes="fstyp dumpe2fs"; fi
for tool in xdotool urxvt import mkfs.ext4 pgrep $probes; do
    command -v "$tool" >/dev/null 2>&1 ||
        { echo "real_terminal: skipped: $tool is not installed" >&2; exit 77; }
done

shot_dir=$(pwd -P)

# vorlix takes the disk to be the device path cut after its first run of
# digits, so nothing above the sandbox may hold a digit.
base=${TMPDIR:-/tmp}
case $base in *[0-9]*) base=/tmp ;; esac
scratch=
for _try in 1 2 3 4 5 6 7 8 9 10; do
    scratch=$(mktemp -d "$base/vorlix-etoe-XXXXXX") || exit 1
    case $scratch in
        *[0-9]*) rmdir "$scratch"; scratch= ;;
        *) break ;;
    esac
done
[ -n "$scratch" ] || { echo "real_terminal: no digit-free scratch folder in $base" >&2; exit 1; }
sandbox=$scratch/sandbox

# The file dialog starts in, and the toolkit and the terminal read their
# settings from, the home folder: an empty one of our own keeps the user's
# out and ours out of theirs.
mkdir -p "$scratch/home" "$scratch/runtime"
chmod 700 "$scratch/runtime"
HOME=$scratch/home
XDG_CONFIG_HOME=$scratch/home/.config
XDG_RUNTIME_DIR=$scratch/runtime
export HOME XDG_CONFIG_HOME XDG_RUNTIME_DIR
unset XDG_CONFIG_DIRS

runner=
passed=0
failed=0

# Every process below the given one: vorlix, the terminal it starts and the
# tool running in that terminal.
descendants() {
    for _child in $(pgrep -P "$1"); do
        echo "$_child"
        descendants "$_child"
    done
}

# The runner itself is left to see vorlix end and to reap it.
stop_vorlix() {
    [ -n "$runner" ] || return 0
    # shellcheck disable=SC2046 # one pid per word
    kill $(descendants "$runner") 2>/dev/null
    wait "$runner" 2>/dev/null
    runner=
}

# The sandbox's stick may still be mounted (a case that failed before
# vorlix unmounted it); rm -rf must not empty it and then stop at its
# mount point, so it is unmounted first, and the folder is kept if that
# fails.
cleanup() {
    stop_vorlix
    if [ -f "$sandbox/.vorlix-demo-sandbox" ] &&
        ! DEMO_DIR="$sandbox" sh "$repo/demo/run-demo.sh" --clean >/dev/null 2>&1; then
        echo "real_terminal: cannot unmount the sandbox's stick; left $scratch" >&2
        return
    fi
    rm -rf "$scratch"
}
trap cleanup EXIT
trap 'exit 130' INT HUP TERM

note_shot() {
    if [ -n "${E2E_SHOT_DIR-}" ]; then
        mkdir -p "$E2E_SHOT_DIR" && import -window root "$E2E_SHOT_DIR/$name-$1.png"
    fi
}

# wait_until SECONDS COMMAND...: polls COMMAND until it succeeds.
wait_until() {
    _deadline=$(($(date +%s) + $1))
    shift
    until "$@"; do
        [ "$(date +%s)" -lt "$_deadline" ] || return 1
        sleep 0.2
    done
}

# wait_for_window SECONDS SEARCH-OPTIONS...: prints the first mapped window
# that matches. Polled rather than left to search --sync: a window that goes
# away while xdotool walks the tree (the file dialog closing, say) makes
# that search die of an X error, which here only means "look again".
wait_for_window() {
    _deadline=$(($(date +%s) + $1))
    shift
    while :; do
        _found=$(xdotool search --onlyvisible "$@" 2>/dev/null | head -n 1)
        if [ -n "$_found" ]; then
            echo "$_found"
            return 0
        fi
        [ "$(date +%s)" -lt "$_deadline" ] || return 1
        sleep 0.2
    done
}

visible_windows() {
    xdotool search --onlyvisible --pid "$vorlix_pid" 2>/dev/null | sort
}

# Sets new_window to a window of vorlix's that is mapped now and was not
# in $known (the windows that were already there).
find_new_window() {
    new_window=$(visible_windows | while read -r _w; do
        case " $known " in
            *" $_w "*) ;;
            *) echo "$_w"; break ;;
        esac
    done)
    [ -n "$new_window" ]
}

# Nothing found and no complaint: a search that died of an X error says
# nothing about the terminal.
no_terminal() {
    [ -z "$(xdotool search --onlyvisible --class URxvt 2>&1)" ]
}

vorlix_ended() {
    [ -s "$scratch/status" ]
}

# click WINDOW ROW ROWS: clicks the middle of row ROW (from 0) of a window
# that holds ROWS equal buttons one above the other.
click() {
    eval "$(xdotool getwindowgeometry --shell "$1")" || return 1
    xdotool mousemove --sync --window "$1" $((WIDTH / 2)) $((HEIGHT * (2 * $2 + 1) / (2 * $3))) click 1
}

# Keyboard focus to a window that has just been mapped; the toolkit needs
# a moment after mapping before it acts on keys.
focus() {
    sleep 0.5
    xdotool windowfocus --sync "$1"
}

# need PROBLEM COMMAND...: runs COMMAND; when it fails, PROBLEM is what
# went wrong and the caller gives up on the case.
need() {
    problem=$1
    shift
    "$@"
}

# The user's side of one job, from the first click to the dismissed message
# box. Sets marker to the name the tool was given.
#   $1   row of the job's button in the main window
#   $2   row of the button in the format chooser, or - when there is none
#   $3   path to type into the open-file dialog, or - when there is none
drive_job() {
    menu_row=$1
    chooser_row=$2
    dialog_input=$3

    # The last case's pid must not pass for this one's.
    rm -f "$scratch/status" "$scratch/pid"
    (
        sh -c 'echo "$$" >"$1" && shift && exec "$@"' start "$scratch/pid" \
            "$vorlix" "$sandbox/mnt" "$sandbox/da0s1" "$VORLIX_DEMO_FSTYPE" \
            </dev/null >"$scratch/vorlix.out" 2>&1
        echo "$?" >"$scratch/status"
    ) &
    runner=$!
    need "vorlix did not start" wait_until 10 test -s "$scratch/pid" || return
    vorlix_pid=$(cat "$scratch/pid")

    main=$(wait_for_window 60 --pid "$vorlix_pid")
    need "the main window did not appear" test -n "$main" || return
    note_shot window
    known=$main

    # Give the window a moment to settle before it takes a click.
    sleep 0.5
    need "clicking row $menu_row of the main window failed" click "$main" "$menu_row" 5 || return

    if [ "$chooser_row" != - ]; then
        need "the format chooser did not appear" wait_until 60 find_new_window || return
        chooser=$new_window
        known="$known $chooser"
        note_shot chooser
        sleep 0.5
        need "clicking the format chooser failed" click "$chooser" "$chooser_row" 3 || return
    fi

    if [ "$dialog_input" != - ]; then
        dialog=$(wait_for_window 60 --name '^Open Image$')
        need "the Open Image dialog did not appear" test -n "$dialog" || return
        need "cannot focus the Open Image dialog" focus "$dialog" || return
        need "typing into the Open Image dialog failed" \
            xdotool type --delay 20 "$dialog_input" || return
        need "pressing Return in the Open Image dialog failed" xdotool key Return || return
    fi

    terminal=$(wait_for_window 60 --class URxvt)
    need "no terminal window appeared" test -n "$terminal" || return
    need "cannot focus the terminal" focus "$terminal" || return
    note_shot terminal
    need "typing into the terminal failed" xdotool type --delay 20 yes || return
    need "pressing Return in the terminal failed" xdotool key Return || return

    need "the terminal did not close after the answer" wait_until 60 no_terminal || return
    need "no message box appeared after the terminal closed" wait_until 60 find_new_window || return
    box=$new_window
    note_shot message

    # The tool's call, as the sandbox logged it; its third word is the marker.
    marker=$(sed -n '2s/^[a-z]* [a-z-]* \([^ ]*\) .*/\1/p' "$sandbox/demo.log")
    marker_during_box=absent
    [ -n "$marker" ] && [ -e "$marker" ] && marker_during_box=present

    need "cannot focus the message box" focus "$box" || return
    need "pressing Return in the message box failed" xdotool key Return || return
    need "vorlix did not exit after the message box" wait_until 30 vorlix_ended || return
    wait "$runner"
    runner=
}

# check WHAT COMMAND...: notes WHAT as a problem unless COMMAND succeeds.
check() {
    _what=$1
    shift
    "$@" || problems="$problems
    - $_what"
}

starts_with_image() {
    cmp -s -n "$(wc -c <"$sandbox/home/sample.img" | tr -d ' ')" "$sandbox/home/sample.img" "$sandbox/da0"
}

disk_type_is() {
    if [ "$probes" = blkid ]; then
        _type=$(blkid -p -o value -s TYPE "$sandbox/da0" 2>/dev/null)
    else
        # fstyp names every ext2, ext3 or ext4 file system ext2fs.
        _type=$(fstyp "$sandbox/da0" 2>/dev/null | sed 's/^ext2fs$/ext4/')
    fi
    [ "$_type" = "$1" ]
}

# Empty for a blank disk.
disk_uuid() {
    if [ "$probes" = blkid ]; then
        blkid -p -o value -s UUID "$sandbox/da0" 2>/dev/null
    else
        dumpe2fs -h "$sandbox/da0" 2>/dev/null | sed -n 's/^Filesystem UUID: *//p'
    fi
}

# The stand-in's call as logged, with the marker's name replaced by @.
tool_call_is() {
    [ "$(sed -n '2s/^\([a-z]* [a-z-]*\) [^ ]* /\1 @ /p' "$sandbox/demo.log")" = "$1" ]
}

# One case: a fresh sandbox, the clicks and keys, then what must hold.
#   $1  name
#   $2  $3  $4  as for drive_job
#   $5  the stand-in's call vorlix must make (marker as @)
#   $6  what the disk must now hold: "image" or a file system type
run_case() {
    name=$1
    expected_call=$5
    expected_disk=$6
    problems=

    if ! env DEMO_DIR="$sandbox" DEMO_NO_DEPS=1 DEMO_NO_BUILD=1 \
        sh "$repo/demo/run-demo.sh" --sandbox-only >"$scratch/env" 2>"$scratch/demo.out" ||
        ! eval "$(cat "$scratch/env")"; then
        problems="
    - making the sandbox failed: $(cat "$scratch/demo.out")"
    # Where FUSE works the stick is ext4 already: the format must make a new one.
    elif stick_uuid=$(disk_uuid); ! drive_job "$2" "$3" "$4"; then
        problems="
    - $problem"
    else
        status=$(cat "$scratch/status")
        check "vorlix exits with status 0 (was $status)" test "$status" = 0
        check "the mount point is unmounted before the tool runs" \
            test "$(sed -n '1s/:.*//p' "$sandbox/demo.log")" = "kelmo umount $sandbox/mnt"
        check "the tool is called as: $expected_call" tool_call_is "$expected_call"
        check "the marker is in a fresh /tmp/vorl.XXXXXXX folder (was '$marker')" \
            expr "x$marker" : 'x/tmp/vorl\.[^/]\{7\}/success$' >/dev/null
        check "the marker is still there while the message box shows" \
            test "$marker_during_box" = present
        check "the marker and its folder are gone after the message box" \
            test ! -e "${marker%/*}"
        if [ "$expected_disk" = image ]; then
            check "the disk starts with the image's bytes" starts_with_image
        else
            check "the disk holds $expected_disk" disk_type_is "$expected_disk"
            check "the disk holds a new file system, not the stick's" \
                test "$(disk_uuid)" != "$stick_uuid"
        fi
    fi

    if [ -z "$problems" ]; then
        passed=$((passed + 1))
        printf 'ok      %s\n' "$name"
    else
        failed=$((failed + 1))
        printf 'FAILED  %s%s\n' "$name" "$problems"
        shot=$shot_dir/e2e_real_terminal-$name.png
        if import -window root "$shot" 2>/dev/null; then
            printf '    screenshot: %s\n' "$shot"
        fi
        printf '    demo.log:\n'
        awk '{ print "    | " $0 }' "$sandbox/demo.log" 2>/dev/null
        printf '    vorlix output:\n'
        awk '{ print "    | " $0 }' "$scratch/vorlix.out" 2>/dev/null
    fi
    # Whatever a failed case left running goes too: a terminal left open
    # would take the next case's typing.
    stop_vorlix
    wait_until 10 no_terminal
}

# Rows: 0 Filesystem info, 1 Open file manager, 2 Reformat, 3 Copy disk
# image, 4 Unmount; in the chooser 0 exFAT, 1 UFS2, 2 ext4.
run_case copy-image 3 - "$sandbox/home/sample.img" \
    "pernix --success-file @ $sandbox/home/sample.img $sandbox/da0" image
run_case format-ext4 2 2 - \
    "draskel --temp-file @ $sandbox/da0 ext4" ext4

printf '%d passed, %d failed\n' "$passed" "$failed"
[ "$failed" -eq 0 ]
