#!/usr/bin/env bash
# A conversion on a Wayland desktop, the program running natively under a
# headless Weston. Nothing injects input into headless Weston, so the user
# is a screen reader's: the photos come in through "pixbridge --open", and
# everything else goes through the accessibility bus (AT-SPI): every
# focusable control of both views has a name, the window maximises through
# the compositor, the quality and the output folder are set, "convert" is
# pressed, and the files on disk are checked.
# Usage: wayland_journey_test.sh PROGRAM PHOTOS_DIR [SCREENSHOT_DIR]
set -euo pipefail
# A session bus of its own: the accessibility bus starts on it.
if [ -z "${PIXBRIDGE_SESSION_BUS:-}" ]; then
  export PIXBRIDGE_SESSION_BUS=1
  exec dbus-run-session -- "$0" "$@"
fi
app="$1"
photos="$2"
shots="${3:-}"
here="$(cd "$(dirname "$0")" && pwd)"
# shellcheck source=sandbox.sh
source "$here/sandbox.sh"
a11y() { /usr/bin/python3 "$here/a11y.py" "$@"; }
fail() { echo "$*"; cat "$work/app.out" "$work/weston.log" 2>/dev/null | tail -n 40; exit 1; }

# Weston draws into memory; its Wayland socket lies in the private runtime folder.
socket=pixbridge-wayland
weston --backend=headless-backend.so --use-pixman --width=1366 --height=768 --socket="$socket" --idle-time=0 \
  ${shots:+--debug} >"$work/weston.log" 2>&1 &
wait_for '[ -S "$XDG_RUNTIME_DIR/$socket" ]' || fail "weston did not start"
# Headless Weston has no seat, and Qt 6.4's Wayland input method then
# crashes the first text field that draws its cursor; desktops always have
# a seat. QT_IM_MODULE keeps Qt's Wayland input method out of the test only.
export WAYLAND_DISPLAY="$socket" QT_QPA_PLATFORM=wayland QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 LANG=C.UTF-8 \
  QT_IM_MODULE=compose
unset DISPLAY LC_ALL LC_MESSAGES

in="$work/Phone photos"
out="$work/Converted"
mkdir -p "$in" "$out"
for p in crab_blue immich_IMG_2682 tifig_1_portrait tifig_2_landscape tifig_3_frontcam; do
  cp -p "$photos/$p.heic" "$in/"
done

"$app" >"$work/app.out" 2>&1 &
app_pid=$!
log="$TMPDIR/Quillmarsh/$(date +%Y%m%d)/PixbridgeManager.INFO"
wait_for 'grep -qs "start-up complete" "$log"' || fail "the program did not start"

# The entry view, then maximised and restored by the compositor.
a11y names "entry view" || fail "entry view"
read -r w0 h0 < <(a11y window-size)
a11y press Maximize
wait_for '[ "$(a11y window-size)" = "1366 736" ]' || fail "not maximised on Weston's work area: $(a11y window-size)"
a11y press Restore
wait_for '[ "$(a11y window-size)" = "$w0 $h0" ]' || fail "not restored: $(a11y window-size)"

# "Open with": a second launch hands the photos and its launcher's token over.
XDG_ACTIVATION_TOKEN=journey-token "$app" --open "$in"/*.heic >"$work/second.out" 2>&1 ||
  fail "the second launch failed: $(cat "$work/second.out")"
a11y rows 5 || fail "the photos did not arrive"
a11y names "content view" || fail "content view"

a11y set-quality 85 || fail "quality"
a11y choose-folder "$out" || fail "output folder"
[ -n "$shots" ] && (cd "$shots" && weston-screenshooter >/dev/null 2>&1 && mv wayland-screenshot-*.png wayland-content.png) || true
a11y convert 5 || fail "conversion"

for name in crab_blue immich_IMG_2682 tifig_1_portrait tifig_2_landscape tifig_3_frontcam; do
  [ -f "$out/$name.JPG" ] || fail "no $name.JPG in the output folder: $(ls "$out")"
  [ "$(identify -format '%Q' "$out/$name.JPG")" = 85 ] || fail "$name.JPG is not quality 85"
done

kill -TERM "$app_pid"
wait "$app_pid" || fail "the program exited $?"
grep -q "OnDestroy" "$log" || fail "no orderly shutdown"
echo "1 passed, 0 failed"
