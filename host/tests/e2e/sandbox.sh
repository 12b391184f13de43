# Sourced by the end-to-end tests: a private home, configuration, runtime and
# temporary folder for the program, removed (with anything left running) at exit.
work=$(mktemp -d)
trap 'kill -9 $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT
export TMPDIR="$work/tmp" XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/run" HOME="$work/home"
mkdir -p "$TMPDIR" "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR" "$HOME"
chmod 700 "$XDG_RUNTIME_DIR"

# copy_install_tree APP_DIR TREE: a copy of the install tree in TREE that a
# test may give its own manifest and modules: the program copied (so the
# install folder is TREE), everything else linked, the manifest left out.
copy_install_tree() {
  local app_dir=$1 tree=$2 entry name module
  mkdir -p "$tree/Plugins"
  cp "$app_dir/PixbridgeManager" "$tree/"
  for entry in "$app_dir"/*; do
    name=$(basename "$entry")
    case "$name" in PixbridgeManager|ApplicationManifest.json|Plugins) ;; *) ln -s "$entry" "$tree/$name" ;; esac
  done
  for module in "$app_dir"/Plugins/*; do ln -s "$module" "$tree/Plugins/$(basename "$module")"; done
}

# wait_for_window PID WIDTH: prints the id of PID's visible window that is
# WIDTH pixels wide (a dialog among the program's windows) once it is up,
# waiting up to 30 seconds; prints nothing when none appears.
wait_for_window() {
  local pid=$1 width=$2 found="" w
  for _ in $(seq 1 300); do
    found=$(xdotool search --onlyvisible --pid "$pid" 2>/dev/null |
            while read -r w; do
              [ "$(xdotool getwindowgeometry "$w" | awk '/Geometry/ {split($2, s, "x"); print s[1]}')" = "$width" ] && echo "$w"
            done | head -n 1 || true)
    [ -n "$found" ] && break
    sleep 0.1
  done
  echo "$found"
}

# wait_for CONDITION: polls a shell condition for up to fifteen seconds.
wait_for() {
  for _ in $(seq 1 150); do
    if eval "$1"; then return 0; fi
    sleep 0.1
  done
  return 1
}

# geometry WINDOW: prints "X Y WIDTH HEIGHT" of the window.
geometry() {
  eval "$(xdotool getwindowgeometry --shell "$1")"
  echo "$X $Y $WIDTH $HEIGHT"
}
