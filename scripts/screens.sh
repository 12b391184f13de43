#!/usr/bin/env bash
# Renders the program's windows into OUTDIR as PNG files, for review by eye
# and for the README, under a virtual X server:
# - the main window with its title bar, the title bar's menu and every
#   dialog, in English and Japanese, at the desktop scales 1, 1.25, 1.5 and 2
#   (Xft.dpi 96, 120, 144, 192, as a desktop's display settings write it);
# - the real program's entry view and content view (five phone photos with
#   their thumbnails) at each of those scales, at QT_SCALE_FACTOR=2 on a
#   96-dpi desktop, and with a "DPI" setting of 1.5 on a desktop of scale 2
#   (the setting counts device pixels: 1432 x 922 there, the nearest whole
#   layout pixels come to 1431 x 921);
# - the content view in each of the nine languages at scale 1, where the
#   output panel's longest texts must still clear "convert";
# - the converter window as a user's first conversion shows it (entry view,
#   content view with thumbnails, the finished progress dialog).
# The pictures are in device pixels: at scale 2 a window is twice as many
# pixels wide. Usage: scripts/screens.sh OUTDIR
set -euo pipefail

# content_view APP OUT PHOTOS NAME DPI_SETTING [LOCALE]: run inside the virtual X
# server (the script calls itself there with --content-view). Starts the
# program with an empty list (the entry view), hands it five photos as a
# second launch does, and takes the main window once the thumbnails are in.
content_view() {
  local app=$1 out=$2 photos=$3 name=$4 setting=$5 locale=${6:-} work pid window
  work=$(mktemp -d)
  export TMPDIR="$work/tmp" XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/run" HOME="$work/home"
  mkdir -p "$TMPDIR" "$XDG_RUNTIME_DIR" "$HOME" "$XDG_CONFIG_HOME/Quillmarsh/Quillmarsh Pix Bridge"
  chmod 700 "$XDG_RUNTIME_DIR"
  # The program takes its language from the locale's name when no choice is saved.
  [ -z "$locale" ] || export LC_MESSAGES="$locale"
  [ "$setting" = 0 ] || echo "{\"DPI\": $setting}" > "$XDG_CONFIG_HOME/Quillmarsh/Quillmarsh Pix Bridge/UserDefaults.json"
  QT_QPA_PLATFORM=xcb "$app/PixbridgeManager" >"$work/app.out" 2>&1 &
  pid=$!
  window=""
  for _ in $(seq 1 100); do
    window=$(xdotool search --onlyvisible --pid "$pid" 2>/dev/null | head -n 1 || true)
    [ -n "$window" ] && break
    sleep 0.1
  done
  [ -n "$window" ] || { echo "screens: the program did not open a window"; cat "$work/app.out"; return 1; }
  sleep 1.5
  import -window "$window" "$out/entry-view-$name.png"
  QT_QPA_PLATFORM=xcb "$app/PixbridgeManager" --open \
    "$photos"/{crab_blue,immich_IMG_2682,tifig_1_portrait,tifig_2_landscape,tifig_3_frontcam}.heic
  sleep 4
  import -window "$window" "$out/content-view-$name.png"
  echo "wrote $out/entry-view-$name.png $out/content-view-$name.png ($(xdotool getwindowgeometry "$window" | awk '/Geometry/ {print $2}'))"
  kill -TERM "$pid"
  wait "$pid" || true
  rm -rf "$work"
}
if [ "${1:-}" = "--content-view" ]; then
  shift
  content_view "$@"
  exit
fi
[ $# -eq 1 ] || { echo "usage: $0 OUTDIR" >&2; exit 2; }
out="$(mkdir -p "$1" && cd "$1" && pwd)"
cd "$(dirname "$0")/.."
scripts/install-deps.sh
build=build/release
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPIXBRIDGE_BUILD_TESTS=OFF -DPIXBRIDGE_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j "$(nproc)"
app="$PWD/$build/app"
photos="$(cd .. && pwd)/shared/photos"
# Large enough for a window at scale 2 (1908 x 1228 device pixels).
screen="-screen 0 2560x1600x24 -noreset"

# under_dpi DPI COMMAND...: COMMAND under a virtual X server whose desktop
# says DPI dots per inch, as Xft.dpi in the X resources.
under_dpi() {
  local dpi=$1
  shift
  xvfb-run -a -s "$screen" bash -c 'echo "Xft.dpi: $0" | xrdb -nocpp -merge && exec "$@"' "$dpi" "$@"
}

for dpi in 96 120 144 192; do
  for language in 3 8; do        # English, Japanese
    under_dpi "$dpi" "$build/host/tools/render_screens" "$app" "$out" "$language" 0
  done
done

self="$PWD/scripts/screens.sh"
for scale in 1:96 1.25:120 1.5:144 2:192; do
  under_dpi "${scale#*:}" "$self" --content-view "$app" "$out" "$photos" "${scale%:*}x" 0
done
QT_SCALE_FACTOR=2 xvfb-run -a -s "$screen" "$self" --content-view "$app" "$out" "$photos" qt-scale-factor-2x 0
under_dpi 192 "$self" --content-view "$app" "$out" "$photos" dpi-setting-1.5-on-2x 1.5
for locale in zh_CN zh_TW de_DE en_US fr_FR it_IT es_ES pt_PT ja_JP; do
  under_dpi 96 "$self" --content-view "$app" "$out" "$photos" "1x-$locale" 0 "$locale.UTF-8"
done

# The real program, driven with the mouse through a first conversion.
xvfb-run -a -s "-screen 0 1366x768x24 -dpi 96 -noreset" \
  modules/workbench/tests/e2e/convert_journey_test.sh "$app/PixbridgeManager" "$photos" "$out"
