#!/usr/bin/env bash
# Real windows under Xvfb: `vivedaziv /s` must cover the screen with particles
# on black, hide the pointer, hold the keyboard and pointer, stay above other
# windows, ignore a window-manager close and a second start, and end with
# code 0 at a key, a click, a pointer movement or the loss of the focus.
# Usage: saver_test.sh VIVEDAZIV SAVER_PROBE [openbox]   (on an X server: tests/on_xvfb.sh)
# With "openbox", all of it runs under that window manager.
set -uo pipefail
vivedaziv=$1
probe=$2
wm=${3:-}
saver=""; holder=""; STAY_PID=""
export XDG_CONFIG_HOME=$(mktemp -d)
export XDG_RUNTIME_DIR=$(mktemp -d)
chmod 700 "$XDG_RUNTIME_DIR"
trap 'rm -rf "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR"; kill $saver $holder $STAY_PID 2>/dev/null || true' EXIT
fail() { echo "FAIL: $*"; exit 1; }

# The server resets, briefly refusing connections, whenever its last client
# leaves; one client stays for the whole test.
coproc STAY { "$probe" stay; }
read -r -t 10 _ <&"${STAY[0]}" || fail "cannot connect to the display"
if [ "$wm" = openbox ]; then
  . "$(dirname "$0")/../openbox.sh"
  launch_openbox; started=$?
  wm_pid=$openbox_pid
  trap 'rm -rf "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR"; kill $saver $holder $STAY_PID $wm_pid 2>/dev/null || true' EXIT
  [ $started -eq 0 ] || fail "openbox did not start"
fi

# Fast ticks, all particles shown.
mkdir -p "$XDG_CONFIG_HOME/Quenfold"
printf '[vivedaziv]\nDelayTime=10\nNumParticles=60\n' > "$XDG_CONFIG_HOME/Quenfold/vivedaziv.conf"

# Starts a saver and waits until its window covers the screen; sets $saver
# and $win.
start() {
  "$vivedaziv" /s &
  saver=$!
  for _ in $(seq 100); do
    read -r _ win x y w h override <<<"$("$probe" top)"
    [ "$x $y $w $h $override" = "0 0 1024 768 1" ] && return 0
    kill -0 $saver 2>/dev/null || fail "saver ended before showing"
    sleep 0.1
  done
  fail "no override-redirect window over the whole screen: $("$probe" top)"
}

. "$(dirname "$0")/../saver_ends.sh"
. "$(dirname "$0")/../wait_for.sh"

# Before: the root's own cursor is visible, its background not black.
before=$("$probe" cursor)
[ "${before##* opaque }" -gt 0 ] 2>/dev/null || fail "expected a visible cursor before: $before"
bg=$("$probe" lit)

start
particles_on_black() {
  answer=$("$probe" lit)
  lit=${answer#lit }; lit=${lit%% of*}
  [ "$lit" -ge 16 ] && [ "$lit" -le $((60 * 16 * 2)) ]
}
eventually 10 particles_on_black || fail "expected particles on black, got $answer"
echo "background: $bg; saver: $answer"
pointer_hidden() { answer=$("$probe" cursor); [ "${answer##* opaque }" = 0 ]; }
eventually 10 pointer_hidden || fail "pointer should be invisible: $answer"
input_held() { answer=$("$probe" grab); [ "$answer" = "keyboard already-grabbed pointer already-grabbed" ]; }
eventually 10 input_held || fail "saver should hold keyboard and pointer: $answer"

# The window manager's close (close button, window menu) is ignored.
"$probe" close "$win" >/dev/null
sleep 0.5
running "a window-manager close"

# Starting a second saver does nothing and ends quietly with 0.
before=$("$probe" covering)
out=$(timeout 10 "$vivedaziv" /s 2>&1); rc=$?
[ $rc -eq 0 ] && [ -z "$out" ] || fail "second saver: code $rc, output '$out'"
[ "$("$probe" covering)" = "$before" ] || fail "a second saver window appeared"
running "a second start"

# Two popups of another program, mapped together and gone: nothing of them
# stays on the saver.
"$probe" popups 150 >/dev/null
sleep 0.3
[ "$("$probe" count 00ff00)" = "count 0" ] || fail "popups left their picture on the saver"
running "popups came and went"

# A window mapped later does not stay above the saver. A window manager
# gives it the focus, which ends the saver as any loss of activation does.
answer=$("$probe" cover)
if [ "$wm" = openbox ]; then
  ends "a new window took the focus"
  start
else
  [ "$answer" = "cover below" ] || fail "a new window stayed above the saver: $answer"
  running "a window was mapped"
fi

xdotool key a
ends "a key"
answer=$("$probe" grab)
[ "$answer" = "keyboard success pointer success" ] || fail "grabs not released: $answer"
[ "$("$probe" covering)" = "covering 0" ] || fail "saver window left behind"

# The first movement only records; one pixel off from there ends it.
start
xdotool mousemove 100 100
sleep 0.5
running "the first movement"
xdotool mousemove 101 100
ends "a one-pixel move"

# Another window taking the focus ends it, although the grab keeps the keys.
start
sleep 0.5
"$probe" focus 3000 >/dev/null &
holder=$!
ends "a focus change"
wait $holder; holder=""

# Someone else holds keyboard and pointer when the saver starts: it takes
# them once they are free, then a right click ends it.
coproc HOLD { "$probe" hold 1000; }
holder=$HOLD_PID
read -r -t 5 held <&"${HOLD[0]}" || fail "holder did not start"
[ "$held" = held ] || fail "holder could not grab: $held"
start
wait $holder; holder=""
sleep 0.5
running "the grabs came free"
answer=$("$probe" grab)
[ "$answer" = "keyboard already-grabbed pointer already-grabbed" ] ||
  fail "saver should have taken the grabs once free: $answer"
xdotool click 3
ends "a right click"

echo "saver test passed"
