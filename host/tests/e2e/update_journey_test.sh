#!/usr/bin/env bash
# The update check as a user meets it, under a real X server, with the
# option file's root URL pointed at a feed server on loopback, run by the
# program built with the test tools so that stand-ins take the place of
# pkexec and the package's install helper:
#   1. the automatic check finds nothing and shows nothing; the menu's
#      "check for updates" says the program is up to date;
#   2. a newer version is published: the menu's check lists it, "update now"
#      downloads and verifies it, hands it to the helper through pkexec, and
#      the program closes;
#   3. closing the program in the middle of a download ends it promptly and
#      leaves no file behind.
# Usage: update_journey_test.sh PixbridgeManager PixbridgeManagerWithTestTools
set -euo pipefail
app_dir="$(dirname "$1")"
here="$(cd "$(dirname "$0")" && pwd)"
# shellcheck source=sandbox.sh
source "$here/sandbox.sh"
export QT_QPA_PLATFORM=xcb

fail() {
  echo "$*"
  # What was on the screen, for the log.
  xdotool search --onlyvisible --pid "${app_pid:-0}" 2>/dev/null | while read -r w; do
    echo "window $w: $(xdotool getwindowgeometry "$w" | tr '\n' ' ')"
  done || true
  cat "$work/app.out" 2>/dev/null || true
  exit 1
}
# The id of the program's visible window of that size, if any.
window_of() {
  xdotool search --onlyvisible --pid "$app_pid" 2>/dev/null | while read -r w; do
    eval "$(xdotool getwindowgeometry --shell "$w")"
    [ "$WIDTH $HEIGHT" = "$1 $2" ] && echo "$w"
  done | head -n 1 || true
}
# The id of the program's visible window that is WIDTH wide (the alert's
# height follows its message).
window_wide() {
  xdotool search --onlyvisible --pid "$app_pid" 2>/dev/null | while read -r w; do
    eval "$(xdotool getwindowgeometry --shell "$w")"
    [ "$WIDTH" = "$1" ] && echo "$w"
  done | head -n 1 || true
}
click_in() {  # WINDOW DX DY: a click at (DX, DY) inside the window; negative from the right/bottom
  local x y w h
  read -r x y w h < <(geometry "$1")
  local dx=$2 dy=$3
  [ "$dx" -lt 0 ] && dx=$((w + dx))
  [ "$dy" -lt 0 ] && dy=$((h + dy))
  xdotool mousemove --sync $((x + dx)) $((y + dy)) click 1
}
check_from_menu() {
  # The menu button sits left of minimise, maximise and close; "check for
  # updates" is its third item.
  click_in "$main" $((-(1 + 8 + 4 * 24 + 3 * 4 - 12))) 17
  local menu=""
  wait_for 'menu=$(xdotool search --onlyvisible --pid "$app_pid" 2>/dev/null | while read -r w; do
      [ "$w" = "$main" ] && continue; eval "$(xdotool getwindowgeometry --shell "$w")";
      [ "$WIDTH" -lt 400 ] && [ "$HEIGHT" -gt 150 ] && echo "$w"; done | head -n 1); [ -n "$menu" ]' || fail "no menu"
  local mw
  read -r _ _ mw _ < <(geometry "$menu")
  click_in "$menu" $((mw / 2)) $((5 + 2 * 32 + 16))
}
start_program() {
  "$tree/PixbridgeManager" >"$work/app.out" 2>&1 &
  app_pid=$!
  main=""
  wait_for 'main=$(window_of 954 614); [ -n "$main" ]' || fail "no main window"
}
feed_requests() { grep -c "update.xml" "$work/feed.log" 2>/dev/null || true; }

# The feed server and what it publishes.
www="$work/www"
feed_dir="$www/Quillmarsh/Quillmarsh Pix Bridge"
mkdir -p "$feed_dir"
python3 "$here/feed_server.py" "$www" "$work/port" "$work/feed.log" &
wait_for '[ -s "$work/port" ]' || fail "the feed server did not start"
port=$(cat "$work/port")
publish() {  # VERSION PATH: the feed lists one version whose package is at PATH
  head -c 300000 /dev/urandom > "$feed_dir/pixbridge_1.2.0_amd64.deb"
  local md5 sha
  md5=$(md5sum "$feed_dir/pixbridge_1.2.0_amd64.deb" | cut -d' ' -f1)
  sha=$(sha256sum "$feed_dir/pixbridge_1.2.0_amd64.deb" | cut -d' ' -f1)
  cat > "$feed_dir/update.xml" <<XML
<?xml version="1.0" encoding="UTF-8"?>
<updates>
  <update>
    <version>$1</version>
    <path>$2</path>
    <md5>$md5</md5>
    <sha256>$sha</sha256>
    <description><line>{en}</line><line>Faster batches.</line><line>{de}</line><line>Schnellere Stapel.</line></description>
  </update>
</updates>
XML
}

