#!/usr/bin/env bash
# The band as a user meets it, under a real X server without a window
# manager: drag the window by its title bar, maximise and restore it with a
# double-click, open "about" from the menu and close it, then close the
# program with the close button and check that it shut down in order.
# Usage: titlebar_journey_test.sh PixbridgeManager sandbox.sh
set -euo pipefail
app="$1"
# shellcheck source=/dev/null
source "$2"
export QT_QPA_PLATFORM=xcb

fail() { echo "$*"; cat "$work/app.out" 2>/dev/null || true; exit 1; }

# The visible windows of the program other than the main one, as "id width height".
others() {
  xdotool search --onlyvisible --pid "$app_pid" 2>/dev/null | while read -r w; do
    [ "$w" = "$main" ] && continue
    eval "$(xdotool getwindowgeometry --shell "$w")"
    echo "$w $WIDTH $HEIGHT"
  done
}

"$app" >"$work/app.out" 2>&1 &
app_pid=$!

# 1. The main window: 954 x 614 at scale 1, titled with the product's name.
main=""
for _ in $(seq 1 300); do
  main=$(xdotool search --onlyvisible --pid "$app_pid" --name "Quillmarsh Pix Bridge" 2>/dev/null |
         while read -r w; do
           [ "$(geometry "$w" | cut -d' ' -f3)" = 954 ] && echo "$w"
         done | head -n 1 || true)
  [ -n "$main" ] && break
  sleep 0.1
done
[ -n "$main" ] || fail "no main window appeared"
[ "$(xdotool getwindowname "$main")" = "Quillmarsh Pix Bridge" ] || fail "the window title changed"
read -r x0 y0 w0 h0 < <(geometry "$main")

# 2. Drag the band by (+40, +30): the window follows the cursor.
xdotool mousemove --sync $((x0 + 300)) $((y0 + 17)) mousedown 1
xdotool mousemove --sync $((x0 + 320)) $((y0 + 32))
xdotool mousemove --sync $((x0 + 340)) $((y0 + 47)) mouseup 1
x1=$((x0 + 40)); y1=$((y0 + 30))
wait_for '[ "$(geometry "$main")" = "$x1 $y1 $w0 $h0" ]' || fail "drag left the window at $(geometry "$main")"

# 3. A double-click fills the screen, a second one restores the rectangle.
read -r screen_w screen_h < <(xdotool getdisplaygeometry)
xdotool mousemove --sync $((x1 + 300)) $((y1 + 17)) click --repeat 2 --delay 120 1
wait_for '[ "$(geometry "$main")" = "0 0 $screen_w $screen_h" ]' || fail "not maximised: $(geometry "$main")"
xdotool mousemove --sync 300 17 click --repeat 2 --delay 120 1
wait_for '[ "$(geometry "$main")" = "$x1 $y1 $w0 $h0" ]' || fail "not restored: $(geometry "$main")"

# 4. The menu button sits left of minimise, maximise and close (24 pixels
#    each, 4 apart, 8 from the right edge); "about" is the second item.
xdotool mousemove --sync $((x1 + w0 - 1 - 8 - 4 * 24 - 3 * 4 + 12)) $((y1 + 17)) click 1
menu=""
wait_for 'menu=$(others | awk "\$2 < 400 && \$3 > 150 {print \$1}" | head -n 1); [ -n "$menu" ]' || fail "no menu"
read -r mx my mw _ < <(geometry "$menu")
xdotool mousemove --sync $((mx + mw / 2)) $((my + 5 + 32 + 16)) click 1
about=""
wait_for 'about=$(others | awk "\$2 == 520 && \$3 == 380 {print \$1}" | head -n 1); [ -n "$about" ]' ||
  fail "no about dialog"
read -r ax ay aw _ < <(geometry "$about")
xdotool mousemove --sync $((ax + aw - 8 - 12)) $((ay + 4 + 12)) click 1
wait_for '! xdotool search --onlyvisible --pid "$app_pid" 2>/dev/null | grep -qx "$about"' || fail "about stayed open"

# 5. The close button: the host's close protocol runs and the program ends in order.
xdotool mousemove --sync $((x1 + w0 - 1 - 8 - 12)) $((y1 + 17)) click 1
for _ in $(seq 1 300); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$app_pid" 2>/dev/null && fail "the program is still running"
wait "$app_pid" || fail "the program exited $?"
log="$TMPDIR/Quillmarsh/$(date +%Y%m%d)/PixbridgeManager.INFO"
asked=$(grep -n "close asked from the title bar" "$log" | head -n 1 | cut -d: -f1)
destroyed=$(grep -n "OnDestroy" "$log" | tail -n 1 | cut -d: -f1)
[ -n "$asked" ] && [ -n "$destroyed" ] && [ "$asked" -lt "$destroyed" ] || fail "no orderly shutdown in the log"
echo "1 passed, 0 failed"
