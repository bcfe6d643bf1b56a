#!/usr/bin/env bash
# What the saver costs while it runs. `vivedaziv /s` and its floor, a bare xcb
# program running the same step and drawing (bench/xlib_reference.cpp), run side by side,
# each on a 1920 x 1080 virtual screen of its own: CPU time of both programs
# and both X servers, resident memory and voluntary wake-ups per tick (all
# threads). Then `/p` in an 800 x 600 host window and the settings dialog on
# their own, and the resident memory of a minimal Qt full-screen window.
# Usage: bench/saver_cost.sh [BUILD_DIR] [SECONDS]   (at least 30 s a case)
set -euo pipefail
build=$(realpath "${1:-build/release}")
seconds=${2:-30}
vivedaziv=$build/host/vivedaziv
reference=$build/bench/xlib_reference
minimal=$build/bench/minimal_fullscreen
host=$build/tests/x11/preview_host
for f in "$vivedaziv" "$reference" "$minimal" "$host"; do
  [ -x "$f" ] || { echo "build $build first" >&2; exit 1; }
done

. "$(dirname "$0")/virtual_display.sh"
open_display 1920x1080x24; saver_display=$display; saver_server=$display_pid
open_display 1920x1080x24; reference_display=$display; reference_server=$display_pid

# Nanoseconds on a CPU, all threads (finer than the clock ticks of stat).
cpu() { cat /proc/"$1"/task/*/schedstat | awk '{n += $1} END {printf "%.0f", n}'; }
rss_mb() { awk '/^VmRSS/ {printf "%.1f", $2 / 1024}' "/proc/$1/status"; }
wakeups() { cat /proc/"$1"/task/*/status | awk '/^voluntary_ctxt_switches/ {n += $2} END {print n}'; }
percent() { awk -v t="$1" -v s="$seconds" 'BEGIN {printf "%.3f", 100 * t / 1e9 / s}'; }
settings() {  # PARTICLES DELAY
  mkdir -p "$work/Quenfold"
  printf '[vivedaziv]\nNumParticles=%s\nDelayTime=%s\n' "$1" "$2" > "$work/Quenfold/vivedaziv.conf"
}

# Measures PROGRAM_PID and SERVER_PID over the run; sets cpu_p, cpu_x, wake.
measure() {
  local p0 x0 w0
  p0=$(cpu "$1"); x0=$(cpu "$2"); w0=$(wakeups "$1")
  sleep "$seconds"
  cpu_p=$(percent $(($(cpu "$1") - p0))); cpu_x=$(percent $(($(cpu "$2") - x0)))
  wake=$(($(wakeups "$1") - w0))
}

echo "| case | program CPU | X server CPU | wake-ups per tick | resident memory |"
echo "|---|---|---|---|---|"
row() {  # NAME DELAY
  local ticks
  ticks=$(awk -v s="$seconds" -v d="$2" 'BEGIN {print s * 1000 / (d < 10 ? 10 : d)}')
  printf '| %s | %s %% | %s %% | %s | %s MB |\n' "$1" "$cpu_p" "$cpu_x" \
    "$(awk -v w="$wake" -v t="$ticks" 'BEGIN {printf "%.2f", w / t}')" "$rss"
}

side_by_side() {  # PARTICLES DELAY
  settings "$1" "$2"
  DISPLAY=$saver_display "$vivedaziv" /s & local saver=$!
  DISPLAY=$reference_display "$reference" "$1" "$2" & local ref=$!
  sleep 3
  local s0 r0 sx0 rx0 sw0 rw0
  s0=$(cpu $saver); r0=$(cpu $ref); sx0=$(cpu $saver_server); rx0=$(cpu $reference_server)
  sw0=$(wakeups $saver); rw0=$(wakeups $ref)
  sleep "$seconds"
  cpu_p=$(percent $(($(cpu $saver) - s0))); cpu_x=$(percent $(($(cpu $saver_server) - sx0)))
  wake=$(($(wakeups $saver) - sw0)); rss="$(rss_mb $saver) (X server $(rss_mb $saver_server))"
  local ref_p ref_x ref_wake ref_rss
  ref_p=$(percent $(($(cpu $ref) - r0))); ref_x=$(percent $(($(cpu $reference_server) - rx0)))
  ref_wake=$(($(wakeups $ref) - rw0)); ref_rss="$(rss_mb $ref) (X server $(rss_mb $reference_server))"
  kill $saver $ref; wait $saver $ref 2>/dev/null || true
  row "/s, $1 particles, $2 ms" "$2"
  cpu_p=$ref_p cpu_x=$ref_x wake=$ref_wake rss=$ref_rss row "floor, $1 particles, $2 ms" "$2"
}

side_by_side 50 50
side_by_side 100 10

settings 50 50
DISPLAY=$saver_display "$minimal" & minimal_pid=$!
sleep 3
echo "| minimal Qt full-screen window | | | | $(rss_mb $minimal_pid) MB |"
kill $minimal_pid; wait $minimal_pid 2>/dev/null || true

coproc HOST { DISPLAY=$saver_display "$host"; }
read -r id <&"${HOST[0]}"
echo "resize 800 600" >&"${HOST[1]}"; read -r _ <&"${HOST[0]}"
DISPLAY=$saver_display "$vivedaziv" /p "$id" & preview=$!
sleep 3
measure $preview $saver_server; rss="$(rss_mb $preview)"
row "/p in 800 x 600, 50 particles, 50 ms" 50
kill $preview; echo quit >&"${HOST[1]}"; wait $preview 2>/dev/null || true

DISPLAY=$saver_display "$vivedaziv" /c & dialog=$!
sleep 3
measure $dialog $saver_server; rss="$(rss_mb $dialog)"
row "settings dialog, 50 particles, 50 ms" 50
kill $dialog; wait $dialog 2>/dev/null || true
