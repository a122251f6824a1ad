#!/bin/sh
# The devd hook's decisions, on devd's own events as the rule hands them on.
#
# Each case builds a small FreeBSD of files: what sysctl, diskinfo -v,
# gpart, fstyp, mount -p and zpool print there, written as the base system
# prints it (the da driver's flags as its "%b" does, the cards' descriptions
# as mmc(4) formats them). It feeds recorded devd events through the rule of
# the .conf file (its matches, anchored and caseless as devd compiles them,
# and its action, expanded as devd expands it), and runs the hook with those
# commands faked first, and alone, on PATH: each fake notes its argv, and
# mount only notes what it would mount. Nothing real is ever mounted.
#
# usage: automount_hook.sh HOOK RULE
# shellcheck disable=SC2016 # the fakes' bodies expand when they run
set -u

if [ "$#" -ne 2 ]; then
    echo "usage: $0 HOOK RULE" >&2
    exit 2
fi
hook=$1
rule=$2

passed=0
failed=0
skipped=0
holders=

tmp=$(mktemp -d "${TMPDIR:-/tmp}/automount-hook.XXXXXX") || exit 1
cleanup() {
    for pid in $holders; do kill "$pid" 2>/dev/null; done
    rm -rf "$tmp"
}
trap cleanup EXIT
trap 'exit 130' INT HUP TERM

world=$tmp/world
bin=$tmp/bin
mkdir "$bin"

# --- the fakes -------------------------------------------------------------

fake() { # NAME BODY: a command that notes its argv in $WORLD/calls, then runs BODY
    {
        echo '#!/bin/sh'
        echo 'printf %s "${0##*/}" >>"$WORLD/calls"; for a do printf " %s" "$a" >>"$WORLD/calls"; done; echo >>"$WORLD/calls"'
        printf '%s\n' "$2"
    } >"$bin/$1"
    chmod +x "$bin/$1"
}

