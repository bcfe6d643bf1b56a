#!/usr/bin/env bash
# Milliseconds from a request to end until `vivedaziv` has exited, with a
# huge stored NumParticles, under Xvfb: a key in the saver, the destruction
# of the host window in preview mode, Escape in the settings dialog, and
# SIGTERM in each mode. Each request comes a few seconds into the run, in the
# middle of the first tick. Median of RUNS each.
# Usage: bench/close_latency.sh [BUILD_DIR] [NUM_PARTICLES] [RUNS]
set -euo pipefail
build=$(realpath "${1:-build/release}")
count=${2:-1000000}
runs=${3:-5}
vivedaziv=$build/host/vivedaziv
host=$build/tests/x11/preview_host
for f in "$vivedaziv" "$host"; do [ -x "$f" ] || { echo "build $build first" >&2; exit 1; }; done

. "$(dirname "$0")/virtual_display.sh"
mkdir -p "$work/Quenfold"
conf=$work/Quenfold/vivedaziv.conf

now() { date +%s%N; }
median() { sort -n | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2}'; }

# Waits for $pid after the request sent at $t0; prints the milliseconds.
ended() {
  wait "$pid" || true
  echo $((($(now) - t0) / 1000000))
}

saver() {  # key | term
  "$vivedaziv" /s & pid=$!
  sleep 3
  t0=$(now)
  if [ "$1" = key ]; then xdotool key a; else kill -TERM $pid; fi
  ended
}

preview() {  # destroy | term
  coproc HOST { "$host"; }
  local id
  read -r id <&"${HOST[0]}"
  "$vivedaziv" /p "$id" & pid=$!
  sleep 3
  t0=$(now)
  if [ "$1" = destroy ]; then echo destroy >&"${HOST[1]}"; else kill -TERM $pid; fi
  ended
  echo quit >&"${HOST[1]}"
  wait "$HOST_PID" 2>/dev/null || true
}

dialog() {  # escape | term
  printf '[vivedaziv]\nNumParticles=%s\n' "$count" > "$conf"  # the dialog writes it back
  "$vivedaziv" /c & pid=$!
  local dlg=""
  for _ in $(seq 100); do
    dlg=$(xdotool search --name Configurator 2>/dev/null | head -n 1) && [ -n "$dlg" ] && break
    sleep 0.1
  done
  xdotool windowfocus --sync "$dlg"
  sleep 3
  t0=$(now)
  if [ "$1" = escape ]; then xdotool key Escape; else kill -TERM $pid; fi
  ended
}

printf '[vivedaziv]\nNumParticles=%s\n' "$count" > "$conf"
echo "NumParticles=$count, milliseconds from the request to the end, median of $runs:"
for c in "saver key" "saver term" "preview destroy" "preview term" "dialog escape" "dialog term"; do
  for _ in $(seq "$runs"); do $c; done > "$work/times"
  printf '  %-16s %5s ms  (all: %s)\n' "$c" "$(median < "$work/times")" "$(tr '\n' ' ' < "$work/times")"
done
