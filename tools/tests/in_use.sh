#!/bin/sh
# pernix and draskel refuse a disk that is in use, however it is spelt and
# whatever kind of disk it is: a disk image file with a partition of it
# mounted, a Linux block device with its file system or a partition's
# mounted, a FreeBSD disk that GEOM reports open. A refusal leaves the disk
# as it was; a disk that is not in use gets as far as the question, which
# the tests answer "no".
#
# The mounts are made as root in a private mount namespace (unshare -m), so
# they vanish with the case and nobody else sees them; without root those
# cases skip.

# shellcheck source=testlib.sh
. "$(dirname -- "$0")/testlib.sh"

marker=$tmp/vorl.marker
random_file "$tmp/img" 65536
mkdir "$tmp/mnt"

# run_tool ANSWER TOOL DISK [PREFIX...]: pernix or draskel on DISK, through
# the command PREFIX (such as one that mounts something first).
run_tool() {
    _answer=$1 _tool=$2 _disk=$3
    shift 3
    rm -f "$marker"
    if [ "$_tool" = pernix ]; then
        run "$_answer" "$@" "$tools_dir/pernix" --success-file "$marker" "$tmp/img" "$_disk"
    else
        run "$_answer" "$@" "$tools_dir/draskel" --temp-file "$marker" "$_disk" ext4
    fi
}

# check_outcome STATUS SAYS: 1 is a refusal that says SAYS, 2 the question
# reached and answered "no".
check_outcome() {
    check "exit status $1 (was $rc)" status_is "$1"
    check "no marker" absent "$marker"
    if [ "$1" -eq 1 ]; then
        check "says: $2" said "$2"
    else
        check "asked before writing" said 'Type yes'
    fi
}

# --- disk image files, mounted under some spelling ---------------------------
# Two folders: names with blanks, shell metacharacters and a byte that is not
# UTF-8; and with a backslash and a tab, which the kernel's mount table
# writes as escapes. In each: the disk da0, its partition's name da0s1 as a
# symlink to it (as the demo has it), another symlink to it, and sub/.
dir1=$tmp/$odd_name
dir2=$tmp/$(printf 'back\\slash\ttab')
for d in "$dir1" "$dir2"; do
    mkdir -p "$d/sub"
    pattern_file "$d/da0" 1048576
    ln -s da0 "$d/da0s1"
    ln -s da0 "$d/link"
done
disk_sum=$(sum "$dir1/da0")

# A mount with the given source, made as tmpfs (which takes any text as its
# source) in a private namespace, for the command that follows.
# shellcheck disable=SC2016 # expanded by the inner shell
with_tmpfs='mount -t tmpfs -o size=64k "$1" "$2" || exit 99; shift 2; exec "$@"'

# Without root, the rule the tools apply to each mount is tried directly on
# the same table, through the library's own functions.
file_mount_judged() {
    (
        # shellcheck source=../lib/disk-in-use.sh
        . "$tools_dir/lib/disk-in-use.sh"
        disk_identity "$2"
        mount_of_disk - "$1" "$2"
    )
}

