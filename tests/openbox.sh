# Shared by the scenarios under openbox: sourced, not run.

# Starts openbox on $DISPLAY and sets $openbox_pid; returns once openbox
# runs, or 1 when it has not come up within 20 s. Its own check window comes
# earlier, while it is still taking over the windows already there: a window
# mapped then counts as one of those and gets no focus.
launch_openbox() {
  local ready
  ready=$(mktemp -u)
  openbox --sm-disable --startup "touch $ready" >/dev/null 2>&1 &
  openbox_pid=$!
  for _ in $(seq 200); do
    [ -e "$ready" ] && { rm -f "$ready"; return 0; }
    kill -0 "$openbox_pid" 2>/dev/null || return 1
    sleep 0.1
  done
  return 1
}
