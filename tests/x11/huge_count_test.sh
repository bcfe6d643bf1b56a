#!/usr/bin/env bash
# Real windows under Xvfb with a million particles stored, where one tick
# takes minutes, and with fifty million: every mode still ends with code 0
# soon after its close request (a key in the saver, the destruction of the
# host window in preview mode, Escape in the settings dialog) and after
# SIGTERM.
# Usage: huge_count_test.sh VIVEDAZIV PREVIEW_HOST SAVER_PROBE   (on an X server: tests/on_xvfb.sh)
set -uo pipefail
vivedaziv=$1
probe=$3
pid=""
export XDG_CONFIG_HOME=$(mktemp -d) XDG_RUNTIME_DIR=$(mktemp -d)
chmod 700 "$XDG_RUNTIME_DIR"
trap 'rm -rf "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR"; kill $pid $HOST_PID 2>/dev/null || true' EXIT
fail() { echo "FAIL: $*"; exit 1; }
mkdir -p "$XDG_CONFIG_HOME/Quenfold"
coproc HOST { "$2"; }  # also keeps the server from resetting between runs
read -r -t 10 id <&"${HOST[0]}" || fail "host did not start"

# Whether the program shows its window: the saver's covers the screen, the
# preview and the dialog carry its process id.
shown() {  # ARGS...
  if [ "$1" = /s ]; then
    local _ x y w h override
    read -r _ _ x y w h override <<<"$("$probe" top)"
    [ "$x $y $w $h $override" = "0 0 1024 768 1" ]
  else
    [ -n "$(xdotool search --onlyvisible --pid $pid 2>/dev/null)" ]
  fi
}

# Starts `vivedaziv ARGS`, lets it run into its first tick (it starts at the
# window's first exposure and then takes minutes), sends REQUEST (a command)
# and waits for the end.
run() {  # REQUEST ARGS...
  local request=$1 rc
  shift
  # Again each time: the dialog writes back what its slider can hold.
  printf '[vivedaziv]\nNumParticles=%s\n' "$count" > "$XDG_CONFIG_HOME/Quenfold/vivedaziv.conf"
  "$vivedaziv" "$@" 2>"$XDG_RUNTIME_DIR/err" &
  pid=$!
  local _
  for _ in $(seq 300); do
    kill -0 $pid 2>/dev/null || fail "'$*' ended early"
    shown "$@" && break
    sleep 0.1
  done
  shown "$@" || fail "'$*' showed no window"
  sleep 0.5
  kill -0 $pid 2>/dev/null || fail "'$*' ended early"
  eval "$request"
  for _ in $(seq 50); do kill -0 $pid 2>/dev/null || break; sleep 0.1; done
  kill -0 $pid 2>/dev/null && fail "'$*' still running 5 s after: $request"
  wait $pid; rc=$?; pid=""
  [ $rc -eq 0 ] || fail "'$*' exited with $rc after: $request"
}

count=1000000
for mode in /s "/p $id" /c; do run 'kill -TERM $pid' $mode; done
run 'xdotool key a' /s
run 'xdotool search --name Configurator windowfocus --sync key Escape' /c
# The dialog may be gone before xdotool sends the key's release, which it
# then never sends: the key stays down and repeats into the next saver.
xdotool keyup Escape
run 'echo destroy >&"${HOST[1]}"' /p "$id"

# Fifty million, which would take seconds to seed at every repaint and to
# free: the most there can be are used instead, and it says so.
count=50000000
run 'xdotool key a' /s
grep -q "NumParticles is 50000000; 1000000 particles are used" "$XDG_RUNTIME_DIR/err" ||
  fail "no word on the count: $(cat "$XDG_RUNTIME_DIR/err")"
echo "huge count test passed"
