#!/bin/sh
# vorlix-watch as a process, with a fake vorlix first on PATH that keeps a
# record of each start: its three arguments, and whether it leads a
# session of its own with descriptors 0 to 2 open.
#
#   agent.sh <vorlix-watch>
#
# For any user: the command line, a bad VORLIX_WATCH_DEVICES, and one agent
# per user and display. As root, with real mounts in a private mount
# namespace (unshare -m) on loop devices over image files of the test's
# own: a loop device mounted gives one start with the right arguments;
# tmpfs, a loop device the expression does not name, a bind mount, a
# second mount and a remount give none; unmounted and mounted again, a
# second start; a mount point with a blank and a newline arrives intact;
# started with SIGCHLD ignored and descriptors 0 to 2 closed, it still
# reaps; 3000 mounts at its start, 3000 more at once and odd names leave it
# running, as does a mount table it cannot read for a while; without one at all it refuses to start; run
# as another user (nobody), it opens no window for a mount point that user
# cannot enter. Whatever it started (agents, loop devices) is ended on
# every way out.

set -u
[ "$#" -ge 1 ] || { echo "usage: $0 <vorlix-watch>" >&2; exit 64; }
agent_built=$(cd -P -- "$(dirname -- "$1")" && pwd -P)/$(basename -- "$1")
[ -x "$agent_built" ] || { echo "agent.sh: $1 is not an executable" >&2; exit 1; }
here=$(cd -P -- "$(dirname -- "$0")" && pwd -P)
PATH=/usr/sbin:/usr/bin:/sbin:/bin:$PATH

fail=0
check() { # check DESCRIPTION COMMAND...
    _what=$1
    shift
    if "$@"; then echo "ok: $_what"; else echo "FAILED: $_what" >&2; fail=1; fi
}
skip() { echo "skipped: $1 ($2)"; }
# The agents this run started, all at once, then each waited for.
end_agents() {
    for _pid in $agents; do
        kill "$_pid" 2>/dev/null
    done
    for _pid in $agents; do
        wait "$_pid" 2>/dev/null
    done
}

# --- inside the private mount namespace ---------------------------------------
# The outer run made the scratch folder, the loop devices and the copy of
# the agent, and ends them; this part mounts, and its mounts go with the
# namespace.
if [ "${VORLIX_WATCH_TEST_INSIDE-}" = 1 ]; then
    scratch=$VORLIX_WATCH_TEST_SCRATCH
    agent=$scratch/vorlix-watch
    loop_a=$VORLIX_WATCH_TEST_LOOP_A
    loop_b=$VORLIX_WATCH_TEST_LOOP_B
    mnt=$scratch/mnt
    agents=
    trap end_agents EXIT
    trap 'exit 130' INT HUP TERM
    . "$here/agent_lib.sh"

    starts=$scratch/starts
    mkdir -p "$mnt" "$starts" "$scratch/run"
    chmod 700 "$scratch/run"
    for d in a a2 b t bind; do mkdir "$mnt/$d"; done

    start_agent root "$starts" "$scratch/run" ":42" "$loop_a"
    a=$agent_pid

    mount "$loop_a" "$mnt/a"
    check "a loop device the expression names: a start" wait_for_starts "$starts" 1
    check "with its mount point, device and type" same_start "$starts" 1 "$mnt/a" "$loop_a" ext4
    check "in a session of its own, with descriptors 0 to 2 open" start_info_is "$starts" 1 "leader fds"
    check "and reaped once it has ended" reaped "$starts" 1

    # None of these is a new volume the expression names. The volume
    # unmounted everywhere and mounted again comes after them: when its
    # start arrives, theirs would have too.
    mount -t tmpfs tmpfs "$mnt/t"
    mount "$loop_b" "$mnt/b"
    mount --bind "$mnt/a" "$mnt/bind"
    mount "$loop_a" "$mnt/a2"
    mount -o remount,ro "$mnt/a"
    umount "$mnt/bind" "$mnt/a2" "$mnt/a"
    settle
    mount "$loop_a" "$mnt/a"
    check "tmpfs, another loop device, a bind, a second mount, a remount: none; again: a second start" \
        wait_for_starts "$starts" 2
    check "the second start has the same arguments" same_start "$starts" 2 "$mnt/a" "$loop_a" ext4
    umount "$mnt/b"

    odd="$mnt/sp ace
