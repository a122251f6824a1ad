#!/bin/sh
# packaging/make-release.sh: the tarball of a commit holds the tree under
# vorlix-<version>/, the same commit gives the same bytes, and the distinfo
# written for it carries its true SHA256 and SIZE in the ports tree's form.
#
# usage: release_tarball.sh SOURCE_DIR VERSION
set -u

if [ "$#" -ne 2 ]; then
    echo "usage: $0 SOURCE_DIR VERSION" >&2
    exit 2
fi
src=$1 version=$2

if ! command -v git >/dev/null 2>&1 || ! git -C "$src" rev-parse --git-dir >/dev/null 2>&1; then
    echo "skipped: needs git and a git checkout of the tree"
    exit 77
fi

tmp=$(mktemp -d "${TMPDIR:-/tmp}/vorlix-release.XXXXXX")
trap 'rm -rf "$tmp"' EXIT INT TERM

status=0
check() { # check WHAT COMMAND...
    _what=$1
    shift
    if "$@"; then echo "ok: $_what"; else echo "FAIL: $_what"; status=1; fi
}

name=vorlix-$version
make_release() { # make_release DIR
    sh "$src/packaging/make-release.sh" -d "$tmp/$1" -i "$tmp/$1/distinfo" HEAD >"$tmp/$1.log" 2>&1
}

if ! make_release one || ! make_release two; then
    echo "FAIL: make-release.sh HEAD"
    sed 's/^/  | /' "$tmp/one.log" "$tmp/two.log" 2>/dev/null
    exit 1
fi
tarball=$tmp/one/$name.tar.gz
check "it makes $name.tar.gz" test -s "$tarball"
check "the same commit gives the same bytes" cmp -s "$tarball" "$tmp/two/$name.tar.gz"

tar tzf "$tarball" >"$tmp/list" 2>/dev/null
check "every entry lies under $name/" sh -c '! grep -v "^$1/" "$2" >/dev/null' sh "$name" "$tmp/list"
check "it holds the tree, CMakeLists.txt at its top" grep -qx "$name/CMakeLists.txt" "$tmp/list"

if command -v sha256 >/dev/null 2>&1; then
    sum=$(sha256 -q "$tarball")
else
    sum=$(sha256sum "$tarball" | awk '{ print $1 }')
fi
size=$(wc -c <"$tarball" | tr -d ' ')
stamp=$(git -C "$src" log -1 --format=%ct HEAD)
printf 'TIMESTAMP = %s\nSHA256 (%s) = %s\nSIZE (%s) = %s\n' "$stamp" "$name.tar.gz" "$sum" "$name.tar.gz" "$size" \
    >"$tmp/expected"
check "distinfo: TIMESTAMP, SHA256 and SIZE of that very file" cmp -s "$tmp/expected" "$tmp/one/distinfo"
[ "$status" -eq 0 ] || { echo "distinfo was:"; sed 's/^/  | /' "$tmp/one/distinfo"; }
exit "$status"
