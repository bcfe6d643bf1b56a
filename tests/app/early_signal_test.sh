#!/usr/bin/env bash
# Hosts may stop the program at any moment, also while it is still starting:
# SIGTERM at a spread of moments from its first connection to the X server
# on (before that only the loader runs), in every mode that shows something,
# must end it with code 0 each time.
# Usage: early_signal_test.sh VIVEDAZIV   (on an X server: tests/on_xvfb.sh)
set -uo pipefail
export XDG_CONFIG_HOME=$(mktemp -d) XDG_RUNTIME_DIR=$(mktemp -d)
chmod 700 "$XDG_RUNTIME_DIR"
trap 'rm -rf "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
connected() {
  local fd
  for fd in /proc/$1/fd/*; do [ -S "$fd" ] && return 0; done
  return 1
}
root=$(xwininfo -root | awk '/Window id:/ { print $4 }')
for args in "/c 0" /s "/p $((root))"; do
  for ms in 0 2 5 10 20 40 80 150 300; do
    "$1" $args </dev/null >/dev/null 2>&1 &
    pid=$!
    until connected $pid; do kill -0 $pid 2>/dev/null || fail "'$args' ended by itself"; done
    sleep "$(printf '0.%03d' $ms)"
    kill -TERM $pid
    wait $pid
    rc=$?
    [ $rc -eq 0 ] || fail "'$args' ended with $rc after SIGTERM at $ms ms"
  done
done
echo "early signal test passed"
