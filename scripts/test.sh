#!/usr/bin/env bash
# Builds everything and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh --tests
cmake --preset native
cmake --build --preset native
ctest --preset native

# The whole suite again under AddressSanitizer and UndefinedBehaviorSanitizer.
cmake --preset asan
cmake --build --preset asan
ctest --preset asan

# The end-to-end table with the native tool under valgrind's memcheck: any
# invalid access or leak makes the tool exit 99, which fails its case.
INISEAL_RUNNER="valgrind -q --error-exitcode=99 --leak-check=full \
--show-leak-kinds=definite,indirect,possible --errors-for-leak-kinds=definite,indirect,possible" \
  build/native/tests/iniseal_e2e_tests --gtest_filter='Table/*' --gtest_brief=1

# Each fuzz target for a bounded time (INISEAL_FUZZ_SECONDS, default 60).
scripts/fuzz.sh "${INISEAL_FUZZ_SECONDS:-60}"
