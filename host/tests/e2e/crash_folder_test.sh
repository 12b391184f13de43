#!/usr/bin/env bash
# Crash reports on a shared machine (issue 14, fault 1): another user makes
# the shared log folder first and points the day's folder at the victim's
# documents; the victim's next crash must neither delete nor overwrite them.
# The report helper started by hand with a dump outside its folder does
# nothing either. Logs and reports stay private to the user.
set -euo pipefail
app="$1"
# shellcheck source=sandbox.sh
source "$(dirname "$0")/sandbox.sh"
export QT_QPA_PLATFORM=offscreen
# The sanitizer must let the program's own handler see the crash.
export ASAN_OPTIONS="handle_segv=0:handle_abort=0:${ASAN_OPTIONS:-}"
fail() { echo "FAILED: $*"; exit 1; }
day=$(date +%Y%m%d)
docs="$HOME/Documents"
mkdir -p "$docs"
echo "years of work" > "$docs/thesis.odt"
ln -s "$docs/thesis.odt" "$docs/thesis-link.odt"
snapshot() { (cd "$docs" && ls -la --time-style=+ . && cat thesis.odt) ; }
snapshot > "$work/before.txt"

# The hidden argument, aimed at the documents through ".." and through a
# linked folder inside the report folder: refused, nothing touched.
mkdir -p "$TMPDIR/Quillmarsh"
chmod 700 "$TMPDIR/Quillmarsh"
echo "x" > "$docs/x.dmp"
"$app" --crash-report "$TMPDIR/Quillmarsh/$day/../../../home/Documents/x.dmp" >/dev/null 2>&1 && fail "a dump outside was accepted"
ln -s "$docs" "$TMPDIR/Quillmarsh/linked"
"$app" --crash-report "$TMPDIR/Quillmarsh/linked/x.dmp" >/dev/null 2>&1 && fail "a dump behind a link was accepted"
rm "$docs/x.dmp" "$TMPDIR/Quillmarsh/linked"
snapshot | cmp -s - "$work/before.txt" || fail "the documents changed"

# Another user owns the shared folder and made the day's folder a link.
if [ "$(id -u)" -eq 0 ]; then
  rm -rf "$TMPDIR/Quillmarsh"
  mkdir -p "$TMPDIR/Quillmarsh"
  ln -s "$docs" "$TMPDIR/Quillmarsh/$day"
  chown -h 65534:65534 "$TMPDIR/Quillmarsh" "$TMPDIR/Quillmarsh/$day"
  chmod 777 "$TMPDIR/Quillmarsh"
  private="$TMPDIR/Quillmarsh-$(id -u)"
else
  # Without root: our own folder, with the day's folder a link.
  rm -rf "$TMPDIR/Quillmarsh"
  mkdir -p "$TMPDIR/Quillmarsh"
  ln -s "$docs" "$TMPDIR/Quillmarsh/$day"
  private="$TMPDIR/Quillmarsh-$(id -u)"
fi

"$app" --crash-test >"$work/app.out" 2>&1 &
app_pid=$!
for _ in $(seq 1 300); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$app_pid" 2>/dev/null && fail "the program did not crash"
# The helper packs the report and clears the folder before its alert (which
# waits for a click that never comes here).
for _ in $(seq 1 300); do ls "$private/$day"/*.zip >/dev/null 2>&1 && break; sleep 0.1; done
zip=$(ls "$private/$day"/*.zip 2>/dev/null | head -n 1)
[ -n "$zip" ] || { cat "$work/app.out"; fail "no report in $private/$day"; }
for _ in $(seq 1 100); do [ "$(ls "$private/$day" | grep -vc '\.zip$\|\.INFO$\|\.WARNING$\|\.ERROR$')" -eq 0 ] && break; sleep 0.1; done
# The helper's alert waits for a click; end it by its id (its dump path is
# inside this test's own sandbox).
for helper in $(pgrep -f -- "--crash-report $private" || true); do kill "$helper"; done
snapshot | cmp -s - "$work/before.txt" || fail "the documents changed"
unzip -l "$zip" > "$work/zip.txt"  # not piped into grep -q: pipefail would see unzip's SIGPIPE
grep -q "Crash.json" "$work/zip.txt" || fail "the report has no summary"

# Private: folders 0700, files 0600, everything the user's own.
[ "$(stat -c %a "$private")" = 700 ] || fail "$private is not 0700"
[ "$(stat -c %a "$private/$day")" = 700 ] || fail "the day's folder is not 0700"
[ "$(stat -c %a "$zip")" = 600 ] || fail "the archive is not 0600"
[ -z "$(find "$private" ! -user "$(id -u)")" ] || fail "something in $private is not the user's"
[ -L "$TMPDIR/Quillmarsh/$day" ] || fail "the other user's link was touched"

# A normal run logs into the private folder with 0600 logs.
"$app" >"$work/run.out" 2>&1 &
pid=$!
for _ in $(seq 1 300); do grep -qs "start-up complete" "$private/$day/PixbridgeManager.INFO" && break; sleep 0.1; done
kill -TERM "$pid"
wait "$pid" || fail "the run exited $?"
for f in "$private/$day"/PixbridgeManager.*.log.*; do
  [ "$(stat -c %a "$f")" = 600 ] || fail "$f is not 0600"
done
grep -q "log folder passed over" "$private/$day/PixbridgeManager.INFO" || fail "the log does not say why the usual folder was passed over"
echo "1 passed, 0 failed"
