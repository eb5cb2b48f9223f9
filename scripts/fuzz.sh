#!/usr/bin/env bash
# Builds the libFuzzer targets and runs each for a bounded time, starting from
# its seed corpus in tests/fuzz/corpus/. What a run finds is kept in build/fuzz/findings/.
#   scripts/fuzz.sh [SECONDS] [TARGET...]    default: 60 seconds, every target
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
shift || true
targets=("$@")
[[ ${#targets[@]} -eq 0 ]] && targets=(read seal convert)

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

findings=build/fuzz/findings
mkdir -p "$findings"
status=0
for t in "${targets[@]}"; do
  # New inputs go to a scratch corpus; the checked-in seeds stay as they are.
  work=$(mktemp -d)
  echo "fuzz_$t: $seconds s"
  if ! build/fuzz/tests/fuzz/fuzz_"$t" -max_total_time="$seconds" -print_final_stats=1 \
    -artifact_prefix="$findings/$t-" "$work" tests/fuzz/corpus/"$t" >"$findings/$t.log" 2>&1; then
    status=1
    grep -a -E 'check failed|ERROR|SUMMARY' "$findings/$t.log" || true
  fi
  grep -a -E 'stat::number_of_executed_units|stat::peak_rss_mb' "$findings/$t.log" | sed "s/^/  /"
  rm -rf "$work"
done
exit $status
