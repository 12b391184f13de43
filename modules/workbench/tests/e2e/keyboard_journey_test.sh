#!/usr/bin/env bash
# A first conversion with the keyboard alone, under a real X server with a
# window manager (openbox), and not one mouse click: Ctrl+O and the file
# dialog add five photos, Down and Space untick the second, Tab reaches the
# quality box (85, Enter) and the folder button (Space, the folder, Enter),
# Ctrl+Enter converts, Escape closes the finished progress dialog and Ctrl+Q
# the program.
# Usage: keyboard_journey_test.sh PROGRAM PHOTOS_DIR
set -euo pipefail
app="$1"
photos="$2"
# shellcheck source=../../../../host/tests/e2e/sandbox.sh
source "$(dirname "$0")/../../../../host/tests/e2e/sandbox.sh"
export QT_QPA_PLATFORM=xcb

in="$work/Phone photos"
out="$work/Converted"
mkdir -p "$in" "$out"
for p in crab_blue immich_IMG_2682 tifig_1_portrait tifig_2_landscape tifig_3_frontcam; do
  cp -p "$photos/$p.heic" "$in/"
done
fail() { echo "$1"; cat "$work/app.out" 2>/dev/null || true; exit 1; }

openbox >"$work/openbox.out" 2>&1 &
sleep 1
"$app" >"$work/app.out" 2>&1 &
app_pid=$!
main=""
for _ in $(seq 1 100); do
  main=$(xdotool search --onlyvisible --pid "$app_pid" 2>/dev/null | head -n 1 || true)
  [ -n "$main" ] && break
  sleep 0.1
done
[ -n "$main" ] || fail "no window"
# The window manager gives the new window the focus.
wait_for '[ "$(xdotool getactivewindow 2>/dev/null)" = "$main" ]' || fail "the main window never became active"
sleep 0.5
# window_of_width WIDTH: the program's visible window of that width, if any.
window_of_width() {
  xdotool search --onlyvisible --pid "$app_pid" 2>/dev/null | while read -r w; do
    [ "$(xdotool getwindowgeometry "$w" | awk '/Geometry/ {split($2, s, "x"); print s[1]}')" = "$1" ] && echo "$w"
  done | head -n 1 || true
}
active_is_not_main() { local w; w=$(xdotool getactivewindow 2>/dev/null || true); [ -n "$w" ] && [ "$w" != "$main" ]; }
key() { xdotool key --clearmodifiers "$@"; sleep 0.3; }

# Ctrl+O: the file dialog; the folder, then the five names.
key ctrl+o
wait_for active_is_not_main || fail "Ctrl+O opened no dialog"
sleep 0.5
xdotool type --delay 15 "$in/"
key Return
xdotool type --delay 5 '"crab_blue.heic" "immich_IMG_2682.heic" "tifig_1_portrait.heic" "tifig_2_landscape.heic" "tifig_3_frontcam.heic"'
key Return

# The loading dialog comes and goes; the keyboard is back in the list then.
wait_for '[ "$(xdotool getactivewindow 2>/dev/null)" = "$main" ]' || fail "the main window did not come back"
sleep 0.5
wait_for '[ -z "$(window_of_width 404)" ]' || fail "the loading dialog stayed"
sleep 1

# The first row is current: Down, Space unticks the second (immich_IMG_2682).
key Down
key space
# Tab leaves the list: the format, the EXIF switch, the quality box.
key Tab Tab Tab
key ctrl+a
xdotool type "85"
key Return
# On to the up-down, the size, the folder box, then "...": Space opens the folder dialog.
key Tab Tab Tab Tab
key space
wait_for active_is_not_main || fail "the folder button opened no dialog"
sleep 0.5
xdotool type --delay 15 "$out"
key Return
wait_for '[ "$(xdotool getactivewindow 2>/dev/null)" = "$main" ]' || fail "the main window did not come back after the folder"

# Ctrl+Enter converts; the progress dialog takes the keyboard.
key ctrl+Return
for _ in $(seq 1 300); do
  [ "$(ls "$out" | wc -l)" -ge 4 ] && break
  sleep 0.2
done
progress=$(window_of_width 500)
[ -n "$progress" ] || fail "no progress dialog"
wait_for '[ "$(xdotool getactivewindow 2>/dev/null)" = "$progress" ]' || fail "the progress dialog has no keyboard"
sleep 1.5
# Escape closes it, and the keyboard is back in the main window.
key Escape
wait_for '! xdotool search --onlyvisible --pid "$app_pid" 2>/dev/null | grep -qx "$progress"' || fail "Escape left the progress dialog open"
wait_for '[ "$(xdotool getactivewindow 2>/dev/null)" = "$main" ]' || fail "the main window did not come back after the conversion"

expected="crab_blue.JPG
tifig_1_portrait.JPG
tifig_2_landscape.JPG
tifig_3_frontcam.JPG"
[ "$(ls "$out")" = "$expected" ] || fail "output folder holds: $(ls "$out")"
for name in crab_blue tifig_1_portrait tifig_2_landscape tifig_3_frontcam; do
  [ "$(identify -format '%Q' "$out/$name.JPG")" = 85 ] || fail "$name is not quality 85"
done

# Ctrl+Q, the title bar's key, closes the program; it ends in order.
key ctrl+q
for _ in $(seq 1 100); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$app_pid" 2>/dev/null && fail "Ctrl+Q did not close the program"
wait "$app_pid" || fail "the program exited $?"
grep -q "OnDestroy" "$TMPDIR/Quillmarsh/$(date +%Y%m%d)/PixbridgeManager.INFO" || fail "no orderly shutdown"
echo "1 passed, 0 failed"
