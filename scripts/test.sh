#!/usr/bin/env bash
# Every test: the normal build, the same suite under AddressSanitizer and
# UndefinedBehaviorSanitizer, and a bounded run of each fuzzer.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

echo "== release build and tests"
cmake --preset default >/dev/null
cmake --build --preset default
ctest --preset default

echo "== AddressSanitizer + UndefinedBehaviorSanitizer"
cmake --preset sanitize >/dev/null
cmake --build --preset sanitize
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --preset sanitize

echo "== fuzzers (bounded)"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
ctest --test-dir build/fuzz --output-on-failure -L fuzz