fake sysctl '[ "$1" = -n ] || exit 64
[ -f "$WORLD/sysctl/$2" ] || { echo "sysctl: unknown oid '"'"'$2'"'"'" >&2; exit 1; }
/bin/cat "$WORLD/sysctl/$2"'
fake diskinfo '[ "$1" = -v ] || exit 64
[ -f "$WORLD/diskinfo/${2#/dev/}" ] || { echo "diskinfo: $2: No such file or directory" >&2; exit 1; }
/bin/cat "$WORLD/diskinfo/${2#/dev/}"'
fake gpart '[ "$1" = show ] || exit 64
[ -f "$WORLD/gpart/$2" ] || { echo "gpart: No such geom: $2." >&2; exit 1; }
/bin/cat "$WORLD/gpart/$2"'
fake fstyp '[ "$1" = -u ] || exit 64
[ -f "$WORLD/fstyp/${2#/dev/}" ] || { echo "fstyp: $2: filesystem not recognized" >&2; exit 1; }
/bin/cat "$WORLD/fstyp/${2#/dev/}"'
fake zpool '[ "$1 $2" = "status -P" ] || exit 64
[ -f "$WORLD/zpool/$3" ] || { echo "cannot open '"'"'$3'"'"': no such pool" >&2; exit 1; }
/bin/cat "$WORLD/zpool/$3"'
fake mount 'if [ "$1" = -p ]; then /bin/cat "$WORLD/mounts"; exit 0; fi
[ "$1" = -t ] && [ "$3" = -o ] || exit 64
[ -f "$WORLD/mount-fails" ] && { echo "mount: $5: Invalid argument" >&2; exit 1; }
printf "%s\t\t%s\t\t%s\t%s\t\t0 0\n" "$5" "$6" "$2" "$4" >>"$WORLD/mounts"'
# Only the hook's own state is really made; /media and the like are noted.
fake mkdir 'for a do last=$a; done
case $last in "$TMP"/*) exec /bin/mkdir "$@" ;; esac'
fake logger 'shift 4; printf "%s\n" "$*" >>"$WORLD/said"'
fake kldload '[ "$1" = -n ] || exit 64'
# The hook tests marks as nobody; the fake checks it asks so, then runs it.
fake chroot '[ "$1 $2 $3 $4 $5 $6 $7" = "-u nobody -g nobody -G nobody /" ] || { echo "chroot: not as nobody: $*" >&2; exit 2; }
shift 7
exec "$@"'
# FreeBSD lockf(1) on real locks: -t 0 gives up at once, 75 when locked.
fake lockf 'keep= wait=
while getopts kst: opt; do case $opt in k) keep=1 ;; t) wait=$OPTARG ;; esac; done
shift $((OPTIND - 1))
[ "$keep" = 1 ] && [ "$wait" = 0 ] || { echo "lockf: expected -k -t 0" >&2; exit 64; }
file=$1; shift
exec /usr/bin/flock -n -E 75 "$file" "$@"'
# Real and harmless.
for tool in awk timeout rm; do
    ln -s "$(command -v "$tool")" "$bin/$tool"
done
for tool in /bin/true /usr/bin/true; do
    [ -x "$tool" ] && ln -s "$tool" "$bin/true" && break
done

# --- the worlds ------------------------------------------------------------

conf() { printf '%s\n' "$*" >>"$world/sysctl/kern.geom.conftxt"; }
mounts() { printf '%s\n' "$*" >>"$world/mounts"; }

# A machine with an internal SATA disk that holds /, as every case starts.
fresh() {
    rm -rf "$world" "$tmp/state" "$tmp/marks"
    mkdir -p "$world/bin" "$world/sysctl" "$world/diskinfo" "$world/gpart" "$world/fstyp" "$world/zpool" "$tmp/marks" \
        "$tmp/state"
    : >"$world/calls"
    : >"$world/said"
    : >"$world/mounts"
    conf '0 DISK ada0 250059350016 512 hd 16 sc 63'
    conf '1 PART ada0p1 209715200 512 i 1 o 20480 ty efi xs GPT xt c12a7328-f81f-11d2-ba4b-00a0c93ec93b'
    conf '1 PART ada0p2 249849577472 512 i 2 o 209735680 ty freebsd-ufs xs GPT xt 516e7cb6-6ecf-11d6-8ff8-00022d09712b'
    conf '2 LABEL gpt/rootfs 249849577472 512 i 0 o 0'
    mounts '/dev/gpt/rootfs		/		ufs	rw		1 1'
    mounts 'devfs			/dev		devfs	rw		0 0'
    printf 'efi\n' >"$world/fstyp/ada0p1"
    printf 'ufs\n' >"$world/fstyp/ada0p2"
}

# da_disk UNIT FLAGS ATTACHMENT DESCR IDENT BYTES HUMAN: a da disk as the
# driver's sysctl and diskinfo -v show it; ATTACHMENT "-" for a system that
# shows none.
da_disk() {
    printf '%s\n' "$2" >"$world/sysctl/kern.cam.da.$1.flags"
    {
        printf '/dev/da%s\n' "$1"
        printf '\t%-12s\t# sectorsize\n' 512
        printf '\t%-12s\t# mediasize in bytes (%s)\n' "$6" "$7"
        printf '\t%-12s\t# mediasize in sectors\n' $(($6 / 512))
        printf '\t%-12s\t# stripesize\n\t%-12s\t# stripeoffset\n' 0 0
        printf '\t%-12s\t# Cylinders according to firmware.\n' $(($6 / 512 / 16065))
        printf '\t%-12s\t# Heads according to firmware.\n\t%-12s\t# Sectors according to firmware.\n' 255 63
        printf '\t%-12s\t# Disk descr.\n\t%-12s\t# Disk ident.\n' "$4" "$5"
        [ "$3" = - ] || printf '\t%-12s\t# Attachment\n' "$3"
        printf '\t%-12s\t# TRIM/UNMAP support\n\t%-12s\t# Rotation rate in RPM\n' No Unknown
        printf '\t%-12s\t# Zone Mode\n\n' Not_Zoned
    } >"$world/diskinfo/da$1"
    conf "0 DISK da$1 $6 512 hd 255 sc 63"
}

# card NAME DESCR IDENT BYTES HUMAN: an mmcsd or sdda disk; its description
# as mmc_format_card_id_string() writes it, its ident the card's serial.
card() {
    {
        printf '/dev/%s\n' "$1"
        printf '\t%-12s\t# sectorsize\n' 512
        printf '\t%-12s\t# mediasize in bytes (%s)\n' "$4" "$5"
        printf '\t%-12s\t# mediasize in sectors\n' $(($4 / 512))
        printf '\t%-12s\t# stripesize\n\t%-12s\t# stripeoffset\n' 4194304 0
        printf '\t%-12s\t# Disk descr.\n\t%-12s\t# Disk ident.\n' "$2" "$3"
        printf '\t%-12s\t# TRIM/UNMAP support\n\t%-12s\t# Rotation rate in RPM\n\n' Yes 0
    } >"$world/diskinfo/$1"
    conf "0 DISK $1 $4 512 hd 0 sc 0"
}

# mbr_fat DISK BYTES: one FAT slice, DISKs1, as sticks come.
mbr_fat() {
    conf "1 PART ${1}s1 $(($2 - 32256)) 512 i 1 o 32256 ty !12 xs MBR xt 12"
    conf "2 LABEL msdosfs/STICK $(($2 - 32256)) 512 i 0 o 0"
    printf '=>      63  %s  %s  MBR  (%s)\n        63  %s     1  fat32lba  [active]\n' \
        $(($2 / 512 - 63)) "$1" "$(($2 / 1073741824))G" $(($2 / 512 - 63)) >"$world/gpart/$1"
    printf 'msdosfs\n' >"$world/fstyp/${1}s1"
}

rmb='0x2a18<PACK_REMOVABLE,ROTATING,SCTX_INIT,PROBED,ANNOUNCED>'
fixed='0x2a10<ROTATING,SCTX_INIT,PROBED,ANNOUNCED>'
sas_rmb='0x102e18<PACK_REMOVABLE,ROTATING,SCTX_INIT,CAN_RC16,PROBED,ANNOUNCED,UNMAPPEDIO>'
sas_fixed='0x102e10<ROTATING,SCTX_INIT,CAN_RC16,PROBED,ANNOUNCED,UNMAPPEDIO>'

w_stick() {
    da_disk 0 "$rmb" umass-sim0 'JetFlash Transcend 16GB' 17TYRSE65DEAAUTI 15787360256 15G
    mbr_fat da0 15787360256
}
# A card reader with a FAT card straight on the disk, no partition table.
w_bare_card() {
    da_disk 0 "$rmb" umass-sim0 'Generic- SD/MMC 1.00' 058F63666485 7948206080 7.9G
    printf 'msdosfs\n' >"$world/fstyp/da0"
}
# A USB hard disk that says its medium is fixed.
w_usb_fixed() {
    da_disk 0 "$fixed" umass-sim1 'WD Elements 25A2' 575834314131353536 1000170586112 1.0T
    conf '1 PART da0p1 1000170512384 512 i 1 o 20480 ty ms-basic-data xs GPT xt ebd0a0a2-b9e5-4433-87c0-68b6b72699c7'
    printf 'ufs\n' >"$world/fstyp/da0p1"
}
# Server disks, with a medium bit set or not, behind the adapter named.
server_disk() { # FLAGS ATTACHMENT
    da_disk 0 "$1" "$2" 'SEAGATE ST4000NM0023 0004' Z1Z3ABCD0000R1234567 4000787030016 4.0T
    conf '1 PART da0p1 4000786989056 512 i 1 o 20480 ty freebsd-ufs xs GPT xt 516e7cb6-6ecf-11d6-8ff8-00022d09712b'
    printf 'ufs\n' >"$world/fstyp/da0p1"
}
w_sas() { server_disk "$sas_fixed" mpr0; }
w_sas_rmb() { server_disk "$sas_rmb" mpr0; }
w_raid() { server_disk "$sas_fixed" mrsas0; }
w_fc_rmb() { server_disk "$sas_rmb" isp0; }
w_iscsi_rmb() { server_disk "$sas_rmb" iscsi1; }
w_virtio_rmb() { server_disk "$sas_rmb" vtscsi0; }
w_hyperv_rmb() { server_disk "$sas_rmb" storvsc0; }
# A system whose diskinfo shows no attachment: the medium bit alone tells.
w_old_stick() {
    da_disk 0 "$rmb" - 'SanDisk Cruzer Blade 1.00' 4C530001230906110424 8004304896 8.0G
    mbr_fat da0 8004304896
}
w_old_fixed() {
    da_disk 0 "$fixed" - 'SanDisk Cruzer Blade 1.00' 4C530001230906110424 8004304896 8.0G
    mbr_fat da0 8004304896
}
w_sd() {
    card mmcsd0 'SDHC SD16G 8.0 SN 9E2C5D17 MFG 06/2019 by 3 SD' 9E2C5D17 15931539456 15G
    mbr_fat mmcsd0 15931539456
}
w_sd_sdda() {
    card sdda0 'SD SU02G 8.0 SN 2E8D3F01 MFG 11/2010 by 3 SD' 2E8D3F01 1977614336 2.0G
    mbr_fat sdda0 1977614336
}
w_emmc() {
    card mmcsd0 'MMCHC DG4016 0.1 SN 1C4A7F20 MFG 01/2020 by 69 0x0100' 1C4A7F20 15758000128 15G
    mbr_fat mmcsd0 15758000128
}
# A Raspberry Pi's SD card: its boot slice beside the UFS slice that holds /.
w_pi() {
    rm -f "$world/mounts" "$world/sysctl/kern.geom.conftxt"
    card mmcsd0 'SDHC SC32G 8.0 SN 6B1D0E42 MFG 03/2021 by 3 SD' 6B1D0E42 31914983424 32G
    conf '1 PART mmcsd0s1 52428800 512 i 1 o 1048576 ty !12 xs MBR xt 12'
    conf '2 LABEL msdosfs/MSDOSBOOT 52428800 512 i 0 o 0'
    conf '1 PART mmcsd0s2 31861506048 512 i 2 o 53477376 ty freebsd xs MBR xt 165'
    conf '2 PART mmcsd0s2a 31861506048 512 i 1 o 0 ty freebsd-ufs xs BSD xt 7'
    conf '3 LABEL ufs/rootfs 31861506048 512 i 0 o 0'
    mounts '/dev/ufs/rootfs		/		ufs	rw		1 1'
    mounts 'devfs			/dev		devfs	rw		0 0'
    printf 'msdosfs\n' >"$world/fstyp/mmcsd0s1"
}
# A machine that boots from a USB disk with a ZFS root on its third
# partition; its EFI partition beside it.
w_zfs_root_usb() {
    rm -f "$world/mounts"
    da_disk 0 "$fixed" umass-sim0 'Samsung Flash Drive 1100' 0374822010005419 64160400896 64G
    conf '1 PART da0p1 272629760 512 i 1 o 20480 ty efi xs GPT xt c12a7328-f81f-11d2-ba4b-00a0c93ec93b'
    conf '2 LABEL msdosfs/EFISYS 272629760 512 i 0 o 0'
    conf '1 PART da0p2 2147483648 512 i 2 o 272650240 ty freebsd-swap xs GPT xt 516e7cb5-6ecf-11d6-8ff8-00022d09712b'
    conf '1 PART da0p3 61740244992 512 i 3 o 2420133888 ty freebsd-zfs xs GPT xt 516e7cba-6ecf-11d6-8ff8-00022d09712b'
    mounts 'zroot/ROOT/default	/		zfs	rw		0 0'
    mounts 'devfs			/dev		devfs	rw		0 0'
    printf '  pool: zroot\n state: ONLINE\nconfig:\n\n\tNAME          STATE     READ WRITE CKSUM\n\tzroot         ONLINE       0     0     0\n\t  /dev/da0p3  ONLINE       0     0     0\n\nerrors: No known data errors\n' \
        >"$world/zpool/zroot"
    printf 'msdosfs\n' >"$world/fstyp/da0p1"
    printf 'zfs\n' >"$world/fstyp/da0p3"
}
# Two sticks mirrored by gmirror(8): each member shows the mirror's FAT.
w_mirror() {
    da_disk 1 "$rmb" umass-sim1 'SanDisk Ultra Fit 1.00' 4C530001110606115072 32017047552 32G
    conf '1 MIRROR mirror/gm0 32017046528 512'
    conf '2 LABEL msdosfs/PAIR 32017046528 512 i 0 o 0'
    da_disk 2 "$rmb" umass-sim2 'SanDisk Ultra Fit 1.00' 4C530001110606115073 32017047552 32G
    conf '1 MIRROR mirror/gm0 32017046528 512'
    conf '2 LABEL msdosfs/PAIR 32017046528 512 i 0 o 0'
    printf 'msdosfs\n' >"$world/fstyp/da1"
}
fstype_of_stick() { w_stick; printf '%s\n' "$1" >"$world/fstyp/da0s1"; }
w_exfat() { fstype_of_stick exfat; }
w_ntfs() { fstype_of_stick ntfs; }
# The FUSE packages' programs, where a world installs them: the daemon's
# mount shows /dev/fuse, as FreeBSD's FUSE mounts do.
fuse_package() { # PROGRAM
    {
        echo '#!/bin/sh'
        echo 'printf %s "${0##*/}" >>"$WORLD/calls"; for a do printf " %s" "$a" >>"$WORLD/calls"; done; echo >>"$WORLD/calls"'
        echo '[ "$1" = -o ] || exit 64'
        printf '%s\n' 'printf "/dev/fuse\t\t%s\t\tfusefs\t%s\t\t0 0\n" "$4" "$2" >>"$WORLD/mounts"'
    } >"$world/bin/$1"
    chmod +x "$world/bin/$1"
}
w_exfat_fuse() { w_exfat; fuse_package mount.exfat; }
w_ntfs_fuse() { w_ntfs; fuse_package ntfs-3g; }
w_exfat_mounted() { w_exfat_fuse; mounts '/dev/fuse		/media/da0s1		fusefs	rw,nosuid,noexec		0 0'; }
w_geli() { fstype_of_stick geli; }
w_zfs_member() { fstype_of_stick zfs; }
w_nothing() { w_stick; rm -f "$world/fstyp/da0s1"; }
w_mounted() { w_stick; mounts '/dev/da0s1		/media/da0s1		msdosfs	rw,nosuid,noexec		0 0'; }

