#!/usr/bin/env bash
# A new user's first conversion, under a real X server, with the mouse and
# the keyboard only: add photos through the file dialog, see their rows and
# thumbnails, untick one, choose JPEG at 85 %, choose an output folder,
# convert, wait for the end, and check the files. Screen 1366 x 768 at
# 96 dpi, so the window sits at (206, 77) at scale 1.
# Usage: convert_journey_test.sh PROGRAM PHOTOS_DIR [SCREENSHOT_DIR]
set -euo pipefail
app="$1"
photos="$2"
shots="${3:-}"
# shellcheck source=../../../../host/tests/e2e/sandbox.sh
source "$(dirname "$0")/../../../../host/tests/e2e/sandbox.sh"
export QT_QPA_PLATFORM=xcb

in="$work/Phone photos"
out="$work/Converted"
mkdir -p "$in" "$out"
for p in crab_blue immich_IMG_2682 tifig_1_portrait tifig_2_landscape tifig_3_frontcam; do
  cp -p "$photos/$p.heic" "$in/"
done

"$app" >"$work/app.out" 2>&1 &
app_pid=$!
trap 'kill -9 $app_pid 2>/dev/null || true; rm -rf "$work"' EXIT
for _ in $(seq 1 100); do
  xdotool search --onlyvisible --pid "$app_pid" >/dev/null 2>&1 && break
  sleep 0.1
done
sleep 1
shot() { import -window root "$1"; }
# A picture of the main window alone, for the README.
window_shot() { import -window root -crop 954x614+206+77 +repage "$1"; }
pixel() { convert "$1" -crop "1x1+$2+$3" -depth 8 txt:- | tail -n 1 | grep -o '#[0-9A-F]\{6\}'; }
# True for a strong blue: the crab photo's colour, not the grey placeholder.
is_blue() { local c=${1#\#}; [ ${#c} -eq 6 ] && (( 16#${c:0:2} < 80 && 16#${c:2:2} < 80 && 16#${c:4:2} > 160 )); }
click() { xdotool mousemove --sync "$1" "$2" click 1; }

# The entry view: "Add HEIC photos", then Qt's file dialog.
[ -n "$shots" ] && window_shot "$shots/entry-view.png"
click 683 458
sleep 1.5
xdotool type --delay 15 "$in/"
xdotool key Return
sleep 0.8
xdotool type --delay 5 '"crab_blue.heic" "immich_IMG_2682.heic" "tifig_1_portrait.heic" "tifig_2_landscape.heic" "tifig_3_frontcam.heic"'
xdotool key Return

# Rows and thumbnails: the first row's thumbnail is the blue crab.
blue=""
for _ in $(seq 1 100); do
  shot "$work/rows.png"
  blue=$(pixel "$work/rows.png" 261 225 || true)
  is_blue "$blue" && break
  sleep 0.2
done
is_blue "$blue" || { echo "no thumbnail in the first row ($blue)"; cat "$work/app.out"; exit 1; }
sleep 1
[ -n "$shots" ] && window_shot "$shots/content-view.png"

# Untick the second row, JPEG at 85 %, the output folder, convert.
click 227 285
xdotool mousemove --sync 1063 316 click --repeat 3 1
xdotool key ctrl+a
xdotool type "85"
xdotool key Return
click 1124 468
sleep 1.5
xdotool type --delay 15 "$out"
xdotool key Return
sleep 0.8
click 1006 630

# The progress dialog's end: four files, then "Done".
for _ in $(seq 1 300); do
  [ "$(ls "$out" | wc -l)" -ge 4 ] && break
  sleep 0.2
done
sleep 1.5
[ -n "$shots" ] && window_shot "$shots/progress-done.png"
ls "$out" > "$work/listing.txt"
expected="crab_blue.JPG
tifig_1_portrait.JPG
tifig_2_landscape.JPG
tifig_3_frontcam.JPG"
[ "$(cat "$work/listing.txt")" = "$expected" ] || { echo "output folder holds:"; cat "$work/listing.txt"; exit 1; }

# Each decodes, stands upright, has quality 85 and the source's date.
check() {
  local name=$1 size=$2
  [ "$(identify -format '%wx%h' "$out/$name.JPG")" = "$size" ] || { echo "$name is not $size"; exit 1; }
  [ "$(identify -format '%Q' "$out/$name.JPG")" = 85 ] || { echo "$name is not quality 85"; exit 1; }
  [ "$(stat -c %Y "$out/$name.JPG")" = "$(stat -c %Y "$in/$name.heic")" ] || { echo "$name lost its date"; exit 1; }
}
check tifig_1_portrait 3024x4032
check tifig_2_landscape 4032x3024
check tifig_3_frontcam 2320x3088
check crab_blue 320x240

# Close the program as the desktop would; it ends in order.
kill -TERM "$app_pid"
wait "$app_pid" || { echo "the program exited $?"; cat "$work/app.out"; exit 1; }
grep -q "OnDestroy" "$TMPDIR/Quillmarsh/$(date +%Y%m%d)/PixbridgeManager.INFO"
echo "1 passed, 0 failed"
