#!/usr/bin/env bash
# Runs COMMAND... with DISPLAY on an Xvfb of its own started with
# SERVER_ARGS, and ends the server after; exits with the command's code.
# The server names its display itself (-displayfd), so that any number of
# these may start at once: xvfb-run -a guesses a free one and can collide.
# Usage: on_xvfb.sh "SERVER_ARGS" COMMAND...
set -uo pipefail
server_args=$1
shift
display_file=$(mktemp)
# shellcheck disable=SC2086  # the server's arguments are words
Xvfb -displayfd 3 -nolisten tcp $server_args 3>"$display_file" 2>/dev/null &
xvfb=$!
trap '{ kill $xvfb && wait $xvfb; } 2>/dev/null; rm -f "$display_file"' EXIT
for _ in $(seq 500); do
  [ -s "$display_file" ] && break
  kill -0 $xvfb 2>/dev/null || break
  sleep 0.02
done
[ -s "$display_file" ] || { echo "on_xvfb.sh: Xvfb did not start"; exit 1; }
DISPLAY=:$(cat "$display_file")
export DISPLAY
"$@"
