#!/bin/sh
# Start-up benchmark for vorlix against a bare five-button Qt Widgets window.
#
#   bench/run-bench.sh
#
# Builds (RelWithDebInfo, once, into bench/build or $BENCH_BUILD_DIR) the
# program, the baseline and the map timer; starts a private Xvfb on a free
# display and runs both programs under the real xcb platform plugin,
# alternating, for $BENCH_RUNS runs each (default 15) after one warm-up run
# each. Reports medians and vorlix/baseline ratios of
#   - start-up: wall time from fork/exec until the window is mapped, taken by
#     vorlix-bench-mapwait from the X server's MapNotify event (no polling);
#   - peak RSS: VmHWM of the process once the window has been mapped and
#     painted (read $BENCH_SETTLE_MS, default 500, after the map);
# and the CPU time vorlix uses while its window sits idle for
# $BENCH_IDLE_SECONDS (default 10): utime+stime from /proc/PID/stat, with the
# nanosecond run time from /proc/PID/task/*/schedstat as a cross-check.
#
# Not part of the test suite. Exit status: 0 all targets met, 1 a target
# missed, 2 the benchmark could not run. Linux only (/proc).
set -eu

here=$(cd "$(dirname "$0")" && pwd)
src=$(dirname "$here")
build=${BENCH_BUILD_DIR:-$here/build}
runs=${BENCH_RUNS:-15}
idle_s=${BENCH_IDLE_SECONDS:-10}
settle_ms=${BENCH_SETTLE_MS:-500}

die() { echo "run-bench: $*" >&2; exit 2; }

for tool in cmake Xvfb awk sort; do
  command -v "$tool" >/dev/null 2>&1 || die "$tool not found (see .ci/install-deps)"
done
[ -r /proc/self/stat ] || die "/proc is needed to read memory and CPU use"
jobs=$(nproc 2>/dev/null || getconf _NPROCESSORS_ONLN 2>/dev/null || echo 2)

# --- build ------------------------------------------------------------------
# The log goes into the build folder, not a name anyone may make in /tmp first.
if [ ! -f "$build/CMakeCache.txt" ]; then
  mkdir -p "$build" || die "cannot make $build"
  cmake -S "$src" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF \
    >"$build/configure.log" 2>&1 \
    || { cat "$build/configure.log" >&2; die "configure failed"; }
