#!/bin/sh
# How the demo ends. Without a display it refuses at once, says how to give
# it one, and leaves nothing mounted or running. With one, however vorlix
# ends (killed, aborted, crashed, or the demo itself interrupted), the
# demo unmounts its stick, ends its agent and ends.
#
# usage: demo_ends.sh VORLIX_TESTABLE VORLIX_WATCH   (ctest passes both)

# shellcheck source=testlib.sh
. "$(dirname -- "$0")/testlib.sh"

testable=${1-}
watch=${2-}
run_demo=$repo_dir/demo/run-demo.sh
# An abort or a crash must leave no core file behind in the test's folders.
ulimit -c 0 2>/dev/null

demo_pid=
cleanup() {
    [ -n "$demo_pid" ] && kill "$demo_pid" 2>/dev/null
    for _s in "$tmp"/sandbox-*; do
        [ -f "$_s/.vorlix-demo-sandbox" ] &&
            DEMO_DIR=$_s "$run_demo" --clean >/dev/null 2>&1
    done
    rm -rf "$tmp"
}
trap cleanup EXIT

running() {
    case $(ps -o stat= -p "$1" 2>/dev/null) in
        '' | Z*) return 1 ;;
    esac
    return 0
}

not_running() {
    ! running "$1"
}

# Nothing in the mount table at or below the folder $1.
nothing_mounted_below() {
    ! awk -v d="$(printf '%s' "$1" | sed 's/ /\\040/g')" \
        '$5 == d || index($5, d "/") == 1 { found = 1 } END { exit !found }' /proc/self/mountinfo
}

# No process whose command line names the folder $1 (the agent, fuse2fs
# and vorlix all carry the sandbox's paths).
no_process_names() {
    for _cmdline in /proc/[0-9]*/cmdline; do
        [ "$_cmdline" = "/proc/$$/cmdline" ] && continue
        if (tr '\0' ' ' <"$_cmdline") 2>/dev/null | LC_ALL=C grep -F -q -- "$1"; then
            return 1
        fi
    done
    return 0
}

# --- no display -----------------------------------------------------------
if [ ! -r /proc/self/mountinfo ]; then
    skip "the demo without a display" "no Linux /proc here"
else
    box=$tmp/sandbox-no-display
    begin "without DISPLAY or WAYLAND_DISPLAY the demo refuses before anything"
    env -u DISPLAY -u WAYLAND_DISPLAY DEMO_DIR="$box" DEMO_NO_DEPS=1 DEMO_NO_BUILD=1 \
        "$run_demo" </dev/null >"$tmp/out" 2>&1
    rc=$?
    check "exit status 78 (was $rc)" status_is 78
    check "says it needs a graphical session" said 'the demo needs a graphical session'
    check "shows how to run it under Xvfb" said 'xvfb-run -a'
    check "and in a nested compositor" said 'nested'
    check "no sandbox made" absent "$box"
    check "nothing mounted there" nothing_mounted_below "$box"
    check "nothing of it running" no_process_names "$box"
    end
fi

# --- vorlix ending abnormally ---------------------------------------------
fuse=
if [ -c /dev/fuse ] && [ -r /dev/fuse ] && [ -w /dev/fuse ] &&
    command -v fusermount3 >/dev/null 2>&1 &&
    command -v fuse2fs >/dev/null 2>&1 && command -v findmnt >/dev/null 2>&1 &&
    command -v mkfs.ext4 >/dev/null 2>&1; then
    fuse=1
fi
if [ -z "$fuse" ]; then
    skip "the demo's stick unmounted when vorlix ends abnormally" "no /dev/fuse, fusermount3, fuse2fs, findmnt or mkfs.ext4 here"
    finish
fi
if [ -z "$testable" ] || [ ! -x "$testable" ] || [ -z "$watch" ] || [ ! -x "$watch" ]; then
    skip "the demo's stick unmounted when vorlix ends abnormally" "no test build of vorlix and vorlix-watch was given"
    finish
fi

