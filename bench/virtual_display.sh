# Sourced by the benchmark scripts: a private Xvfb (1280 × 1024) that keeps
# its state between clients, with a scratch directory $work as the settings
# and runtime folders; both go when the script exits.
work=$(mktemp -d)
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$work/display" 2>/dev/null &
xvfb=$!
trap 'kill $xvfb 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$work/display")" XDG_CONFIG_HOME=$work XDG_RUNTIME_DIR=$work
chmod 700 "$work"
