#!/bin/sh
# Makes the release tarball the FreeBSD port builds from, with git archive,
# and writes the port's distinfo for it, as the ports tree writes one.
#
#   packaging/make-release.sh [-d DISTDIR] [-i DISTINFO] [REF]
#
#   REF       the tag or commit to archive; by default the tag v<version>
#             when it exists, else HEAD (to build the port from this tree)
#   DISTDIR   where the tarball goes (default: build-release/ in the tree;
#             /usr/ports/distfiles lets the port find it without a fetch)
#   DISTINFO  the distinfo to write (default: the port's own)
#
# The version is the one project() gives in REF's CMakeLists.txt; the
# port's DISTVERSION must be the same. The tarball is vorlix-<version>.tar.gz
# holding vorlix-<version>/, and the same commit always gives the same bytes
# (the files' times are the commit's, and gzip stores no name or time).
set -eu

say() { printf '%s\n' "$*" >&2; }
die() { say "make-release: $*"; exit 1; }
usage() { say "usage: $0 [-d DISTDIR] [-i DISTINFO] [REF]"; exit 64; }

here=$(cd -P -- "$(dirname -- "$0")" && pwd -P)
repo=$(dirname -- "$here")
port=$here/freebsd/sysutils/vorlix
distdir=$repo/build-release
distinfo=$port/distinfo
while getopts d:i: opt; do
    case $opt in
        d) distdir=$OPTARG ;;
        i) distinfo=$OPTARG ;;
        *) usage ;;
    esac
done
shift $((OPTIND - 1))
[ "$#" -le 1 ] || usage

command -v git >/dev/null 2>&1 || die "git is not installed"
git -C "$repo" rev-parse --git-dir >/dev/null 2>&1 || die "$repo is not a git checkout"

version_at() {
    git -C "$repo" show "$1:CMakeLists.txt" |
        sed -n 's/^project(vorlix VERSION \([0-9][0-9.]*\).*/\1/p' | sed -n 1p
}

if [ "$#" -eq 1 ]; then
    ref=$1
else
    ref=v$(version_at HEAD)
    if ! git -C "$repo" rev-parse -q --verify "refs/tags/$ref" >/dev/null; then
        say "make-release: there is no tag $ref yet; archiving HEAD"
        ref=HEAD
    fi
fi
commit=$(git -C "$repo" rev-parse -q --verify "$ref^{commit}") || die "$ref names no commit"
version=$(version_at "$commit")
[ -n "$version" ] || die "no project(vorlix VERSION ...) in $ref's CMakeLists.txt"
port_version=$(sed -n 's/^DISTVERSION=[[:space:]]*//p' "$port/Makefile")
[ "$port_version" = "$version" ] ||
    die "the port's DISTVERSION is $port_version, but $ref is version $version"

name=vorlix-$version
file=$name.tar.gz
mkdir -p "$distdir"
tarball=$distdir/$file
# In two steps, so that a failing git archive is not hidden by the pipe.
rm -f "$tarball.tar"
git -C "$repo" archive --format=tar --prefix="$name/" -o "$tarball.tar" "$commit" ||
    die "git archive of $ref failed"
gzip -n -9 <"$tarball.tar" >"$tarball.part" || die "cannot write $tarball"
rm -f "$tarball.tar"
mv "$tarball.part" "$tarball"

if command -v sha256 >/dev/null 2>&1; then
    sum=$(sha256 -q "$tarball")
else
    sum=$(sha256sum "$tarball" | awk '{ print $1 }')
fi
size=$(wc -c <"$tarball" | tr -d ' ')
# The commit's time, not the clock's: the same release, the same file.
stamp=$(git -C "$repo" log -1 --format=%ct "$commit")
printf 'TIMESTAMP = %s\nSHA256 (%s) = %s\nSIZE (%s) = %s\n' \
    "$stamp" "$file" "$sum" "$file" "$size" >"$distinfo"
say "==> $tarball ($ref, $(git -C "$repo" rev-parse --short "$commit"))"
say "==> $distinfo"
