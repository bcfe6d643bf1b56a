#!/usr/bin/env bash
# X servers that cannot serve: one killed at a spread of moments while the
# program starts, in every mode that uses it, and one of 8 bits with a colour
# map. Each time the program ends with code 1 and says why, never by a
# signal (an abort, a core dump).
# Usage: server_gone_test.sh VIVEDAZIV
set -uo pipefail
vivedaziv=$1
work=$(mktemp -d)
export XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work/runtime
mkdir -m 700 "$XDG_RUNTIME_DIR"
# The exit codes are the point here: leaks that the toolkit leaves when the
# connection breaks under it would turn the code into the sanitiser's.
export ASAN_OPTIONS=detect_leaks=0
xvfb=""
trap '{ kill -KILL $xvfb && wait $xvfb; } 2>/dev/null; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

server() {  # XVFB_ARGS...: starts one, sets DISPLAY
  rm -f "$work/display"
  Xvfb -displayfd 3 -nolisten tcp "$@" 3>"$work/display" 2>/dev/null &
  xvfb=$!
  for _ in $(seq 200); do [ -s "$work/display" ] && break; sleep 0.02; done
  [ -s "$work/display" ] || fail "Xvfb did not start"
  export DISPLAY=:$(cat "$work/display")
}

ends_with_one() {  # WHAT PID
  local rc
  for _ in $(seq 600); do kill -0 "$2" 2>/dev/null || break; sleep 0.05; done
  kill -0 "$2" 2>/dev/null && fail "$1: still running"
  wait "$2"; rc=$?
  [ $rc -eq 1 ] || fail "$1: exit code $rc, stderr: $(cat "$work/err")"
  [ -s "$work/err" ] || fail "$1: nothing said on stderr"
}

for ms in 0 10 20 30 45 60 80 100 130 170 250 400; do
  for args in /s /c "/p ROOT" "/a 0"; do
    server -screen 0 640x480x24
    root=$(xwininfo -root | awk '/Window id:/ { print $4 }')
    "$vivedaziv" ${args/ROOT/$((root))} </dev/null >/dev/null 2>"$work/err" &
    pid=$!
    sleep "$(printf '%d.%03d' $((ms / 1000)) $((ms % 1000)))"
    kill -KILL $xvfb; wait $xvfb 2>/dev/null
    ends_with_one "'$args', server killed after $ms ms" $pid
  done
done

server -screen 0 640x480x8
root=$(xwininfo -root | awk '/Window id:/ { print $4 }')
for args in /s /c "/p $((root))" "/a 0"; do
  timeout 20 "$vivedaziv" $args </dev/null >/dev/null 2>"$work/err" &
  ends_with_one "'$args' on an 8-bit screen" $!
  [ "$(wc -l <"$work/err")" -eq 1 ] && grep -q "PseudoColor" "$work/err" ||
    fail "'$args' on an 8-bit screen: $(cat "$work/err")"
done
echo "server gone test passed"
