# Sourced after sandbox.sh by the end-to-end tests that start the program
# many times: one run that must reach the end of start-up within a time
# limit, then a SIGTERM and an orderly exit.
log_dir="$TMPDIR/Quillmarsh/$(date +%Y%m%d)"

# The number of completed start-ups in every log written so far.
startups() { cat "$log_dir"/PixbridgeManager.*.log.INFO.* 2>/dev/null | grep -c "start-up complete" || true; }

# run_and_stop <seconds> <program> [arguments…]: fails unless the program
# completes start-up within <seconds> and then exits 0 on SIGTERM within 30.
run_and_stop() {
  local limit="$1" program="$2"
  shift 2
  local before pid waited=0
  before=$(startups)
  "$program" "$@" >"$work/run.out" 2>&1 &
  pid=$!
  while [ "$(startups)" -le "$before" ]; do
    if ! kill -0 "$pid" 2>/dev/null; then echo "the program ended during start-up"; cat "$work/run.out"; return 1; fi
    if [ "$waited" -ge $((limit * 10)) ]; then
      echo "start-up took longer than ${limit}s"; kill -9 "$pid"; cat "$work/run.out"; return 1
    fi
    sleep 0.1
    waited=$((waited + 1))
  done
  kill -TERM "$pid"
  for _ in $(seq 1 300); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  if kill -0 "$pid" 2>/dev/null; then echo "the program did not exit on SIGTERM"; kill -9 "$pid"; return 1; fi
  wait "$pid" || { echo "the program exited $?"; cat "$work/run.out"; return 1; }
}

# The latest log file's text.
latest_log() { cat "$log_dir/PixbridgeManager.INFO"; }
