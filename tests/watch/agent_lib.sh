# shellcheck shell=sh
# Helpers of agent.sh, sourced by it: $scratch and $agent are set, and
# $agents lists the agents to end on the way out.

# The fake vorlix: one record per start in $VORLIX_FAKE_STARTS, named by the
# time and its process id, holding its arguments (each ended by a NUL) and,
# beside it, whether it leads its own session and has 0 to 2 open, and
# whether a descriptor of the agent's reached it (one open on a file named
# inherited-descriptor).
make_fake() {
    [ -x "$scratch/bin/vorlix" ] && return 0
    mkdir -p "$scratch/bin"
    cat >"$scratch/bin/vorlix" <<'FAKE'
#!/bin/sh
record=$VORLIX_FAKE_STARTS/$(date +%s%N).$$
info=
[ "$(ps -o sid= -p $$ | tr -d ' ')" = "$$" ] && info=leader
[ -e "/proc/$$/fd/0" ] && [ -e "/proc/$$/fd/1" ] && [ -e "/proc/$$/fd/2" ] && info="$info fds"
for fd in /proc/$$/fd/*; do
    case $(readlink "$fd") in */inherited-descriptor) info="$info inherited" ;; esac
done
printf '%s\n' "$info" >"$record.info"
printf '%s\0' "$@" >"$record.tmp" && mv "$record.tmp" "$record.args"
FAKE
    chmod 755 "$scratch/bin" "$scratch/bin/vorlix"
}

# start_agent NAME STARTS RUNDIR DISPLAY DEVICES [odd [COMMAND...]]: starts
# the agent in the background (through COMMAND, such as setpriv; "odd": with
# descriptors 0 to 2 closed, and SIGCHLD ignored where $odd_parent says env
# can do that; $agent_env: more NAME=VALUE words for its environment) and
# waits until its lock file names it, as it does once it watches. Sets
# agent_pid.
start_agent() {
    _name=$1 _starts=$2 _run=$3 _display=$4 _devices=$5
    shift 5
    _odd=${1-}
    [ "$#" -gt 0 ] && shift
    make_fake
    if [ "$_odd" = odd ]; then
        (
            [ -n "${odd_parent-}" ] && set -- "$@" env --ignore-signal=CHLD
            # shellcheck disable=SC2086 # words of their own
            exec "$@" env -i PATH="$scratch/bin:/usr/bin:/bin" XDG_RUNTIME_DIR="$_run" DISPLAY="$_display" \
                VORLIX_WATCH_DEVICES="$_devices" VORLIX_FAKE_STARTS="$_starts" ${agent_env-} \
                ${ASAN_OPTIONS+"ASAN_OPTIONS=$ASAN_OPTIONS"} ${UBSAN_OPTIONS+"UBSAN_OPTIONS=$UBSAN_OPTIONS"} \
                "$agent" <&- >&- 2>&-
        ) &
    else
        # shellcheck disable=SC2086 # words of their own
        "$@" env -i PATH="$scratch/bin:/usr/bin:/bin" XDG_RUNTIME_DIR="$_run" DISPLAY="$_display" \
            VORLIX_WATCH_DEVICES="$_devices" VORLIX_FAKE_STARTS="$_starts" ${agent_env-} \
            ${ASAN_OPTIONS+"ASAN_OPTIONS=$ASAN_OPTIONS"} ${UBSAN_OPTIONS+"UBSAN_OPTIONS=$UBSAN_OPTIONS"} \
            "$agent" 2>"$scratch/$_name.err" &
    fi
    agent_pid=$!
    agents="$agents $agent_pid"
    _lock=$_run/vorlix-watch-$_display.lock
    for _try in $(seq 200); do
        [ "$(cat "$_lock" 2>/dev/null)" = "$agent_pid" ] && return 0
        kill -0 "$agent_pid" 2>/dev/null || break
        sleep 0.05
    done
    echo "agent.sh: the agent $_name did not start watching" >&2
    cat "$scratch/$_name.err" >&2 2>/dev/null
    return 1
}

