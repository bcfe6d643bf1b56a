#!/usr/bin/env bash
# The Wayland saver beside the X11 one, at the default settings on a
# 1920 x 1080 screen: `vivedaziv /s` on a headless sway output and on Xvfb,
# the share of one core used by the program and by the display server over
# a run, and the program's memory (RSS and PSS) at its end; and the memory
# of a minimal Qt program showing one full-screen widget, on each.
# Usage: bench/wayland_cpu.sh [BUILD_DIR] [SECONDS]   (as root or a user sway runs as)
set -euo pipefail
build=$(realpath "${1:-build/release}")
seconds=${2:-20}
vivedaziv=$build/host/vivedaziv
minimal=$build/bench/minimal_fullscreen
for f in "$vivedaziv" "$minimal"; do [ -x "$f" ] || { echo "build $build first" >&2; exit 1; }; done
fail() { echo "$*" >&2; exit 1; }

work=$(mktemp -d)
chmod 755 "$work"
export XDG_CONFIG_HOME=$work/config
mkdir -p "$XDG_CONFIG_HOME"
xvfb=""; sway_pid=""
trap 'kill $xvfb $sway_pid 2>/dev/null; wait 2>/dev/null; rm -rf "$work"' EXIT

# Nanoseconds on a CPU, all threads (finer than the clock ticks of stat).
cpu() { cat /proc/"$1"/task/*/schedstat | awk '{n += $1} END {printf "%d", n}'; }
memory() {  # PID: "RSS MiB PSS MiB"
  awk '/^Rss:/ {r = $2} /^Pss:/ {p = $2} END {printf "RSS %5.1f MiB  PSS %5.1f MiB", r / 1024, p / 1024}' \
    "/proc/$1/smaps_rollup"
}

# NAME SERVER_PID: runs the saver, prints its CPU, the server's and memory.
measure_saver() {
  "$vivedaziv" /s &
  local saver=$! s0 x0 s1 x1 mem
  sleep 2
  s0=$(cpu $saver); x0=$(cpu "$2")
  sleep "$seconds"
  s1=$(cpu $saver); x1=$(cpu "$2")
  mem=$(memory $saver)
  kill -TERM $saver
  wait $saver || true
  awk -v n="$1" -v s=$((s1 - s0)) -v x=$((x1 - x0)) -v t="$seconds" -v m="$mem" \
    'BEGIN { printf "%-22s program %5.2f%%  server %5.2f%% of one core  %s\n", n, s/t/1e7, x/t/1e7, m }'
}
measure_minimal() {  # NAME
  "$minimal" &
  local pid=$!
  sleep 3
  printf '%-22s %s\n' "$1" "$(memory $pid)"
  kill $pid
  wait $pid 2>/dev/null || true
}

echo "vivedaziv /s at the defaults, 1920 x 1080, over $seconds s:"
Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp -noreset 3>"$work/display" 2>/dev/null &
xvfb=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
(
  export DISPLAY=":$(cat "$work/display")" XDG_RUNTIME_DIR=$work/x11-runtime
  mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
  unset WAYLAND_DISPLAY
  measure_saver "X11 (Xvfb)" $xvfb
  measure_minimal "minimal Qt, X11"
)
kill $xvfb; wait $xvfb 2>/dev/null || true; xvfb=""

. "$(dirname "$0")/../tests/host/wayland/headless_sway.sh"
swaymsg output HEADLESS-1 mode 1920x1080 >/dev/null
unset DISPLAY
measure_saver "Wayland (sway)" $sway_pid
QT_QPA_PLATFORM=wayland measure_minimal "minimal Qt, Wayland"