# Marks, as vorlix's jobs leave them. hold NAME: a file held locked until
# the case ends; plant NAME: one that nobody holds.
hold() {
    (
        exec 9>"$tmp/marks/$1"
        /usr/bin/flock 9 && exec /bin/sleep 300
    ) &
    holders="$holders $!"
    n=0
    while /usr/bin/flock -n "$tmp/marks/$1" /bin/true && [ "$n" -lt 50 ]; do
        /bin/sleep 0.1
        n=$((n + 1))
    done
}
release() {
    for pid in $holders; do kill "$pid" 2>/dev/null; done
    for pid in $holders; do wait "$pid" 2>/dev/null; done
    holders=
}
w_marked() { w_stick; hold .vorlix-writing-da0.Wq3rZt; }
w_other_marked() { w_stick; hold .vorlix-writing-da01.Wq3rZt; hold .vorlix-writing-da1.k2PqLm; }
w_planted() {
    w_stick
    ln -s /etc/passwd "$tmp/marks/.vorlix-writing-da0.link"
    mkdir "$tmp/marks/.vorlix-writing-da0.dir"
    : >"$tmp/marks/.vorlix-writing-da0.stale"
}

# --- running it ------------------------------------------------------------

# The value of VAR in a devd event "!system=DEVFS subsystem=CDEV ...".
event_var() { # VAR EVENT
    for word in $2; do
        word=${word#!}
        case $word in "$1="*) printf '%s\n' "${word#*=}"; return ;; esac
    done
}

