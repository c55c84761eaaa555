#!/bin/sh
# Builds the release tree and runs the benchmarks (medians of 5 runs), then
# prints the tables of bench/README.md: the library's, then addrbook import
# beside abook.
set -e
cd "$(dirname "$0")/.."
cmake --preset release > /dev/null
cmake --build --preset release --target bench_book addrbook
# Repetitions of all benchmarks run in a random interleaved order, so that a
# disk whose speed drifts during the run slows each of them alike.
build/release/bench_book --benchmark_repetitions=5 --benchmark_min_time=0.2 --benchmark_report_aggregates_only=true \
  --benchmark_enable_random_interleaving=true \
  --benchmark_format=json --benchmark_out=build/release/bench.json --benchmark_out_format=json \
  > /dev/null
python3 bench/table.py build/release/bench.json
echo
# The import beside abook's --convert, the three commands in turn (where
# abook is missing, it says so and measures addrbook alone).
python3 bench/import_beside_abook.py build/release/addrbook
