#!/bin/sh
# kelmo: its command line, the status it passes on, and naming the
# processes that keep a busy file system mounted. Nothing here unmounts a
# real file system: the real umount only ever sees folders that are not
# mount points, and the busy cases run against a faked umount.

# shellcheck source=testlib.sh
. "$(dirname -- "$0")/testlib.sh"

kelmo=$tools_dir/kelmo

stdout_empty() {
    [ ! -s "$tmp/stdout" ]
}

# Anything but "umount <dir>" is a usage error, told on stderr only.
# (The table's words are the arguments; "-" stands for none.)
while read -r args; do
    [ "$args" = - ] && args=
    begin "usage error: kelmo $args"
    # shellcheck disable=SC2086
    "$kelmo" $args >"$tmp/stdout" 2>"$tmp/out"
    rc=$?
    check "exit status 64 (was $rc)" status_is 64
    check "usage line on stderr" said 'usage: kelmo umount <dir>'
    check "nothing on stdout" stdout_empty
    end
done <<EOF
-
umount
umount /a /b
mount /mnt
UMOUNT /mnt
unmount /mnt
EOF

begin "usage error: kelmo umount ''"
"$kelmo" umount '' >"$tmp/stdout" 2>"$tmp/out"
rc=$?
check "exit status 64 (was $rc)" status_is 64
check "usage line on stderr" said 'usage: kelmo umount <dir>'
end

# The real umount, on folders where nothing is mounted: it fails, and so
# must kelmo, whatever the folder's name.
mkdir "$tmp/$odd_name"
for target in "$tmp/$odd_name" "$tmp/no such dir"; do
    begin "not a mount point: $target"
    run - "$kelmo" umount "$target"
    check "non-zero exit status" test "$rc" -ne 0
    end
done

# A faked umount and fuser/fstat, to see what kelmo does with each answer.
# The fake umount records the directory it was given and answers as
# FAKE_UMOUNT says.
mkdir "$tmp/fake"
cat >"$tmp/fake/umount" <<'EOF'
#!/bin/sh
printf '%s\n' "$*" >"$FAKE_LOG"
case $FAKE_UMOUNT in
    ok) exit 0 ;;
    busy) echo "umount: $1: target is busy." >&2; exit 32 ;;
    fbsd-busy) echo "umount: unmount of $1 failed: Device busy" >&2; exit 1 ;;
    perm) echo "umount: $1: must be superuser to unmount." >&2; exit 32 ;;
esac
EOF
# Like fuser -vm: the table on stderr, but each process id on stdout in
# the middle of its line; nothing and status 1 when no process can be seen.
cat >"$tmp/fake/fuser" <<'EOF'
#!/bin/sh
[ "$FAKE_HOLDER" = none ] && exit 1
printf '                     USER        PID ACCESS COMMAND\n%s:   alice     ' "$2" >&2
printf ' 4242'
printf ' ..c.. %s\n' "$FAKE_HOLDER" >&2
EOF
cat >"$tmp/fake/fstat" <<'EOF'
#!/bin/sh
echo 'USER     CMD          PID   FD MOUNT      INUM MODE         SZ|DV R/W'
[ "$FAKE_HOLDER" = none ] && exit 0
printf 'alice    %s     4242  cwd %s  2 drwxr-xr-x     512  r\n' "$FAKE_HOLDER" "$2"
EOF
# uname, so the FreeBSD way (fstat) is tried on any system.
cat >"$tmp/fake/uname" <<'EOF'
#!/bin/sh
echo "$FAKE_SYSTEM"
EOF
chmod +x "$tmp/fake/umount" "$tmp/fake/fuser" "$tmp/fake/fstat" "$tmp/fake/uname"
FAKE_LOG=$tmp/umount.log
export FAKE_LOG FAKE_UMOUNT FAKE_HOLDER FAKE_SYSTEM

umount_got() {
    [ "$(cat "$FAKE_LOG")" = "$1" ]
}

mnt="$tmp/$odd_name"
# umount answers   holder        system    status   kelmo must say
while read -r FAKE_UMOUNT FAKE_HOLDER FAKE_SYSTEM status says; do
    [ "$says" = - ] && says=
    begin "$FAKE_SYSTEM: umount $FAKE_UMOUNT, holder $FAKE_HOLDER"
    rm -f "$FAKE_LOG"
    env PATH="$tmp/fake:$PATH" "$kelmo" umount "$mnt" >"$tmp/stdout" 2>"$tmp/out"
    rc=$?
    check "exit status $status, umount's (was $rc)" status_is "$status"
    check "umount given the directory unchanged" umount_got "$mnt"
    if [ -n "$says" ]; then
        check "says: $says" said "$says"
    else
        check "says nothing" test ! -s "$tmp/out"
    fi
    check "nothing on stdout" stdout_empty
    end
done <<EOF
ok          text-editor   Linux     0    -
busy        text-editor   Linux     32   alice      4242 ..c.. text-editor
busy        none          Linux     32   no process using it can be seen
fbsd-busy   text-editor   FreeBSD   1    text-editor
fbsd-busy   none          FreeBSD   1    no process using it can be seen
perm        text-editor   Linux     32   must be superuser
EOF

begin "umount refused for other reasons: no process listing"
FAKE_UMOUNT=perm FAKE_HOLDER=text-editor FAKE_SYSTEM=Linux
env PATH="$tmp/fake:$PATH" "$kelmo" umount "$mnt" >"$tmp/stdout" 2>"$tmp/out"
check "no listing" not_said text-editor
end

# A directory named like an option must reach umount as a path.
begin "directory named like an option"
FAKE_UMOUNT=ok FAKE_SYSTEM=Linux
(cd "$tmp" && env PATH="$tmp/fake:$PATH" "$kelmo" umount -f >"$tmp/stdout" 2>"$tmp/out")
rc=$?
check "exit status 0 (was $rc)" status_is 0
check "umount given ./-f" umount_got ./-f
end

finish
