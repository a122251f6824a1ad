#!/bin/sh
# Benchmark of the session agent vorlix-watch.
#
#   bench/run-watch-bench.sh
#
# Builds (RelWithDebInfo, into bench/build or $BENCH_BUILD_DIR) the agent, a
# fake vorlix that notes when it runs (vorlix-bench-stamp) and a timer
# (vorlix-bench-mountwait). In a private mount namespace it starts the agent
# with the fake first on PATH and VORLIX_WATCH_DEVICES naming the test's
# tmpfs mounts, and reports
#   - start latency: from mount(2) returning to the fake vorlix running,
#     $BENCH_RUNS mounts (default 20), one after another; the fake's own
#     loading is included, so this is an upper bound of the time to exec.
#     A run can come out below zero: the kernel tells the agent of the
#     mount before mount(2) has returned to the timer, which another core
#     may not run again at once;
#   - peak RSS (VmHWM) of the agent once it watches and sits idle, and
#     again after all the runs;
#   - the CPU time it uses idle over $BENCH_IDLE_SECONDS (default 60): clock
#     ticks (utime+stime in /proc/PID/stat) and, to the nanosecond, the run
#     time in /proc/PID/schedstat.
#
# Not part of the test suite. Linux only (/proc, unshare), as root. Exit
# status: 0 all targets met, 1 a target missed, 2 it could not run.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
src=$(dirname "$here")
build=${BENCH_BUILD_DIR:-$here/build}
runs=${BENCH_RUNS:-20}
idle_s=${BENCH_IDLE_SECONDS:-60}

die() { echo "run-watch-bench: $*" >&2; exit 2; }

# --- inside the private mount namespace -------------------------------------------
if [ "${VORLIX_WATCH_BENCH_INSIDE-}" = 1 ]; then
    agent_bin=$build/vorlix-watch
    stamp_bin=$build/bench/vorlix-bench-stamp
    mountwait=$build/bench/vorlix-bench-mountwait
    work=$(mktemp -d "${TMPDIR:-/tmp}/vorlix-watch-bench.XXXXXX")
    agent=
    # Every agent also locks its display in /tmp/vorlix-watch-<uid>: a name
    # of this run's own keeps another run at the same time apart.
    display=:bench-$$
    shared_lock=/tmp/vorlix-watch-$(id -u)/vorlix-watch-$display.lock
    cleanup() {
        if [ -n "$agent" ]; then
            kill "$agent" 2>/dev/null || true
            wait "$agent" 2>/dev/null || true
        fi
        rm -f "$shared_lock"
        umount "$work/mnt"/* 2>/dev/null || true
        rm -rf "$work"
    }
    trap cleanup EXIT
    trap 'exit 2' INT TERM HUP
    mkdir -p "$work/bin" "$work/stamps" "$work/mnt" "$work/run"
    chmod 700 "$work/run"
    ln -s "$stamp_bin" "$work/bin/vorlix"

    env -i PATH="$work/bin:/usr/bin:/bin" XDG_RUNTIME_DIR="$work/run" DISPLAY="$display" \
        VORLIX_WATCH_DEVICES='bench-stick-[0-9]+' BENCH_STAMPS="$work/stamps" \
        "$agent_bin" 2>"$work/agent.err" &
    agent=$!
    tries=0
    until [ "$(cat "$work/run/vorlix-watch-$display.lock" 2>/dev/null)" = "$agent" ]; do
        kill -0 "$agent" 2>/dev/null || { cat "$work/agent.err" >&2; die "the agent did not start"; }
        tries=$((tries + 1))
        [ "$tries" -le 200 ] || die "the agent was not watching after 10 s"
        sleep 0.05
    done
    sleep 1
    hwm() { sed -n 's/^VmHWM:[[:space:]]*\([0-9]*\) kB/\1/p' "/proc/$1/status"; }
    hwm_idle=$(hwm "$agent")

    "$mountwait" "$runs" "$work/mnt" "$work/stamps" bench-stick >"$work/latency" ||
        { cat "$work/agent.err" >&2; die "the timer failed"; }
    hwm_after=$(hwm "$agent")

    # cpu_ticks PID: utime+stime in clock ticks (fields 14 and 15 of stat,
    # counted after the command name, which may hold blanks).
    cpu_ticks() { sed 's/.*) //' "/proc/$1/stat" | awk '{ print $12 + $13 }'; }
    run_ns() { cat "/proc/$1"/task/*/schedstat | awk '{ s += $1 } END { printf "%.0f\n", s }'; }
    sleep 1
    t0=$(cpu_ticks "$agent"); n0=$(run_ns "$agent")
    sleep "$idle_s"
    t1=$(cpu_ticks "$agent"); n1=$(run_ns "$agent")
    kill -0 "$agent" 2>/dev/null || die "the agent ended while idle"

    read -r med min max <<END
