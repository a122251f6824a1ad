#!/bin/sh
# The demo sandbox (demo/run-demo.sh --sandbox-only), without starting
# vorlix: what it sets up, that its helpers stay inside it, and that a rerun
# replaces it (but never a folder it did not make).

# shellcheck source=testlib.sh
. "$(dirname -- "$0")/testlib.sh"

run_demo=$repo_dir/demo/run-demo.sh
sandbox="$tmp/demo & sandbox"
outside=$tmp/outside
mkdir "$outside"

setup() {
    DEMO_DIR=$1 "$run_demo" --sandbox-only >"$tmp/env" 2>"$tmp/out"
}

begin "sets up the sandbox and prints the environment for it"
check "exit status 0" setup "$sandbox"
# The printed assignments are meant for eval; the rest of the test runs with them.
check "environment evaluates" eval "$(cat "$tmp/env")"
check "VORLIX_DEMO_DIR names it" test "${VORLIX_DEMO_DIR-}" = "$(cd -P "$sandbox" && pwd -P)"
check "VORLIX_FM is demo-fm" test "${VORLIX_FM-}" = demo-fm
check "its helpers come first on PATH" test "$(command -v pernix)" = "$VORLIX_DEMO_DIR/bin/pernix"
check "mount point holds sample files" test -f "$sandbox/mnt/README.txt"
check "64 MiB disk file" test "$(size_of "$sandbox/da0")" -eq 67108864
check "device name da0s1" test -e "$sandbox/da0s1"
check "sample image" test -s "$sandbox/sample.img"
end
sandbox=$VORLIX_DEMO_DIR
ln -s "$outside" "$sandbox/way-out"

# kelmo pretends for folders in the sandbox and refuses all else, without
# ever calling the real umount.
# directory                   status
while read -r where status; do
    case $where in
        SANDBOX*) dir=$sandbox${where#SANDBOX} ;;
        OUTSIDE) dir=$outside ;;
        *) dir=$where ;;
    esac
    begin "demo kelmo umount $where"
    run - kelmo umount "$dir"
    check "exit status $status (was $rc)" status_is "$status"
    end
done <<EOF
SANDBOX/mnt                   0
SANDBOX/mnt/photos            0
/                             1
OUTSIDE                       1
SANDBOX/mnt/../..             1
SANDBOX/way-out               1
EOF

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
img_bytes=$(size_of "$sandbox/sample.img")
marker=$tmp/vorl.marker

sample_on_da0() {
    head -c "$img_bytes" "$sandbox/da0" | cmp -s - "$sandbox/sample.img"
}

# tool      disk                 status
while read -r tool where status; do
    case $where in
        SANDBOX*) disk=$sandbox${where#SANDBOX} ;;
        OUTSIDE) disk=$outside/disk ;;
    esac
    rm -f "$marker"
    begin "demo $tool on $where"
    if [ "$tool" = pernix ]; then
        run yes pernix --success-file "$marker" "$sandbox/sample.img" "$disk"
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
zero_sum=$(dd if=/dev/zero bs=1048576 count=64 2>/dev/null | cksum | awk '{ print $1, $2 }')
echo leftover >"$sandbox/mnt/leftover.txt"
begin "a second run replaces the sandbox"
check "exit status 0" setup "$sandbox"
check "leftover file gone" absent "$sandbox/mnt/leftover.txt"
check "link made in the old one gone" absent "$sandbox/way-out"
check "disk blank again" same_sum "$sandbox/da0" "$zero_sum"
check "sample files back" test -f "$sandbox/mnt/README.txt"
check "outside folder kept" test -f "$outside/disk"
end

# DEMO_DIR pointing at someone's folder must not cost them its contents.
mkdir "$tmp/precious"
echo keep >"$tmp/precious/thesis.txt"
begin "refuses to replace a folder it did not make"
setup "$tmp/precious"
rc=$?
check "non-zero exit status" test "$rc" -ne 0
check "folder contents kept" test -f "$tmp/precious/thesis.txt"
check "says why" said 'not a demo sandbox'
end

finish
