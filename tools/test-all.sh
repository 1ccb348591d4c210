#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds from scratch and runs every test:
# warnings as errors, then again under AddressSanitizer + UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
./tools/install-deps.sh
jobs=$(nproc)

echo "== plain build (warnings as errors)"
rm -rf build/ci
cmake --preset ci >/dev/null
cmake --build --preset ci -j "$jobs"
ctest --preset ci -j "$jobs"

echo "== AddressSanitizer + UndefinedBehaviorSanitizer"
rm -rf build/asan
cmake --preset asan >/dev/null
cmake --build --preset asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:strict_string_checks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --preset asan -j "$jobs"

echo "== all tests passed"