$(sort -n "$work/latency" | awk '{ a[NR] = $1 }
    END { m = (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2
          printf "%s %s %s\n", m, a[1], a[NR] }')
END
    ticks=$((t1 - t0))
    idle_exact=$(awk -v a="$n0" -v b="$n1" 'BEGIN { printf "%.3f", (b - a) / 1e6 }')

    echo "vorlix-watch benchmark: $runs mounts (tmpfs, admitted by VORLIX_WATCH_DEVICES), $btype build"
    printf '%-40s %9s %9s %9s\n' "" median min max
    printf '%-40s %9.2f %9.2f %9.2f\n' "mount returned -> vorlix running (ms)" "$med" "$min" "$max"
    misses=0
    report() { # LABEL VALUE OP LIMIT
        if awk -v v="$2" -v l="$4" -v op="$3" 'BEGIN { exit !((op == "<=") ? (v <= l) : (v == l)) }'; then
            mark=PASS
        else
            mark=MISS
            misses=$((misses + 1))
        fi
        printf '%-40s %9s   target %s %-6s %s\n' "$1" "$2" "$3" "$4" "$mark"
    }
    echo
    report "median start latency (ms)" "$med" '<=' 100
    report "peak RSS idle (KiB)" "$hwm_idle" '<=' 8192
    report "peak RSS after the runs (KiB)" "$hwm_after" '<=' 8192
    report "CPU ticks idle over ${idle_s} s" "$ticks" '==' 0
    printf '  (schedstat run time over the same %s s: %s ms)\n' "$idle_s" "$idle_exact"
    status=0
    [ "$misses" -eq 0 ] || status=1
    cleanup
    agent=
    trap - EXIT
    exit "$status"
fi

# --- outside: build, then the namespace -------------------------------------------
[ "$(id -u)" -eq 0 ] || die "it mounts tmpfs in a private mount namespace: run it as root"
for tool in cmake unshare awk sort; do
    command -v "$tool" >/dev/null 2>&1 || die "$tool not found"
done
[ -r /proc/self/mountinfo ] || die "/proc is needed"
jobs=$(nproc 2>/dev/null || getconf _NPROCESSORS_ONLN 2>/dev/null || echo 2)
# The log goes into the build folder, not a name anyone may make in /tmp first.
if [ ! -f "$build/CMakeCache.txt" ]; then
    mkdir -p "$build" || die "cannot make $build"
    cmake -S "$src" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF \
        >"$build/configure.log" 2>&1 ||
        { cat "$build/configure.log" >&2; die "configure failed"; }
fi
btype=$(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' "$build/CMakeCache.txt")
[ "$btype" = RelWithDebInfo ] ||
    echo "run-watch-bench: warning: $build is a '$btype' build, not RelWithDebInfo" >&2
cmake --build "$build" --parallel "$jobs" \
    --target vorlix-watch vorlix-bench-stamp vorlix-bench-mountwait >/dev/null ||
    die "build failed (run: cmake --build '$build' --target vorlix-watch vorlix-bench-stamp vorlix-bench-mountwait)"

VORLIX_WATCH_BENCH_INSIDE=1 BENCH_BUILD_DIR=$build BENCH_RUNS=$runs BENCH_IDLE_SECONDS=$idle_s btype=$btype \
    exec unshare -m --propagation private sh "$0"
