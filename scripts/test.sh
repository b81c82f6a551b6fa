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
for p in host fuzz; do
  echo "== test $p"
  ctest --preset "$p" -j 2 || status=1
done

# Within a preset the Wine tests run one at a time (each boots a prefix of its
# own and most of its time is Wine waiting); the two presets' tests share
# nothing, so x64 runs beside x86 and its output follows when both are done.
x64_log=$(mktemp)
trap 'rm -f "$x64_log"' EXIT
ctest --preset x64 >"$x64_log" 2>&1 &
x64_pid=$!
echo "== test x86"
ctest --preset x86 || status=1
wait "$x64_pid" || status=1
echo "== test x64"
cat "$x64_log"

[ $status -eq 0 ] && echo "all tests passed" || echo "some tests failed"
exit $status
