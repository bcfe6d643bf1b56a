#!/usr/bin/env bash
# xautolock as the idle locker, started with the very line the README gives:
# `xautolock -locknow` starts the saver, a key ends it, and the next
# `-locknow` starts it again (each stands for an idle period).
# Usage: xautolock_test.sh VIVEDAZIV README   (on an X server: tests/on_xvfb.sh)
set -uo pipefail
readme=$2
command -v xautolock >/dev/null || { echo "xautolock is not installed"; exit 1; }
# The README's line names the program as `vivedaziv`: put ours first on PATH.
bin=$(mktemp -d)
ln -s "$(realpath "$1")" "$bin/vivedaziv"
export PATH="$bin:$PATH" XDG_CONFIG_HOME=$(mktemp -d) XDG_RUNTIME_DIR=$(mktemp -d)
chmod 700 "$XDG_RUNTIME_DIR"
locker=""
# Our saver is the one xautolock started, through a shell; others may run
# programs of the same name at the same time.
saver_pid() {
  local shells
  shells=$(pgrep -d, -P "$locker") || return 1
  pgrep -P "$shells" -f "^vivedaziv /s"
}
cleanup() {
  local pid
  pid=$(saver_pid) && kill $pid 2>/dev/null
  [ -n "$locker" ] && kill "$locker" 2>/dev/null
  rm -rf "$bin" "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }
running() { saver_pid >/dev/null; }

line=$(grep -m1 '^xautolock ' "$readme")
echo "README: $line"
case $line in
  *"-locker 'vivedaziv /s'"*'&') ;;
  *) fail "the README gives no xautolock line that runs the saver in the background" ;;
esac
eval "$line"
locker=$!
sleep 1
kill -0 "$locker" 2>/dev/null || fail "xautolock did not start"
running && fail "the saver started before the first idle period"
for round in first second; do
  # xautolock takes a -locknow only once it is listening and has seen the
  # last saver end; on a busy machine either can take a while, so ask again.
  for _ in $(seq 10); do
    xautolock -locknow || fail "xautolock -locknow failed"
    for _ in $(seq 20); do running && break; sleep 0.1; done
    running && break
  done
  running || fail "xautolock did not start the saver the $round time"
  sleep 1
  running || fail "the saver ended by itself"
  xdotool key a
  for _ in $(seq 50); do running || break; sleep 0.1; done
  running && fail "the saver did not end at a key"
  kill -0 "$locker" 2>/dev/null || fail "xautolock ended with the saver"
done
echo "xautolock test passed"