fi
btype=$(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' "$build/CMakeCache.txt")
[ "$btype" = RelWithDebInfo ] \
  || echo "run-bench: warning: $build is a '$btype' build, not RelWithDebInfo" >&2
cmake --build "$build" --parallel "$jobs" \
  --target vorlix vorlix-bench-baseline vorlix-bench-mapwait >/dev/null \
  || die "build failed (run: cmake --build '$build' --target vorlix vorlix-bench-baseline vorlix-bench-mapwait)"

vorlix=$build/vorlix
baseline=$build/bench/vorlix-bench-baseline
mapwait=$build/bench/vorlix-bench-mapwait
for f in "$vorlix" "$baseline" "$mapwait"; do
  [ -x "$f" ] || die "$f was not built"
done

# --- private X server -----------------------------------------------------------
work=$(mktemp -d "${TMPDIR:-/tmp}/vorlix-bench.XXXXXX")
xvfb_pid=
idle_pid=
cleanup() {
  [ -n "$idle_pid" ] && kill "$idle_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 2' INT TERM HUP

# -displayfd makes Xvfb pick a free display itself and write its number
# once it accepts connections, so there is no race over lock files.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" \
  >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
tries=0
while [ ! -s "$work/display" ]; do
  kill -0 "$xvfb_pid" 2>/dev/null || { cat "$work/xvfb.log" >&2; die "Xvfb did not start"; }
  tries=$((tries + 1))
  [ "$tries" -le 200 ] || die "Xvfb did not report a display within 10 s"
  sleep 0.05
done
DISPLAY=:$(tr -d '\n' <"$work/display")
export DISPLAY
export QT_QPA_PLATFORM=xcb
mkdir -m 700 "$work/runtime"
export XDG_RUNTIME_DIR="$work/runtime"
unset WAYLAND_DISPLAY SESSION_MANAGER

# The mount point is an empty scratch directory: vorlix runs nothing until a
# button is clicked, so nothing touches a real device.
mnt=$work/mnt
mkdir "$mnt"

# run NAME PROGRAM: one start; appends map time and peak RSS to $work/NAME.*
run() {
  out=$("$mapwait" --settle "$settle_ms" "$2" "$mnt" /dev/da0s1 msdosfs 2>"$work/err") \
    || { cat "$work/err" >&2; die "$1 did not map a window"; }
  [ -n "$record" ] || return 0
  echo "$out" | sed -n 's/.* map_ms=\([0-9.]*\).*/\1/p' >>"$work/$1.map"
  echo "$out" | sed -n 's/.* hwm_kb=\([0-9-]*\).*/\1/p' >>"$work/$1.rss"
}

# stats FILE: "median min max" of the numbers in FILE
stats() {
  sort -n "$1" | awk '{ a[NR] = $1 }
    END { m = (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2
          printf "%s %s %s\n", m, a[1], a[NR] }'
}

echo "vorlix start-up benchmark: $runs runs each, alternating; Xvfb $DISPLAY, xcb; $btype build"
record=
run vorlix "$vorlix"
run baseline "$baseline"
record=yes
i=1
while [ "$i" -le "$runs" ]; do
  if [ $((i % 2)) -eq 1 ]; then
    run vorlix "$vorlix"; run baseline "$baseline"
  else
    run baseline "$baseline"; run vorlix "$vorlix"
  fi
  i=$((i + 1))
done

read -r vm_med vm_min vm_max <<END
$(stats "$work/vorlix.map")
END
read -r bm_med bm_min bm_max <<END
$(stats "$work/baseline.map")
END
read -r vr_med vr_min vr_max <<END
$(stats "$work/vorlix.rss")
END
read -r br_med br_min br_max <<END
$(stats "$work/baseline.rss")
END
map_ratio=$(awk -v a="$vm_med" -v b="$bm_med" 'BEGIN { printf "%.3f", a / b }')
rss_ratio=$(awk -v a="$vr_med" -v b="$br_med" 'BEGIN { printf "%.3f", a / b }')
printf '%-24s %9s %9s %9s\n' "" median min max
printf '%-24s %9.1f %9.1f %9.1f\n' "start-up vorlix (ms)" "$vm_med" "$vm_min" "$vm_max"
printf '%-24s %9.1f %9.1f %9.1f\n' "start-up baseline (ms)" "$bm_med" "$bm_min" "$bm_max"
printf '%-24s %9.0f %9.0f %9.0f\n' "peak RSS vorlix (KiB)" "$vr_med" "$vr_min" "$vr_max"
printf '%-24s %9.0f %9.0f %9.0f\n' "peak RSS baseline (KiB)" "$br_med" "$br_min" "$br_max"

# --- idle CPU ---------------------------------------------------------------------
# cpu_ticks PID: utime+stime in clock ticks (fields 14 and 15 of stat; the
# command name in field 2 is cut off first since it may hold spaces).
cpu_ticks() { sed 's/.*) //' "/proc/$1/stat" | awk '{ print $12 + $13 }'; }
# run_ns PID: run time of all threads in nanoseconds
run_ns() { cat "/proc/$1"/task/*/schedstat | awk '{ s += $1 } END { printf "%.0f\n", s }'; }

# Output goes to a file, not a pipe: the kept process inherits it and a
# command substitution would wait for that process to end.
"$mapwait" --keep --settle 1000 "$vorlix" "$mnt" /dev/da0s1 msdosfs \
  >"$work/idle.out" 2>"$work/err" \
  || { cat "$work/err" >&2; die "vorlix did not map a window"; }
idle_pid=$(sed -n 's/^pid=\([0-9]*\).*/\1/p' "$work/idle.out")
[ -n "$idle_pid" ] || die "no pid from vorlix-bench-mapwait"
t0=$(cpu_ticks "$idle_pid"); n0=$(run_ns "$idle_pid")
sleep "$idle_s"
t1=$(cpu_ticks "$idle_pid"); n1=$(run_ns "$idle_pid")
kill "$idle_pid"
idle_pid=
hz=$(getconf CLK_TCK)
idle_ms=$(awk -v a="$t0" -v b="$t1" -v hz="$hz" 'BEGIN { printf "%d", (b - a) * 1000 / hz }')
idle_exact=$(awk -v a="$n0" -v b="$n1" 'BEGIN { printf "%.2f", (b - a) / 1e6 }')

misses=0
# report LABEL VALUE OP LIMIT: one line with PASS or MISS
report() {
  if awk -v v="$2" -v l="$4" -v op="$3" \
       'BEGIN { exit !((op == "<=") ? (v <= l) : (v < l)) }'; then
    mark=PASS
  else
    mark=MISS; misses=$((misses + 1))
  fi
  printf '%-34s %8s   target %s %-5s %s\n' "$1" "$2" "$3" "$4" "$mark"
}
echo
report "start-up ratio vorlix/baseline" "$map_ratio" '<=' 1.10
report "peak RSS ratio vorlix/baseline" "$rss_ratio" '<=' 1.10
report "idle CPU of vorlix over ${idle_s} s (ms)" "$idle_ms" '<' 20
printf '  (schedstat run time of all threads over the same %s s: %s ms)\n' "$idle_s" "$idle_exact"
[ "$misses" -eq 0 ] || exit 1
