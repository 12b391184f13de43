#!/usr/bin/env bash
# A module of the manifest that cannot load is told to the user: the program
# still starts, and an alert naming the module appears over its window.
set -euo pipefail
app_dir="$(dirname "$1")"
# shellcheck source=sandbox.sh
source "$(dirname "$0")/sandbox.sh"
export QT_QPA_PLATFORM=xcb

tree="$work/tree"
copy_install_tree "$app_dir" "$tree"
cat > "$tree/ApplicationManifest.json" <<'JSON'
{"manifest": {"windows::version": 1, "application": {"modules": [
  {"windows:name": "Module.Photo"}, {"windows:name": "Module.Missing"}]}}}
JSON

"$tree/PixbridgeManager" >"$work/app.out" 2>&1 &
app_pid=$!
alert=$(wait_for_window "$app_pid" 420)
[ -n "$alert" ] || { echo "no alert about the missing module"; cat "$work/app.out"; exit 1; }
log="$TMPDIR/Quillmarsh/$(date +%Y%m%d)/PixbridgeManager.INFO"
grep -q "Module.Missing" "$log" || { echo "the log does not say which module"; exit 1; }
kill -TERM "$app_pid"
wait "$app_pid" || true
echo "1 passed, 0 failed"
