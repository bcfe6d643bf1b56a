#!/bin/sh
# Types into the password prompt with XTEST, the way a
# keyboard would, while the stand-in saver holds the X keyboard grab: wrong
# password first (the saver must stay), then the right one (it may close).
# $1: grabbed_saver  $2: library to preload for PAM (pam_wrapper)
set -eu
saver=$1
preload=$2

work=$(mktemp -d)
xvfb=
trap '[ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null; rm -rf "$work"' EXIT

# An X server of our own. With -displayfd it picks a free display itself and
# says which once it is ready; xvfb-run -a guesses one and can collide with
# servers other tests start at the same moment.
Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
xvfb=$!
for _ in $(seq 100); do
  [ -s "$work/display" ] && break
  sleep 0.1
done
if [ ! -s "$work/display" ]; then
  echo "Xvfb did not start" >&2
  exit 1
fi
DISPLAY=":$(cat "$work/display")"
export DISPLAY
printf '%s:x11 secret:vivedaziv\n' "$(id -un)" > "$work/passdb"
mkdir -p "$work/config/Control Panel"
printf '[General]\nScreenSaveUsePassword=1\n' > "$work/config/Control Panel/Desktop.conf"
export PAM_MATRIX_PASSWD="$work/passdb" XDG_CONFIG_HOME="$work/config"
# Keys that never arrive end in the prompt timing out; no need to wait 30 s.
export VIVEDAZIV_PROMPT_TIMEOUT_MS=10000

# Types $1 into the prompt once it is up; prints the saver's exit status, or
# "lost" when the saver died before showing the prompt.
attempt_once() {
  LD_PRELOAD="$preload" "$saver" >&2 &
  pid=$!
  found=
  for _ in $(seq 300); do
    if ! kill -0 "$pid" 2>/dev/null; then break; fi
    if xdotool search --onlyvisible --name '^Vivedaziv$' >/dev/null 2>&1; then
      found=1
      break
    fi
    sleep 0.1
  done
  if [ -z "$found" ]; then
    echo "no password prompt appeared" >&2
    kill "$pid" 2>/dev/null || true
    wait "$pid" || true
    echo lost
    return
  fi
  # Mapped; the prompt grabs the keyboard right after (it retries until X
  # lets it). Leave it time even on a busy machine.
  sleep 1
  xdotool type --delay 30 "$1"
  xdotool key Return
  status=0
  wait "$pid" || status=$?
  echo "$status"
}

# On a machine shared with other X tests a client now and then fails to
# connect at all; that says nothing about the prompt, so try again.
attempt() {
  for _ in 1 2 3; do
    result=$(attempt_once "$1")
    [ "$result" != lost ] && break
  done
  echo "$result"
}

wrong=$(attempt "x11 secreT")
right=$(attempt "x11 secret")
echo "wrong password: exit $wrong (want 1); right password: exit $right (want 0)"
[ "$wrong" = 1 ] && [ "$right" = 0 ]
