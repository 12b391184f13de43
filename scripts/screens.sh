#!/usr/bin/env bash
# Renders the program's windows into OUTDIR as PNG files, for review by eye
# and for the README: the main window with its title bar, the title bar's menu
# and every dialog, in English and Japanese at scales 1 and 1.5, and the
# converter window as a user's first conversion shows it (entry view, content
# view with thumbnails, the finished progress dialog), under a
# virtual X server. Usage: scripts/screens.sh OUTDIR
set -euo pipefail
[ $# -eq 1 ] || { echo "usage: $0 OUTDIR" >&2; exit 2; }
out="$(mkdir -p "$1" && cd "$1" && pwd)"
cd "$(dirname "$0")/.."
scripts/install-deps.sh
build=build/release
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPIXBRIDGE_BUILD_TESTS=OFF -DPIXBRIDGE_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j "$(nproc)"
for language in 3 8; do        # English, Japanese
  for scale in 1 1.5; do
    xvfb-run -a -s "-screen 0 1920x1080x24 -noreset" \
      "$build/host/tools/render_screens" "$build/app" "$out" "$language" "$scale"
  done
done

# The real program, driven with the mouse through a first conversion.
photos="$(cd .. && pwd)/shared/photos"
xvfb-run -a -s "-screen 0 1366x768x24 -dpi 96 -noreset" \
  modules/workbench/tests/e2e/convert_journey_test.sh "$PWD/$build/app/PixbridgeManager" "$photos" "$out"
