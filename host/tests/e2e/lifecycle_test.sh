#!/usr/bin/env bash
# The program's whole life, headless: one copy per version, an ordered
# shutdown on SIGTERM, and the log that start-up and shutdown leave.
set -euo pipefail
app="$1"
# shellcheck source=sandbox.sh
source "$(dirname "$0")/sandbox.sh"
export QT_QPA_PLATFORM=offscreen

"$app" >"$work/first.out" 2>&1 &
first=$!
log_dir="$TMPDIR/Quillmarsh/$(date +%Y%m%d)"
for _ in $(seq 1 300); do
  grep -qs "start-up complete" "$log_dir/PixbridgeManager.INFO" && break
  sleep 0.1
done
grep -q "start-up complete" "$log_dir/PixbridgeManager.INFO" || { echo "first copy did not start"; cat "$work/first.out"; exit 1; }

# A second copy of the same version leaves at once, quietly, with 0.
start=$(date +%s)
"$app" >"$work/second.out" 2>&1
rc=$?
[ "$rc" -eq 0 ] || { echo "second copy exited $rc"; exit 1; }
[ $(( $(date +%s) - start )) -lt 10 ] || { echo "second copy took too long"; exit 1; }
[ "$(grep -c "start-up complete" "$log_dir/PixbridgeManager.INFO")" -eq 1 ] || { echo "second copy started"; exit 1; }

kill -TERM "$first"
wait "$first" || { echo "first copy exited $?"; cat "$work/first.out"; exit 1; }
grep -q "SysInfoStr: {\"Product\":\"Quillmarsh Pix Bridge\",\"Version\":\"1.1.12\"" "$log_dir/PixbridgeManager.INFO"
grep -q "OnDestroy" "$log_dir/PixbridgeManager.INFO"
# The standard store was written at shutdown.
[ -f "$XDG_CONFIG_HOME/Quillmarsh/Quillmarsh Pix Bridge/UserDefaults.json" ]
echo "1 passed, 0 failed"
