#!/usr/bin/env bash
# Installs what the program needs, builds the optimised runnable tree and
# starts the program from it. Extra arguments are passed to the program.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
build=build/release
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPIXBRIDGE_BUILD_TESTS=OFF -DPIXBRIDGE_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j "$(nproc)"
exec "$build/app/PixbridgeManager" "$@"
