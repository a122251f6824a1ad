#!/bin/sh
# The demo sandbox (demo/run-demo.sh --sandbox-only), without starting
# vorlix: what it sets up; that its stick is an ext4 file system really
# mounted through FUSE where the system has FUSE, and a plain folder where
# it has not; that its helpers stay inside it; and that a rerun or --clean
# unmounts the stick before removing the sandbox (but never a folder it did
# not make).

# shellcheck source=testlib.sh
. "$(dirname -- "$0")/testlib.sh"

run_demo=$repo_dir/demo/run-demo.sh
sandbox="$tmp/demo & sandbox"
plain="$tmp/plain sandbox"
outside=$tmp/outside
mkdir "$outside"
holder=
base_path=$PATH

# The sticks must be unmounted before the scratch folder goes: rm -rf would
# empty a mounted stick and then fail on its mount point.
cleanup() {
    PATH=$base_path
    [ -n "$holder" ] && kill "$holder" 2>/dev/null
    for _s in "$sandbox" "$plain"; do
        [ -f "$_s/.vorlix-demo-sandbox" ] &&
            DEMO_DIR=$_s "$run_demo" --clean >/dev/null 2>&1
    done
    if command -v findmnt >/dev/null 2>&1 &&
        findmnt -rn -o TARGET | LC_ALL=C grep -F -q -- "$(printf '%s' "$tmp" | sed 's/ /\\x20/g')"; then
        echo "demo_sandbox: something is still mounted in $tmp; left it there" >&2
        return
    fi
    rm -rf "$tmp"
}
trap cleanup EXIT

# Where the demo can mount its stick: the script looks for the same, and
# the FUSE library opens /dev/fuse itself before it turns to fusermount3.
fuse=
if [ -c /dev/fuse ] && [ -r /dev/fuse ] && [ -w /dev/fuse ] &&
    command -v fusermount3 >/dev/null 2>&1 &&
    command -v fuse2fs >/dev/null 2>&1 && command -v findmnt >/dev/null 2>&1 &&
    command -v mkfs.ext4 >/dev/null 2>&1; then
    fuse=1
fi

setup() {
    DEMO_DIR=$1 "$run_demo" --sandbox-only >"$tmp/env" 2>"$tmp/out"
}

stick_mounted() {
    case $(findmnt -n -o FSTYPE -M "$1" 2>/dev/null) in
        fuse | fuse.*) return 0 ;;
    esac
    return 1
}

nothing_mounted() {
    ! command -v findmnt >/dev/null 2>&1 || [ -z "$(findmnt -n -M "$1" 2>/dev/null)" ]
}

running() {
    case $(ps -o stat= -p "$1" 2>/dev/null) in
        '' | Z*) return 1 ;;
    esac
    return 0
}

not_running() {
    ! running "$1"
}

# The sandbox's fuse2fs, by the pid the script keeps.
server_pid() {
    cat "$1/.fuse2fs.pid" 2>/dev/null
}

# hold DIR: a process of ours keeps DIR busy until release.
hold() {
    (cd "$1" && exec sleep 120) &
    holder=$!
    _tries=0
    until [ "$(ps -o comm= -p "$holder" 2>/dev/null)" = sleep ] || [ "$_tries" -ge 50 ]; do
        sleep 0.1
        _tries=$((_tries + 1))
    done
}

release() {
    kill "$holder" 2>/dev/null
    wait "$holder" 2>/dev/null
    holder=
}

# statvfs's total, in KiB.
total_kib() {
    # shellcheck disable=SC2046 # two numbers
    set -- $(stat -f -c '%b %S' "$1")
    echo $(($1 * $2 / 1024))
}

said_once() {
    [ "$(LC_ALL=C grep -c -F -- "$1" "$tmp/out")" -eq 1 ]
}

zero_sum=$(dd if=/dev/zero bs=1048576 count=64 2>/dev/null | cksum | awk '{ print $1, $2 }')

