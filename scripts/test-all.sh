#!/bin/sh
# Runs every test: native with sanitizers (debug), native optimised
# (release, with valgrind and a Python caller), Windows 32-bit and 64-bit
# cross builds under Wine, each fuzz target for a minute, and the
# formatting check.
set -e
cd "$(dirname "$0")/.."
export WINEDEBUG=-all
for preset in debug release windows windows64; do
  echo "== $preset"
  cmake --workflow --preset "$preset"
done
echo "== fuzzing"
scripts/fuzz.sh "${OVEL_FUZZ_SECONDS:-60}"
echo "== clang-format"
scripts/check-format.sh
wineserver -w 2>/dev/null || true
