#!/bin/sh
# Builds vorlix with warnings as errors and runs the whole test suite.
#   tests/run.sh                       plain build in build/
#   VORLIX_SANITIZE=1 tests/run.sh     AddressSanitizer + UBSan build in build-asan/
# VORLIX_BUILD_DIR overrides the build folder. Installs nothing; the
# packages come from .ci/install-deps.
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
sanitize=${VORLIX_SANITIZE:-0}
if [ "$sanitize" = 1 ]; then
  build=${VORLIX_BUILD_DIR:-$here/build-asan}
  type=Debug
  san=ON
else
  build=${VORLIX_BUILD_DIR:-$here/build}
  type=RelWithDebInfo
  san=OFF
fi

cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE="$type" -DVORLIX_WERROR=ON -DVORLIX_SANITIZE="$san"
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)"

# Nothing is freed at exit by design, so leak reports would be noise.
ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0} \
UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1} \
  ctest --test-dir "$build" --output-on-failure -j 2