lacking=$(lacks_private_mounts)
# D stands for the folder of the row.
# dir  tool     mounted source   disk given       status
while read -r which tool src_rel disk_rel status; do
    if [ "$which" = 1 ]; then d=$dir1; else d=$dir2; fi
    src=$d${src_rel#D}
    disk=$d${disk_rel#D}
    if [ -n "$lacking" ]; then
        begin "$tool judges a mount of $src_rel as of $disk_rel (dir $which; rule only: $lacking)"
        if [ "$status" -eq 1 ]; then
            check "belongs to the disk" file_mount_judged "$src" "$disk"
        else
            check "does not belong to the disk" not file_mount_judged "$src" "$disk"
        fi
        end
        continue
    fi
    begin "$tool on $disk_rel with $src_rel mounted (dir $which)"
    pattern_file "$dir1/da0" 1048576
    pattern_file "$dir2/da0" 1048576
    run_tool no "$tool" "$disk" unshare -m sh -c "$with_tmpfs" sh "$src" "$tmp/mnt"
    check_outcome "$status" 'is in use: mounted now:'
    check "disk untouched" same_sum "$d/da0" "$disk_sum"
    end
done <<EOF
1    draskel  D/da0s1      D/da0           1
1    draskel  D/da0s1      D//da0          1
1    pernix   D/da0s1      D//da0          1
1    draskel  D/da0s1      D/./da0         1
1    draskel  D//da0p2     D/da0           1
1    draskel  D/da0s1      D/sub/../da0    1
1    draskel  D/link       D/da0           1
1    draskel  D/da0        D/link          1
1    pernix   D/da07       D/da0           1
1    draskel  D/da0b       D/da0           2
1    pernix   D/da1        D/da0           2
2    draskel  D/da0s1      D//da0          1
2    pernix   D/da0        D/./link        1
2    draskel  D/da0b       D/da0           2
EOF

# --- Linux block devices --------------------------------------------------------
# Loop devices on files in the scratch folder: disk A with a partition table
# and an ext4 file system in its first partition, disk B with ext4 on the
# whole of it.
loops=
cleanup_loops() {
    for _l in $loops; do
        losetup -d "$_l" 2>/dev/null
    done
    rm -rf "$tmp"
}
trap cleanup_loops EXIT

lacking_loops=$lacking
if [ -z "$lacking_loops" ]; then
    for t in losetup mkfs.ext4 blockdev; do
        command -v "$t" >/dev/null 2>&1 || lacking_loops="no $t"
    done
fi
if [ -z "$lacking_loops" ] && [ ! -d /sys/dev/block ]; then
    lacking_loops="no /sys/dev/block"
fi
if [ -z "$lacking_loops" ]; then
    sparse_file "$tmp/disk-a" 16
    # An MBR of two Linux partitions: sectors 2048 to 10239, 10240 to 30719.
    printf '%b' '\0\0\0\0\0203\0\0\0' '\0\010\0\0' '\0\040\0\0' \
        '\0\0\0\0\0203\0\0\0' '\0\050\0\0' '\0\0120\0\0' |
        dd of="$tmp/disk-a" bs=1 seek=446 conv=notrunc 2>/dev/null
    printf '%b' '\0125\0252' | dd of="$tmp/disk-a" bs=1 seek=510 conv=notrunc 2>/dev/null
    sparse_file "$tmp/disk-b" 8
    mkfs.ext4 -q -F "$tmp/disk-b" >/dev/null 2>&1
    if loop_a=$(losetup -f --show -P "$tmp/disk-a" 2>/dev/null); then
        loops=$loop_a
    else
        lacking_loops="cannot attach a loop device"
    fi
    if loop_b=$(losetup -f --show "$tmp/disk-b" 2>/dev/null); then
        loops="$loops $loop_b"
    else
        lacking_loops="cannot attach a loop device"
    fi
fi
# Partitions need the kernel's support for the table (not every kernel
# has it); the cases that use them skip without.
no_partitions=
if [ -z "$lacking_loops" ]; then
    ln -s "$loop_b" "$tmp/link-to-b"
    # The partitions' nodes come from devtmpfs, a moment after the attach.
    tries=0
    until [ -b "${loop_a}p1" ] || [ "$tries" -ge 20 ]; do
        sleep 0.1
        tries=$((tries + 1))
    done
    if [ ! -b "${loop_a}p1" ]; then
        no_partitions="this kernel made no partitions of $loop_a"
    elif ! mkfs.ext4 -q -F "${loop_a}p1" >/dev/null 2>&1; then
        no_partitions="cannot make ext4 on ${loop_a}p1"
    fi
fi

# shellcheck disable=SC2016 # expanded by the inner shell
with_mount='mount -o ro "$1" "$2" || exit 99; shift 2; exec "$@"'

if [ -n "$lacking_loops" ]; then
    skip "block devices in use, by device number" "$lacking_loops"
else
    a_sum=$(sum "$tmp/disk-a")
    b_sum=$(sum "$tmp/disk-b")
    # How the mount is made: ext4 (a real mount of the device, with its
    # device number; read-only, so that mounting writes nothing to it),
    # tmpfs (a source naming the device but an anonymous number, as FUSE
    # file systems show), none. A1 is A's first partition.
    # tool     mounted     how     disk given      status
    while read -r tool mounted how disk_rel status; do
        case $mounted in
            A1) dev=${loop_a}p1 ;;
            B) dev=$loop_b ;;
            *) dev= ;;
        esac
        case $disk_rel in
            A) disk=$loop_a ;;
            B) disk=$loop_b ;;
            *) disk=$tmp/$disk_rel ;;
        esac
        what="$tool on $disk_rel ($disk) with $mounted mounted as $how"
        if [ "$mounted" = A1 ] && [ -n "$no_partitions" ]; then
            skip "$what" "$no_partitions"
            continue
        fi
        begin "$what"
        case $how in
            ext4) run_tool no "$tool" "$disk" unshare -m sh -c "$with_mount" sh "$dev" "$tmp/mnt" ;;
            tmpfs) run_tool no "$tool" "$disk" unshare -m sh -c "$with_tmpfs" sh "$dev" "$tmp/mnt" ;;
            none) run_tool no "$tool" "$disk" ;;
        esac
        check_outcome "$status" 'is in use: mounted now:'
        check "disk A untouched" same_sum "$tmp/disk-a" "$a_sum"
        check "disk B untouched" same_sum "$tmp/disk-b" "$b_sum"
        end
    done <<EOF
