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
numbered="$tmp/user 2/1000/vorlix-demo"
outside=$tmp/outside
mkdir "$outside"
holder=
base_path=$PATH

# The sticks must be unmounted before the scratch folder goes: rm -rf would
# empty a mounted stick and then fail on its mount point.
cleanup() {
    PATH=$base_path
    [ -n "$holder" ] && kill "$holder" 2>/dev/null
    for _s in "$sandbox" "$plain" "$numbered"; do
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

# Folders the test makes stand in for the user's own, writable by them
# alone, as the demo wants them.
umask 022

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
    check "mounted from da0s1, the partition's name" test "$(findmnt -n -o SOURCE -M "$sandbox/mnt")" = "$sandbox/da0s1"
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

# --- places that are not the user's alone ------------------------------------
# The sandbox holds the helpers vorlix runs, as root when root runs the
# demo: it must never be built in, reused or removed where another user
# owns it or can write to it, or could swap a folder above it. Each case
# gets a folder of its own, and nothing in it may change, down to the
# folders' times.
places=$tmp/places
mkdir -m 700 "$places" || exit 1

# listing DIR: owner, mode and time of DIR and of everything in it, with
# their names (full times from GNU ls, or BSD ls).
listing() {
    {
        LC_ALL=C ls -ldn --full-time -- "$1" && LC_ALL=C ls -lAnR --full-time -- "$1"
    } 2>/dev/null || {
        LC_ALL=C ls -ldnT -- "$1"
        LC_ALL=C ls -lAnRT -- "$1"
    }
}

unchanged() {
    [ "$(listing "$1")" = "$2" ]
}

# how: the place made for the case; DEMO_DIR relative to its folder (- for
# none: the default under TMPDIR, set to the case's folder); what the run,
# and --clean, must say. Cases owned by uid 65534 need root to be made.
# how              root   DEMO_DIR      says (run; clean)
while read -r how root_only rel says_run says_clean; do
    says_run=$(echo "$says_run" | tr _ ' ')
    says_clean=$(echo "$says_clean" | tr _ ' ')
    if [ "$root_only" = root ] && [ "$(id -u)" -ne 0 ]; then
        skip "refuses a place that is not the user's alone: $how" "needs root"
        continue
    fi
    c=$places/$how
    mkdir "$c"
    case $how in
        nobody-empty)
            mkdir "$c/vorlix-demo"
            chown 65534 "$c/vorlix-demo" ;;
        nobody-sandbox)
            mkdir "$c/box"
            : >"$c/box/.vorlix-demo-sandbox"
            echo keep >"$c/box/thesis.txt"
            chown -R 65534 "$c/box" ;;
        open-folder | sticky-folder)
            mkdir "$c/box"
            : >"$c/box/.vorlix-demo-sandbox"
            echo keep >"$c/box/thesis.txt"
            if [ "$how" = open-folder ]; then chmod 777 "$c/box"; else chmod 1777 "$c/box"; fi ;;
        open-parent)
            mkdir "$c/up"
            chmod 777 "$c/up" ;;
        nobody-parent)
            mkdir "$c/up"
            chown 65534 "$c/up" ;;
    esac
    before=$(listing "$c")
    for mode in --sandbox-only --clean; do
        begin "refuses a place that is not the user's alone: $how ($mode)"
        if [ "$rel" = - ]; then
            env -u DEMO_DIR TMPDIR="$c" "$run_demo" "$mode" >"$tmp/env" 2>"$tmp/out"
        else
            env DEMO_DIR="$c/$rel" "$run_demo" "$mode" >"$tmp/env" 2>"$tmp/out"
        fi
        rc=$?
        if [ "$mode" = --sandbox-only ]; then
            check "non-zero exit status" test "$rc" -ne 0
            check "says: $says_run" said "$says_run"
        else
            check "says: $says_clean" said "$says_clean"
        fi
        check "nothing there changed" unchanged "$c" "$before"
        end
    done
done <<EOF
nobody-empty      root   -               another_user_(uid_65534)   another_user_(uid_65534)
nobody-sandbox    root   box             another_user_(uid_65534)   another_user_(uid_65534)
open-folder       any    box             others_can_write_to_it     others_can_write_to_it
sticky-folder     any    box             others_can_write_to_it     others_can_write_to_it
open-parent       any    up/box          others_can_write_to        nothing_to_clean
nobody-parent     root   up/new/box      another_user_(uid_65534)   nothing_to_clean
EOF

# A DEMO_DIR with a control character or a backslash is refused before
# anything is made or removed. A trailing newline once made the check look
# at a new folder and the sandbox go into the existing one beside it.
c=$places/chars
mkdir -p "$c/keep"
echo keep >"$c/keep/thesis.txt"
before=$(listing "$c")
# suffix (as printf writes it)   variable
while read -r suffix variable; do
    value=$(printf "%s$suffix." "$c/keep")
    value=${value%.}
    for mode in --sandbox-only --clean; do
        begin "refuses $variable ending in keep$suffix ($mode)"
        if [ "$variable" = DEMO_DIR ]; then
            env DEMO_DIR="$value" "$run_demo" "$mode" >"$tmp/env" 2>"$tmp/out"
        else
            env -u DEMO_DIR TMPDIR="$value" "$run_demo" "$mode" >"$tmp/env" 2>"$tmp/out"
        fi
        rc=$?
        check "non-zero exit status" test "$rc" -ne 0
        check "says why" said "$variable holds a newline, tab, backslash or other control character"
        check "nothing there changed" unchanged "$c" "$before"
        end
    done