new line"
    mkdir "$odd"
    umount "$mnt/a"
    settle
    mount "$loop_a" "$odd"
    check "a mount point with a blank and a newline: a start" wait_for_starts "$starts" 3
    check "and it arrives intact" same_start "$starts" 3 "$odd" "$loop_a" ext4
    umount "$odd"

    # A table of 3000 mounts more, before the next agent starts; they stay.
    stop_agent "$a"
    mkdir "$mnt/many"
    mount -t tmpfs many "$mnt/many"
    i=0
    while [ "$i" -lt 3000 ]; do
        mkdir "$mnt/many/$i" && mount -t tmpfs "t$i" "$mnt/many/$i" || break
        i=$((i + 1))
    done

    # The agent as an odd parent would start it.
    # (A shell does not pass an ignored SIGCHLD on; env can.)
    if env --ignore-signal=CHLD grep -q '^SigIgn:.*[13579bdf]....$' /proc/self/status 2>/dev/null; then
        odd_parent=1
    else
        odd_parent=
    fi
    start_agent root-odd "$starts" "$scratch/run" ":42" "$loop_a" odd
    c=$agent_pid
    mount "$loop_a" "$mnt/a"
    check "started with SIGCHLD ignored and 0 to 2 closed: a start" wait_for_starts "$starts" 4
    check "and the child has 0 to 2 open" start_info_is "$starts" 4 "leader fds"
    if [ -n "$odd_parent" ]; then
        check "and is reaped" reaped "$starts" 4
    else
        skip "the odd parent's child is reaped" "env here cannot start a program with SIGCHLD ignored"
    fi

    # 3000 mounts more, in one go (a recursive bind of the tree made
    # above), and odd names: blanks, a tab, a backslash, bytes that are not
    # UTF-8, a path of 600 bytes.
    mkdir "$mnt/many-again"
    mount --rbind "$mnt/many" "$mnt/many-again"
    long=$mnt/many/$(printf 'L%.0s' $(seq 200))
    long=$long/$(printf 'M%.0s' $(seq 200))/$(printf 'N%.0s' $(seq 200))
    mkdir -p "$long" "$mnt/many/$(printf 'not \377\376 UTF-8')" "$mnt/many/tab	and\\backslash"
    mount -t tmpfs "$(printf 'src \377 x')" "$mnt/many/$(printf 'not \377\376 UTF-8')"
    mount -t tmpfs tmpfs "$long"
    mount -t tmpfs tmpfs "$mnt/many/tab	and\\backslash"
    umount "$mnt/a"
    settle
    mount "$loop_a" "$mnt/a"
    check "6000 mounts and odd names: still running, and a start" wait_for_starts "$starts" 5 60
    check "still running" kill -0 "$c"

    # A table it cannot read for a while: /proc covered.
    umount "$mnt/a"
    settle
    mount -t tmpfs noproc /proc
    check "without /proc at all another agent will not start" \
        refuses 69 "cannot watch the mount table" "$starts" "$scratch/run" ":44"
    sleep 0.3
    umount /proc
    check "a table it could not read left it running" kill -0 "$c"
    mount "$loop_a" "$mnt/a"
    check "and once it can read it again: a start" wait_for_starts "$starts" 6

    stop_agent "$c"
    umount "$mnt/a"

    # Another user: nobody. Its agent, its fake vorlix and their records are
    # in folders it may use; the loop devices' filesystems are root's, but
    # open to everyone, and one lies in a folder only root may enter.
    nobody_starts=$scratch/nobody-starts
    mkdir -p "$nobody_starts" "$scratch/nobody-run" "$mnt/closed/vol" "$mnt/open"
    chown 65534:65534 "$nobody_starts" "$scratch/nobody-run"
    chmod 700 "$scratch/nobody-run" "$mnt/closed"
    if setpriv --reuid=65534 --regid=65534 --clear-groups test -x "$agent"; then
        start_agent nobody "$nobody_starts" "$scratch/nobody-run" ":42" "$loop_a|$loop_b" "" \
            setpriv --reuid=65534 --regid=65534 --clear-groups
        n=$agent_pid
        mount "$loop_a" "$mnt/closed/vol"
        mount "$loop_b" "$mnt/open"
        check "as another user: a start for the volume it may enter" wait_for_starts "$nobody_starts" 1
        check "which is the open one" same_start "$nobody_starts" 1 "$mnt/open" "$loop_b" ext4
        stop_agent "$n"
    else
        skip "an agent run as another user" "nobody cannot reach $scratch"
    fi
    exit "$fail"