# Feeds EVENT through the rule as devd would: every match must hold, then
# the action runs with $vars expanded, the hook in place of its installed
# path. Sets $ran.
deliver() { # EVENT
    ran=no
    while read -r keyword var re; do
        [ "$keyword" = match ] || continue
        var=${var#\"}
        var=${var%\"}
        re=${re%;}
        re=${re#\"}
        re=${re%\"}
        event_var "$var" "$1" | grep -Eqix -- "$re" || return 0
    done <"$rule"
    action=$(sed -n 's/^[[:space:]]*action "\(.*\)";$/\1/p' "$rule")
    expanded=
    for word in $action; do
        case $word in
        '$'*) word=$(event_var "${word#\$}" "$1") ;;
        esac
        expanded="$expanded $word"
    done
    # shellcheck disable=SC2086 # the action's own words
    set -- $expanded
    shift
    ran=yes
    env -i PATH="$bin:$world/bin" WORLD="$world" TMP="$tmp" AUTOMOUNT_STATE_DIR="$tmp/state/vorlix-automount" \
        AUTOMOUNT_MARKS_DIR="$tmp/marks" /bin/sh "$hook" "$@" >"$tmp/out" 2>&1
}

begin() {
    case_name=$1
    problems=
}
problem() {
    problems="$problems
    - $1"
}
end() {
    if [ -z "$problems" ]; then
        passed=$((passed + 1))
        printf 'ok      %s\n' "$case_name"
    else
        failed=$((failed + 1))
        printf 'FAILED  %s%s\n    calls:\n' "$case_name" "$problems"
        sed 's/^/    | /' "$world/calls"
        printf '    said:\n'
        sed 's/^/    | /' "$world/said"
        sed 's/^/    out: /' "$tmp/out" 2>/dev/null
    fi
}

mount_calls() { grep '^mount -t' "$world/calls"; }

# EXPECT: "mount NAME FSTYPE", "fuse NAME PROGRAM" (mounted through a FUSE
# package's program), "none WORDS..." (not mounted, and syslog told
# why), "quiet" (not mounted, nothing told), "idle" (no command run at all),
# "unmatched" (the rule hands the event to no one).
expect() {
    what=$1
    shift
    case $what in
    unmatched)
        [ "$ran" = no ] || problem "the rule matched"
        return
        ;;
    esac
    [ "$ran" = yes ] || {
        problem "the rule did not match"
        return
    }
    case $what in
    mount)
        want="mount -t $2 -o nosuid,noexec /dev/$1 /media/$1"
        [ "$(mount_calls)" = "$want" ] || problem "expected exactly: $want"
        grep -qx "mkdir -p /media/$1" "$world/calls" || problem "no mkdir -p /media/$1"
        ;;
    fuse)
        want="$2 -o nosuid,noexec /dev/$1 /media/$1"
        [ -z "$(mount_calls)" ] || problem "mount(8) ran"
        if [ "$(grep -c "^$2 " "$world/calls")" -ne 1 ] || ! grep -qx -- "$want" "$world/calls"; then
            problem "expected exactly: $want"
        fi
        grep -qx "kldload -n fusefs" "$world/calls" || problem "fusefs not loaded first"
        ;;
    none)
        [ -z "$(mount_calls)" ] || problem "mounted"
        grep -qF -- "$*" "$world/said" || problem "syslog not told: $*"
        ;;
    quiet)
        [ -z "$(mount_calls)" ] || problem "mounted"
        [ ! -s "$world/said" ] || problem "syslog told something"
        ;;
    idle)
        [ ! -s "$world/calls" ] || problem "ran commands"
        ;;
    *)
        problem "bad expectation: $what"
        ;;
    esac
}

