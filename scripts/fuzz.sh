#!/bin/sh
# Builds the libFuzzer targets (preset "fuzz") and runs each for SECONDS
# (default 60) from its committed corpus; new inputs go to a scratch corpus.
# Fails on any crash, leak or model mismatch.
set -e
cd "$(dirname "$0")/.."
seconds="${1:-60}"
cmake --preset fuzz > /dev/null
cmake --build --preset fuzz
for target in book_file call_sequence import output; do
  work=$(mktemp -d)
  echo "== fuzz_$target for ${seconds}s"
  status=0
  build/fuzz/fuzz_$target "$work" "fuzz/corpus/$target" -dict="fuzz/$target.dict" \
    -max_total_time="$seconds" -max_len=65536 -rss_limit_mb=4096 -timeout=30 \
    -print_final_stats=1 -artifact_prefix="build/fuzz/$target-" > "$work.log" 2>&1 || status=$?
  if [ $status -ne 0 ]; then
    # The finding: the sanitizer's or the target's report, and the input.
    grep -v -E '^#[0-9]+' "$work.log" | tail -n 60
    echo "fuzz_$target failed (status $status); the input is in build/fuzz/$target-*"
  else
    tail -n 8 "$work.log"
  fi
  rm -rf "$work" "$work.log"
  [ $status -eq 0 ] || exit $status
done