done <<'EOF'
\n          DEMO_DIR
\n/x        DEMO_DIR
\t          DEMO_DIR
\\          DEMO_DIR
\\t         DEMO_DIR
\001        DEMO_DIR
\177        DEMO_DIR
\n          TMPDIR
EOF

# --- folders mounted inside a sandbox ----------------------------------------
# --clean removes nothing through a mount inside the sandbox: a bind mount
# of a folder from outside (on the same file system, so that rm cannot tell
# it apart by device), under names with a blank and a backslash, or over
# the sandbox itself. Bound in a private mount namespace, as root.
lacking=$(lacks_private_mounts)
if [ -n "$lacking" ]; then
    skip "--clean with a folder mounted inside the sandbox" "$lacking"
else
    bound="$tmp/bound outside"
    mkdir -p "$bound/sub"
    echo keep >"$bound/sub/thesis.txt"
    bound_before=$(listing "$bound")
    # shellcheck disable=SC2016 # expanded by the inner shell
    with_bind='mount --bind "$1" "$2" || exit 99; shift 2; exec "$@"'
    bsb="$tmp/bind sandbox"
    env PATH="$no_fuse_path" DEMO_DIR="$bsb" "$run_demo" --sandbox-only >"$tmp/env" 2>"$tmp/out"
    mkdir "$bsb/sp ace" "$bsb/in\\side"
    # mounted on, within the sandbox
    while read -r rel; do
        [ "$rel" = . ] && target=$bsb || target=$bsb/$rel
        begin "--clean with a folder bound on $rel inside the sandbox"
        unshare -m sh -c "$with_bind" sh "$bound" "$target" \
            env DEMO_DIR="$bsb" "$run_demo" --clean >"$tmp/out" 2>&1
        rc=$?
        check "non-zero exit status" test "$rc" -ne 0
        check "the bound folder's files kept" unchanged "$bound" "$bound_before"
        check "the sandbox kept" test -f "$bsb/.vorlix-demo-sandbox"
        end
    done <<'EOF'
home
sp ace
in\side
.
EOF

    # A sandbox an older demo made under a name with a backslash: refused
    # for the name, before anything is looked at.
    old="$tmp/old\\sandbox"
    mkdir -p "$old/mnt"
    : >"$old/.vorlix-demo-sandbox"
    begin "--clean of a backslash DEMO_DIR with a folder bound inside"
    unshare -m sh -c "$with_bind" sh "$bound" "$old/mnt" \
        env DEMO_DIR="$old" "$run_demo" --clean >"$tmp/out" 2>&1
    rc=$?
    check "non-zero exit status" test "$rc" -ne 0
    check "says why" said 'DEMO_DIR holds a newline, tab, backslash'
    check "the bound folder's files kept" unchanged "$bound" "$bound_before"
    check "the old sandbox kept" test -f "$old/.vorlix-demo-sandbox"
    end

    begin "--clean of that sandbox once nothing is mounted in it"
    DEMO_DIR=$bsb "$run_demo" --clean >"$tmp/out" 2>&1
    rc=$?
    check "exit status 0 (was $rc)" status_is 0
    check "the sandbox is gone" absent "$bsb"
    check "the bound folder's files kept" unchanged "$bound" "$bound_before"
    end
fi

# --- a TMPDIR with digits and blanks ------------------------------------------
# TMPDIR=/tmp/user/1000 is a common setting. The sandbox goes there all the
# same, and the program, started by the demo as on a desktop, names the
# disk file da0 beside the device da0s1, not a folder above it. The test
# build of vorlix, given as this script's first argument, stands in for the
# demo's own and logs its buttons' texts (cut at 64 bytes, as shown). Where
# the stick is mounted, vorlix-watch (the second argument) starts it once
# the mount is made, and ends with it.
testable=${1-}
watch=${2-}
if [ -z "$testable" ] || [ ! -x "$testable" ]; then
    skip "the demo under a TMPDIR with digits and blanks" "no test build of vorlix was given"
elif [ -n "$fuse" ] && { [ -z "$watch" ] || [ ! -x "$watch" ]; }; then
    skip "the demo under a TMPDIR with digits and blanks" "no vorlix-watch was given"
else
    numbered_repo=$tmp/numbered-repo
    mkdir -p "$numbered_repo/build"
    cp -R "$repo_dir/demo" "$numbered_repo/demo"
    ln -s "$tools_dir" "$numbered_repo/tools"
    [ -n "$watch" ] && ln -s "$(cd -P -- "$(dirname -- "$watch")" && pwd -P)/${watch##*/}" \
        "$numbered_repo/build/vorlix-watch"
    cat >"$numbered_repo/build/vorlix" <<EOF
