#!/bin/sh
# vorlix-watch as a process, with a fake vorlix first on PATH that keeps a
# record of each start: its three arguments, and whether it leads a
# session of its own with descriptors 0 to 2 open.
#
#   agent.sh <vorlix-watch>
#
# For any user: the command line, a bad VORLIX_WATCH_DEVICES, and one agent
# per user and display, however the display is spelled and whether or not
# XDG_RUNTIME_DIR is set. As root, with real mounts in a private mount
# namespace (unshare -m) on loop devices over image files of the test's
# own: a loop device mounted gives one start with the right arguments,
# without a descriptor the agent inherited;
# tmpfs, a loop device the expression does not name, a bind mount, a
# second mount and a remount give none; unmounted and mounted again, a
# second start; a mount point with a blank and a newline arrives intact;
# started with SIGCHLD ignored and descriptors 0 to 2 closed, it still
# reaps; 3000 mounts at its start, 3000 more at once and odd names leave it
# running, as does a mount table it cannot read for a while; without one at all it refuses to start; run
# as another user (nobody), it opens no window for a mount point that user
# cannot enter. Another user's moves (nobody's, with setpriv): a FUSE
# filesystem of theirs open to all that calls itself the admitted device,
# a mount point whose folder they swap while the agent checks it (a few
# hundred times), a link of theirs in /dev/shm into a FUSE filesystem whose
# program stopped; an empty source. Whatever it started (agents, loop
# devices, FUSE programs, lock files) is ended on every way out.

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
    loop_c=$VORLIX_WATCH_TEST_LOOP_C
    n=$VORLIX_WATCH_TEST_DISPLAY
    mnt=$scratch/mnt
    agents=
    daemons=
    # FUSE programs first, woken if stopped, so that their mounts go
    # with the namespace.
    end_all() {
        for _pid in $daemons; do
            kill -CONT "$_pid" 2>/dev/null
            kill "$_pid" 2>/dev/null
        done
        end_agents
        rm -f "/dev/shm/vorlix-test-link.$n"
    }
    trap end_all EXIT
    trap 'exit 130' INT HUP TERM
    . "$here/agent_lib.sh"

    starts=$scratch/starts
    mkdir -p "$mnt" "$starts" "$scratch/run"
    chmod 700 "$scratch/run"
    for d in a a2 b t bind; do mkdir "$mnt/$d"; done

    # With a descriptor 10 open that is not close-on-exec, as a session
    # may hand one down.
    start_agent root "$starts" "$scratch/run" ":$n" "$loop_a" "" \
        bash -c 'exec 10>"$0" && exec "$@"' "$scratch/inherited-descriptor"
    a=$agent_pid

    mount "$loop_a" "$mnt/a"
    check "a loop device the expression names: a start" wait_for_starts "$starts" 1
    check "with its mount point, device and type" same_start "$starts" 1 "$mnt/a" "$loop_a" ext4
    check "in a session of its own, with descriptors 0 to 2 open, and not the agent's descriptor 10" \
        start_info_is "$starts" 1 "leader fds"
    check "which the agent itself had" [ -e "/proc/$a/fd/10" ]
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

    stop_agent "$a"

    # --- another user's moves ------------------------------------------------
    # nobody (65534) makes them. The agents are root's, and for the swapped
    # folder one of a third user's (65533), whom the root folder of the
    # filesystem mounted there keeps out, as another user's stick would.
    as_nobody() { setpriv --reuid=65534 --regid=65534 --clear-groups "$@"; }
    as_victim() { setpriv --reuid=65533 --regid=65533 --clear-groups "$@"; }
    if ! as_nobody test -x "$agent" || ! as_victim test -x "$agent"; then
        skip "another user's moves" "other users cannot reach $scratch"
    else
        # An empty source, before anything else: an agent that admits any
        # device would take the options for one.
        mkdir -p "$scratch/any-starts" "$mnt/empty" "$mnt/named"
        start_agent any "$scratch/any-starts" "$scratch/run" ":$((n + 1))" '.*'
        mount -t tmpfs "" "$mnt/empty"
        mount -t tmpfs vorlix-test-named "$mnt/named"
        check "a mount with an empty source: none; a named one after it: a start" \
            wait_for_starts "$scratch/any-starts" 1
        check "for the named one" same_start "$scratch/any-starts" 1 "$mnt/named" vorlix-test-named tmpfs
        stop_agent "$agent_pid"
        umount "$mnt/empty" "$mnt/named"

        hostile_starts=$scratch/hostile-starts
        mkdir -p "$hostile_starts"
        start_agent hostile "$hostile_starts" "$scratch/run" ":$n" "$loop_a"
        h=$agent_pid
        fuse=${VORLIX_TEST_FUSE-}
        if [ -z "$fuse" ]; then
            skip "another user's FUSE filesystem" "the test's FUSE program was not built (no libfuse3 headers)"
        elif [ ! -c /dev/fuse ] || [ ! -f /etc/fuse.conf ] || ! command -v fusermount3 >/dev/null 2>&1; then
            skip "another user's FUSE filesystem" "no /dev/fuse, /etc/fuse.conf or fusermount3 here"
        else
            # Users may mount FUSE filesystems and let others into them, in
            # this namespace only (some machines keep /dev/fuse root's).
            printf 'user_allow_other\n' >"$scratch/fuse.conf"
            mount --bind "$scratch/fuse.conf" /etc/fuse.conf
            mknod -m 666 "$scratch/fuse" c 10 229 && mount --bind "$scratch/fuse" /dev/fuse
            mkdir "$mnt/theirs" "$mnt/ours"
            chown 65534:65534 "$mnt/theirs"
            as_nobody "$fuse" -f -s -o allow_other,fsname="$loop_a",subtype=vorlix-test "$mnt/theirs" &
            daemons="$daemons $!"
            check "nobody mounts a FUSE filesystem open to all, named $loop_a" wait_mounted "$mnt/theirs"
            "$fuse" -f -s -o fsname="$loop_a",subtype=vorlix-test "$mnt/ours" &
            daemons="$daemons $!"
            check "and root one of the same name" wait_mounted "$mnt/ours"
            check "another user's FUSE filesystem open to all, named after the device: none; root's: a start" \
                wait_for_starts "$hostile_starts" 1
            check "which is root's" same_start "$hostile_starts" 1 "$mnt/ours" "$loop_a" fuse.vorlix-test

            # A FUSE filesystem whose program has stopped, a link of
            # nobody's into it in /dev/shm, which anyone may write to, and
            # FUSE filesystems named after the link, nobody's and root's.
            mkdir "$mnt/stopped" "$mnt/linked-theirs" "$mnt/linked-ours"
            chown 65534:65534 "$mnt/linked-theirs"
            "$fuse" -f -s -o fsname=vorlix-test-stopped "$mnt/stopped" &
            stopped=$!
            daemons="$daemons $stopped"
            check "a FUSE filesystem of root's is mounted" wait_mounted "$mnt/stopped"
            kill -STOP "$stopped"
            link=/dev/shm/vorlix-test-link.$n
            as_nobody ln -s "$mnt/stopped/x" "$link"
            as_nobody "$fuse" -f -s -o allow_other,fsname="$link" "$mnt/linked-theirs" &
            daemons="$daemons $!"
            "$fuse" -f -s -o fsname="$link" "$mnt/linked-ours" &
            daemons="$daemons $!"
            check "its program stopped, and nobody's FUSE filesystem named after a link into it" \
                wait_mounted "$mnt/linked-theirs"
            check "and root's" wait_mounted "$mnt/linked-ours"
            mount "$loop_a" "$mnt/a"
            check "FUSE filesystems named after a link into one that stopped answering: a real mount still gets its start" \
                wait_for_starts "$hostile_starts" 2 10
            check "with its arguments" same_start "$hostile_starts" 2 "$mnt/a" "$loop_a" ext4
            check "and the agent runs on" kill -0 "$h"
            umount "$mnt/a"
            kill -CONT "$stopped"
            for dir in theirs ours stopped linked-theirs linked-ours; do
                umount "$mnt/$dir"
            done
            rm -f "$link"
            umount /etc/fuse.conf /dev/fuse
        fi
        stop_agent "$h"

        # The swap: while something is mounted on race/d/mnt, nobody, who
        # owns race/d, renames it and puts a folder of theirs in the old
        # place, over and over, at moments that vary.
        racer=${VORLIX_TEST_RENAME_RACER-}
        rounds=300
        if [ -z "$racer" ] || [ ! -x "$racer" ]; then
            skip "a folder swapped under a mount" "no VORLIX_TEST_RENAME_RACER program"
        else
            race=$mnt/race
            mkdir -p "$race/d/mnt" "$scratch/victim-starts" "$scratch/victim-run"
            chown -R 65534:65534 "$race"
            chown 65533:65533 "$scratch/victim-starts" "$scratch/victim-run"
            chmod 700 "$scratch/victim-run"
            # The filesystem's root folder is root's alone.
            mount "$loop_c" "$race/d/mnt" && chmod 700 "$race/d/mnt" && umount "$race/d/mnt"
            start_agent victim "$scratch/victim-starts" "$scratch/victim-run" ":$n" "$loop_c" "" \
                setpriv --reuid=65533 --regid=65533 --clear-groups
            v=$agent_pid
            as_nobody "$racer" "$race" "$rounds" &
            racer_pid=$!
            round=0
            while [ "$round" -lt "$rounds" ] && mount "$loop_c" "$race/d/mnt"; do
                for _try in $(seq 2000); do
                    [ -d "$race/old" ] && break
                    sleep 0.005
                done
                umount -l "$race/old/mnt" && rmdir "$race/old/mnt" "$race/old" || break
                round=$((round + 1))
            done
            wait "$racer_pid"
            raced=$?
            check "the swap made $rounds times (made $round, the other user's program ended with $raced)" \
                [ "$round.$raced" = "$rounds.0" ]
            check "and not once a start" wait_for_starts "$scratch/victim-starts" 0 1
            check "the agent runs on" kill -0 "$v"
            stop_agent "$v"
        fi
    fi

    # A table of 3000 mounts more, before the next agent starts; they stay.
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
    start_agent root-odd "$starts" "$scratch/run" ":$n" "$loop_a" odd
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
        refuses 69 "cannot watch the mount table" "$starts" XDG_RUNTIME_DIR="$scratch/run" DISPLAY=":$((n + 2))"
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
        start_agent nobody "$nobody_starts" "$scratch/nobody-run" ":$n" "$loop_a|$loop_b" "" \
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
# Every agent of a user also locks its display in /tmp/vorlix-watch-<uid>,
# whatever runtime folder it was given: display numbers of this run's own
# keep it apart from another run at the same time, and from a desktop's.
n=$(($$ % 30000 + 1000))
users="$(id -u) 65534 65533"
made_shared=
for _uid in $users; do
    [ -e "/tmp/vorlix-watch-$_uid" ] || made_shared="$made_shared $_uid"