begin "sets up the sandbox and prints the environment for it"
check "exit status 0" setup "$sandbox"
# The printed assignments are meant for eval; the rest of the test runs with them.
check "environment evaluates" eval "$(cat "$tmp/env")"
check "VORLIX_DEMO_DIR names it" test "${VORLIX_DEMO_DIR-}" = "$(cd -P "$sandbox" && pwd -P)"
check "VORLIX_FM is demo-fm" test "${VORLIX_FM-}" = demo-fm
check "its helpers come first on PATH" test "$(command -v pernix)" = "$VORLIX_DEMO_DIR/bin/pernix"
check "the stick holds sample files" test -f "$sandbox/mnt/README.txt"
check "and a file name with spaces" test -f "$sandbox/mnt/documents/notes with spaces.txt"
check "64 MiB disk file" test "$(size_of "$sandbox/da0")" -eq 67108864
check "device name da0s1" test -e "$sandbox/da0s1"
check "sample image in the sandbox's home folder" test -s "$sandbox/home/sample.img"
end
sandbox=$VORLIX_DEMO_DIR
ln -s "$outside" "$sandbox/way-out"

if [ -n "$fuse" ]; then
    begin "the stick is an ext4 file system on da0, mounted through FUSE"
    check "a FUSE mount on mnt" stick_mounted "$sandbox/mnt"
    check "mounted from da0" test "$(findmnt -n -o SOURCE -M "$sandbox/mnt")" = "$sandbox/da0"
    check "da0 holds ext4" test "$(fs_type "$sandbox/da0")" = ext4
    check "VORLIX_DEMO_FSTYPE is ext4" test "${VORLIX_DEMO_FSTYPE-}" = ext4
    check "its total is the stick's 64 MiB" test "$(total_kib "$sandbox/mnt")" = 65536
    check "fuse2fs runs" running "$(server_pid "$sandbox")"
    # shellcheck disable=SC2016 # expanded by the inner shell
    check "the user can write to it" sh -c 'echo written >"$1/mnt/documents/new.txt"' sh "$sandbox"
    check "no notice of a plain folder" not_said 'cannot be mounted'
    end

    # Holding the stick busy: the real stand-in's failure, holders named.
    hold "$sandbox/mnt/documents"
    begin "demo kelmo on a busy stick fails and names what holds it"
    run - kelmo umount "$sandbox/mnt"
    check "non-zero exit status (was $rc)" test "$rc" -ne 0
    check "says it is busy" said 'is busy; these processes are using it'
    check "names the holder" said 'sleep'
    check "still mounted" stick_mounted "$sandbox/mnt"
    end

    # The copy and format tools see the disk in use while it is mounted.
    marker=$tmp/vorl.marker
    begin "demo pernix refuses da0 while the stick is mounted"
    run yes pernix --success-file "$marker" "$sandbox/home/sample.img" "$sandbox/da0"
    check "exit status 1 (was $rc)" status_is 1
    check "says it is mounted" said 'Unmount it first'
    check "no marker" absent "$marker"
    check "the stick is still readable" test -f "$sandbox/mnt/README.txt"
    end
    release
else
    skip "the stick is mounted through FUSE" "no /dev/fuse, fusermount3, fuse2fs, findmnt or mkfs.ext4 here"
fi

# kelmo_cases MODE: the sandbox's kelmo on $sandbox, "mounted" or "plain".
# With the stick mounted it unmounts it for real (the real stand-in, through
# fusermount3) and nothing else; on a plain folder it pretends for folders
# in the sandbox. Both refuse all outside it, without calling umount.
kelmo_cases() {
    _mode=$1
    _row=0
    # directory               mounted  plain
    while read -r where mounted_status plain_status; do
        _row=$((_row + 1))
        case $where in
            SANDBOX*) dir=$sandbox${where#SANDBOX} ;;
            OUTSIDE) dir=$outside ;;
            *) dir=$where ;;
        esac
        if [ "$_mode" = mounted ]; then status=$mounted_status; else status=$plain_status; fi
        _pid=$(server_pid "$sandbox")
        begin "demo kelmo umount $where ($_mode stick, row $_row)"
        run - kelmo umount "$dir"
        check "exit status $status (was $rc)" status_is "$status"
        if [ "$_mode" = mounted ] && [ "$status" -eq 0 ]; then
            check "the stick is unmounted" nothing_mounted "$sandbox/mnt"
            # fuse2fs writes to da0 as it ends: a copy started before would be overwritten.
            check "fuse2fs has ended" not_running "$_pid"
        fi
        if [ "$status" -eq 32 ]; then
            check "says it is not mounted" said 'not mounted'
        fi
        end
    done <<EOF