#!/bin/sh
printf '%s\n' "\$@" >'$tmp/numbered.args'
VORLIX_HOOK_LOG='$tmp/numbered.log' VORLIX_HOOK_SCRIPT=buttons QT_QPA_PLATFORM=offscreen exec '$testable' "\$@"
EOF
    chmod +x "$numbered_repo/build/vorlix"
    mkdir -p -m 700 "${numbered%/*}"
    begin "the demo under TMPDIR=.../user 2/1000 names the disk file da0"
    # A display is named, for the demo; the program runs offscreen.
    timeout 120 env -u DEMO_DIR PATH="$base_path" TMPDIR="${numbered%/*}" DEMO_NO_BUILD=1 DEMO_NO_DEPS=1 \
        DISPLAY="${DISPLAY:-:vorlix-test}" \
        "$numbered_repo/demo/run-demo.sh" >"$tmp/env" 2>"$tmp/out"
    rc=$?
    check "the program ran to the end of its script (status $rc)" status_is 99
    check "the sandbox is in TMPDIR" test -f "$numbered/.vorlix-demo-sandbox"
    check "Reformat names the disk file" env LC_ALL=C grep -F -q -- \
        "$(printf '%.64s' "Reformat $numbered/da0")|" "$tmp/numbered.log"
    check "Copy names the disk file" env LC_ALL=C grep -F -q -- \
        "|$(printf '%.64s' "Copy disk image to $numbered/da0")|" "$tmp/numbered.log"
    if [ -n "$fuse" ]; then
        check "vorlix-watch watched before the stick was mounted" said 'vorlix-watch watches the sandbox'
        check "and started vorlix on the stick's mount, device and type" \
            test "$(cat "$tmp/numbered.args")" = "$(printf '%s\n%s\n%s' "$numbered/mnt" "$numbered/da0s1" fuse.ext4)"
        agent=$(cat "$numbered/run/"vorlix-watch-*.lock 2>/dev/null)
        check "and the agent has ended with it" not_running "${agent:-0}"
    else
        check "vorlix started on the plain folder" \
            test "$(cat "$tmp/numbered.args")" = "$(printf '%s\n%s\n%s' "$numbered/mnt" "$numbered/da0s1" msdosfs)"
    fi
    end
    DEMO_DIR=$numbered "$run_demo" --clean >/dev/null 2>&1
fi

# --- FreeBSD -----------------------------------------------------------------
# uname faked to say FreeBSD. There the stick is a plain folder, which the
# demo says plainly, and it names FreeBSD's packages, never running apt.
# The whole run goes through a copy of the demo beside the real tools, with
# a vorlix that only notes how it was started.
mkdir "$tmp/freebsd"
printf '#!/bin/sh\necho FreeBSD\n' >"$tmp/freebsd/uname"
chmod +x "$tmp/freebsd/uname"
fake_repo=$tmp/fake-repo
mkdir -p "$fake_repo/build"
cp -R "$repo_dir/demo" "$fake_repo/demo"
ln -s "$tools_dir" "$fake_repo/tools"
cat >"$fake_repo/build/vorlix" <<'EOF'
#!/bin/sh
printf '%s\n' "$@" >"$VORLIX_STARTED"
EOF
chmod +x "$fake_repo/build/vorlix"
VORLIX_STARTED=$tmp/vorlix-started
export VORLIX_STARTED
bsd="$tmp/bsd sandbox"

begin "on FreeBSD the demo starts vorlix on a plain folder and names pkg packages"
env PATH="$tmp/freebsd:$PATH" DEMO_DIR="$bsd" DEMO_NO_BUILD=1 DISPLAY="${DISPLAY:-:vorlix-test}" \
    "$fake_repo/demo/run-demo.sh" >"$tmp/env" 2>"$tmp/out"
rc=$?
check "exit status 0 (was $rc)" status_is 0
check "says the stick is a plain folder" said 'On FreeBSD the stick is a plain folder'
check "names the packages to install" said 'pkg install cmake qt6-base'
check "names no Debian package" not_said 'Debian'
check "nothing mounted" nothing_mounted "$bsd/mnt"
check "vorlix started on the folder, as msdosfs" \
    test "$(cat "$VORLIX_STARTED" 2>/dev/null)" = "$(printf '%s\n%s\n%s' "$bsd/mnt" "$bsd/da0s1" msdosfs)"
check "the folder holds the sample files" test -f "$bsd/mnt/documents/diary.txt"
end

begin "on FreeBSD --clean removes that sandbox"
env PATH="$tmp/freebsd:$PATH" DEMO_DIR="$bsd" "$fake_repo/demo/run-demo.sh" --clean >"$tmp/out" 2>&1
rc=$?
check "exit status 0 (was $rc)" status_is 0
check "the sandbox is gone" absent "$bsd"
end

finish
