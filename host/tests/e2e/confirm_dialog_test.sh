#!/usr/bin/env bash
# A confirmation as a user answers it, under a real X server: a module asks
# from a worker thread, the dialog appears over the main window, a click on
# its "ok" answers, and the module receives "confirmed".
set -euo pipefail
app_dir="$(dirname "$1")"
probe="$2"
# shellcheck source=sandbox.sh
source "$(dirname "$0")/sandbox.sh"
export QT_QPA_PLATFORM=xcb

# A copy of the install tree whose manifest also lists the asking module.
tree="$work/tree"
copy_install_tree "$app_dir" "$tree"
mkdir -p "$tree/Plugins/Probe.Confirm/1.0.0"
cp "$probe" "$tree/Plugins/Probe.Confirm/1.0.0/libconfirm.so"
cat > "$tree/Plugins/Probe.Confirm/1.0.0/plugin.load" <<'JSON'
{"path": "libconfirm.so", "id": "Probe.Confirm", "type": 1, "version": "1.0.0",
 "command-create": "PROBE_CONFIRM_CREATE", "command-recv": ["PROBE_CONFIRM_CREATE"],
 "command-send": ["LIBPLATFORM_COMMAND_OPEN_CONFIRM_MESSAGE"]}
JSON
cat > "$tree/ApplicationManifest.json" <<'JSON'
{"manifest": {"windows::version": 1, "application": {"modules": [
  {"windows:name": "Module.Workbench", "windows:parentHwnd": "${topViewHwnd}", "window:hwnd": "converter",
   "windows:parameters": {"windows:rect": {"rect": ["0", "50", "${topViewWidth}", "${topViewHeight}"],
                                           "offset": ["0", "0", "0", "-50"]}}},
  {"windows:name": "Module.Photo"},
  {"windows:name": "Probe.Confirm"}]}}}
JSON

export PIXBRIDGE_CONFIRM_ANSWER="$work/answer.txt"
"$tree/PixbridgeManager" >"$work/app.out" 2>&1 &
app_pid=$!
# The main window is 954 wide; the confirmation is the 400-pixel one.
dialog=$(wait_for_window "$app_pid" 400)
[ -n "$dialog" ] || { echo "no confirmation appeared"; cat "$work/app.out"; exit 1; }
[ ! -e "$PIXBRIDGE_CONFIRM_ANSWER" ] || { echo "answered before the user did"; exit 1; }

# "ok" sits left of "cancel" in the bottom-right corner: 10 pixels in from
# the right, cancel (about 105 wide), 10 more, then ok (about 78 wide).
eval "$(xdotool getwindowgeometry --shell "$dialog")"
xdotool mousemove --sync $((X + WIDTH - 165)) $((Y + HEIGHT - 25)) click 1
for _ in $(seq 1 100); do [ -s "$PIXBRIDGE_CONFIRM_ANSWER" ] && break; sleep 0.1; done
answer=$(cat "$PIXBRIDGE_CONFIRM_ANSWER" 2>/dev/null || true)
[ "$answer" = "confirmed" ] || { echo "answer was '$answer'"; cat "$work/app.out"; exit 1; }

kill -TERM "$app_pid"
wait "$app_pid" || { echo "the program exited $?"; cat "$work/app.out"; exit 1; }
grep -q "OnDestroy" "$TMPDIR/Quillmarsh/$(date +%Y%m%d)/PixbridgeManager.INFO"
echo "1 passed, 0 failed"
