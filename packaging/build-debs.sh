#!/bin/sh
# Builds the Debian packages vorlix and vorlix-companions in a clean copy of
# the tree (its files as git knows them, with the changes not yet
# committed, and no build folder), then checks them with lintian, which
# must report no error and no warning.
#
#   packaging/build-debs.sh [OUTDIR]     (default: build-deb/ in the tree)
#
# Needs dpkg-dev, debhelper, fakeroot, lintian and the build dependencies
# in debian/control (dpkg-checkbuilddeps names what is missing).
set -eu

say() { printf '%s\n' "$*" >&2; }
die() { say "build-debs: $*"; exit 1; }

repo=$(cd -P -- "$(dirname -- "$0")/.." && pwd -P)
out=${1:-$repo/build-deb}
for tool in dpkg-buildpackage dh lintian fakeroot; do
    command -v "$tool" >/dev/null 2>&1 ||
        die "$tool is missing (Debian packages dpkg-dev, debhelper, lintian, fakeroot)"
done

work=$(mktemp -d "${TMPDIR:-/tmp}/vorlix-debs.XXXXXX")
trap 'rm -rf "$work"' EXIT INT TERM
copy=$work/vorlix

# The copy: what git tracks, and new files it does not ignore; where git
# is not at hand, the tree without its build folders.
mkdir "$copy"
if command -v git >/dev/null 2>&1 && git -C "$repo" rev-parse --git-dir >/dev/null 2>&1; then
    (cd "$repo" && git ls-files -z --cached --others --exclude-standard |
        xargs -0 sh -c 'for f; do [ -e "$f" ] || [ -L "$f" ] && printf "%s\0" "$f"; done' sh |
        xargs -0 tar cf -) | (cd "$copy" && tar xf -)
else
    (cd "$repo" && tar cf - --exclude='./build' --exclude='./build-*' --exclude='./.git' .) |
        (cd "$copy" && tar xf -)
fi

# As many compile jobs as processors, unless the caller says otherwise.
if [ -z "${DEB_BUILD_OPTIONS+set}" ]; then
    DEB_BUILD_OPTIONS="parallel=$(nproc 2>/dev/null || echo 2)"
    export DEB_BUILD_OPTIONS
fi
say "==> dpkg-buildpackage -us -uc -b in a clean copy ($copy)"
(cd "$copy" && dpkg-buildpackage -us -uc -b) >"$work/build.log" 2>&1 || {
    tail -n 40 "$work/build.log" >&2
    die "dpkg-buildpackage failed (the end of its log is above)"
}

mkdir -p "$out"
for f in "$work"/*.deb "$work"/*.changes "$work"/*.buildinfo; do
    [ -e "$f" ] && mv -f "$f" "$out/"
done
changes=$(ls "$out"/vorlix_*.changes | tail -n 1)

say "==> lintian $changes"
lintian --fail-on error,warning --display-info "$changes" ||
    die "lintian reports errors or warnings (above)"
say "==> The packages are in $out:"
ls "$out"/*.deb >&2
