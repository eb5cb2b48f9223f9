#!/usr/bin/env bash
# Builds the bench preset, then runs the microbenchmarks and the whole-process
# comparison against cp, sha256sum and iconv (see docs/performance.md).
#
#   bench/run_benchmarks.sh [--no-micro] [options of run_benchmarks.py]
set -euo pipefail
cd "$(dirname "$0")/.."

micro=1
if [[ "${1:-}" == "--no-micro" ]]; then
  micro=0
  shift
fi

cmake --preset bench >/dev/null
cmake --build --preset bench >/dev/null

if [[ $micro == 1 ]]; then
  # One process each: in one process they disturb each other's heap and caches.
  bench=build/bench/bench/iniseal_micro_bench
  for name in $("$bench" --benchmark_list_tests); do
    "$bench" --benchmark_filter="^${name}\$" --benchmark_repetitions=5 \
      --benchmark_report_aggregates_only=true --benchmark_min_time=0.2 2>/dev/null | grep median
  done
fi
python3 bench/run_benchmarks.py --tool build/bench/iniseal "$@"