SANDBOX/mnt/photos          32       0
/                            1       1
OUTSIDE                      1       1
SANDBOX/mnt/../..            1       1
SANDBOX/way-out              1       1
SANDBOX/mnt                  0       0
SANDBOX/mnt                 32       0
EOF
}

if [ -n "$fuse" ]; then
    kelmo_cases mounted
else
    kelmo_cases plain
fi

begin "demo kelmo with a bad subcommand"
run - kelmo mount "$sandbox/mnt"
check "exit status 64 (was $rc)" status_is 64
check "usage line" said 'usage: kelmo umount <dir>'
end

# pernix and draskel from the sandbox's PATH: the real stand-ins on the
# sandbox disk, refused for any disk outside it, also through a link.
pattern_file "$outside/disk" 65536
outside_sum=$(sum "$outside/disk")
ln -s "$outside/disk" "$sandbox/disk-link"
sample=$sandbox/home/sample.img
img_bytes=$(size_of "$sample")
marker=$tmp/vorl.marker

sample_on_da0() {
    head -c "$img_bytes" "$sandbox/da0" | cmp -s - "$sample"
}

# The sample image is ext4 too, so only a new UUID shows that draskel made
# a new file system.
da0_uuid() {
    blkid -p -o value -s UUID "$sandbox/da0" 2>/dev/null
}

# tool      disk                 status
while read -r tool where status; do
    case $where in
        SANDBOX*) disk=$sandbox${where#SANDBOX} ;;
        OUTSIDE) disk=$outside/disk ;;
    esac
    rm -f "$marker"
    uuid_before=$(da0_uuid)
    begin "demo $tool on $where"
    if [ "$tool" = pernix ]; then
        run yes pernix --success-file "$marker" "$sample" "$disk"
    else
        run yes draskel --temp-file "$marker" "$disk" ext4
    fi
    check "exit status $status (was $rc)" status_is "$status"
    check "outside disk untouched" same_sum "$outside/disk" "$outside_sum"
    if [ "$status" -eq 0 ]; then
        check "marker created" test -f "$marker"
        if [ "$tool" = pernix ]; then
            check "sample.img written onto da0" sample_on_da0
        elif can_probe_fs; then
            check "da0 holds ext4" test "$(fs_type "$sandbox/da0")" = ext4
            if command -v blkid >/dev/null 2>&1; then
                check "a new file system on da0" test "$(da0_uuid)" != "$uuid_before"
            fi
        fi
    else
        check "no marker" absent "$marker"
        check "says it is outside" said 'outside the sandbox'
    fi
    end
done <<EOF
pernix      SANDBOX/da0          0
pernix      OUTSIDE              1
pernix      SANDBOX/disk-link    1
draskel     OUTSIDE              1
draskel     SANDBOX/da0          0
EOF

# A second run starts afresh: what the first left behind is gone.
echo leftover >"$sandbox/leftover.txt"
begin "a second run replaces the sandbox"
check "exit status 0" setup "$sandbox"
check "leftover file gone" absent "$sandbox/leftover.txt"
check "link made in the old one gone" absent "$sandbox/way-out"
check "sample files back" test -f "$sandbox/mnt/README.txt"
check "outside folder kept" test -f "$outside/disk"
if [ -n "$fuse" ]; then
    check "the stick is mounted again" stick_mounted "$sandbox/mnt"
    check "a fresh ext4 on da0" test "$(fs_type "$sandbox/da0")" = ext4
    check "the file written before is gone" absent "$sandbox/mnt/documents/new.txt"
