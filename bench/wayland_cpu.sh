#!/usr/bin/env bash
# The Wayland saver beside the X11 one, at the default settings on a
# 1920 x 1080 screen: `vivedaziv /s` on a headless sway output and on Xvfb,
# both servers up for the whole run and the two savers running at once, turn
# after turn, so that whatever else the machine does weighs on both alike
# (runs of one saver alone differ by a fifth from one to the next). Per turn, the share
# of one core used by the program and by its display server and the
# program's wake-ups; then the totals, the program's memory (RSS and PSS),
# and the memory of a minimal Qt program showing one full-screen widget on
# each server.
# Usage: bench/wayland_cpu.sh [BUILD_DIR] [SECONDS] [TURNS]   (as root or a user sway runs as)
set -euo pipefail
build=$(realpath "${1:-build/release}")
seconds=${2:-20}
turns=${3:-3}
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
cpu() { cat /proc/"$1"/task/*/schedstat | awk '{n += $1} END {printf "%.0f", n}'; }
# Times the program went to sleep and was woken, all threads.
wakeups() { cat /proc/"$1"/task/*/status | awk '/^voluntary_ctxt_switches/ {n += $2} END {print n}'; }
memory() {  # PID: "RSS MiB PSS MiB"
  awk '/^Rss:/ {r = $2} /^Pss:/ {p = $2} END {printf "RSS %5.1f MiB  PSS %5.1f MiB", r / 1024, p / 1024}' \
    "/proc/$1/smaps_rollup"
}

Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp -noreset 3>"$work/display" 2>/dev/null &
xvfb=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
x11_display=":$(cat "$work/display")"
. "$(dirname "$0")/../tests/wayland/headless_sway.sh"
swaymsg output HEADLESS-1 mode 1920x1080 >/dev/null

# Becomes a command in the environment of one server, x11 or wayland: only
# in the background, as `on SERVER COMMAND... &`, whose $! is then the
# command's.
on() {
  local server=$1
  shift
  if [ "$server" = x11 ]; then
    exec env -u WAYLAND_DISPLAY DISPLAY="$x11_display" XDG_RUNTIME_DIR="$work/x11-runtime" "$@"
  else
    exec env -u DISPLAY QT_QPA_PLATFORM=wayland "$@"
  fi
}
mkdir -p "$work/x11-runtime" && chmod 700 "$work/x11-runtime"
declare -A program server wakes
for s in x11 wayland; do program[$s]=0; server[$s]=0; wakes[$s]=0; done

# One turn: both savers at once, each on its own server, so that whatever
# else the machine does at that moment weighs on both alike; adds to the
# totals.
turn() {
  declare -A saver server_pid=([x11]=$xvfb [wayland]=$sway_pid) s0 x0 w0 s1 x1 w1
  local s
  for s in x11 wayland; do
    on $s "$vivedaziv" /s &
    saver[$s]=$!
  done
  sleep 2
  for s in x11 wayland; do
    s0[$s]=$(cpu ${saver[$s]}); x0[$s]=$(cpu ${server_pid[$s]}); w0[$s]=$(wakeups ${saver[$s]})
  done
  sleep "$seconds"
  for s in x11 wayland; do
    s1[$s]=$(cpu ${saver[$s]}); x1[$s]=$(cpu ${server_pid[$s]}); w1[$s]=$(wakeups ${saver[$s]})
    memory ${saver[$s]} >"$work/memory.$s"
  done
  kill -TERM ${saver[x11]} ${saver[wayland]}
  wait ${saver[x11]} ${saver[wayland]} || true
  for s in x11 wayland; do
    program[$s]=$((program[$s] + s1[$s] - s0[$s])); server[$s]=$((server[$s] + x1[$s] - x0[$s]))
    wakes[$s]=$((wakes[$s] + w1[$s] - w0[$s]))
    report "  $s" $((s1[$s] - s0[$s])) $((x1[$s] - x0[$s])) $((w1[$s] - w0[$s])) "$seconds"
  done
}
report() {  # NAME PROGRAM_NS SERVER_NS WAKEUPS SECONDS [MEMORY]
  awk -v n="$1" -v s="$2" -v x="$3" -v w="$4" -v t="$5" -v m="${6:-}" \
    'BEGIN { printf "%-20s program %5.3f%%  server %5.2f%% of one core  %5.1f wake-ups/s  %s\n", n, s/t/1e7, x/t/1e7, w/t, m }'
}
measure_minimal() {  # SERVER
  on "$1" "$minimal" &
  local pid=$!
  sleep 3
  printf '%-20s %s\n' "minimal Qt, $1" "$(memory $pid)"
  kill $pid
  wait $pid 2>/dev/null || true
}

echo "vivedaziv /s at the defaults, 1920 x 1080, on both servers at once, $turns turns of $seconds s:"
for _ in $(seq "$turns"); do turn; done
echo "in all:"
report "X11 (Xvfb)" ${program[x11]} ${server[x11]} ${wakes[x11]} $((seconds * turns)) "$(cat "$work/memory.x11")"
report "Wayland (sway)" ${program[wayland]} ${server[wayland]} ${wakes[wayland]} $((seconds * turns)) \
  "$(cat "$work/memory.wayland")"
measure_minimal x11
measure_minimal wayland 2>/dev/null