if ! [ -x /usr/bin/flock ]; then
    echo "skipped: the marks' locks take util-linux flock(1), which is not installed"
    exit 77
fi

case $(sed -n 's/^[[:space:]]*action "\([^ ]*\) .*/\1/p' "$rule") in
/usr/local/libexec/automount-hook) ;;
*) echo "FAILED  the rule's action runs /usr/local/libexec/automount-hook, where the manual page puts it"; failed=$((failed + 1)) ;;
esac

# --- single events ---------------------------------------------------------

# world | recorded devd event | what the hook does
while IFS='|' read -r w ev want; do
    w=$(printf '%s' "$w" | tr -d ' ')
    case $w in '' | '#'*) continue ;; esac
    fresh
    "w_$w"
    begin "$w:$(printf '%s' "$ev" | sed 's/.*type=\([A-Z]*\).*cdev=\([^ ]*\).*/ \1 \2/') -> $want"
    deliver "$ev"
    # shellcheck disable=SC2086 # the expectation's words
    expect $want
    release
    end
done <<'EOF'
stick        | !system=DEVFS subsystem=CDEV type=CREATE cdev=da0s1      | mount da0s1 msdosfs
stick        | !system=DEVFS subsystem=CDEV type=CREATE cdev=da0        | quiet
stick        | !system=DEVFS subsystem=CDEV type=MEDIACHANGE cdev=da0s1 | idle
stick        | !system=DEVFS subsystem=CDEV type=MEDIACHANGE cdev=da0   | quiet
stick        | !system=DEVFS subsystem=CDEV type=DESTROY cdev=da0s1     | unmatched
stick        | !system=GEOM subsystem=DEV type=MEDIACHANGE cdev=da0     | unmatched
stick        | !system=DEVFS subsystem=CDEV type=CREATE cdev=da0s1.eli  | unmatched
stick        | !system=DEVFS subsystem=CDEV type=CREATE cdev=pass1      | unmatched
usb_fixed    | !system=DEVFS subsystem=CDEV type=CREATE cdev=da0p1      | mount da0p1 ufs
old_stick    | !system=DEVFS subsystem=CDEV type=CREATE cdev=da0s1      | mount da0s1 msdosfs
old_fixed    | !system=DEVFS subsystem=CDEV type=CREATE cdev=da0s1      | none not a removable disk
sas          | !system=DEVFS subsystem=CDEV type=CREATE cdev=da0p1      | none behind mpr0
raid         | !system=DEVFS subsystem=CDEV type=CREATE cdev=da0p1      | none not a removable disk
sas_rmb      | !system=DEVFS subsystem=CDEV type=CREATE cdev=da0p1      | none behind mpr0
fc_rmb       | !system=DEVFS subsystem=CDEV type=CREATE cdev=da0p1      | none behind isp0
iscsi_rmb    | !system=DEVFS subsystem=CDEV type=CREATE cdev=da0p1      | none behind iscsi1
virtio_rmb   | !system=DEVFS subsystem=CDEV type=CREATE cdev=da0p1      | none behind vtscsi0
hyperv_rmb   | !system=DEVFS subsystem=CDEV type=CREATE cdev=da0p1      | none behind storvsc0
sd           | !system=DEVFS subsystem=CDEV type=CREATE cdev=mmcsd0s1   | mount mmcsd0s1 msdosfs
sd_sdda      | !system=DEVFS subsystem=CDEV type=CREATE cdev=sdda0s1    | mount sdda0s1 msdosfs
emmc         | !system=DEVFS subsystem=CDEV type=CREATE cdev=mmcsd0s1   | none not an SD card
pi           | !system=DEVFS subsystem=CDEV type=CREATE cdev=mmcsd0s1   | none mmcsd0 holds /
zfs_root_usb | !system=DEVFS subsystem=CDEV type=CREATE cdev=da0p1      | none da0 holds /
mirror       | !system=DEVFS subsystem=CDEV type=CREATE cdev=da1        | none da1 is part of a MIRROR
exfat        | !system=DEVFS subsystem=CDEV type=CREATE cdev=da0s1      | none exfat takes mount.exfat, from its FUSE package, which is not installed
exfat_fuse   | !system=DEVFS subsystem=CDEV type=CREATE cdev=da0s1      | fuse da0s1 mount.exfat
ntfs_fuse    | !system=DEVFS subsystem=CDEV type=CREATE cdev=da0s1      | fuse da0s1 ntfs-3g
exfat_mounted | !system=DEVFS subsystem=CDEV type=CREATE cdev=da0s1     | quiet
geli         | !system=DEVFS subsystem=CDEV type=CREATE cdev=da0s1      | none geli, left alone
zfs_member   | !system=DEVFS subsystem=CDEV type=CREATE cdev=da0s1      | none zfs, left alone
nothing      | !system=DEVFS subsystem=CDEV type=CREATE cdev=da0s1      | none no filesystem that fstyp recognizes
mounted      | !system=DEVFS subsystem=CDEV type=CREATE cdev=da0s1      | quiet
marked       | !system=DEVFS subsystem=CDEV type=CREATE cdev=da0s1      | none vorlix is writing da0
other_marked | !system=DEVFS subsystem=CDEV type=CREATE cdev=da0s1      | mount da0s1 msdosfs
planted      | !system=DEVFS subsystem=CDEV type=CREATE cdev=da0s1      | mount da0s1 msdosfs
bare_card    | !system=DEVFS subsystem=CDEV type=MEDIACHANGE cdev=da0   | mount da0 msdosfs
bare_card    | !system=DEVFS subsystem=CDEV type=CREATE cdev=da0        | mount da0 msdosfs
EOF

