#!/usr/bin/env bash
# Builds everything and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh --tests
cmake --preset native
cmake --build --preset native
ctest --preset native
