#!/usr/bin/env bash
# Installs what the build needs, then builds everything twice and runs every
# test in both: with AddressSanitizer and UndefinedBehaviorSanitizer
# (build/asan), and optimised as users run it (build/release-tests), where
# faults show up that only the optimiser exposes. Exits non-zero when either
# suite fails; both always run.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
jobs="$(nproc)"
failed=()

asan=build/asan
cmake -S . -B "$asan" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DPIXBRIDGE_SANITIZE=ON -DPIXBRIDGE_BUILD_BENCH=OFF >/dev/null
cmake --build "$asan" -j "$jobs"
(
  export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:${ASAN_OPTIONS:-}"
  # The system libraries Qt loads keep caches for the life of the process.
  export LSAN_OPTIONS="suppressions=$PWD/cmake/lsan.supp:${LSAN_OPTIONS:-}"
  export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:${UBSAN_OPTIONS:-}"
  ctest --test-dir "$asan" --output-on-failure -j "$jobs"
) || failed+=("sanitizer build")

# A tree of its own: scripts/run.sh builds build/release without the tests.
release=build/release-tests
cmake -S . -B "$release" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPIXBRIDGE_BUILD_BENCH=OFF >/dev/null
cmake --build "$release" -j "$jobs"
ctest --test-dir "$release" --output-on-failure -j "$jobs" || failed+=("optimised build")

if [ "${#failed[@]}" -gt 0 ]; then
  echo "test.sh: tests failed in the ${failed[*]}" >&2
  exit 1
fi
