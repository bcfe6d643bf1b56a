# Sourced by the benchmark scripts: a private Xvfb (1280 × 1024) that keeps
# its state between clients, with a scratch directory $work as the settings
# and runtime folders; both go when the script exits. `open_display SIZE`
# starts one more (say 1920x1080x24) and sets $display and $display_pid.
work=$(mktemp -d)
displays=()
open_display() {
  local fd_file
  fd_file=$(mktemp -p "$work")
  Xvfb -displayfd 3 -screen 0 "$1" -nolisten tcp -noreset 3>"$fd_file" 2>/dev/null &
  display_pid=$!
  displays+=("$display_pid")
  for _ in $(seq 100); do [ -s "$fd_file" ] && break; sleep 0.1; done
  display=":$(cat "$fd_file")"
}
trap 'kill "${displays[@]}" 2>/dev/null; rm -rf "$work"' EXIT
open_display 1280x1024x24
xvfb=$display_pid
export DISPLAY=$display XDG_CONFIG_HOME=$work XDG_RUNTIME_DIR=$work
chmod 700 "$work"
