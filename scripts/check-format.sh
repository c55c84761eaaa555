#!/bin/sh
# Fails when a source file differs from what clang-format makes of it.
# Files are checked as many at once as the machine has processors.
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 1)
if git ls-files -z '*.h' '*.cpp' '*.c' | xargs -0 -n 8 -P "$jobs" sh -c '
  status=0
  for file in "$@"; do
    if ! clang-format --dry-run --Werror "$file" 2>/dev/null; then
      echo "not formatted: $file"
      status=1
    fi
  done
  exit $status' check-format; then
  echo "formatting: all files clean"
else
  exit 1
fi
