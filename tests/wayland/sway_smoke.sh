#!/bin/sh
# The test build of vorlix on a real Wayland compositor: a headless sway
# without XWayland, as on a Wayland desktop where only Wayland programs
# run. The window must map through the toolkit's Wayland plugin, and the
# Copy button must refuse at once (the terminal is an X program): its
# message shown, the window kept, the mount helper never run. The main
# window and the Reformat chooser ask for a fixed size (xdg_toplevel's
# minimum equal to its maximum, as the client's protocol log shows), which
# sway, a tiling compositor, floats instead of tiling.
#
#   sway_smoke.sh <vorlix-testable>
#
# Skips (status 77) where sway is missing. sway refuses to run as root, so
# as root everything here runs as nobody, from a scratch folder of its own:
# the binary is copied there first, as nobody may not enter the folder the
# project was cloned into. Whatever the test started (sway, swaybg, vorlix)
# is ended on every way out.

set -u
[ "$#" -eq 1 ] || { echo "usage: $0 <vorlix-testable>" >&2; exit 64; }
command -v sway >/dev/null 2>&1 || { echo "sway is not installed: skipped"; exit 77; }
command -v swaymsg >/dev/null 2>&1 || { echo "swaymsg is not installed: skipped"; exit 77; }
setsid=$(command -v setsid) || { echo "setsid is not installed: skipped"; exit 77; }
binary=$(cd -P -- "$(dirname -- "$1")" && pwd -P)/$(basename -- "$1")
[ -x "$binary" ] || { echo "sway_smoke: $1 is not an executable" >&2; exit 1; }

as_user=
base=${TMPDIR:-/tmp}
if [ "$(id -u)" -eq 0 ]; then
    command -v setpriv >/dev/null 2>&1 || { echo "setpriv is not installed: skipped"; exit 77; }
    as_user="setpriv --reuid=65534 --regid=65534 --clear-groups"
    # TMPDIR may be a folder of root's own that nobody cannot enter.
    base=/tmp
fi

# Everything the user touches, readable and writable by that user alone.
scratch=$(mktemp -d "$base/vorlix-sway-XXXXXX") || exit 1
# sway leads a process group of its own (setsid), which its swaybg joins:
# the whole group goes, not only sway. A zombie left in it has ended.
group_alive() {
    ps -A -o pgid= -o stat= 2>/dev/null | awk -v g="$1" '$1 == g && $2 !~ /^Z/ { found = 1 } END { exit !found }'
}
end_group() { # end_group PID-FILE
    _pgid=$(cat "$1" 2>/dev/null) || return 0
    # The file lies in a folder of the user's, and any process of that user
    # could write there: only a group this test started is ended, led by
    # the program it started under that name, and never -1.
    case $_pgid in '' | *[!0-9]* | 0 | 1) return 0 ;; esac
    case $(ps -o comm= -p "$_pgid" 2>/dev/null) in
        sway | vorlix-testable) ;;
        *) return 0 ;;
    esac
    kill -s TERM -- "-$_pgid" 2>/dev/null || return 0
    for _try in $(seq 50); do
        group_alive "$_pgid" || return 0
        sleep 0.1
    done
    kill -s KILL -- "-$_pgid" 2>/dev/null
}
cleanup() {
    end_group "$scratch/runtime/vorlix.pid"
    end_group "$scratch/runtime/sway.pid"
    rm -rf "$scratch"
}
trap cleanup EXIT
trap 'exit 130' INT HUP TERM
mkdir -p "$scratch/runtime" "$scratch/bin" "$scratch/home"
chmod 700 "$scratch/runtime"
cp "$binary" "$scratch/vorlix-testable" || exit 1
printf 'xwayland disable\noutput * bg #202020 solid_color\n' > "$scratch/config"
# A mount helper that only leaves a trace: it must never run.
printf '#!/bin/sh\n: > "%s/kelmo-ran"\n' "$scratch" > "$scratch/bin/kelmo"
chmod 755 "$scratch/bin/kelmo"
: > "$scratch/hook.log"
if [ -n "$as_user" ]; then
    chmod 755 "$scratch"
    chown -R 65534:65534 "$scratch/runtime" "$scratch/home" "$scratch/hook.log"
fi

# run VAR=value... command: in a clean environment, as the user; only the
# sanitizers' options of a sanitized build come along.
run() {
    $as_user env -i PATH=/usr/bin:/bin HOME="$scratch/home" XDG_RUNTIME_DIR="$scratch/runtime" \
        ${ASAN_OPTIONS+"ASAN_OPTIONS=$ASAN_OPTIONS"} ${UBSAN_OPTIONS+"UBSAN_OPTIONS=$UBSAN_OPTIONS"} "$@"
}

# A folder above /tmp closed to others would still keep the user out.
if ! run sh -c 'test -x "$1" && test -w "$2"' sh "$scratch/vorlix-testable" "$scratch/runtime"; then
    echo "sway_smoke: the user that runs sway cannot reach $scratch: skipped"
    exit 77
fi

# The command after "lead NAME" leads a process group (and session) of its
# own, whose number goes into the runtime folder as NAME.pid, so that it
# and all it starts can be ended together.
# shellcheck disable=SC2016 # expanded by the inner shell
lead='echo "$$" > "$XDG_RUNTIME_DIR/$0.pid"; exec "$@"'

run WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman \
    "$setsid" -w /bin/sh -c "$lead" sway sway -c "$scratch/config" > "$scratch/sway.log" 2>&1 &
socket=
for _try in $(seq 50); do
    socket=$(cd "$scratch/runtime" && ls wayland-* 2>/dev/null | grep -v lock | head -n 1)
    [ -n "$socket" ] && break
    sleep 0.2
done
if [ -z "$socket" ]; then
    echo "sway_smoke: sway did not start" >&2
    cat "$scratch/sway.log" >&2
    exit 1
fi

# The hook waits for "mapped" before pressing the button; meanwhile the
# compositor is asked whether it shows the window. Then it opens the
# chooser and waits for "floated" while the compositor is asked how it
# placed the two windows.
run WAYLAND_DISPLAY="$socket" QT_QPA_PLATFORM=wayland PATH="$scratch/bin" WAYLAND_DEBUG=client \
    VORLIX_HOOK_LOG="$scratch/hook.log" \
    VORLIX_HOOK_SCRIPT="await:$scratch/home/mapped|click:Copy disk image to /dev/da0|click:Reformat /dev/da0|await:$scratch/home/floated|windows" \
    "$setsid" -w /bin/sh -c "$lead" vorlix "$scratch/vorlix-testable" /media/da0s1 /dev/da0s1 msdosfs \
    > "$scratch/vorlix.log" 2>&1 &
vorlix_pid=$!
mapped=no
for _try in $(seq 50); do
    if run SWAYSOCK="$(ls "$scratch"/runtime/sway-ipc.*.sock 2>/dev/null | head -n 1)" \
        swaymsg -t get_tree 2>/dev/null | grep -q '"app_id": "vorlix-testable"'; then
        mapped=yes
        break
    fi
    sleep 0.2
done
run sh -c ': > "$HOME/mapped"'
# A command with criteria fails when they match no window: "floating" must
# match some, "tiling" none.
sway_ipc() {
    run SWAYSOCK="$(ls "$scratch"/runtime/sway-ipc.*.sock 2>/dev/null | head -n 1)" swaymsg "$@"
}
both_shown=no
for _try in $(seq 50); do
    if [ "$(sway_ipc -t get_tree 2>/dev/null | grep -c '"app_id": "vorlix-testable"')" -eq 2 ]; then
        both_shown=yes
        break
    fi
    sleep 0.2
done
floating=no
tiled=no
sway_ipc '[app_id="vorlix-testable" floating] nop' >/dev/null 2>&1 && floating=yes
sway_ipc '[app_id="vorlix-testable" tiling] nop' >/dev/null 2>&1 && tiled=yes
run sh -c ': > "$HOME/floated"'
status=0
for _try in $(seq 100); do
    kill -0 "$vorlix_pid" 2>/dev/null || break
    sleep 0.2
done
if kill -0 "$vorlix_pid" 2>/dev/null; then
    end_group "$scratch/runtime/vorlix.pid"
    echo "sway_smoke: vorlix hung" >&2
fi
wait "$vorlix_pid"
status=$?

fail=0
check() { # check DESCRIPTION COMMAND...
    _what=$1
    shift
    if "$@"; then echo "ok: $_what"; else echo "FAILED: $_what" >&2; fail=1; fi
}
check "the window maps on the compositor" [ "$mapped" = yes ]
check "the program ends by its hook script (status $status)" [ "$status" -eq 99 ]
check "the Copy button says the terminal needs an X display" \
    grep -q '^box The terminal for this job, urxvt, needs an X display,' "$scratch/hook.log"
check "the window stays" grep -qx 'windows VorlixMenu QFormatMenu' "$scratch/hook.log"
check "the chooser opens beside it" [ "$both_shown" = yes ]
check "both float on the tiling compositor" [ "$floating,$tiled" = yes,no ]
# The last size limits each toplevel set, from the client's protocol log:
# equal, and not zero, for every window that set any (the main window, the
# message box of Copy, the chooser).
fixed_windows=$(awk '
    match($0, /xdg_toplevel@[0-9]+\.set_m(in|ax)_size\([0-9]+, [0-9]+\)/) {
        call = substr($0, RSTART, RLENGTH)
        split(call, part, /[@.(]/)
        id = part[2]
        size = substr(call, index(call, "(") + 1)
        if (call ~ /set_min_size/) min[id] = size; else max[id] = size
    }
    END {
        fixed = 0; all = 0
        for (id in min) { all++; if (min[id] == max[id] && min[id] != "0, 0)") fixed++ }
        print fixed, all
    }' "$scratch/vorlix.log")
# shellcheck disable=SC2086 # two numbers
set -- $fixed_windows
all_fixed=no
[ "$2" -ge 3 ] && [ "$1" -eq "$2" ] && all_fixed=yes
check "every window asks Wayland for a fixed size ($1 of $2)" [ "$all_fixed" = yes ]
check "the mount helper never runs" [ ! -e "$scratch/kelmo-ran" ]
if [ "$fail" -ne 0 ]; then
    echo "--- hook log" >&2; cat "$scratch/hook.log" >&2
    echo "--- vorlix (without its protocol log)" >&2; grep -v '^\[' "$scratch/vorlix.log" >&2
    echo "--- sway" >&2; tail -n 20 "$scratch/sway.log" >&2
fi
exit "$fail"
