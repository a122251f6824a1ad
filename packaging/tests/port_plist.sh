#!/bin/sh
# The FreeBSD port's pkg-plist against what cmake --install really puts
# under the prefix /usr/local: every file once, the manual pages as the
# ports framework lists them (it compresses them: .gz), the examples under
# %%EXAMPLESDIR%%, the stand-ins,
# which the STANDINS option installs, as %%STANDINS%% lines. A failure
# names the lines that differ.
#
# usage: port_plist.sh CMAKE BUILD_DIR CONFIG PKG_PLIST
set -eu

if [ "$#" -ne 4 ]; then
    echo "usage: $0 CMAKE BUILD_DIR CONFIG PKG_PLIST" >&2
    exit 2
fi
cmake=$1 build=$2 config=$3 plist=$4
prefix=/usr/local

tmp=$(mktemp -d "${TMPDIR:-/tmp}/vorlix-plist.XXXXXX")
trap 'rm -rf "$tmp"' EXIT INT TERM

# installed NAME [ARGS...]: installs into a stage of its own and lists the
# files staged, relative to the stage, one a line, sorted.
installed() {
    _stage=$tmp/stage-$1
    shift
    set -- --install "$build" --prefix "$prefix" "$@"
    [ -n "$config" ] && set -- "$@" --config "$config"
    if ! DESTDIR=$_stage "$cmake" "$@" >"$tmp/log" 2>&1; then
        echo "FAIL: cmake $*"
        sed 's/^/  | /' "$tmp/log"
        exit 1
    fi
    (cd "$_stage" && find . ! -type d) | sed 's|^\./||' | LC_ALL=C sort
}

installed plain >"$tmp/plain"
installed standins --component standins >"$tmp/standins"

# A file outside the prefix is one no plist line can name.
LC_ALL=C sort -u "$tmp/plain" "$tmp/standins" >"$tmp/all"
grep -v "^${prefix#/}/" "$tmp/all" >"$tmp/outside" || :
if [ -s "$tmp/outside" ]; then
    echo "FAIL: cmake --install puts files outside $prefix, where pkg-plist cannot list them:"
    sed 's/^/  /' "$tmp/outside"
    exit 1
fi

# What pkg-plist must hold.
while IFS= read -r path; do
    line=${path#"${prefix#/}/"}
    case $line in
        share/man/man*/*) line=$line.gz ;;
        share/examples/vorlix/*) line=%%EXAMPLESDIR%%/${line#share/examples/vorlix/} ;;
    esac
    if grep -qxF -- "$path" "$tmp/standins"; then
        line=%%STANDINS%%$line
    fi
    printf '%s\n' "$line"
done <"$tmp/all" | LC_ALL=C sort >"$tmp/expected"

# What it holds: comments and blank lines aside.
grep -v -e '^@comment' -e '^[[:space:]]*$' "$plist" | LC_ALL=C sort >"$tmp/listed"

status=0
LC_ALL=C uniq -d "$tmp/listed" >"$tmp/twice"
if [ -s "$tmp/twice" ]; then
    echo "FAIL: pkg-plist lists these lines more than once:"
    sed 's/^/  /' "$tmp/twice"
    status=1
fi
LC_ALL=C sort -u "$tmp/listed" >"$tmp/listed-once"
LC_ALL=C comm -23 "$tmp/expected" "$tmp/listed-once" >"$tmp/missing"
LC_ALL=C comm -13 "$tmp/expected" "$tmp/listed-once" >"$tmp/extra"
if [ -s "$tmp/missing" ]; then
    echo "FAIL: pkg-plist lacks these lines, for files cmake --install puts under $prefix:"
    sed 's/^/  + /' "$tmp/missing"
    status=1
fi
if [ -s "$tmp/extra" ]; then
    echo "FAIL: pkg-plist has these lines, for files cmake --install does not install:"
    sed 's/^/  - /' "$tmp/extra"
    status=1
fi
if [ "$status" -eq 0 ]; then
    echo "ok: pkg-plist lists the $(wc -l <"$tmp/expected" | tr -d ' ') files cmake --install puts under $prefix"
fi
exit "$status"
