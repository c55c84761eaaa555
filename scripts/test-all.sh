#!/bin/sh
# Runs every test: native with sanitizers (debug), native optimised
# (release), Windows 32-bit and 64-bit cross builds under Wine, and the
# formatting check.
set -e
cd "$(dirname "$0")/.."
export WINEDEBUG=-all
for preset in debug release windows windows64; do
  echo "== $preset"
  cmake --workflow --preset "$preset"
done
echo "== clang-format"
scripts/check-format.sh
wineserver -w 2>/dev/null || true
