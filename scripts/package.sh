#!/usr/bin/env bash
# Builds the optimised tree and the Debian package from it; prints the
# package's path. Install it with: sudo apt install ./<the .deb>
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
build=build/release
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPIXBRIDGE_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j "$(nproc)"
cmake --build "$build" --target package >/dev/null
ls "$build"/quillmarsh-pix-bridge_*.deb
