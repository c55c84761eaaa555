#!/bin/sh
# Writes frame/platform/sort_weights_1252.inc from the real lstrcmpiA: builds
# the generator with MinGW and runs it under 32-bit Wine in a Western locale.
set -e
cd "$(dirname "$0")/.."
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
i686-w64-mingw32-gcc -O1 -Wall -Wextra -Werror scripts/sort-weights/generate_sort_weights.c \
  -o "$out/generate.exe"
LC_ALL=C.UTF-8 scripts/wine-run "$out/generate.exe" | tr -d '\r' >"$out/table.inc"
mv "$out/table.inc" frame/platform/sort_weights_1252.inc
echo "wrote frame/platform/sort_weights_1252.inc"
