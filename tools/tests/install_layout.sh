#!/bin/sh
# Installed stand-ins must find their shared code: in the default layout,
# with other install folders, installed under another prefix than the one
# configured, and when started through a symlink. VORLIX_INSTALL_STANDINS
# decides whether a plain install includes them.
#
# usage: install_layout.sh [cmake]   (ctest passes the cmake it runs with)

# shellcheck source=testlib.sh
. "$(dirname -- "$0")/testlib.sh"

cmake=${1:-cmake}
if ! command -v "$cmake" >/dev/null 2>&1; then
    skip "install layouts" "no cmake"
    finish
fi

# A small project around tools/ alone, so this needs neither Qt nor the rest
# of the build.
mkdir "$tmp/project"
cat >"$tmp/project/CMakeLists.txt" <<EOF
cmake_minimum_required(VERSION 3.16)
project(standins_install NONE)
# No language is enabled, so GNUInstallDirs cannot work out the libdir.
set(CMAKE_INSTALL_LIBDIR lib)
include(GNUInstallDirs)
add_subdirectory("$tools_dir" tools)
EOF

random_file "$tmp/img" 5000
disk_file() {
    pattern_file "$tmp/disk" 65536
}

# install_tree NAME OPTION INSTALL-ARGS CMAKE-ARGS...: configures a build of
# the project and installs it into "$tmp/NAME prefix".
install_tree() {
    _name=$1 _option=$2 _install_args=$3
    shift 3
    prefix="$tmp/$_name prefix"
    "$cmake" -S "$tmp/project" -B "$tmp/build-$_name" \
        -DVORLIX_INSTALL_STANDINS="$_option" "$@" >"$tmp/out" 2>&1 || return 1
    # shellcheck disable=SC2086 # the install arguments are words
    "$cmake" --install "$tmp/build-$_name" --prefix "$prefix" \
        $_install_args >>"$tmp/out" 2>&1
}

pernix_works() {
    rm -f "$tmp/marker"
    disk_file
    printf 'yes\n' | "$1" --success-file "$tmp/marker" "$tmp/img" "$tmp/disk" \
        >"$tmp/out" 2>&1 && [ -f "$tmp/marker" ] &&
        head -c 5000 "$tmp/disk" | cmp -s - "$tmp/img"
}

# The refusal comes from the shared code, so it shows that it was found.
draskel_works() {
    rm -f "$tmp/marker"
    disk_file
    printf 'no\n' | "$1" --temp-file "$tmp/marker" "$tmp/disk" ntfs >"$tmp/out" 2>&1
    [ $? -eq 1 ] && said 'unknown file system type'
}

kelmo_works() {
    "$1" >"$tmp/out" 2>&1
    [ $? -eq 64 ] && said 'usage: kelmo'
}

# name      option  bindir  install folders (cmake arguments)
while read -r name option bindir dirs; do
    [ "$dirs" = - ] && dirs=
    begin "installed layout: $name"
    # shellcheck disable=SC2086 # the table's words are the arguments
    check "configures and installs" install_tree "$name" "$option" '' $dirs
    check "installed pernix works" pernix_works "$prefix/$bindir/pernix"
    check "installed draskel finds its shared code" draskel_works "$prefix/$bindir/draskel"
    check "installed kelmo runs" kelmo_works "$prefix/$bindir/kelmo"
    mkdir -p "$tmp/elsewhere-$name"
    ln -s "$prefix/$bindir/pernix" "$tmp/elsewhere-$name/pernix"
    check "pernix works through a symlink" pernix_works "$tmp/elsewhere-$name/pernix"
    end
done <<EOF
default     ON    bin     -
custom      ON    sbin    -DCMAKE_INSTALL_BINDIR=sbin -DCMAKE_INSTALL_LIBEXECDIR=lib/helpers
EOF

is_absent() {
    absent "$prefix/bin/pernix" && absent "$prefix/bin/kelmo"
}

begin "option off: left out of a plain install, installable as a component"
check "plain install" install_tree off OFF ''
check "no stand-ins installed" is_absent
check "component install" install_tree off OFF '--component standins'
check "component's pernix works" pernix_works "$prefix/bin/pernix"
end

# Without its shared code a tool must say so, not run half-equipped.
begin "pernix without its shared code"
mkdir "$tmp/alone"
cp "$tools_dir/pernix" "$tmp/alone/pernix"
run - "$tmp/alone/pernix" --success-file "$tmp/marker" "$tmp/img" "$tmp/disk"
check "exit status 70 (was $rc)" status_is 70
check "says it cannot find standin-common.sh" said 'cannot find standin-common.sh'
end

finish
