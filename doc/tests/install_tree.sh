#!/bin/sh
# Installs a configured and built tree into a scratch directory and checks
# what lands there. The real prefix is never touched: the prefix is itself a
# scratch path, and DESTDIR stages the files under another scratch path, so
# a destination that ignores either shows up as a misplaced file.
#
# usage: install_tree.sh CMAKE BUILD_DIR CONFIG BINDIR MANDIR STANDINS MANPAGE SYSCONFDIR DATADIR
#   CONFIG    build configuration for multi-config generators (may be empty)
#   BINDIR, MANDIR, SYSCONFDIR, DATADIR  install directories as CMake's GNUInstallDirs has them
#   STANDINS  ON or OFF: whether the kelmo/pernix/draskel stand-ins install
#   MANPAGE   the manual page source the installed copy must equal; the
#             agent's, vorlix-watch.1, lies beside it
set -eu

if [ "$#" -ne 9 ]; then
  echo "usage: $0 CMAKE BUILD_DIR CONFIG BINDIR MANDIR STANDINS MANPAGE SYSCONFDIR DATADIR" >&2
  exit 2
fi
cmake=$1 build=$2 config=$3 bindir=$4 mandir=$5 standins=$6 manpage=$7 sysconfdir=$8 datadir=$9

passed=0
failed=0
ok()   { passed=$((passed + 1)); echo "ok: $1"; }
fail() { failed=$((failed + 1)); echo "FAIL: $1"; }
check() { # check DESCRIPTION COMMAND...
  desc=$1; shift
  if "$@"; then ok "$desc"; else fail "$desc"; fi
}

tmp=$(mktemp -d "${TMPDIR:-/tmp}/vorlix-install.XXXXXX")
trap 'rm -rf "$tmp"' EXIT INT TERM
prefix=$tmp/prefix
stage=$tmp/stage
root=$stage$prefix

# A relative GNUInstallDirs path is under the prefix; an absolute one is not.
under_root() {
  case $1 in
    /*) printf '%s\n' "$stage$1" ;;
    *)  printf '%s\n' "$root/$1" ;;
  esac
}
bin=$(under_root "$bindir")
man1=$(under_root "$mandir")/man1
autostart=$(under_root "$sysconfdir")/xdg/autostart
examples=$(under_root "$datadir")/examples/vorlix

set -- --install "$build" --prefix "$prefix"
[ -n "$config" ] && set -- "$@" --config "$config"
if DESTDIR=$stage "$cmake" "$@" >"$tmp/install.log" 2>&1; then
  ok "cmake --install into a scratch prefix"
else
  fail "cmake --install into a scratch prefix"
  sed 's/^/  | /' "$tmp/install.log"
  echo "$passed passed, $failed failed"
  exit 1
fi

is_exec() { [ -f "$1" ] && [ -x "$1" ]; }
check "$bindir/vorlix is an executable file" is_exec "$bin/vorlix"
check "$mandir/man1/vorlix.1 is the shipped manual page" cmp -s "$manpage" "$man1/vorlix.1"
check "$bindir/vorlix-watch is an executable file" is_exec "$bin/vorlix-watch"
check "$mandir/man1/vorlix-watch.1 is its manual page" \
  cmp -s "$(dirname "$manpage")/vorlix-watch.1" "$man1/vorlix-watch.1"
check "$sysconfdir/xdg/autostart/vorlix-watch.desktop starts it with each session" \
  grep -qx 'Exec=vorlix-watch' "$autostart/vorlix-watch.desktop"
docdir=$(dirname "$manpage")
check "$datadir/examples/vorlix/automount-hook is the devd hook, executable" \
  sh -c 'cmp -s "$1" "$2" && [ -x "$2" ]' sh "$docdir/examples/automount-hook" "$examples/automount-hook"
check "$datadir/examples/vorlix/vorlix-automount.conf is its devd rule" \
  cmp -s "$docdir/examples/vorlix-automount.conf" "$examples/vorlix-automount.conf"

# The installed binary must start on its own (libraries and plugins found
# from the installed location): without arguments it prints usage and
# exits 64, whatever the display.
if is_exec "$bin/vorlix"; then
  rc=0
  QT_QPA_PLATFORM=offscreen "$bin/vorlix" >"$tmp/out" 2>"$tmp/err" </dev/null || rc=$?
  if [ "$rc" -eq 64 ] && grep -q "^Usage: .*vorlix /mount/point device fs-type\$" "$tmp/err"; then
    ok "installed vorlix runs and prints usage with exit 64"
  else
    fail "installed vorlix runs and prints usage with exit 64 (exit $rc)"
    sed 's/^/  | /' "$tmp/err"
  fi
fi

for tool in kelmo pernix draskel; do
  case $standins in
    ON)  check "stand-in $bindir/$tool installed (VORLIX_INSTALL_STANDINS=ON)" is_exec "$bin/$tool" ;;
    *)   check "no $bindir/$tool installed (VORLIX_INSTALL_STANDINS=OFF)" test ! -e "$bin/$tool" ;;
  esac
done

# Everything must land under DESTDIR + prefix.
find "$stage" ! -type d ! -path "$root/*" >"$tmp/stray"
find "$prefix" ! -type d >>"$tmp/stray" 2>/dev/null || true
if [ -s "$tmp/stray" ]; then
  fail "every installed file is under DESTDIR and the prefix"
  sed 's/^/  stray: /' "$tmp/stray"
else
  ok "every installed file is under DESTDIR and the prefix"
fi

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
