#!/usr/bin/env bash
# Installs what the build needs, builds everything with AddressSanitizer and
# UndefinedBehaviorSanitizer, and runs every test. Exits non-zero on failure.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
build=build/asan
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DPIXBRIDGE_SANITIZE=ON -DPIXBRIDGE_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j "$(nproc)"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:${ASAN_OPTIONS:-}"
# The system libraries Qt loads keep caches for the life of the process.
export LSAN_OPTIONS="suppressions=$PWD/cmake/lsan.supp:${LSAN_OPTIONS:-}"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:${UBSAN_OPTIONS:-}"
ctest --test-dir "$build" --output-on-failure -j "$(nproc)"
