#!/usr/bin/env bash
# CPU cost of `vivedaziv /p` in an 800 x 600 host window under Xvfb: the
# share of one core used by the program and by the X server over a run.
# Usage: bench/preview_cpu.sh [BUILD_DIR] [SECONDS]
set -euo pipefail
build=${1:-build/release}
seconds=${2:-20}
vivedaziv=$build/host/vivedaziv
host=$build/tests/host/preview_host
[ -x "$vivedaziv" ] && [ -x "$host" ] || { echo "build $build first" >&2; exit 1; }

ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
hz=$(getconf CLK_TCK)

run_case() {  # NAME NUM_PARTICLES DELAY
  local name=$1 conf
  conf=$(mktemp -d)
  mkdir -p "$conf/Quenfold"
  printf '[vivedaziv]\nNumParticles=%s\nDelayTime=%s\n' "$2" "$3" > "$conf/Quenfold/vivedaziv.conf"
  local display=:$((90 + RANDOM % 100))
  Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  local xvfb=$!
  for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X${display#:}" ] && break; sleep 0.1; done
  export DISPLAY=$display XDG_CONFIG_HOME=$conf XDG_RUNTIME_DIR=$conf
  chmod 700 "$conf"
  coproc HOST { "$host"; }
  local id
  read -r id <&"${HOST[0]}"
  echo "resize 800 600" >&"${HOST[1]}"
  read -r _ <&"${HOST[0]}"
  "$vivedaziv" /p "$id" &
  local saver=$!
  sleep 2
  local s0 x0 s1 x1
  s0=$(ticks $saver); x0=$(ticks $xvfb)
  sleep "$seconds"
  s1=$(ticks $saver); x1=$(ticks $xvfb)
  echo quit >&"${HOST[1]}"
  kill $saver $xvfb 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$conf"
  awk -v n="$name" -v s=$((s1 - s0)) -v x=$((x1 - x0)) -v hz="$hz" -v t="$seconds" \
    'BEGIN { printf "%-34s program %5.2f%%  X server %5.2f%% of one core\n", n, 100*s/hz/t, 100*x/hz/t }'
}

run_case "defaults (50 particles, 50 ms)" 50 50
run_case "100 particles, 10 ms floor" 100 0
