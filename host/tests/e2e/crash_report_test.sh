#!/usr/bin/env bash
# A crash on purpose, under a real X server: the report helper packs the
# crashed run's files (its dump, the summary, its logs) into a ".zip",
# removes just those, and shows the alert. The day's other files stay.
set -euo pipefail
app="$1"
# shellcheck source=sandbox.sh
source "$(dirname "$0")/sandbox.sh"
export QT_QPA_PLATFORM=xcb
# The sanitizer must let the program's own handler see the crash.
export ASAN_OPTIONS="handle_segv=0:handle_abort=0:${ASAN_OPTIONS:-}"
log_dir="$TMPDIR/Quillmarsh/$(date +%Y%m%d)"
mkdir -p "$log_dir"
echo "left over" > "$log_dir/older-notes.txt"
other_log="$log_dir/pixbridge-convert.host.user.log.INFO.20200101-000000.1"
echo "another run, maybe still writing" > "$other_log"
mkdir -p "$log_dir/kept-folder"

"$app" --crash-test >"$work/app.out" 2>&1 &
app_pid=$!
# The crashed copy dies; its report helper shows the alert.
for _ in $(seq 1 300); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$app_pid" 2>/dev/null; then echo "the program did not crash"; exit 1; fi
helper=""
for _ in $(seq 1 300); do
  # This test's helper only: other tests (and other checkouts) crash too.
  helper=$(pgrep -f -- "--crash-report $(realpath "$log_dir")" | head -n 1 || true)
  [ -n "$helper" ] && break
  sleep 0.1
done
[ -n "$helper" ] || { echo "no report helper runs"; cat "$work/app.out"; exit 1; }
alert=""
for _ in $(seq 1 600); do
  alert=$(xdotool search --onlyvisible --pid "$helper" 2>/dev/null | head -n 1 || true)
  [ -n "$alert" ] && break
  sleep 0.1
done
[ -n "$alert" ] || { echo "no alert appeared"; cat "$work/app.out"; exit 1; }
# Before the alert closes the crashed run's files are already cleared away;
# everything else of the day is still there.
ls "$log_dir"
for f in "$log_dir"/*; do
  [ -d "$f" ] && continue
  [ -L "$f" ] && continue  # links (glog's latest-log links) are never deleted
  case "$f" in
    *.zip|"$log_dir/older-notes.txt"|"$other_log") ;;
    *.dmp|*/Crash.json|*".$app_pid") echo "the crashed run's file is left: $f"; exit 1 ;;
  esac
done
[ -d "$log_dir/kept-folder" ]
[ "$(cat "$log_dir/older-notes.txt")" = "left over" ] || { echo "older notes were touched"; exit 1; }
[ -f "$other_log" ] || { echo "another run's log was removed"; exit 1; }
zip=$(ls "$log_dir"/*.zip | head -n 1)
unzip -l "$zip" > "$work/zip.txt"
grep -q "Crash.json" "$work/zip.txt"
grep -q "\.dmp" "$work/zip.txt"
grep -q "PixbridgeManager.*\.$app_pid\$" "$work/zip.txt"
if grep -q -e "older-notes" -e "pixbridge-convert" "$work/zip.txt"; then echo "the archive holds other runs' files"; exit 1; fi
# Through files, not pipes into grep -q: pipefail would see unzip's SIGPIPE.
unzip -p "$zip" Crash.json > "$work/crash.json"
grep -q '"Product":"Quillmarsh Pix Bridge"' "$work/crash.json"
unzip -p "$zip" '*.dmp' > "$work/dump.txt"
grep -q "signal 11 (SIGSEGV)" "$work/dump.txt"
grep -qx "pid $app_pid" "$work/dump.txt"

# The user starts the program again while the alert is open: a new copy
# opens its window (the alert holds no single-instance lock).
"$app" >"$work/again.out" 2>&1 &
again_pid=$!
again=""
for _ in $(seq 1 300); do
  again=$(xdotool search --onlyvisible --pid "$again_pid" 2>/dev/null | head -n 1 || true)
  [ -n "$again" ] && break
  kill -0 "$again_pid" 2>/dev/null || break
  sleep 0.1
done
[ -n "$again" ] || { echo "no new copy started beside the crash alert"; cat "$work/again.out"; exit 1; }
kill -TERM "$again_pid"
wait "$again_pid" || true

# No window manager runs here: focus the alert, then press its button's key.
xdotool windowfocus --sync "$alert"
xdotool key Return
for _ in $(seq 1 100); do kill -0 "$helper" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$helper" 2>/dev/null; then echo "alert did not close"; exit 1; fi
echo "1 passed, 0 failed"
