#!/usr/bin/env bash
# The program under an X window manager (openbox), as on a desktop: the
# window manager resizes the window, and the title bar's close button ends
# at the new right edge and the entry view stays centred; the maximise
# button maximises through the window manager and turns into restore. The
# controls' places are read over the accessibility bus.
# Usage: window_manager_journey_test.sh PixbridgeManager   (under xvfb-run)
set -euo pipefail
if [ -z "${PIXBRIDGE_SESSION_BUS:-}" ]; then
  export PIXBRIDGE_SESSION_BUS=1
  exec dbus-run-session -- "$0" "$@"
fi
app="$1"
here="$(cd "$(dirname "$0")" && pwd)"
# shellcheck source=sandbox.sh
source "$here/sandbox.sh"
export QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 LANG=C.UTF-8
a11y() { /usr/bin/python3 "$here/a11y.py" "$@"; }
fail() { echo "$*"; cat "$work/app.out" 2>/dev/null | tail -n 30; exit 1; }
near() { [ $(( $1 - $2 )) -le 1 ] && [ $(( $2 - $1 )) -le 1 ]; }

openbox --sm-disable >"$work/openbox.log" 2>&1 &
wait_for 'xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id"' || fail "openbox did not start"

"$app" >"$work/app.out" 2>&1 &
app_pid=$!
main=""
wait_for 'main=$(xdotool search --onlyvisible --pid "$app_pid" --name "Quillmarsh Pix Bridge" 2>/dev/null |
                while read -r w; do [ "$(geometry "$w" | cut -d" " -f3)" = 954 ] && echo "$w"; done | head -n 1);
          [ -n "$main" ]' || fail "no main window appeared"

# 1. The window manager gives the window a new size.
xdotool windowsize "$main" 1100 700
wait_for '[ "$(geometry "$main" | cut -d" " -f3-)" = "1100 700" ]' || fail "not resized: $(geometry "$main")"
read -r x _ w _ < <(geometry "$main")
right=$((x + w - 1 - 8))
close_right() { a11y geometry Close | awk '{print $1 + $3}'; }
wait_for 'near "$(close_right)" "$right"' || fail "close ends at $(close_right), not at the right edge $right"
add_centre() { a11y geometry "Add HEIC photos" | awk '{print $1 + int($3 / 2)}'; }
centre=$((x + 1 + (w - 2) / 2))
wait_for 'near "$(add_centre)" "$centre"' || fail "the entry view is not centred: $(add_centre) for $centre"

# 2. Maximised by the window manager on the screen's work area, then restored.
read -r screen_w screen_h < <(xdotool getdisplaygeometry)
a11y press Maximize
wait_for '[ "$(geometry "$main")" = "0 0 $screen_w $screen_h" ]' || fail "not maximised: $(geometry "$main")"
wait_for 'near "$(close_right)" "$((screen_w - 1 - 8))"' || fail "close not at the maximised right edge: $(close_right)"
a11y press Restore
wait_for '[ "$(geometry "$main" | cut -d" " -f3-)" = "1100 700" ]' || fail "not restored: $(geometry "$main")"

kill -TERM "$app_pid"
wait "$app_pid" || fail "the program exited $?"
echo "1 passed, 0 failed"
