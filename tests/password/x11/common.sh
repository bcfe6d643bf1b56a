# Shared by the real-window password tests: sourced, not run. Gives a
# scratch directory $work and the list $pids of processes to end on exit.

work=$(mktemp -d)
pids=()
trap 'kill "${pids[@]}" 2>/dev/null; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

# Starts an X server of our own (extra Xvfb arguments in "$@") and exports
# DISPLAY. With -displayfd it picks a free display itself; guessing one can
# collide with servers other tests start at the same moment. -noreset: the
# server keeps its state (monitors set up by the test, say) between clients.
start_xvfb() {
  Xvfb -displayfd 3 -nolisten tcp -noreset "$@" 3>"$work/display" 2>/dev/null &
  pids+=($!)
  for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
  [ -s "$work/display" ] || fail "Xvfb did not start"
  export DISPLAY=":$(cat "$work/display")"
}

. "$(dirname "${BASH_SOURCE[0]}")/../../openbox.sh"
# Starts openbox on the display and waits until it runs.
start_openbox() {
  launch_openbox || fail "openbox did not start"
  pids+=("$openbox_pid")
}

# Password protection on, PAM's password for the current user "right one".
lock_with_password() {
  printf '%s:right one:vivedaziv\n' "$(id -un)" > "$work/passdb"
  mkdir -p "$work/config/Control Panel" "$work/run"
  chmod 700 "$work/run"
  printf '[General]\nScreenSaveUsePassword=1\n' > "$work/config/Control Panel/Desktop.conf"
  export PAM_MATRIX_PASSWD="$work/passdb" XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/run"
}

saver=
alive() { kill -0 "$saver" 2>/dev/null; }
# Starts the saver with extra environment in "$@"; $preload is put first.
start_saver() {
  env "$@" LD_PRELOAD="$preload" "$vivedaziv" /s &
  saver=$!
  pids+=($saver)
}
# Waits until the saver holds the keyboard and the pointer.
wait_grabs() {
  for _ in $(seq 150); do
    [ "$("$probe" grab)" = "keyboard already-grabbed pointer already-grabbed" ] && return 0
    alive || fail "the saver ended at start"
    sleep 0.1
  done
  fail "the saver never took the keyboard and pointer"
}

# The saver's windows live in the composite overlay, which xdotool does not
# search: the probe does. NAME may be written as ^NAME$.
find_window() { local name=${1#^}; "$probe" find "${name%\$}"; }
wait_window() {  # NAME: waits up to 10 s for a visible window of that name
  for _ in $(seq 100); do [ -n "$(find_window "$1")" ] && return 0; sleep 0.1; done
  return 1
}
wait_gone() {
  for _ in $(seq 100); do [ -z "$(find_window "$1")" ] && return 0; sleep 0.1; done
  return 1
}
prompt='^Vivedaziv$'
# Sets X, Y (on the root), WIDTH and HEIGHT of window $1.
window_box() {
  local info
  info=$(xwininfo -id "$1")
  X=$(sed -n 's/.*Absolute upper-left X: *//p' <<<"$info")
  Y=$(sed -n 's/.*Absolute upper-left Y: *//p' <<<"$info")
  WIDTH=$(sed -n 's/.*Width: *//p' <<<"$info")
  HEIGHT=$(sed -n 's/.*Height: *//p' <<<"$info")
}

# Waits up to $2 tenths of a second for the saver to end; fails unless it
# ends with 0.
ends_with_0() {
  for _ in $(seq "${2:-100}"); do alive || break; sleep 0.1; done
  alive && fail "the saver did not end after $1"
  local status=0
  wait "$saver" || status=$?
  [ "$status" -eq 0 ] || fail "the saver exited with $status after $1"
}
