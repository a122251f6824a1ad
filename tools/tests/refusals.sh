#!/bin/sh
# What pernix and draskel refuse, and what a declined confirmation does:
# every such run must leave the disk as it was, make no marker, say why and
# wait for Enter.

# shellcheck source=testlib.sh
. "$(dirname -- "$0")/testlib.sh"

fx=$tmp/$odd_name
mkdir -p "$fx" "$fx/dir"
mkfifo "$fx/fifo"
: >"$fx/empty"
random_file "$fx/img" 65536
pattern_file "$fx/disk" 1048576
disk_sum=$(sum "$fx/disk")
random_file "$fx/big" 1048577
marker=$fx/vorl.marker

path_of() {
    case $1 in
        /*) printf '%s\n' "$1" ;;
        *) printf '%s\n' "$fx/$1" ;;
    esac
}

# run_refused ANSWER STATUS SAYS COMMAND...: one refused or cancelled run.
run_refused() {
    _answer=$1 _status=$2 _says=$3
    shift 3
    rm -f "$marker"
    pattern_file "$fx/disk" 1048576
    run "$_answer" "$@"
    check "exit status $_status (was $rc)" status_is "$_status"
    check "no marker" absent "$marker"
    check "disk untouched" same_sum "$fx/disk" "$disk_sum"
    check "says: $_says" said "$_says"
    check "waits for Enter" said 'Press Enter'
}

# The third column is the image for pernix and the file system type for
# draskel; fixtures: img (good image), disk (good disk), dir, fifo, empty,
# big (one byte more than the disk), missing. An answer of - is no answer
# at all (EOF).
# tool     answer  image/type  disk        status  says
while read -r tool answer what target status says; do
    begin "$tool refuses: $what / $target / answer $answer"
    if [ "$tool" = pernix ]; then
        run_refused "$answer" "$status" "$says" "$tools_dir/pernix" \
            --success-file "$marker" "$(path_of "$what")" "$(path_of "$target")"
    else
        run_refused "$answer" "$status" "$says" "$tools_dir/draskel" \
            --temp-file "$marker" "$(path_of "$target")" "$what"
    fi
    end
done <<EOF
pernix     yes     missing     disk        1       does not exist
pernix     yes     dir         disk        1       is a directory
pernix     yes     fifo        disk        1       is not a regular file
pernix     yes     empty       disk        1       is empty
pernix     yes     big         disk        1       is larger than
pernix     yes     img         missing     1       does not exist
pernix     yes     img         dir         1       is a directory
pernix     yes     img         fifo        1       neither a block device nor a regular file
pernix     yes     img         /dev/null   1       not a disk
pernix     no      img         disk        2       cancelled
pernix     -       img         disk        2       cancelled
pernix     YES     img         disk        2       cancelled
pernix     y       img         disk        2       cancelled
draskel    yes     ntfs        disk        1       unknown file system type
draskel    yes     EXT4        disk        1       unknown file system type
draskel    yes     ext4        missing     1       does not exist
draskel    yes     ext4        dir         1       is a directory
draskel    yes     ext4        fifo        1       neither a block device nor a regular file
draskel    yes     exfat       /dev/null   1       not a disk
draskel    no      ext4        disk        2       cancelled
draskel    -       exfat       disk        2       cancelled
EOF

# The marker decides success for vorlix, so one that is already there must
# stop the run before the disk is touched.
for tool in pernix draskel; do
    begin "$tool refuses a marker that already exists"
    rm -f "$marker"
    echo stale >"$marker"
    pattern_file "$fx/disk" 1048576
    if [ "$tool" = pernix ]; then
        run yes "$tools_dir/pernix" --success-file "$marker" "$fx/img" "$fx/disk"
    else
        run yes "$tools_dir/draskel" --temp-file "$marker" "$fx/disk" ext4
    fi
    check "exit status 1 (was $rc)" status_is 1
    check "disk untouched" same_sum "$fx/disk" "$disk_sum"
    check "says: already exists" said 'already exists'
    end
done

# Wrong command lines get the usage line and status 64.
while read -r tool args; do
    begin "usage: $tool $args"
    rm -f "$marker"
    pattern_file "$fx/disk" 1048576
    # shellcheck disable=SC2086 # the table's words are the arguments
    run yes "$tools_dir/$tool" $args
    check "exit status 64 (was $rc)" status_is 64
    check "prints the usage line" said "usage: $tool"
    check "disk untouched" same_sum "$fx/disk" "$disk_sum"
    end
done <<EOF
pernix
pernix     --success-file
pernix     --success-file /nonexistent/m /nonexistent/img
pernix     --temp-file /nonexistent/m /nonexistent/img /nonexistent/disk
pernix     --success-file /nonexistent/m /nonexistent/img /nonexistent/disk extra
draskel
draskel    --temp-file /nonexistent/m /nonexistent/disk
draskel    --success-file /nonexistent/m /nonexistent/disk ext4
EOF

finish
