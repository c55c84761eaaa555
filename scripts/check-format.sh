#!/bin/sh
# Fails when a source file differs from what clang-format makes of it.
cd "$(dirname "$0")/.."
status=0
for file in $(git ls-files '*.h' '*.cpp' '*.c'); do
  if ! clang-format --dry-run --Werror "$file" 2>/dev/null; then
    echo "not formatted: $file"
    status=1
  fi
done
[ $status -eq 0 ] && echo "formatting: all files clean"
exit $status