# A copy of the demo beside the real tools, whose build/vorlix is the test
# build: it notes its pid, then becomes vorlix, whose window waits.
fake_repo=$tmp/repo
mkdir -p "$fake_repo/build"
cp -R "$repo_dir/demo" "$fake_repo/demo"
ln -s "$tools_dir" "$fake_repo/tools"
ln -s "$(cd -P -- "$(dirname -- "$watch")" && pwd -P)/${watch##*/}" "$fake_repo/build/vorlix-watch"
# A sanitizer build would take the SIGSEGV for its own and exit 1: the
# signal must end it, as it would the shipped program.
cat >"$fake_repo/build/vorlix" <<EOF
#!/bin/sh
echo "\$\$" >'$tmp/vorlix.pid'
ASAN_OPTIONS=\${ASAN_OPTIONS:+\$ASAN_OPTIONS:}handle_segv=0:detect_leaks=0
export ASAN_OPTIONS
VORLIX_HOOK_LOG='$tmp/hook.log' QT_QPA_PLATFORM=offscreen exec '$testable' "\$@"
EOF
chmod +x "$fake_repo/build/vorlix"

# Waits up to 30 s for the command to succeed.
within_30s() {
    _tries=0
    until "$@"; do
        [ "$_tries" -ge 300 ] && return 1
        sleep 0.1
        _tries=$((_tries + 1))
    done
}

window_shown() {
    LC_ALL=C grep -q '^shown VorlixMenu' "$tmp/hook.log" 2>/dev/null
}

demo_ended() {
    not_running "$demo_pid"
}

# signal: what is sent; target: to vorlix or to the demo; the demo's exit
# status; what it says ('_' for blanks).
# signal  target  status  says
while read -r signal target status says; do
    says=$(echo "$says" | tr _ ' ')
    box=$tmp/sandbox-$signal-$target
    rm -f "$tmp/vorlix.pid" "$tmp/hook.log"
    begin "SIG$signal to $target: the demo unmounts its stick and ends"
    # A display is named, for the demo; vorlix runs offscreen all the same.
    env DISPLAY=:vorlix-test DEMO_DIR="$box" DEMO_NO_DEPS=1 DEMO_NO_BUILD=1 \
        "$fake_repo/demo/run-demo.sh" </dev/null >"$tmp/out" 2>&1 &
    demo_pid=$!
    if ! within_30s window_shown; then
        check "vorlix's window was shown" false
        kill "$demo_pid" 2>/dev/null
        wait "$demo_pid"
        demo_pid=
        end
        continue
    fi
    check "the stick was mounted" test "$(findmnt -n -o FSTYPE -M "$box/mnt" 2>/dev/null)" = fuse.ext4
    server=$(cat "$box/.fuse2fs.pid" 2>/dev/null)
    agent=$(cat "$box/run/"vorlix-watch-*.lock 2>/dev/null)
    vorlix=$(cat "$tmp/vorlix.pid")
    if [ "$target" = vorlix ]; then
        kill -s "$signal" "$vorlix"
    else
        kill -s "$signal" "$demo_pid"
    fi
    check "the demo ended" within_30s demo_ended
    wait "$demo_pid"
    rc=$?
    demo_pid=
    check "exit status $status (was $rc)" status_is "$status"
    check "says: $says" said "$says"
    check "the stick is unmounted" nothing_mounted_below "$box"
    check "fuse2fs has ended" not_running "${server:-0}"
    check "the agent has ended" not_running "${agent:-0}"
    check "vorlix has ended" not_running "${vorlix:-0}"
    check "nothing of it running" no_process_names "$box"
    check "the sandbox stays" test -f "$box/.vorlix-demo-sandbox"
    end
done <<'EOF'
KILL    vorlix  137  vorlix_was_ended_by_signal_9_with_the_stick_still_mounted
ABRT    vorlix  134  vorlix_was_ended_by_signal_6
SEGV    vorlix  139  vorlix_was_ended_by_signal_11
TERM    demo    130  Unmounting_the_sandbox's_stick
EOF

finish