done
cleanup() {
    end_agents
    for _loop in $loops; do
        losetup -d "$_loop" 2>/dev/null
    done
    for _uid in $users; do
        for _display in ":$n" ":$((n + 1))" ":$((n + 2))" ":$((n + 3))"; do
            rm -f "/tmp/vorlix-watch-$_uid/vorlix-watch-$_display.lock"
        done
        rm -f "/tmp/vorlix-watch-$_uid/vorlix-watch-"*"vorlix-test-$n.lock"
    done
    for _uid in $made_shared; do
        rmdir "/tmp/vorlix-watch-$_uid" 2>/dev/null
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

start_agent first "$scratch/starts" "$scratch/run" ":$n" ""
first=$agent_pid
# The five spellings of one display, and the same one without a runtime
# folder or with Wayland's display beside it: all one agent's.
for spelling in ":$n" ":$n.0" "unix:$n" "localhost:$n" "unix:$n.1"; do
    check "a second agent for the same user and display ($spelling) is refused" \
        refuses 75 "already watches for this user on display :$n" "$scratch/starts" \
        XDG_RUNTIME_DIR="$scratch/run" DISPLAY="$spelling"
done
check "and one started without XDG_RUNTIME_DIR" \
    refuses 75 "already watches for this user on display :$n" "$scratch/starts" DISPLAY=":$n"
check "and one with Wayland's display as well" \
    refuses 75 "already watches for this user on display :$n" "$scratch/starts" \
    XDG_RUNTIME_DIR="$scratch/run" DISPLAY=":$n" WAYLAND_DISPLAY="vorlix-test-$n"
check "the first one keeps running" kill -0 "$first"
start_agent other "$scratch/starts" "$scratch/run" ":$((n + 1))" ""
check "one for another display starts" kill -0 "$agent_pid"
stop_agent "$agent_pid"
stop_agent "$first"
start_agent again "$scratch/starts" "$scratch/run" ":$n" ""
check "once the first has ended, another may start" kill -0 "$agent_pid"
stop_agent "$agent_pid"
# One for X and Wayland at once meets one for either.
agent_env="WAYLAND_DISPLAY=vorlix-test-$n"
start_agent both "$scratch/starts" "$scratch/run" ":$((n + 3))" ""
agent_env=
check "with X's and Wayland's display, one for Wayland's alone is refused" \
    refuses 75 "already watches for this user on display" "$scratch/starts" \
    XDG_RUNTIME_DIR="$scratch/run" WAYLAND_DISPLAY="vorlix-test-$n"
check "and one for X's alone" \
    refuses 75 "already watches for this user on display :$((n + 3))" "$scratch/starts" DISPLAY=":$((n + 3))"
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
for name in a b c; do
    truncate -s 8M "$scratch/$name.img" && mkfs.ext4 -q -F "$scratch/$name.img" || exit 1
    loop=$(losetup -f --show "$scratch/$name.img") || { skip "real mounts" "no loop device could be attached"; exit "$fail"; }
    loops="$loops $loop"
    eval "loop_$name=\$loop"
done
# shellcheck disable=SC2154 # set by the eval above
VORLIX_WATCH_TEST_INSIDE=1 VORLIX_WATCH_TEST_SCRATCH=$scratch VORLIX_WATCH_TEST_LOOP_A=$loop_a \
    VORLIX_WATCH_TEST_LOOP_B=$loop_b VORLIX_WATCH_TEST_LOOP_C=$loop_c VORLIX_WATCH_TEST_DISPLAY=$n \
    unshare -m --propagation private sh "$0" "$agent_built"
[ "$?" -eq 0 ] || fail=1
exit "$fail"
