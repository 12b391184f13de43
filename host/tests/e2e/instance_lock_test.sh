#!/usr/bin/env bash
# The instance lock (issue 14, fault 5; issue 22): only another running copy
# stops the program. A folder at the lock's name, a planted link, or another user's lock
# file (even one that is held) is logged, and the program starts anyway.
set -euo pipefail
app="$1"
# shellcheck source=sandbox.sh
source "$(dirname "$0")/sandbox.sh"
# shellcheck source=app_runs.sh
source "$(dirname "$0")/app_runs.sh"
export QT_QPA_PLATFORM=offscreen
limit=20
fail() { echo "FAILED: $*"; exit 1; }
name="Global_Quillmarsh Pix Bridge_1.1.12"

# A folder where the lock file goes.
mkdir "$XDG_RUNTIME_DIR/$name.lock"
run_and_stop "$limit" "$app" || fail "a folder at the lock path stopped the program"
grep -q "starting without the instance lock" "$log_dir/PixbridgeManager.INFO" || fail "the lock problem was not logged"
rmdir "$XDG_RUNTIME_DIR/$name.lock"

# Without a runtime folder the lock lies in a private folder of the
# program's own in the user's cache, never in the shared temporary folder;
# a link planted at its name is not followed.
unset XDG_RUNTIME_DIR
run_folder="$HOME/.cache/quillmarsh-pix-bridge/run"
shared_lock="$run_folder/$name.lock"
run_and_stop "$limit" "$app" || fail "the program did not start without a runtime folder"
[ -f "$shared_lock" ] || fail "no lock in $run_folder"
[ "$(stat -c %a "$run_folder")" = 700 ] || fail "$run_folder is not private"
[ -z "$(find "$TMPDIR" -name 'Global_*')" ] || fail "a lock or socket folder was made in the shared temporary folder"
rm "$shared_lock"
ln -s "$HOME/victim-file" "$shared_lock"
run_and_stop "$limit" "$app" || fail "a planted link stopped the program"
[ ! -e "$HOME/victim-file" ] || fail "the link's target was created"
rm "$shared_lock"

# Another user's lock file, and held (root can make one of "nobody"'s).
if [ "$(id -u)" -eq 0 ] && command -v flock >/dev/null; then
  touch "$shared_lock"
  chown 65534:65534 "$shared_lock"
  chmod 666 "$shared_lock"
  exec 9<>"$shared_lock"
  flock -n 9 || fail "cannot hold the other user's lock"
  run_and_stop "$limit" "$app" || fail "another user's lock stopped the program"
  grep -q "not a file of this user" "$log_dir/PixbridgeManager.INFO" || fail "the foreign lock was not logged"
  exec 9>&-
  rm -f "$shared_lock"
fi

# Our own running copy still stops a second one, quietly and at once.
before=$(startups)
"$app" >"$work/first.out" 2>&1 &
first=$!
for _ in $(seq 1 300); do [ "$(startups)" -gt "$before" ] && break; sleep 0.1; done
[ "$(startups)" -gt "$before" ] || fail "the first copy did not start"
start=$(date +%s)
"$app" >"$work/second.out" 2>&1 || fail "the second copy exited $?"
[ $(( $(date +%s) - start )) -lt 10 ] || fail "the second copy took too long"
[ "$(startups)" -eq $((before + 1)) ] || fail "the second copy started"
kill -TERM "$first"
wait "$first" || fail "the first copy exited $?"
echo "1 passed, 0 failed"
