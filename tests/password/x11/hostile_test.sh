#!/bin/bash
# The locked saver against other programs on the display, under openbox with
# the picom compositor. A client that owns the saver's selection, even one
# that holds the keyboard, does not keep it from locking. Popups of other
# programs leave nothing of theirs on the screen. A client that unmaps,
# destroys, reparents, lowers, reshapes or moves its windows has them put
# back, with both grabs held, within a second; one that raises a window of
# its own in a loop never shows it; one that unmaps the saver in a loop while
# keys are typed gets none of them in its focused window. A screen grown
# while locked is covered to its last pixel. Keys another client sends are
# not the user's. After the saver's window was made anew the waking key is
# not typed into the prompt, which shows through the compositor, and the
# right password ends the saver with 0.
# $1: vivedaziv  $2: library to preload for PAM  $3: saver_probe
set -u
vivedaziv=$1
preload=$2
probe=$3

. "$(dirname "$0")/common.sh"
start_xvfb -screen 0 800x600x24
start_openbox
# A compositing manager paints over the overlay the saver keeps its windows
# in, so there they are ordinary windows above the rest; the saver follows
# it coming and going.
compositor=
start_picom() {
  picom --backend xrender --config /dev/null >"$work/picom.log" 2>&1 &
  compositor=$!
  pids+=($compositor)
  sleep 1
  kill -0 "$compositor" || fail "picom did not start: $(cat "$work/picom.log")"
}
start_picom
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

# A client owns the saver's selection and holds the keyboard: the saver
# covers the screen at once, says so once, and takes the grabs as soon as
# they come free.
coproc SQUAT { "$probe" own-selection-grab; }
pids+=($SQUAT_PID)
read -r -t 5 owning <&"${SQUAT[0]}" && [ "$owning" = owning ] || fail "squatter did not start"
start_saver 2>"$work/saver.err"
sleep 2
alive || fail "the saver ended beside a client that owns its selection"
[ "$(magenta)" -eq 0 ] || fail "the desktop shows while another client holds the keyboard"
grep -q "another program holds the keyboard" "$work/saver.err" || fail "no word of the held keyboard"
squatter=$SQUAT_PID
exec {SQUAT[1]}>&-
# Bash runs one coproc at a time: this one must be gone before the next.
wait "$squatter" 2>/dev/null
wait_grabs
# A second saver while one holds the screen does nothing.
timeout 10 "$vivedaziv" /s || fail "a second saver failed"
alive || fail "a second saver ended the first"

# Two popups of another program, mapped together and gone: nothing of them
# stays.
"$probe" popups 150 >/dev/null
sleep 0.3
[ "$("$probe" count 00ff00)" = "count 0" ] || fail "popups left their picture on the locked screen"

for how in unmap destroy reparent lower shape move; do
  answer=$("$probe" attack "$how")
  echo "$how: $answer"
  case "$answer" in
    "recovered "*) [ "${answer#recovered }" -le 1000 ] || fail "$how: recovered too late" ;;
    *) fail "$how: $answer" ;;
  esac
  alive || fail "the saver ended after $how"
  sleep 0.3
done
[ "$(magenta)" -eq 0 ] || fail "the desktop shows after the attacks"

# Without a compositing manager, a full-screen window of another program
# raised in a loop never shows (with one, it can: see the README).
kill "$compositor"
wait "$compositor" 2>/dev/null
sleep 1.5
cpu() { awk '{print $14 + $15}' "/proc/$saver/stat"; }
before=$(cpu)
"$probe" raise-loop 3000 >/dev/null &
raiser=$!
sleep 1
shown=$("$probe" count 00ff00)
wait "$raiser"
echo "saver CPU during a 3 s raise loop: $(( ($(cpu) - before) * 100 / $(getconf CLK_TCK) / 3 ))% of a core"
[ "$shown" = "count 0" ] || fail "a window raised in a loop shows: $shown"
start_picom
sleep 1.5
[ "$(magenta)" -eq 0 ] || fail "the desktop shows after picom started"

# The screen grows while locked: no pixel of the desktop shows.
xrandr --output screen --mode 800x600 || fail "RandR did not grow the screen"
sleep 1.5
shown=$(magenta)
[ "$shown" -eq 0 ] || fail "$shown desktop pixels show after the screen grew"
[ "$("$probe" grab)" = "keyboard already-grabbed pointer already-grabbed" ] ||
  fail "the grabs were lost after the screen grew"

# Keys typed while another client unmaps the saver as fast as it can: not
# one reaches the window that had the focus before the lock.
# (A FIFO, not a second coproc: bash runs one at a time.)
mkfifo "$work/sink.in"
"$probe" keysink <"$work/sink.in" >"$work/sink.out" &
sink=$!
pids+=($sink)
exec {sink_in}>"$work/sink.in"
for _ in $(seq 50); do grep -q ready "$work/sink.out" && break; sleep 0.1; done
grep -q ready "$work/sink.out" || fail "key sink did not start"
"$probe" unmap-loop 3000 >"$work/unmapped" &
looper=$!
sleep 0.2
xdotool type --delay 15 "$(printf 'k%.0s' $(seq 120))"
wait "$looper"
exec {sink_in}>&-
wait "$sink"
keys=$(grep keys "$work/sink.out")
echo "unmap loop: $(cat "$work/unmapped"), key sink: $keys"
[ "$keys" = "keys 0" ] || fail "keys reached another window during an unmap loop: $keys"
alive || fail "the saver ended during the unmap loop"
# The typing opened the prompt: put it away; the next request is let go.
wait_window "$prompt" || fail "no prompt after typing"
xdotool key Escape
wait_gone "$prompt" || fail "Escape did not close the prompt"
xdotool key d
sleep 0.5

# A key sent by another client is not the user's.
[ "$("$probe" send-key)" = sent ] || fail "no key sent"
sleep 1
[ -z "$(find_window "$prompt")" ] || fail "a sent key opened the prompt"

# The saver's window made anew: the key that wakes it is not typed.
answer=$("$probe" attack destroy)
case "$answer" in "recovered "*) ;; *) fail "destroy: $answer" ;; esac
sleep 0.5
xdotool key e
wait_window "$prompt" || fail "no prompt after the window was made anew"
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