# A planted link is never followed, and only regular files are tested.
fresh
w_planted
begin "planted marks: only the regular file is tested, as nobody"
deliver '!system=DEVFS subsystem=CDEV type=CREATE cdev=da0s1'
[ "$(grep -c '^chroot' "$world/calls")" -eq 1 ] || problem "not one test"
grep -qx "chroot -u nobody -g nobody -G nobody / lockf -k -s -t 0 $tmp/marks/.vorlix-writing-da0.stale true" \
    "$world/calls" || problem "the stale file not tested with lockf -t 0 as nobody"
end

# --- sequences -------------------------------------------------------------

unmount() { # DEV: as kelmo umount leaves the table
    grep -v "^$1	" "$world/mounts" >"$tmp/mounts"
    /bin/cat "$tmp/mounts" >"$world/mounts"
}
next_event() { # EVENT [EXPECT...]: one more event in the same world
    ev=$1
    shift
    : >"$world/calls"
    : >"$world/said"
    deliver "$ev"
    [ "$#" -gt 0 ] || return 0
    before=$problems
    problems=
    expect "$@"
    if [ -n "$problems" ]; then
        problems="$before
    - on ${ev#*type=}:$problems"
    else
        problems=$before
    fi
}
mediachange='!system=DEVFS subsystem=CDEV type=MEDIACHANGE cdev=da0'

# A card without a partition table, in a reader already there: mounted on
# its MEDIACHANGE; the MEDIACHANGE of vorlix's Unmount does not mount it
# again; the next card, of the same size in the same reader, is mounted.
fresh
w_bare_card
begin "a bare card: mounted, not again after its unmount, the next card mounted"
next_event "$mediachange" mount da0 msdosfs
next_event "$mediachange" quiet
unmount /dev/da0
next_event "$mediachange" quiet
next_event "$mediachange" mount da0 msdosfs
end

# A card of another size, or another ident (an SD card's serial in an mmc
# slot), is a new one even without the empty reader seen between.
fresh
w_bare_card
begin "a bare card swapped for one of another size: mounted at once"
next_event "$mediachange" mount da0 msdosfs
unmount /dev/da0
sed 's/7948206080/15931539456/' "$world/diskinfo/da0" >"$tmp/diskinfo"
/bin/cat "$tmp/diskinfo" >"$world/diskinfo/da0"
grep -q 15931539456 "$world/diskinfo/da0" || problem "the fixture's size did not change"
next_event "$mediachange" mount da0 msdosfs
end

# A mount that fails closes the disk for writing too: its MEDIACHANGE is no
# new card, so the hook does not try again and again.
fresh
w_bare_card
: >"$world/mount-fails"
begin "a bare card whose mount fails: tried once, not on the close that follows"
next_event "$mediachange"
[ "$(mount_calls | wc -l)" -eq 1 ] || problem "mount not tried once"
next_event "$mediachange" quiet
end

# The same stick plugged in again after its unmount: a new CREATE.
fresh
w_bare_card
begin "a bare stick unmounted and plugged in again: mounted"
next_event "$mediachange" mount da0 msdosfs
unmount /dev/da0
next_event '!system=DEVFS subsystem=CDEV type=CREATE cdev=da0' mount da0 msdosfs
end

# pernix writes an image with a GPT onto the stick: when its last close
# lets the kernel taste the disk again, the new partitions come, and the
# disk's MEDIACHANGE, while vorlix still holds the disk's mark. None is
# mounted; once the mark is gone (vorlix ended), they would be.
fresh
w_stick
hold .vorlix-writing-da0.Wq3rZt
rm -f "$world/gpart/da0s1" "$world/fstyp/da0s1"
printf '=>      40  30834608  da0  GPT  (15G)\n' >"$world/gpart/da0"
printf 'msdosfs\n' >"$world/fstyp/da0p1"
printf 'ufs\n' >"$world/fstyp/da0p2"
begin "partitions made by an image copy: none mounted while vorlix marks the disk"
next_event "$mediachange" quiet
next_event '!system=DEVFS subsystem=CDEV type=CREATE cdev=da0p1' none vorlix is writing da0
next_event '!system=DEVFS subsystem=CDEV type=CREATE cdev=da0p2' none vorlix is writing da0
release
next_event '!system=DEVFS subsystem=CDEV type=CREATE cdev=da0p1' mount da0p1 msdosfs
end

if [ "$skipped" -gt 0 ]; then
    printf '%d passed, %d failed, %d skipped\n' "$passed" "$failed" "$skipped"
else
    printf '%d passed, %d failed\n' "$passed" "$failed"
fi
[ "$failed" -eq 0 ]