stop_agent() {
    kill "$1" 2>/dev/null
    wait "$1" 2>/dev/null
    return 0
}

# The starts recorded in STARTS, oldest first.
records() {
    # shellcheck disable=SC2012 # names made by the fake: digits and dots
    ls "$1" | sed -n 's/\.args$//p' | sort
}

# wait_for_starts STARTS N [SECONDS]: true once N starts are recorded, and
# no more have come a moment later.
wait_for_starts() {
    _tries=$((${3:-10} * 20))
    while [ "$(records "$1" | wc -l)" -lt "$2" ] && [ "$_tries" -gt 0 ]; do
        sleep 0.05
        _tries=$((_tries - 1))
    done
    sleep 0.3
    _count=$(records "$1" | wc -l)
    [ "$_count" -eq "$2" ] || { echo "    $_count starts recorded, not $2" >&2; return 1; }
}

# same_start STARTS K DIR DEVICE TYPE: the K-th start had those arguments.
same_start() {
    _record=$1/$(records "$1" | sed -n "$2p").args
    printf '%s\0' "$3" "$4" "$5" | cmp -s - "$_record"
}

# start_info_is STARTS K TEXT
start_info_is() {
    [ "$(cat "$1/$(records "$1" | sed -n "$2p").info")" = "$3" ]
}

# reaped STARTS K: the K-th start's process has ended and is gone, not
# left a zombie of the agent's.
reaped() {
    _pid=$(records "$1" | sed -n "$2p" | sed 's/.*\.//')
    for _try in $(seq 100); do
        [ -z "$(ps -o stat= -p "$_pid" 2>/dev/null)" ] && return 0
        sleep 0.05
    done
    echo "    process $_pid: $(ps -o stat= -p "$_pid")" >&2
    return 1
}

# After an unmount, before the volume is mounted again: the agent tells
# mounts apart by the kernel's mount id, which the next mount may take over
# at once, so an unmount and a mount both made before it reads the table
# again look to it as if nothing happened. People are slower than that.
settle() {
    sleep 0.5
}

# refuses STATUS TEXT STARTS [NAME=VALUE...]: an agent started so, with
# that environment, ends at once with STATUS, saying TEXT. (Without /proc a
# sanitized build cannot read its own options, and its leak check fails at
# exit instead: then the text alone counts.)
refuses() {
    _status=$1 _text=$2 _starts=$3
    shift 3
    timeout 10 env -i PATH="$scratch/bin:/usr/bin:/bin" VORLIX_FAKE_STARTS="$_starts" "$@" \
        ${ASAN_OPTIONS+"ASAN_OPTIONS=$ASAN_OPTIONS"} ${UBSAN_OPTIONS+"UBSAN_OPTIONS=$UBSAN_OPTIONS"} \
        "$agent" >"$scratch/refused.out" 2>&1
    _rc=$?
    if grep -qF -- "$_text" "$scratch/refused.out"; then
        [ "$_rc" -eq "$_status" ] && return 0
        [ "$_rc" -ne 0 ] && grep -qF 'LeakSanitizer has encountered a fatal error' "$scratch/refused.out" &&
            return 0
    fi
    echo "    status $_rc:" >&2
    sed 's/^/    | /' "$scratch/refused.out" >&2
    return 1
}

# mounted_at DIR: something is mounted on DIR itself (as the mount table
# says, so that a filesystem that stopped answering is not asked).
mounted_at() {
    awk -v dir="$1" '$5 == dir { found = 1 } END { exit !found }' /proc/self/mountinfo
}

# wait_mounted DIR: true once mounted_at DIR, within 10 s.
wait_mounted() {
    for _try in $(seq 200); do
        mounted_at "$1" && return 0
        sleep 0.05
    done
    echo "    nothing was mounted on $1" >&2
    return 1
}
