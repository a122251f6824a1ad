#!/bin/sh
# Lints the manual page with mandoc, which prints each finding and exits
# non-zero at warning level or above. mandoc is looked up when the test
# runs: without it the test exits 77, which CTest counts as skipped.
#   manpage_lint.sh MANPAGE
set -u
command -v mandoc >/dev/null 2>&1 || {
  echo "manpage_lint: skipped: mandoc is not installed"
  exit 77
}
exec mandoc -Tlint -W warning "$1"