# The program, its option file pointing at the server.
tree="$work/tree"
copy_install_tree "$app_dir" "$tree"
cp "$2" "$tree/PixbridgeManager"
cp "$app_dir/ApplicationManifest.json" "$tree/"
rm "$tree/Option.json"
python3 - "$app_dir/Option.json" "$tree/Option.json" "http://127.0.0.1:$port/" <<'PY'
import json, sys
options = json.load(open(sys.argv[1]))
options["url:root:brand"] = sys.argv[3]
json.dump(options, open(sys.argv[2], "w"))
PY
mkdir -p "$work/bin"
# pkexec keeps the package it was given (before it writes its line).
printf '#!/bin/sh\ncp "$2" "%s"\n' "$work/handed.deb" > "$work/bin/pkexec"
printf '#!/bin/sh\n' > "$work/bin/pixbridge-install-update"
for tool in pkexec pixbridge-install-update; do
  printf 'echo "$0 $*" >> "%s"\n' "$work/handed-over" >> "$work/bin/$tool"
  chmod +x "$work/bin/$tool"
done
export PIXBRIDGE_TEST_TOOLS_DIR="$work/bin"
cache="$HOME/.cache/quillmarsh-pix-bridge/updates"
log="$TMPDIR/Quillmarsh/$(date +%Y%m%d)/PixbridgeManager.INFO"

# 1. Nothing newer.
publish 1.1.12 pixbridge_1.2.0_amd64.deb
start_program
wait_for '[ "$(feed_requests)" = 1 ]' || fail "no automatic check"
sleep 0.5
[ "$(xdotool search --onlyvisible --pid "$app_pid" | wc -l)" = 1 ] || fail "the automatic check showed something"
check_from_menu
alert=""
wait_for 'alert=$(window_wide 440); [ -n "$alert" ]' || fail "no up-to-date alert"
[ "$(feed_requests)" = 2 ] || fail "the menu's check did not ask the server"
click_in "$alert" -20 -18
wait_for '[ -z "$(window_wide 440)" ]' || fail "the alert stayed"

# 2. A newer version: listed, downloaded, verified, handed over; the program closes.
publish 1.2.0 pixbridge_1.2.0_amd64.deb
check_from_menu
list=""
wait_for 'list=$(window_of 500 360); [ -n "$list" ]' || fail "no update list"
click_in "$list" -40 -30
wait_for '[ -s "$work/handed-over" ]' || fail "nothing was handed over"
sha=$(sha256sum "$feed_dir/pixbridge_1.2.0_amd64.deb" | cut -d' ' -f1)
grep -qx "$work/bin/pkexec $work/bin/pixbridge-install-update $cache/pixbridge_1.2.0_amd64.deb $sha" "$work/handed-over" ||
  fail "handed over: $(cat "$work/handed-over")"
cmp -s "$work/handed.deb" "$feed_dir/pixbridge_1.2.0_amd64.deb" || fail "the package handed over differs"
for _ in $(seq 1 100); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$app_pid" 2>/dev/null && fail "the program did not close for the installation"
wait "$app_pid" || fail "the program exited $?"
[ ! -e "$cache/pixbridge_1.2.0_amd64.deb" ] || fail "the installed package was kept"
grep -q "OnDestroy" "$log" || fail "no orderly shutdown"

# 3. Closed mid-download: out within seconds, no file left.
rm -f "$work/handed-over" "$work/handed.deb" "$cache"/*
publish 1.2.0 /slow/Quillmarsh/Quillmarsh%20Pix%20Bridge/pixbridge_1.2.0_amd64.deb
before=$(feed_requests)
start_program
# After the automatic check (its sheet tip may show), the menu reopens the list.
wait_for '[ "$(feed_requests)" -gt "$before" ]' || fail "no automatic check the second time"
sleep 0.5
check_from_menu
list=""
wait_for 'list=$(window_of 500 360); [ -n "$list" ]' || fail "no update list the second time"
click_in "$list" -40 -30
wait_for '[ -n "$(window_of 540 150)" ]' || fail "no download dialog"
sleep 0.5
kill -TERM "$app_pid"
for _ in $(seq 1 50); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$app_pid" 2>/dev/null && fail "the program did not end within 5 s of closing mid-download"
wait "$app_pid" || true
[ -z "$(ls -A "$cache")" ] || fail "left in the cache: $(ls -A "$cache")"
[ ! -e "$work/handed-over" ] || fail "a cancelled download was handed over"
echo "1 passed, 0 failed"
