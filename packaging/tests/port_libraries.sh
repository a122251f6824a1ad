#!/bin/sh
# Every library the build links into the installed programs on FreeBSD is
# named in the port's Makefile: the toolkit's modules by a USE_QT
# component, any other library by a LIB_DEPENDS line, or, when the base
# system has it, on the Makefile's line of base libraries ("... need no
# dependency line: libgeom libprocstat"), which must name no library the
# build no longer links. The link lines are CMake's own, from the project
# configured for FreeBSD (on another system, with this system's toolkit
# standing in for FreeBSD's).
#
# usage: port_libraries.sh CMAKE SOURCE_DIR CXX LIBRARY_ARCHITECTURE QT6_DIR MAKEFILE
set -eu

if [ "$#" -ne 6 ]; then
    echo "usage: $0 CMAKE SOURCE_DIR CXX LIBRARY_ARCHITECTURE QT6_DIR MAKEFILE" >&2
    exit 2
fi
cmake=$1 src=$2 cxx=$3 arch=$4 qt6_dir=$5 makefile=$6

tmp=$(mktemp -d "${TMPDIR:-/tmp}/vorlix-portlibs.XXXXXX")
trap 'rm -rf "$tmp"' EXIT INT TERM

set -- -S "$src" -B "$tmp/build" -G "Unix Makefiles" -DBUILD_TESTING=OFF \
    -DCMAKE_CXX_COMPILER="$cxx" -DQt6_DIR="$qt6_dir"
if [ "$(uname -s)" != FreeBSD ]; then
    set -- "$@" -DCMAKE_SYSTEM_NAME=FreeBSD
    [ -n "$arch" ] && set -- "$@" -DCMAKE_LIBRARY_ARCHITECTURE="$arch"
fi
if ! "$cmake" "$@" >"$tmp/configure.log" 2>&1; then
    echo "FAIL: the project does not configure for FreeBSD:"
    sed 's/^/  | /' "$tmp/configure.log"
    exit 1
fi

# The programs installed: each install rule's executables, and the link
# line CMake wrote for each.
find "$tmp/build" -name cmake_install.cmake -exec sed -n \
    's/.*TYPE EXECUTABLE FILES "\([^"]*\)".*/\1/p' {} + | LC_ALL=C sort -u >"$tmp/programs"
if [ ! -s "$tmp/programs" ]; then
    echo "FAIL: no installed program found in the install rules"
    exit 1
fi

: >"$tmp/qt"
: >"$tmp/system"
while IFS= read -r program; do
    link=$(dirname -- "$program")/CMakeFiles/$(basename -- "$program").dir/link.txt
    if [ ! -f "$link" ]; then
        echo "FAIL: no link line for $(basename -- "$program") ($link)"
        exit 1
    fi
    # The words of the line, not file names to expand.
    set -f
    # shellcheck disable=SC2013 # words, not lines
    for word in $(cat "$link"); do
        case $word in
            -l*) echo "lib${word#-l}" >>"$tmp/system" ;;
            */libQt6*.so*)
                module=${word##*/libQt6}
                echo "${module%%.so*}" >>"$tmp/qt" ;;
            # The toolkit's own: Qt6::Gui brings the OpenGL dispatch
            # libraries with it, and qt6-base depends on them.
            */libGL.so* | */libGLX.so* | */libOpenGL.so* | */libEGL.so*) ;;
            /*.so | /*.so.*)
                base=${word##*/}
                echo "${base%%.so*}" >>"$tmp/system" ;;
        esac
    done
    set +f
done <"$tmp/programs"
LC_ALL=C sort -u -o "$tmp/qt" "$tmp/qt"
LC_ALL=C sort -u -o "$tmp/system" "$tmp/system"

# The Makefile's lines, continuation lines joined.
sed -e ':a' -e '/\\$/N; s/\\\n//; ta' "$makefile" >"$tmp/makefile"
use_qt=$(sed -n 's/^USE_QT[+?]*=[[:space:]]*//p' "$tmp/makefile" | tr '\n' ' ')
lib_depends=$(sed -n 's/^LIB_DEPENDS[+?]*=[[:space:]]*//p' "$tmp/makefile" | tr '\n' ' ')
base_libs=$(sed -n 's/.*need no dependency line:[[:space:]]*//p' "$tmp/makefile" | tr '\n' ' ')

has_qt() { # has_qt COMPONENT: USE_QT names it, for building or for both
    for _c in $use_qt; do
        case $_c in
            "$1" | "$1":build) return 0 ;;
        esac
    done
    return 1
}

status=0
fail() { echo "FAIL: $*"; status=1; }

# The modules of qt6-base; any other one is a component of its own.
while IFS= read -r module; do
    case $module in
        Core | Gui | Widgets | DBus | Network | OpenGL | OpenGLWidgets | Concurrent | Sql | \
            Test | Xml | PrintSupport) component=base ;;
        *) component=$(echo "$module" | tr '[:upper:]' '[:lower:]') ;;
    esac
    has_qt "$component" ||
        fail "the programs link Qt6$module, but USE_QT ($use_qt) has no $component"
done <"$tmp/qt"

# lrelease and lupdate come with qt6-tools.
if grep -q '^Qt6LinguistTools_DIR:PATH=/' "$tmp/build/CMakeCache.txt"; then
    has_qt tools || fail "the build runs Qt's LinguistTools, but USE_QT ($use_qt) has no tools:build"
fi

while IFS= read -r lib; do
    case " $base_libs " in
        *" $lib "*) continue ;;
    esac
    case " $lib_depends" in
        *" $lib.so:"* | *" $lib.so."*) continue ;;
    esac
    fail "the programs link $lib, which the Makefile names neither in LIB_DEPENDS ($lib.so:<origin>) nor on its line of base libraries ($base_libs)"
done <"$tmp/system"

for lib in $base_libs; do
    grep -qxF -- "$lib" "$tmp/system" ||
        fail "the Makefile names $lib among the base libraries linked, but no installed program links it"
done

if [ "$status" -eq 0 ]; then
    echo "ok: the Makefile names every library linked into $(tr '\n' ' ' <"$tmp/programs" | sed "s|$tmp/build/||g")"
    echo "    Qt6: $(tr '\n' ' ' <"$tmp/qt"); other: $(tr '\n' ' ' <"$tmp/system")"
fi
exit "$status"
