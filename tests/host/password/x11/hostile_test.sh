#!/bin/bash
# The locked saver against other programs on the display, under openbox with
# the picom compositor: a client squatting on the saver's selection does not
# keep it from locking; a client that unmaps, destroys or reparents its
# window has the screen covered and both grabs held again within half a
# second; a screen grown while locked is covered to its last pixel; the
# prompt shows through the compositor, and the right password still ends the
# saver with 0.
# $1: vivedaziv  $2: library to preload for PAM  $3: saver_probe
set -u
vivedaziv=$1
preload=$2
probe=$3

. "$(dirname "$0")/common.sh"
start_xvfb -screen 0 800x600x24
start_openbox
picom --backend xrender --config /dev/null >"$work/picom.log" 2>&1 &
compositor=$!
pids+=($compositor)
sleep 1
kill -0 "$compositor" || fail "picom did not start: $(cat "$work/picom.log")"
# The desktop shows magenta wherever nothing covers it.
xsetroot -solid '#ff00ff'
magenta() {
  import -window root "$work/screen.png"
  convert "$work/screen.png" -fill black +opaque '#ff00ff' -fill white -opaque '#ff00ff' \
    -format '%[fx:mean*w*h]' info: | awk '{printf "%d", $1}'
}

# The screen starts smaller than it will be.
xrandr --newmode 640x480 0 640 0 0 0 480 0 0 0 >/dev/null 2>&1
xrandr --addmode screen 640x480 && xrandr --output screen --mode 640x480 || fail "no RandR resize"
lock_with_password

# A client owns the saver's selection but holds nothing: the saver locks.
coproc SQUAT { "$probe" own-selection; }
pids+=($SQUAT_PID)
read -r -t 5 owning <&"${SQUAT[0]}" && [ "$owning" = owning ] || fail "squatter did not start"
start_saver
wait_grabs
# A second saver while one holds the screen does nothing.
timeout 10 "$vivedaziv" /s || fail "a second saver failed"
alive || fail "a second saver ended the first"

for how in unmap destroy reparent; do
  answer=$("$probe" attack "$how")
  echo "$how: $answer"
  case "$answer" in
    "recovered "*) [ "${answer#recovered }" -le 500 ] || fail "$how: recovered too late" ;;
    *) fail "$how: $answer" ;;
  esac
  alive || fail "the saver ended after $how"
  sleep 0.5
done

# The screen grows while locked: no pixel of the desktop shows.
xrandr --output screen --mode 800x600 || fail "RandR did not grow the screen"
sleep 1.5
shown=$(magenta)
[ "$shown" -eq 0 ] || fail "$shown desktop pixels show after the screen grew"
[ "$("$probe" grab)" = "keyboard already-grabbed pointer already-grabbed" ] ||
  fail "the grabs were lost after the screen grew"

# The prompt (the interference may have asked for it already; one request
# after it may be ignored), seen through the compositor.
for key in a b c; do
  [ -n "$(find_window "$prompt")" ] && break
  xdotool key "$key"
  sleep 1
done
wait_window "$prompt" || fail "no prompt"
sleep 0.5
window_box "$(find_window "$prompt")"
import -window root "$work/prompt.png"
mean=$(convert "$work/prompt.png" -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" -colorspace gray -format '%[fx:mean]' info:)
echo "prompt brightness under picom: $mean"
awk "BEGIN{exit !($mean > 0.4)}" || fail "the prompt does not show under the compositor"
xdotool type --delay 20 "right one"
xdotool key Return
ends_with_0 "the right password"
kill -0 "$compositor" || fail "picom ended during the test"
echo "hostile client test passed"
