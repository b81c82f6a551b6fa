#!/usr/bin/env bash
# Sets the machine up when needed, builds every preset, then runs every test
# through ctest: host unit tests, fuzz targets (short bounded runs), PE checks
# of the x86 package and the Wine end-to-end tests of the x64 package.
# Exits non-zero on any failure.
set -uo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh || exit 1
scripts/build.sh || exit 1

status=0
for p in host fuzz x86 x64; do
  echo "== test $p"
  jobs=2
  [ "$p" = x64 ] && jobs=1  # each Wine test boots a prefix of its own
  ctest --preset "$p" -j "$jobs" || status=1
done
[ $status -eq 0 ] && echo "all tests passed" || echo "some tests failed"
exit $status