else
    check "disk blank again" same_sum "$sandbox/da0" "$zero_sum"
fi
end

if [ -n "$fuse" ]; then
    echo leftover >"$sandbox/mnt/leftover.txt"
    old_pid=$(server_pid "$sandbox")
    begin "a run over a mounted stick unmounts it first"
    check "exit status 0" setup "$sandbox"
    check "says so" said "Unmounting the sandbox's stick"
    check "the old fuse2fs has ended" not_running "$old_pid"
    check "a new stick is mounted" stick_mounted "$sandbox/mnt"
    check "the old stick's file is gone" absent "$sandbox/mnt/leftover.txt"
    end

    hold "$sandbox/mnt"
    begin "--clean fails on a busy stick, names what holds it and keeps the sandbox"
    DEMO_DIR=$sandbox "$run_demo" --clean >"$tmp/out" 2>&1
    rc=$?
    check "non-zero exit status" test "$rc" -ne 0
    check "names the holder" said 'sleep'
    check "the stick is still mounted" stick_mounted "$sandbox/mnt"
    check "the sandbox is still there" test -f "$sandbox/.vorlix-demo-sandbox"
    end
    release

    old_pid=$(server_pid "$sandbox")
    begin "--clean unmounts the stick and removes the sandbox"
    DEMO_DIR=$sandbox "$run_demo" --clean >"$tmp/out" 2>&1
    rc=$?
    check "exit status 0 (was $rc)" status_is 0
    check "nothing mounted there" nothing_mounted "$sandbox/mnt"
    check "fuse2fs has ended" not_running "$old_pid"
    check "the sandbox is gone" absent "$sandbox"
    end
fi

# Without fusermount3 the stick cannot be mounted: the plain folder, said
# once on the terminal. Everything else on PATH stays.
no_fuse_path=$tmp/no-fusermount3
mkdir "$no_fuse_path"
saved_ifs=$IFS
IFS=:
for dir in $PATH; do
    # ln goes on past names already linked from an earlier folder.
    [ -d "$dir" ] && ln -s "$dir"/* "$no_fuse_path"/ 2>/dev/null
done
IFS=$saved_ifs
rm -f "$no_fuse_path/fusermount3"

begin "without fusermount3 the stick is a plain folder"
check "exit status 0" env PATH="$no_fuse_path" DEMO_DIR="$plain" "$run_demo" --sandbox-only >"$tmp/env" 2>"$tmp/out"
check "environment evaluates" eval "$(cat "$tmp/env")"
check "says why, once" said_once 'cannot be mounted here: fusermount3 is not installed'
check "nothing mounted" nothing_mounted "$plain/mnt"
check "the folder holds the sample files" test -f "$plain/mnt/documents/diary.txt"
check "VORLIX_DEMO_FSTYPE is msdosfs" test "${VORLIX_DEMO_FSTYPE-}" = msdosfs
check "disk blank" same_sum "$plain/da0" "$zero_sum"
end
sandbox=$VORLIX_DEMO_DIR
ln -s "$outside" "$sandbox/way-out"
kelmo_cases plain

begin "--clean removes a plain sandbox"
DEMO_DIR=$sandbox "$run_demo" --clean >"$tmp/out" 2>&1
rc=$?
check "exit status 0 (was $rc)" status_is 0
check "the sandbox is gone" absent "$sandbox"
check "outside folder kept" test -f "$outside/disk"
end

# DEMO_DIR pointing at someone's folder must not cost them its contents.
mkdir "$tmp/precious"
echo keep >"$tmp/precious/thesis.txt"
for how in run clean; do
    begin "refuses to replace a folder it did not make ($how)"
    if [ "$how" = run ]; then
        setup "$tmp/precious"
    else
        DEMO_DIR=$tmp/precious "$run_demo" --clean >"$tmp/out" 2>&1
    fi
    rc=$?
    check "non-zero exit status" test "$rc" -ne 0
    check "folder contents kept" test -f "$tmp/precious/thesis.txt"
    check "says why" said 'not a demo sandbox'
    end
done

finish
