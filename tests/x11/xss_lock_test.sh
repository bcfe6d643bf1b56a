#!/usr/bin/env bash
# xss-lock as the idle locker: `xss-lock -- vivedaziv /s` starts the saver
# when the X server's screen saver activates; a key then ends it.
# Without a login manager (headless machines) xss-lock still reacts to the X
# screen saver before it gives up, which is all this test needs.
# Usage: xss_lock_test.sh VIVEDAZIV   (on an X server: tests/on_xvfb.sh)
set -uo pipefail
# A copy at a path of its own, so that looking for (and stopping) our saver
# can never touch one that another test runs at the same time.
copy=$(mktemp -d)
cp "$1" "$copy/vivedaziv"
vivedaziv=$copy/vivedaziv
command -v xss-lock >/dev/null || { echo "xss-lock is not installed"; exit 1; }
export XDG_CONFIG_HOME=$(mktemp -d) XDG_RUNTIME_DIR=$(mktemp -d)
chmod 700 "$XDG_RUNTIME_DIR"
locker=""
cleanup() {
  [ -n "$locker" ] && kill "$locker" 2>/dev/null
  pkill -f "^$vivedaziv /s" 2>/dev/null
  rm -rf "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR" "$copy"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }
running() { pgrep -f "^$vivedaziv /s" >/dev/null; }

xss-lock -- "$vivedaziv" /s >/dev/null 2>&1 &
locker=$!
sleep 1
running && fail "the saver started before the X screen saver activated"
xset s activate
for _ in $(seq 50); do running && break; sleep 0.1; done
running || fail "xss-lock did not start the saver"
sleep 1
running || fail "the saver ended by itself"
xdotool key a
for _ in $(seq 50); do running || break; sleep 0.1; done
running && fail "the saver did not end at a key"
echo "xss-lock test passed"
