#!/bin/sh
# Builds the libFuzzer targets (preset "fuzz") and runs each for SECONDS
# (default 60) from its committed corpus; new inputs go to a scratch corpus.
# As many targets run at once as the machine has processors, each on one.
# Fails on any crash, leak or model mismatch.
set -e
cd "$(dirname "$0")/.."
seconds="${1:-60}"
cmake --preset fuzz > /dev/null
cmake --build --preset fuzz
jobs=$(nproc 2>/dev/null || echo 1)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# Starts one target in the background; its log and status go to $scratch.
start() {
  target="$1"
  mkdir "$scratch/$target.corpus"
  (
    status=0
    build/fuzz/fuzz_$target "$scratch/$target.corpus" "fuzz/corpus/$target" -dict="fuzz/$target.dict" \
      -max_total_time="$seconds" -max_len=65536 -rss_limit_mb=4096 -timeout=30 \
      -print_final_stats=1 -artifact_prefix="build/fuzz/$target-" > "$scratch/$target.log" 2>&1 ||
      status=$?
    echo $status > "$scratch/$target.status"
  ) &
}

# Reports a target that has finished; false when it found something.
report() {
  target="$1"
  status=$(cat "$scratch/$target.status")
  echo "== fuzz_$target for ${seconds}s"
  if [ "$status" -ne 0 ]; then
    # The finding: the sanitizer's or the target's report, and the input.
    grep -v -E '^#[0-9]+' "$scratch/$target.log" | tail -n 60
    echo "fuzz_$target failed (status $status); the input is in build/fuzz/$target-*"
    return 1
  fi
  tail -n 8 "$scratch/$target.log"
}

failed=0
set -- book_file call_sequence import output
while [ $# -gt 0 ]; do
  batch=""
  while [ $# -gt 0 ] && [ "$(echo $batch | wc -w)" -lt "$jobs" ]; do
    start "$1"
    batch="$batch $1"
    shift
  done
  wait
  for target in $batch; do report "$target" || failed=1; done
done
exit $failed
