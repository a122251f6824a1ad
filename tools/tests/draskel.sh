#!/bin/sh
# draskel on a disk image file: the file system it makes is the one asked
# for and the only one found on the disk, old partition tables go, and
# anything short of success leaves no marker.
# (Refusals shared with pernix are in refusals.sh.)

# shellcheck source=testlib.sh
. "$(dirname -- "$0")/testlib.sh"

draskel=$tools_dir/draskel
dir=$tmp/$odd_name
mkdir -p "$dir"
disk="$dir/disk da0"
marker=$dir/vorl.marker
disk_bytes=$((64 * 1048576))
sparse_file "$disk" 64

# Leaves text where partition tables live: the GPT header in the second
# sector and its backup in the last one. (Of $disk, or the file given.)
plant_old_tables() {
    printf 'OLD-PRIMARY-TABLE' |
        dd of="${1:-$disk}" bs=512 seek=1 conv=notrunc 2>/dev/null
    printf 'OLD-BACKUP-TABLE' |
        dd of="${1:-$disk}" bs=512 seek=$(($(size_of "${1:-$disk}") / 512 - 1)) \
            conv=notrunc 2>/dev/null
}

old_tables_gone() {
    ! LC_ALL=C grep -q 'OLD-[A-Z]*-TABLE' "${1:-$disk}"
}

found_type() {
    [ "$(fs_type "$disk")" = "$1" ]
}

maker_for() {
    case $1 in
        exfat) command -v mkfs.exfat || command -v mkexfatfs ;;
        ext4) command -v mkfs.ext4 || command -v mke2fs ;;
    esac >/dev/null 2>&1
}

# Run one after the other on the same disk, so each also formats over the
# file system the previous one left. A leftover signature would make the
# probe see two file systems and report none.
for fstype in ext4 exfat ext4; do
    if ! maker_for "$fstype"; then
        skip "makes $fstype" "no $fstype maker installed"
        continue
    fi
    rm -f "$marker"
    plant_old_tables
    before=$(fs_type "$disk")
    begin "makes $fstype on the whole disk${before:+ (over $before)}"
    run yes "$draskel" --temp-file "$marker" "$disk" "$fstype"
    check "exit status 0 (was $rc)" status_is 0
    check "marker created" test -f "$marker"
    if can_probe_fs; then
        check "found as $fstype (found: $(fs_type "$disk"))" found_type "$fstype"
    fi
    check "old partition tables cleared" old_tables_gone
    check "disk length unchanged" test "$(size_of "$disk")" -eq "$disk_bytes"
    end
done

# The ends are zeroed in whole sectors of the disk's own size, as a raw
# disk takes nothing else. dd is watched on its way to the disk: the
# operands tell what was asked of the device. A FreeBSD disk (diskinfo,
# geom and the maker faked) is played by /dev/null, which takes any write; a
# Linux one by a loop device with 4096-byte sectors, as root.
mkdir "$tmp/watch"
cat >"$tmp/watch/dd" <<'EOF'
#!/bin/sh
for arg do
    [ "$arg" = "of=$WATCHED_DISK" ] && printf '%s\n' "$*" >>"$DD_LOG"
done
exec "$REAL_DD" "$@"
EOF
mkdir "$tmp/fbsd"
cat >"$tmp/fbsd/diskinfo" <<'EOF'
#!/bin/sh
[ "$1" = -- ] && shift
printf '%s\t%s\t%s\t0\t0\t0\n' "$1" "$FAKE_SECTOR" "$FAKE_SIZE"
EOF
cat >"$tmp/fbsd/geom" <<'EOF'
#!/bin/sh
printf 'Providers:\n1. Name: %s\n   Mode: r0w0e0\n' "$3"
EOF
cat >"$tmp/fbsd/mkfs.ext4" <<'EOF'
#!/bin/sh
exit 0
EOF
chmod +x "$tmp/watch/dd" "$tmp/fbsd/diskinfo" "$tmp/fbsd/geom" "$tmp/fbsd/mkfs.ext4"
REAL_DD=$(command -v dd)
DD_LOG=$tmp/dd.log
export REAL_DD DD_LOG WATCHED_DISK FAKE_SECTOR FAKE_SIZE