fi

# --- outside: any user ------------------------------------------------------
scratch=$(mktemp -d /tmp/vorlix-watch-test.XXXXXX) || exit 1
chmod 755 "$scratch"
loops=
agents=
cleanup() {
    end_agents
    for _loop in $loops; do
        losetup -d "$_loop" 2>/dev/null
    done
    rm -rf "$scratch"
}
trap cleanup EXIT
trap 'exit 130' INT HUP TERM
. "$here/agent_lib.sh"

cp "$agent_built" "$scratch/vorlix-watch" || exit 1
agent=$scratch/vorlix-watch
mkdir -p "$scratch/run" "$scratch/starts"
chmod 700 "$scratch/run"

"$agent" --bogus >"$scratch/out" 2>&1
rc=$?
check "an unknown argument: status 64 (was $rc)" [ "$rc" -eq 64 ]
check "and the usage line" grep -q '^usage: vorlix-watch' "$scratch/out"
"$agent" --help >"$scratch/out" 2>&1
rc=$?
check "--help: status 0 (was $rc)" [ "$rc" -eq 0 ]
VORLIX_WATCH_DEVICES='/dev/(loop' XDG_RUNTIME_DIR=$scratch/run "$agent" >"$scratch/out" 2>&1
rc=$?
check "a bad VORLIX_WATCH_DEVICES: status 78 (was $rc)" [ "$rc" -eq 78 ]
check "and says so" grep -q 'VORLIX_WATCH_DEVICES is not a valid extended regular expression' "$scratch/out"

start_agent first "$scratch/starts" "$scratch/run" ":42" ""
first=$agent_pid
check "a second agent for the same user and display is refused" \
    refuses 75 "already watches for this user on display :42" "$scratch/starts" "$scratch/run" ":42.0"
check "the first one keeps running" kill -0 "$first"
start_agent other "$scratch/starts" "$scratch/run" ":43" ""
check "one for another display starts" kill -0 "$agent_pid"
stop_agent "$agent_pid"
stop_agent "$first"
start_agent again "$scratch/starts" "$scratch/run" ":42" ""
check "once the first has ended, another may start" kill -0 "$agent_pid"
stop_agent "$agent_pid"

# --- inside: root, real mounts ---------------------------------------------------
if [ "$(id -u)" -ne 0 ]; then
    skip "real mounts" "a private mount namespace and loop devices take root"
    exit "$fail"
fi
for tool in unshare losetup mkfs.ext4 setpriv mount umount; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        skip "real mounts" "no $tool here"
        exit "$fail"
    fi
done
for name in a b; do
    truncate -s 8M "$scratch/$name.img" && mkfs.ext4 -q -F "$scratch/$name.img" || exit 1
    loop=$(losetup -f --show "$scratch/$name.img") || { skip "real mounts" "no loop device could be attached"; exit "$fail"; }
    loops="$loops $loop"
    eval "loop_$name=\$loop"
done
# shellcheck disable=SC2154 # set by the eval above
VORLIX_WATCH_TEST_INSIDE=1 VORLIX_WATCH_TEST_SCRATCH=$scratch VORLIX_WATCH_TEST_LOOP_A=$loop_a \
    VORLIX_WATCH_TEST_LOOP_B=$loop_b unshare -m --propagation private sh "$0" "$agent_built"
[ "$?" -eq 0 ] || fail=1
exit "$fail"
