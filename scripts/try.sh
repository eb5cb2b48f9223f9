#!/usr/bin/env bash
# Builds the tool and seals a copy of the shipped example pair beside it.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset native >/dev/null
cmake --build --preset native --target iniseal

demo=build/example
rm -rf "$demo" && mkdir -p "$demo"
cp build/native/iniseal examples/hostcfg.ini examples/hostcfgu.ini "$demo/"
echo "--- before: $demo/hostcfgu.ini"
cat "$demo/hostcfgu.ini"
echo "--- running $demo/iniseal (no arguments: seals the pair beside it)"
"$demo/iniseal"
echo "--- after: $demo/hostcfgu.ini"
cat "$demo/hostcfgu.ini"
echo "--- check mode: $demo/iniseal /S hostcfgu.ini"
"$demo/iniseal" /S hostcfgu.ini
echo "--- verify mode: $demo/iniseal /V (exit code 0: both seals match)"
"$demo/iniseal" /V
