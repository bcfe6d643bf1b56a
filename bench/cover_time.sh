#!/usr/bin/env bash
# Milliseconds from exec to a black screen: `vivedaziv /s` beside a minimal
# Qt program that shows one black full-screen window, under Xvfb with a white
# desktop; then from exec to the first particles on black, beside
# bench/xlib_reference (the first tick at its window's first exposure).
# Median of RUNS starts each, taken in turns.
# Usage: bench/cover_time.sh [BUILD_DIR] [RUNS]
set -euo pipefail
build=$(realpath "${1:-build/release}")
runs=${2:-15}
vivedaziv=$build/host/vivedaziv
probe=$build/bench/first_black
minimal=$build/bench/minimal_fullscreen
reference=$build/bench/xlib_reference
for f in "$vivedaziv" "$probe" "$minimal" "$reference"; do [ -x "$f" ] || { echo "build $build first" >&2; exit 1; }; done

. "$(dirname "$0")/virtual_display.sh"
xsetroot -solid white

median() { sort -n | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2}'; }
: > "$work/saver"; : > "$work/minimal"; : > "$work/saver_particles"; : > "$work/reference"
for _ in $(seq "$runs"); do
  "$probe" "$vivedaziv" /s >> "$work/saver"
  sleep 0.2
  "$probe" "$minimal" >> "$work/minimal"
  sleep 0.2
  "$probe" --particles "$vivedaziv" /s >> "$work/saver_particles"
  sleep 0.2
  "$probe" --particles "$reference" >> "$work/reference"
  sleep 0.2
done
saver=$(median < "$work/saver")
minimal=$(median < "$work/minimal")
echo "exec to black screen, median of $runs: vivedaziv /s ${saver} ms, minimal Qt window ${minimal} ms"
awk -v s="$saver" -v m="$minimal" 'BEGIN {printf "ratio %.2f (goal: at most 0.50)\n", s / m}'
saver=$(median < "$work/saver_particles")
reference=$(median < "$work/reference")
echo "exec to the first particles, median of $runs: vivedaziv /s ${saver} ms, reference ${reference} ms"
awk -v s="$saver" -v r="$reference" 'BEGIN {printf "ratio %.2f (goal: at most 1.2)\n", s / r}'
