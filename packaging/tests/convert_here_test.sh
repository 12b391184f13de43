#!/usr/bin/env bash
# The file managers' "Convert to ... here" helper: what it hands to the
# desktop notification when photos fail. A file name is text, never markup,
# and never an option of notify-send.
set -euo pipefail
script="$1"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/lib" "$work/bin"
cp "$script" "$work/lib/convert-here"
# Stand-ins: a converter that fails on a hostile name, and a notify-send
# that writes down its arguments, one to a line.
cat > "$work/lib/pixbridge-convert" <<'FAKE'
#!/bin/sh
echo "failed $(eval echo \${$#}): not a photo" >&2
exit 1
FAKE
cat > "$work/bin/notify-send" <<FAKE
#!/bin/sh
for argument in "\$@"; do printf '%s\n' "\$argument"; done > "$work/notified"
FAKE
chmod +x "$work/lib/convert-here" "$work/lib/pixbridge-convert" "$work/bin/notify-send"

name='-<b>Tom & Jerry</b>.heic'
status=0
PATH="$work/bin:$PATH" "$work/lib/convert-here" jpeg -- "$name" || status=$?
fail() { echo "FAILED: $*"; cat "$work/notified" 2>/dev/null; exit 1; }
[ "$status" -eq 1 ] || fail "exit status $status, not the converter's 1"
[ -f "$work/notified" ] || fail "no notification"
# Options end before the title; the body's markup characters are escaped.
grep -qx -- '--' "$work/notified" || fail "no -- before the title"
grep -qxF 'failed -&lt;b&gt;Tom &amp; Jerry&lt;/b&gt;.heic: not a photo' "$work/notified" || fail "the body was not escaped"
echo "1 passed, 0 failed"
