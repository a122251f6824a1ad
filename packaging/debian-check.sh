#!/bin/sh
# Installs the Debian packages that build-debs.sh made, with apt-get as a
# user would, checks the installed programs, then purges the packages and
# checks that nothing of them is left. As root: it changes the system's
# packages, so it refuses to run where vorlix is installed already.
#
#   packaging/debian-check.sh [DEBDIR]     (default: build-deb/ in the tree)
set -u

repo=$(cd -P -- "$(dirname -- "$0")/.." && pwd -P)
debs=${1:-$repo/build-deb}
debs=$(cd -P -- "$debs" && pwd -P) || exit 1

die() { printf 'debian-check: %s\n' "$*" >&2; exit 1; }
[ "$(id -u)" -eq 0 ] || die "needs root: it installs and purges packages"
vorlix_deb=$(ls "$debs"/vorlix_*.deb 2>/dev/null | tail -n 1)
companions_deb=$(ls "$debs"/vorlix-companions_*.deb 2>/dev/null | tail -n 1)
[ -n "$vorlix_deb" ] && [ -n "$companions_deb" ] || die "no vorlix and vorlix-companions packages in $debs"
installed() {
    dpkg-query -W -f='${db:Status-Abbrev}' "$1" 2>/dev/null | grep -q '^[ih]i'
}
for p in vorlix vorlix-companions; do
    installed "$p" && die "$p is installed already; this check would purge it"
done

tmp=$(mktemp -d "${TMPDIR:-/tmp}/vorlix-debcheck.XXXXXX")
passed=0
failed=0
check() { # check WHAT COMMAND...
    _what=$1
    shift
    if "$@"; then
        passed=$((passed + 1))
        echo "ok: $_what"
    else
        failed=$((failed + 1))
        echo "FAIL: $_what"
        [ -s "$tmp/out" ] && sed 's/^/  | /' "$tmp/out"
    fi
    : >"$tmp/out"
}

purge() {
    env DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq vorlix vorlix-companions >"$tmp/purge.log" 2>&1
}
cleanup() {
    installed vorlix || installed vorlix-companions && purge
    rm -rf "$tmp"
}
trap cleanup EXIT
trap 'exit 130' INT HUP TERM

: >"$tmp/out"
check "apt-get install $(basename "$vorlix_deb") $(basename "$companions_deb")" \
    sh -c 'DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$1" "$2" >"$3" 2>&1' \
    sh "$vorlix_deb" "$companions_deb" "$tmp/out"
# What purging must take away again.
dpkg -L vorlix vorlix-companions >"$tmp/files" 2>/dev/null

# runs STATUS COMMAND...: COMMAND ends with STATUS; its output in $tmp/out.
runs() {
    _want=$1
    shift
    "$@" </dev/null >"$tmp/out" 2>&1
    _rc=$?
    [ "$_rc" -eq "$_want" ] || { echo "(exit status $_rc)" >>"$tmp/out"; return 1; }
}
said() {
    grep -q -- "$1" "$tmp/out"
}
one_line() {
    [ "$(wc -l <"$tmp/out")" -eq 1 ]
}

# With a display: the X server of xvfb-run where there is one, else the
# toolkit's offscreen platform.
if command -v xvfb-run >/dev/null 2>&1; then
    with_display() { env -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM xvfb-run -a "$@"; }
else
    with_display() { env QT_QPA_PLATFORM=offscreen "$@"; }
fi
check "vorlix without arguments prints its usage line and exits 64" \
    eval 'runs 64 with_display vorlix && said "^Usage: vorlix /mount/point device fs-type\$"'
check "vorlix without a display says why on one line and exits 78" \
    eval 'runs 78 env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM vorlix && one_line &&
          said "^vorlix: cannot open a display"'
version=$(dpkg-query -W -f='${Version}' vorlix)
check "vorlix-watch --version answers vorlix-watch ${version%-*}" \
    eval 'runs 0 vorlix-watch --version && said "^vorlix-watch ${version%-*}\$"'
for page in vorlix vorlix-watch kelmo draskel pernix; do
    check "man $page opens" eval "runs 0 env MANPAGER=cat man $page && said '$page'"
done
check "desktop-file-validate accepts the autostart file" \
    runs 0 desktop-file-validate /etc/xdg/autostart/vorlix-watch.desktop
for tool in kelmo draskel pernix; do
    check "$tool is on PATH, in /usr/bin" eval "[ \"\$(command -v $tool)\" = /usr/bin/$tool ]"
done
# The usage line of draskel and pernix comes from their shared code, so it
# shows that they find it where the package put it.
check "kelmo runs: its usage line, 64" eval 'runs 64 kelmo && said "usage: kelmo umount"'
check "draskel runs and finds its shared code: its usage line, 64" eval 'runs 64 draskel && said "usage: draskel"'
check "pernix runs and finds its shared code: its usage line, 64" eval 'runs 64 pernix && said "usage: pernix"'

check "apt-get purge vorlix vorlix-companions" eval 'purge || { cat "$tmp/purge.log" >"$tmp/out"; false; }'
check "no package left, not even its configuration" \
    eval '! installed vorlix && ! installed vorlix-companions &&
          ! dpkg-query -W -f="\${db:Status-Abbrev}\n" vorlix vorlix-companions 2>/dev/null | grep -q "^.c"'
left_behind() {
    while IFS= read -r path; do
        case $path in
            /. | '') continue ;;
        esac
        if [ -d "$path" ] && [ ! -L "$path" ]; then
            # Folders of their own go too; shared ones (/usr/bin) stay.
            case $path in
                *vorlix*) echo "$path" ;;
            esac
        elif [ -e "$path" ] || [ -L "$path" ]; then
            echo "$path"
        fi
    done <"$tmp/files" >"$tmp/out"
    [ ! -s "$tmp/out" ]
}
check "purging leaves nothing of them behind" left_behind

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
