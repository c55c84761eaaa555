#!/bin/sh
# Runs the save and walk benchmarks of an earlier revision and of the work
# tree, interleaved, in one run: the way a change's cost is stated.  Wall
# times that include fsync vary from run to run on a virtual disk; the
# processor time beside them shows the library's own work.
#   scripts/bench-compare.sh REVISION [FILTER]
set -e
cd "$(dirname "$0")/.."
revision="$1"
filter="${2:-(AddWithView|DeleteWithView|Walk)/4095}"
before=build/bench-before
rm -rf "$before"
git worktree add --force --detach "$before/src" "$revision" >/dev/null 2>&1
trap 'git worktree remove --force "$before/src"' EXIT
cmake -S "$before/src" -B "$before/build" -DCMAKE_BUILD_TYPE=Release -DOVEL_BUILD_TESTS=OFF >/dev/null
cmake --build "$before/build" --target bench_book >/dev/null
cmake --preset release >/dev/null
cmake --build --preset release --target bench_book >/dev/null
for round in $(seq "${ROUNDS:-3}"); do
  for side in before after; do
    program=build/release/bench_book
    [ $side = before ] && program="$before/build/bench_book"
    "$program" --benchmark_filter="$filter" --benchmark_repetitions=5 --benchmark_min_time=0.2 \
      --benchmark_report_aggregates_only=true 2>/dev/null |
      awk -v side=$side -v round=$round '/_median/ {
        printf "%-6s round %d  %-36s %9.1f us  cpu %9.1f us\n", side, round, $1,
          $2 / ($3 == "ns" ? 1000 : 1), $4 / ($5 == "ns" ? 1000 : 1) }'
  done
done