# wrote OPERANDS: dd wrote to the disk with exactly these operands, in order.
wrote() {
    [ "$(sed 's/^if=[^ ]* of=[^ ]* //; s/ conv=notrunc$//' "$DD_LOG" 2>/dev/null)" = "$1" ]
}

# sector  disk bytes  dd's operands for the start, then the end
while read -r FAKE_SECTOR FAKE_SIZE head tail; do
    WATCHED_DISK=/dev/null
    rm -f "$marker" "$DD_LOG"
    begin "FreeBSD disk with $FAKE_SECTOR-byte sectors, $FAKE_SIZE bytes: zeroed in whole sectors"
    run yes env PATH="$tmp/watch:$tmp/fbsd:$PATH" "$draskel" --temp-file "$marker" /dev/null ext4
    check "exit status 0 (was $rc)" status_is 0
    expected=$(printf '%s\n%s\n' "$head" "$tail" | tr _ ' ' | sed '/^-$/d')
    check "dd wrote: $(echo "$expected" | tr '\n' ';') (log: $(tr '\n' ';' <"$DD_LOG" 2>/dev/null))" \
        wrote "$expected"
    end
done <<EOF
4096   8388608   bs=4096_count=256    bs=4096_seek=1792_count=256
512    8388608   bs=512_count=2048    bs=512_seek=14336_count=2048
4096   1052672   bs=4096_count=256    bs=4096_seek=1_count=256
4096   524288    bs=4096_count=128    -
EOF

lacking=
if [ "$(id -u)" -ne 0 ]; then
    lacking="needs root"
elif ! command -v losetup >/dev/null 2>&1; then
    lacking="no losetup"
fi
[ -z "$lacking" ] && ! maker_for exfat && lacking="no exFAT maker"
loop=
if [ -z "$lacking" ]; then
    sparse_file "$tmp/disk-4k" 8
    plant_old_tables "$tmp/disk-4k"
    loop=$(losetup -f --show --sector-size 4096 "$tmp/disk-4k" 2>/dev/null) ||
        lacking="cannot attach a loop device with 4096-byte sectors"
fi
if [ -n "$lacking" ]; then
    skip "Linux disk with 4096-byte sectors" "$lacking"
else
    trap 'losetup -d "$loop"; rm -rf "$tmp"' EXIT
    WATCHED_DISK=$loop
    rm -f "$marker" "$DD_LOG"
    begin "Linux disk with 4096-byte sectors ($loop): zeroed in whole sectors"
    run yes env PATH="$tmp/watch:$PATH" "$draskel" --temp-file "$marker" "$loop" exfat
    check "exit status 0 (was $rc)" status_is 0
    check "dd wrote 4096-byte sectors (log: $(tr '\n' ';' <"$DD_LOG" 2>/dev/null))" \
        wrote "$(printf 'bs=4096 count=256\nbs=4096 seek=1792 count=256')"
    check "old partition tables cleared" old_tables_gone "$tmp/disk-4k"
    end
fi

# Failures once the user has agreed: ufs2 where there is no maker for it
# (Linux) or on a disk image file (FreeBSD's newfs needs a device), and a
# maker that fails, faked so the outcome does not depend on what is
# installed.
mkdir "$tmp/failing"
for maker in mkfs.exfat mkexfatfs; do
    printf '#!/bin/sh\necho "%s: cannot create file system" >&2\nexit 1\n' \
        "$maker" >"$tmp/failing/$maker"
    chmod +x "$tmp/failing/$maker"
done
# type   PATH first   what it must say
while read -r fstype path_first says; do
    pattern_file "$disk" 4194304
    disk_sum=$(sum "$disk")
    rm -f "$marker"
    begin "$fstype fails: $says"
    if [ "$path_first" = - ]; then
        run yes "$draskel" --temp-file "$marker" "$disk" "$fstype"
    else
        run yes env PATH="$tmp/$path_first:$PATH" \
            "$draskel" --temp-file "$marker" "$disk" "$fstype"
    fi
    check "exit status 1 (was $rc)" status_is 1
    check "no marker" absent "$marker"
    check "says: $says" said "$says"
    check "waits for Enter" said 'Press Enter'
    if [ "$fstype" = ufs2 ]; then
        check "disk untouched (refused before asking)" same_sum "$disk" "$disk_sum"
    fi
    end
done <<EOF
ufs2    -         cannot make ufs2
exfat   failing   failed
EOF

finish
