# Sourced by the end-to-end tests: a private home, configuration, runtime and
# temporary folder for the program, removed (with anything left running) at exit.
work=$(mktemp -d)
trap 'kill -9 $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT
export TMPDIR="$work/tmp" XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/run" HOME="$work/home"
mkdir -p "$TMPDIR" "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR" "$HOME"
chmod 700 "$XDG_RUNTIME_DIR"
