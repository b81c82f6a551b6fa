#!/usr/bin/env bash
# Builds every preset: host (unit tests), fuzz (libFuzzer targets), x86 (the
# product, into dist/x86/, and last its setup program dist/zeltapkg-setup.exe,
# made by makensis from it) and x64 (its twin for Wine, into dist/x64/).
#   scripts/build.sh [preset...]
set -euo pipefail
cd "$(dirname "$0")/.."
presets=("$@")
[ ${#presets[@]} -gt 0 ] || presets=(host fuzz x86 x64)
for p in "${presets[@]}"; do
  echo "== build $p"
  cmake --preset "$p" >/dev/null
  cmake --build --preset "$p" -- -k 0
done
