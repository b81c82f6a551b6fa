#!/usr/bin/env bash
# Sets the machine up when needed, builds every preset, then runs every test
# through ctest: host unit tests, fuzz targets (short bounded runs), then for
# the x86 package (the product) its PE checks and its Wine end-to-end tests in
# Wine's WoW64 mode, and the Wine end-to-end tests of the x64 twin.
# Exits non-zero on any failure.
set -uo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh || exit 1
scripts/build.sh || exit 1

status=0
for p in host fuzz x86 x64; do
  echo "== test $p"
  jobs=2
  case "$p" in x86 | x64) jobs=1 ;; esac  # each Wine test boots a prefix of its own
  ctest --preset "$p" -j "$jobs" || status=1
done
[ $status -eq 0 ] && echo "all tests passed" || echo "some tests failed"
exit $status
