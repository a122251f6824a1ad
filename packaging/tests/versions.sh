#!/bin/sh
# One version everywhere: project() in CMakeLists.txt defines it, and the
# Debian changelog's newest entry, the FreeBSD port's DISTVERSION and
# vorlix-watch --version follow it.
#
# usage: versions.sh VERSION VORLIX_WATCH SOURCE_DIR
set -u

if [ "$#" -ne 3 ]; then
    echo "usage: $0 VERSION VORLIX_WATCH SOURCE_DIR" >&2
    exit 2
fi
version=$1 watch=$2 src=$3

status=0
same() { # same WHAT VALUE
    if [ "$2" = "$version" ]; then
        echo "ok: $1 is $version"
    else
        echo "FAIL: $1 is '$2', but project() in CMakeLists.txt says $version"
        status=1
    fi
}

# "vorlix (0.1.0-1) unstable; urgency=medium": the upstream part, before
# the Debian revision (and after any epoch).
changelog=$(sed -n '1s/^[^ ]* (\([^)]*\)).*/\1/p' "$src/debian/changelog")
upstream=${changelog#*:}
same "debian/changelog's newest version ($changelog), upstream part" "${upstream%-*}"

same "the port's DISTVERSION" \
    "$(sed -n 's/^DISTVERSION=[[:space:]]*//p' "$src/packaging/freebsd/sysutils/vorlix/Makefile")"

same "vorlix-watch --version" "$("$watch" --version 2>&1 | sed -n 's/^vorlix-watch //p')"

exit "$status"
