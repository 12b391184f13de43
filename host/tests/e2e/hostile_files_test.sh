#!/usr/bin/env bash
# Hostile and damaged settings and data files (issue 14, faults 2, 3 and 7):
# each start must finish within seconds, and the user's files must survive.
set -euo pipefail
app="$1"
# shellcheck source=sandbox.sh
source "$(dirname "$0")/sandbox.sh"
# shellcheck source=app_runs.sh
source "$(dirname "$0")/app_runs.sh"
export QT_QPA_PLATFORM=offscreen
limit=20  # seconds for a start-up; a normal one takes about one
store_dir="$XDG_CONFIG_HOME/Quillmarsh/Quillmarsh Pix Bridge"
store="$store_dir/UserDefaults.json"
mkdir -p "$store_dir"
fail() { echo "FAILED: $*"; exit 1; }
fresh_store() { rm -rf "$store_dir"; mkdir -p "$store_dir"; }
deep() { printf '{"DPI": '; head -c "$1" /dev/zero | tr '\0' '['; head -c "$1" /dev/zero | tr '\0' ']'; printf '}'; }

# Fault 2: JSON nested millions of levels (a recursive parse crashed start-up),
# and 20,000 levels (the pretty-printed save hung at exit). Fault 3: the
# damaged store is kept beside the new one.
for levels in 3000000 20000; do
  fresh_store
  deep "$levels" > "$store"
  cp "$store" "$work/original.json"
  run_and_stop "$limit" "$app" || fail "store nested $levels deep"
  kept=$(ls "$store_dir" | grep -c '^UserDefaults.json.corrupt-' || true)
  [ "$kept" -eq 1 ] || fail "the damaged store ($levels levels) was not kept: $(ls "$store_dir")"
  cmp -s "$store_dir"/UserDefaults.json.corrupt-* "$work/original.json" || fail "the kept store differs"
  [ "$(head -c 1 "$store")" = "{" ] && [ "$(wc -c < "$store")" -lt 1000 ] || fail "the new store is not a fresh object"
  grep -q "damaged file is kept as" "$log_dir/PixbridgeManager.INFO" || fail "the log does not say where the store went"
done

# Fault 3: a store that is simply corrupt is kept too, byte for byte.
fresh_store
printf '{"DPI": 1.25, "CONVERT_CHOOSE_FOLDER_KEY": "/home/ana/Fot' > "$store"
cp "$store" "$work/original.json"
run_and_stop "$limit" "$app" || fail "corrupt store"
cmp -s "$store_dir"/UserDefaults.json.corrupt-* "$work/original.json" || fail "the corrupt store was not kept"

# Fault 2: an absurd display scale is clamped instead of sizing everything by it.
fresh_store
echo '{"DPI": 1e30}' > "$store"
run_and_stop "$limit" "$app" || fail "DPI 1e30"
grep -Eq '"DPI": 1(\.0)?e\+?30' "$store" || fail "the DPI setting itself was lost: $(cat "$store")"

# Fault 2: FIFOs as the settings store and the language file; fault 3: an
# unreadable store is left alone.
fresh_store
mkfifo "$store"
run_and_stop "$limit" "$app" || fail "FIFO as the settings store"
[ -p "$store" ] || fail "the FIFO store was replaced"
fresh_store
mkfifo "$store_dir/language.txt"
run_and_stop "$limit" "$app" || fail "FIFO as the language file"
fresh_store

# Fault 2: the first argument is read only when it is a regular file.
mkfifo "$work/launcher.fifo"
run_and_stop "$limit" "$app" /dev/zero || fail "/dev/zero as the launcher file"
run_and_stop "$limit" "$app" "$work/launcher.fifo" || fail "a FIFO as the launcher file"
deep 3000000 > "$work/launcher.json"
run_and_stop "$limit" "$app" "$work/launcher.json" || fail "a deep launcher file"

# Data files of the install tree, in a copy of it: FIFOs as the option file
# and the workbench's colours, then (fault 7) a missing manifest, said in the log.
copy="$work/copy"
cp -a "$(dirname "$app")" "$copy"
rm "$copy/Option.json"
mkfifo "$copy/Option.json"
converter=$(ls "$copy"/Plugins/Module.Workbench/*/Resources/Converter.json)
rm "$converter"
mkfifo "$converter"
run_and_stop "$limit" "$copy/PixbridgeManager" || fail "FIFOs as Option.json and Converter.json"
rm "$copy/ApplicationManifest.json"
run_and_stop "$limit" "$copy/PixbridgeManager" || fail "no manifest"
grep -q "module ApplicationManifest.json not loaded: .*ApplicationManifest.json is missing" \
  "$log_dir/PixbridgeManager.INFO" || fail "the log does not say that the manifest is missing"
# Fault 7: an install folder whose path is not valid UTF-8 still starts, and
# the log says that nothing could be loaded.
odd="$work/$(printf 'app-\xff')"
mv "$copy" "$odd"
cp "$(dirname "$app")/ApplicationManifest.json" "$odd/"
run_and_stop "$limit" "$odd/PixbridgeManager" || fail "an install folder that is not UTF-8"
grep -q "modules not loaded: the install folder's path .* is not valid UTF-8" "$log_dir/PixbridgeManager.INFO" ||
  fail "the log does not say why no module loaded"
echo "1 passed, 0 failed"
