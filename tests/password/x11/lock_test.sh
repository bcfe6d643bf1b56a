#!/bin/bash
# The locked saver on a desktop with a window manager (openbox), PAM through
# pam_wrapper. A second client tries to grab the keyboard and the pointer
# every 5 ms throughout and must never succeed: while another client held
# them at the start, through a wake by Alt with bursts of Tab, the prompt
# (seen on a screenshot, above a window mapped meanwhile), a wrong password
# (its masks, Ctrl+U emptying them, and the refusal seen on screenshots), the
# ignored request, Caps Lock's note, Escape, the time-left bar draining, the
# right password (pasted, then the Unlock button clicked), and the
# missing-routine box. Without the module a key ends the saver, which says
# so on stderr. Then
# `/a 0` without its module ends quietly with 0.
# $1: vivedaziv  $2: library to preload for PAM  $3: saver_probe
# $4: directory with a PASSWORD.CPL that lacks its routine
set -u
vivedaziv=$1
preload=$2
probe=$3
no_routine=$4

. "$(dirname "$0")/common.sh"
start_xvfb -screen 0 800x600x24
start_openbox

lock_with_password

# Waits until the saver holds both grabs; then starts the grab watcher on
# fd 4.
locked() {
  wait_grabs
  exec 4> >("$probe" watch-grabs > "$work/watch")
  for _ in $(seq 50); do [ -s "$work/watch" ] && break; sleep 0.1; done
}
# Ends the watcher; fails if it ever took a grab.
watch_result() {
  exec 4>&-
  for _ in $(seq 50); do grep -q taken "$work/watch" && break; sleep 0.1; done
  local answer
  answer=$(grep taken "$work/watch")
  echo "grab watcher: $answer"
  case "$answer" in
    "taken 0 of "[1-9]*) ;;
    *) fail "another client got a grab while the saver was locked: $answer" ;;
  esac
}

# Another client holds keyboard and pointer for 4 s as the saver starts: the
# saver must keep trying until they come free, and take them then.
coproc HOLD { "$probe" hold 4000; }
pids+=($HOLD_PID)
read -r -t 5 held <&"${HOLD[0]}" || fail "holder did not start"
[ "$held" = held ] || fail "holder could not grab: $held"
hold_pid=$HOLD_PID
start_saver
wait "$hold_pid"
alive || fail "the saver did not start"
locked

# Wake it with Alt held and bursts of Tab: the window manager must get
# nothing, the prompt comes up.
xdotool keydown alt key Tab key Tab key Tab
sleep 0.2
xdotool key Tab key Tab keyup alt
wait_window "$prompt" || fail "no prompt after Alt+Tab"

