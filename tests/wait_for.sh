# Shared by the scenario scripts: sourced, not run. Waits on conditions
# rather than for fixed times, so that a slow build (the sanitizers) gets
# the time it needs and a fast one none it does not.

# Runs COMMAND... every 0.1 s until it succeeds; fails (returns 1) after
# SECONDS.
eventually() {  # SECONDS COMMAND...
  local tries=$(($1 * 10))
  shift
  while ! "$@"; do
    tries=$((tries - 1))
    [ $tries -gt 0 ] || return 1
    sleep 0.1
  done
}

# Whether process PID has its own handler for signal SIG (a name like TERM).
catches() {  # PID SIG
  local mask
  mask=$(awk '/^SigCgt:/ {print $2}' "/proc/$1/status" 2>/dev/null)
  [ -n "$mask" ] && (( 0x$mask & (1 << ($(kill -l "$2") - 1)) ))
}
