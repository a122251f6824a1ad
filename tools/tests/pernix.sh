#!/bin/sh
# pernix on disk image files: what it writes, what it leaves alone, and that
# only a copy that was read back and matched earns the success marker.
# (Refusals shared with draskel are in refusals.sh.)

# shellcheck source=testlib.sh
. "$(dirname -- "$0")/testlib.sh"

pernix=$tools_dir/pernix
dir=$tmp/$odd_name
mkdir -p "$dir"
image="$dir/sample image.img"
disk="$dir/disk da0"
marker=$dir/vorl.marker

image_at_start() {
    head -c "$img_bytes" "$disk" | cmp -s - "$image"
}

rest_untouched() {
    [ "$(tail -c +$((img_bytes + 1)) "$disk" | cksum)" = "$rest_sum" ]
}

# The image lands at the start of the disk byte for byte; what follows it,
# and the disk's length, stay as they were. Sizes that are not whole dd
# blocks catch padding or truncation at the end.
# image bytes   disk bytes   case
while read -r img_bytes disk_bytes what; do
    rm -f "$marker"
    random_file "$image" "$img_bytes"
    pattern_file "$disk" "$disk_bytes"
    rest_sum=$(tail -c +$((img_bytes + 1)) "$disk" | cksum)

    begin "writes and checks: $what"
    run yes "$pernix" --success-file "$marker" "$image" "$disk"
    check "exit status 0 (was $rc)" status_is 0
    check "marker created" test -f "$marker"
    check "image at the start of the disk" image_at_start
    check "bytes after the image untouched" rest_untouched
    check "disk length unchanged" test "$(size_of "$disk")" -eq "$disk_bytes"
    end
done <<EOF
3000123     8388608     image shorter than the disk, not whole blocks
8388608     8388608     image exactly as large as the disk
1           4096        one-byte image
EOF

# A disk that fails, or one that takes the data and silently keeps none of
# it, as a dying device can: dd standing in for the device on writes to the
# disk, the real dd everywhere else.
mkdir "$tmp/faulty"
cat >"$tmp/faulty/dd" <<'EOF'
#!/bin/sh
for arg do
    if [ "$arg" = "of=$FAULT_DISK" ]; then
        case $FAULT in
            fail) echo 'dd: error writing: Input/output error' >&2; exit 1 ;;
            lose) exit 0 ;;
        esac
    fi
done
exec "$REAL_DD" "$@"
EOF
chmod +x "$tmp/faulty/dd"
REAL_DD=$(command -v dd)
FAULT_DISK=$disk
export REAL_DD FAULT_DISK

# fault   what pernix must say
while read -r FAULT says; do
    export FAULT
    rm -f "$marker"
    random_file "$image" 100000
    pattern_file "$disk" 1048576
    begin "disk that does '$FAULT': no marker"
    run yes env PATH="$tmp/faulty:$PATH" "$pernix" --success-file "$marker" "$image" "$disk"
    check "exit status 1 (was $rc)" status_is 1
    check "no marker" absent "$marker"
    check "says: $says" said "$says"
    check "waits for Enter" said 'Press Enter'
    end
done <<EOF
fail    writing to
lose    differs from
EOF

# FreeBSD tastes a disk again when its last writer closes it, and an
# automounter may then mount the new partitions before the copy is read back:
# pernix holds the disk open for writing from before the write until the
# compare is done. The dd that writes and the cmp that compares note whether
# their parent, pernix, holds the disk open for writing (Linux's /proc).
if [ -d /proc/self/fdinfo ]; then
    mkdir "$tmp/watching"
    cat >"$tmp/watching/held" <<'EOF'
#!/bin/sh
# held WHO PID: appends "WHO held" or "WHO free" to $HELD_LOG.
state=free
for fd in /proc/$2/fd/*; do
    [ "$(readlink "$fd")" = "$WATCH_DISK" ] || continue
    case $(awk '$1 == "flags:" { print $2 }' "/proc/$2/fdinfo/${fd##*/}") in
        *[12]) state=held ;;
    esac
done
echo "$1 $state" >>"$HELD_LOG"
EOF
    cat >"$tmp/watching/dd" <<'EOF'
#!/bin/sh
for arg do
    [ "$arg" = "of=$WATCH_DISK" ] && "$WATCHING/held" write "$PPID"
done
exec "$REAL_DD" "$@"
EOF
    cat >"$tmp/watching/cmp" <<'EOF'
#!/bin/sh
"$WATCHING/held" compare "$PPID"
exec "$REAL_CMP" "$@"
EOF
    chmod +x "$tmp/watching/held" "$tmp/watching/dd" "$tmp/watching/cmp"
    random_file "$image" 100000
    pattern_file "$disk" 1048576
    rm -f "$marker" "$tmp/held.log"
    begin "the disk stays open for writing from the write to the compare"
    run yes env PATH="$tmp/watching:$PATH" WATCHING="$tmp/watching" HELD_LOG="$tmp/held.log" \
        WATCH_DISK="$(readlink -f "$disk")" REAL_DD="$(command -v dd)" REAL_CMP="$(command -v cmp)" \
        "$pernix" --success-file "$marker" "$image" "$disk"
    check "exit status 0 (was $rc)" status_is 0
    check "held while dd writes and while cmp compares (saw: $(tr '\n' ' ' <"$tmp/held.log" 2>/dev/null))" \
        test "$(cat "$tmp/held.log" 2>/dev/null)" = "write held
compare held"
    end
    rm -f "$marker"
else
    skip "the disk stays open for writing from the write to the compare" "no /proc/self/fdinfo"
fi

# A refusal must stay on screen until the user presses Enter: the window
# closes when pernix exits. The answer comes through a fifo held open, so
# pernix sees no EOF until the test writes the line.
begin "failure waits for Enter before exiting"
mkfifo "$tmp/keys"
"$pernix" --success-file "$marker" "$dir/no such image" "$disk" \
    <"$tmp/keys" >"$tmp/out" 2>&1 &
pid=$!
exec 4>"$tmp/keys"
sleep 1
check "still running before Enter" kill -0 "$pid"
# If pernix is gone the fifo has no reader; that must fail the case, not
# kill the test with SIGPIPE.
trap '' PIPE
echo >&4
exec 4>&-
trap - PIPE
# A pernix that ignored the line would hang; give up on it after a while.
tries=0
while kill -0 "$pid" 2>/dev/null && [ "$tries" -lt 10 ]; do
    sleep 1
    tries=$((tries + 1))
done
kill "$pid" 2>/dev/null
wait "$pid"
rc=$?
check "exit status 1 after Enter (was $rc)" status_is 1
check "no marker" absent "$marker"
end

finish
