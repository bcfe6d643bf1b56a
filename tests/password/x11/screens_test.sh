#!/bin/bash
# Every screen is locked: on a display with two X screens, the first split
# into two monitors, the saver shows particles on the primary monitor and
# black on the other monitor and on the second X screen; a click on the
# second X screen asks for the password, which then ends the saver.
# $1: vivedaziv  $2: library to preload for PAM  $3: saver_probe
set -u
vivedaziv=$1
preload=$2
probe=$3

. "$(dirname "$0")/common.sh"
start_xvfb -screen 0 800x600x24 -screen 1 640x480x24
lock_with_password
# White desktops, so anything left uncovered shows.
xsetroot -display "$DISPLAY.0" -solid white
xsetroot -display "$DISPLAY.1" -solid white
xrandr --setmonitor LEFT 400/100x600/100+0+0 none >/dev/null &&
  xrandr --setmonitor RIGHT 400/100x600/100+400+0 none >/dev/null ||
  fail "cannot split the first screen into two monitors"

start_saver
wait_grabs
for _ in $(seq 50); do  # until the particles show
  answer=$("$probe" lit)
  lit=${answer#lit }; lit=${lit%% of*}
  [ "$lit" -gt 0 ] && break
  sleep 0.1
done
[ "$lit" -gt 0 ] && [ "$lit" -lt 5000 ] || fail "expected particles on black on the first screen: $answer"
answer=$("$probe" @1 lit)
[ "$answer" = "lit 0 of 307200" ] || fail "the second X screen is not black: $answer"
[ "$("$probe" top)" = "$(printf 'top %s 0 0 400 600 1' "$("$probe" top | cut -d' ' -f2)")" ] ||
  fail "the particles should fill the primary monitor: $("$probe" top)"

xdotool mousemove --screen 1 100 100 sleep 0.2 click 1
wait_window "$prompt" || fail "a click on the second X screen did not ask for the password"
sleep 0.3
xdotool type --delay 20 "right one"
xdotool key Return
ends_with_0 "the right password"
echo "screens test passed"
