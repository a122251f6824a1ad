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
# sector and its backup in the last one.
plant_old_tables() {
    printf 'OLD-PRIMARY-TABLE' |
        dd of="$disk" bs=512 seek=1 conv=notrunc 2>/dev/null
    printf 'OLD-BACKUP-TABLE' |
        dd of="$disk" bs=512 seek=$((disk_bytes / 512 - 1)) conv=notrunc 2>/dev/null
}

old_tables_gone() {
    ! LC_ALL=C grep -q 'OLD-[A-Z]*-TABLE' "$disk"
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
