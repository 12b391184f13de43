#!/usr/bin/env bash
# "Open with": the first copy takes its own --open photos; a second launch
# with --open hands its photos (made absolute) to it and leaves with 0.
set -euo pipefail
app="$1"
# shellcheck source=sandbox.sh
source "$(dirname "$0")/sandbox.sh"
export QT_QPA_PLATFORM=offscreen
mkdir -p "$work/photos"
touch "$work/photos/first.heic" "$work/photos/second.HEIC"

"$app" --open "$work/photos/first.heic" >"$work/first.out" 2>&1 &
first=$!
log="$TMPDIR/Quillmarsh/$(date +%Y%m%d)/PixbridgeManager.INFO"
for _ in $(seq 1 300); do
  grep -qs "start-up complete" "$log" && break
  sleep 0.1
done
grep -q "start-up complete" "$log" || { echo "first copy did not start"; cat "$work/first.out"; exit 1; }

(cd "$work/photos" && "$app" --open second.HEIC) >"$work/second.out" 2>&1 || {
  echo "second launch failed"; cat "$work/second.out"; exit 1; }
for _ in $(seq 1 50); do
  grep -qs "opening 1 file(s): \[\"$work/photos/second.HEIC\"\]" "$log" && break
  sleep 0.1
done
grep -q "opening 1 file(s): \[\"$work/photos/first.heic\"\]" "$log" || { echo "own photo not opened"; exit 1; }
grep -q "opening 1 file(s): \[\"$work/photos/second.HEIC\"\]" "$log" || { echo "handed photo not received"; exit 1; }
[ "$(grep -c "start-up complete" "$log")" -eq 1 ] || { echo "second launch started a window"; exit 1; }

kill -TERM "$first"
wait "$first" || { echo "first copy exited $?"; exit 1; }

echo "1 passed, 0 failed"
