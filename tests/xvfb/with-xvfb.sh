#!/bin/sh
# Runs a command on a private X server (Xvfb) with the real xcb platform,
# then stops the server. Usage: with-xvfb.sh command [args...]
# Without Xvfb it runs nothing and exits 77, which CTest counts as skipped.
set -u
command -v Xvfb >/dev/null 2>&1 || { echo "with-xvfb: skipped: Xvfb is not installed" >&2; exit 77; }

# Let the server pick a free display and tell us its number.
fifo_dir=$(mktemp -d) || exit 1
mkfifo "$fifo_dir/display"
# -noreset: by default the server resets whenever its last client leaves,
# and a program starting in that moment cannot connect.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$fifo_dir/display" 2>"$fifo_dir/xvfb.log" &
xvfb_pid=$!
cleanup() { kill "$xvfb_pid" 2>/dev/null; wait "$xvfb_pid" 2>/dev/null; rm -rf "$fifo_dir"; }
trap cleanup EXIT INT TERM
read -r display_no < "$fifo_dir/display" || { cat "$fifo_dir/xvfb.log" >&2; exit 1; }

DISPLAY=":$display_no" QT_QPA_PLATFORM=xcb "$@"
status=$?
exit "$status"
