#!/bin/sh
# Runs every test: native with sanitizers (debug), native optimised
# (release, with valgrind and a Python caller), Windows 32-bit and 64-bit
# cross builds under Wine, each fuzz target for a minute, and the
# formatting check.
set -e
cd "$(dirname "$0")/.."
export WINEDEBUG=-all
# Wine keeps its prefix under $HOME; without one, use a prefix of our own.
if [ -z "${WINEPREFIX:-}" ] && [ -z "${HOME:-}" ]; then
  export WINEPREFIX=/tmp/ovel-wine-prefix
fi

# Wine stays up while the tests run: a program that waits on a pipe keeps
# the wineserver and Wine's own services alive, so each test program starts
# in a fraction of a second instead of waiting for them to start and stop.
pipes=$(mktemp -d)
stop_wine() {
  exec 9>&- 2>/dev/null || true
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
  rm -rf "$pipes"
}
trap stop_wine EXIT
if [ -x /usr/lib/wine/wine64 ]; then
  mkfifo "$pipes/keep"
  /usr/lib/wine/wine64 cmd <"$pipes/keep" >/dev/null 2>&1 &
  exec 9>"$pipes/keep"
fi

for preset in debug release windows windows64; do
  echo "== $preset"
  start=$(date +%s)
  cmake --workflow --preset "$preset"
  echo "== $preset: $(($(date +%s) - start)) s"
done
echo "== fuzzing"
scripts/fuzz.sh "${OVEL_FUZZ_SECONDS:-60}"
echo "== clang-format"
scripts/check-format.sh