draskel   B     ext4    B             1
pernix    B     ext4    B             1
draskel   B     ext4    disk-b        1
pernix    B     ext4    link-to-b     1
draskel   B     tmpfs   B             1
draskel   A1    ext4    A             1
pernix    A1    tmpfs   A             1
draskel   A1    ext4    disk-a        1
draskel   B     ext4    A             2
pernix    A1    ext4    B             2
draskel   -     none    B             2
EOF
fi

# --- FreeBSD disks ------------------------------------------------------------
# A FreeBSD disk is a character device whose size diskinfo tells, and GEOM
# reports how often it is open. Played here by /dev/null, which nothing can
# harm, with diskinfo and geom faked; FAKE_MODE is the mode GEOM reports for
# it, "tree" to have only the whole GEOM tree (sysctl) know it, and "none"
# for GEOM to know nothing of it.
mkdir "$tmp/fbsd"
cat >"$tmp/fbsd/diskinfo" <<'EOF'
#!/bin/sh
[ "$1" = -- ] && shift
printf '%s\t512\t8388608\t16384\t0\t0\n' "$1"
EOF
cat >"$tmp/fbsd/geom" <<'EOF'
#!/bin/sh
[ "$1 $2 $3" = "disk list null" ] || exit 1
case $FAKE_MODE in
    tree | none) echo "geom: No such geom: $3." >&2; exit 1 ;;
esac
printf 'Geom name: null\nProviders:\n1. Name: null\n   Mediasize: 8388608 (8.0M)\n   Sectorsize: 512\n   Mode: %s\n   descr: Fake\n' "$FAKE_MODE"
EOF
cat >"$tmp/fbsd/sysctl" <<'EOF'
#!/bin/sh
[ "$FAKE_MODE" = tree ] || exit 1
cat <<XML
<mesh>
 <class id="0x1"><name>DISK</name>
  <geom id="0x2"><class ref="0x1"/><name>ada0</name><rank>1</rank>
   <provider id="0x3"><geom ref="0x2"/><mode>r0w0e0</mode><name>ada0</name></provider>
  </geom>
 </class>
 <class id="0x4"><name>DEV</name>
  <geom id="0x5"><class ref="0x4"/><name>null</name><rank>2</rank>
   <provider id="0x6"><geom ref="0x5"/>
    <mode>r1w0e0</mode>
    <name>null</name>
   </provider>
  </geom>
 </class>
</mesh>
XML
EOF
chmod +x "$tmp/fbsd/diskinfo" "$tmp/fbsd/geom" "$tmp/fbsd/sysctl"
ln -s /dev/null "$tmp/null-link"
export FAKE_MODE

# tool     mode      disk given       status  says
while read -r tool FAKE_MODE disk status says; do
    [ "$disk" = link ] && disk=$tmp/null-link
    begin "$tool on FreeBSD disk $disk, GEOM mode $FAKE_MODE"
    run_tool no "$tool" "$disk" env PATH="$tmp/fbsd:$PATH"
    check_outcome "$status" "$says"
    end
done <<EOF
draskel    r0w0e0    /dev/null     2   -
pernix     r0w0e0    /dev/null     2   -
draskel    r1w0e0    /dev/null     1   GEOM reports it open (r1w0e0)
pernix     r0w0e1    /dev/null     1   GEOM reports it open (r0w0e1)
draskel    r1w1e2    link          1   GEOM reports it open (r1w1e2)
draskel    tree      /dev/null     1   GEOM reports it open (r1w0e0)
pernix     none      /dev/null     1   cannot tell whether
EOF

finish