# The prompt is on screen, above the saver.
sleep 0.5
id=$(find_window "$prompt")
window_box "$id"
import -window root "$work/prompt.png"
mean=$(convert "$work/prompt.png" -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" -colorspace gray -format '%[fx:mean]' info:)
echo "prompt at ${X},${Y} ${WIDTH}x${HEIGHT}, brightness $mean"
awk "BEGIN{exit !($mean > 0.4)}" || fail "the prompt is not visible on the screen (brightness $mean)"

# Dark pixels in the prompt's box on a screenshot.
dark_pixels() {
  convert "$1" -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" -colorspace gray -threshold 20% \
    -format '%[fx:round((1-mean)*w*h)]' info:
}

# A window mapped during the prompt ends below the saver.
[ "$("$probe" cover)" = "cover below" ] || fail "a window mapped during the prompt stayed above"
[ -n "$(find_window "$prompt")" ] || fail "the prompt went away"

# Typed characters show as masks: the field gains black pixels (about 50 a
# mask).
dark_before=$(dark_pixels "$work/prompt.png")
xdotool type --delay 20 "wrong one"
sleep 0.3
import -window root "$work/typed.png"
dark_after=$(dark_pixels "$work/typed.png")
echo "dark pixels in the prompt: $dark_before before typing, $dark_after after"
[ "$dark_after" -ge $((dark_before + 300)) ] || fail "typed characters do not show"
# Ctrl+U empties the field.
xdotool key ctrl+u
sleep 0.3
import -window root "$work/cleared.png"
dark_cleared=$(dark_pixels "$work/cleared.png")
echo "dark pixels in the prompt after Ctrl+U: $dark_cleared"
[ "$dark_cleared" -le $((dark_before + 60)) ] || fail "Ctrl+U did not empty the field"
xdotool type --delay 20 "wrong one"
# The refusal is on show, in red, before the prompt goes.
xdotool key Return
refused=0
for _ in $(seq 20); do
  [ -n "$(find_window "$prompt")" ] || break
  import -window root "$work/refused.png"
  red=$(convert "$work/refused.png" -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" \
          -fx 'r > 0.5 && g < 0.3 && b < 0.3' -format '%[fx:round(mean*w*h)]' info:)
  [ "$red" -ge 20 ] && { refused=1; break; }
done
[ $refused -eq 1 ] || fail "no refusal shown in the prompt"
wait_gone "$prompt" || fail "the prompt stayed after a wrong password"
alive || fail "a wrong password ended the saver"
# (One that would take the focus would end the refusal's grace itself.)
[ "$("$probe" cover nofocus)" = "cover below" ] || fail "a window mapped after the refusal stayed above"

xdotool key b
sleep 1
[ -z "$(find_window "$prompt")" ] || fail "the request after a refusal should be ignored"
xdotool key c
wait_window "$prompt" || fail "no second prompt"
# Caps Lock, as the X server has it, gets a note under the field.
sleep 0.3
import -window root "$work/caps_off.png"
xdotool key Caps_Lock
sleep 0.3
import -window root "$work/caps_on.png"
xdotool key Caps_Lock
caps_off=$(dark_pixels "$work/caps_off.png")
caps_on=$(dark_pixels "$work/caps_on.png")
echo "dark pixels in the prompt: $caps_off with Caps Lock off, $caps_on on"
[ "$caps_on" -ge $((caps_off + 60)) ] || fail "no note for Caps Lock"
xdotool key Escape
wait_gone "$prompt" || fail "Escape did not close the prompt"
alive || fail "Escape ended the saver"

xdotool key d  # ignored
sleep 0.5
xdotool key e
wait_window "$prompt" || fail "no third prompt"
sleep 0.3
# The time-left bar under the field drains while nothing is typed.
window_box "$(find_window "$prompt")"
bar_pixels() {
  import -window root "$work/bar.png"
  convert "$work/bar.png" -crop "${WIDTH}x24+${X}+$((Y + HEIGHT - 24))" \
    -fx 'b > 0.55 && r < 0.45' -format '%[fx:round(mean*w*h)]' info:
}
bar_full=$(bar_pixels)
sleep 2
bar_later=$(bar_pixels)
echo "time-left bar: $bar_full pixels, $bar_later two seconds later"
[ "$bar_later" -le $((bar_full - 20)) ] || fail "the time-left bar does not drain"
# Pasted with the middle button, from another program's selection.
printf 'right one' | xclip -selection primary -loops 1 &
pids+=($!)
sleep 0.3
# The field row lies above the Caps Lock note and the bar; the Unlock button
# ends it on the right.
row=$((Y + HEIGHT - 52))
xdotool mousemove $((X + WIDTH / 2)) $row click 2
# Past the right password the saver may let go: the watch ends here.
watch_result
xdotool mousemove $((X + WIDTH - 50)) $row click 1
ends_with_0 "the right password and a click on Unlock"

# The password module without its routine: the box shows inside the saver,
# with the grabs still held, and the saver closes after it.
start_saver VIVEDAZIV_MODULE_DIR="$no_routine"
locked
xdotool mousemove 10 10 sleep 0.2 mousemove 300 300
wait_window '^Error$' || fail "no box for the missing routine"
sleep 0.3
watch_result
xdotool key Return
ends_with_0 "the missing-routine box"

# Protection on but no module: the saver ends at a key, and one line on
# stderr names the module it looked for.
start_saver VIVEDAZIV_MODULE_DIR="$work/none" 2>"$work/stderr"
wait_grabs
xdotool key a
ends_with_0 "a key without the module"
cat "$work/stderr"
grep -q "module $work/none/PASSWORD.CPL could not be loaded" "$work/stderr" ||
  fail "no word on stderr about the missing module"

# Password change without its module: nothing shown, exit 0.
out=$(VIVEDAZIV_MODULE_DIR="$work/none" "$vivedaziv" /a 0 2>&1) || fail "/a 0 failed"
[ -z "$out" ] || fail "/a 0 printed: $out"
echo "lock test passed"
