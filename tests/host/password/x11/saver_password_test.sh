#!/bin/sh
# The real saver with password protection on, under Xvfb with PAM through
# pam_wrapper: a key brings up the prompt; a wrong password keeps the saver
# running and lets the next request go by; the one after asks again and the
# right password ends the program with 0. Then `/a 0` without its module
# ends quietly with 0.
# $1: vivedaziv  $2: library to preload for PAM (pam_wrapper)
set -eu
vivedaziv=$1
preload=$2

work=$(mktemp -d)
xvfb=
saver=
trap '[ -n "$saver" ] && kill "$saver" 2>/dev/null; [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
xvfb=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || fail "Xvfb did not start"
DISPLAY=":$(cat "$work/display")"
export DISPLAY
printf '%s:right one:vivedaziv\n' "$(id -un)" > "$work/passdb"
mkdir -p "$work/config/Control Panel" "$work/run"
chmod 700 "$work/run"
printf '[General]\nScreenSaveUsePassword=1\n' > "$work/config/Control Panel/Desktop.conf"
export PAM_MATRIX_PASSWD="$work/passdb" XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/run"

prompt_up() { xdotool search --onlyvisible --name '^Vivedaziv$' >/dev/null 2>&1; }
wait_prompt() {
  for _ in $(seq 100); do prompt_up && return 0; sleep 0.1; done
  return 1
}
alive() { kill -0 "$saver" 2>/dev/null; }

LD_PRELOAD="$preload" "$vivedaziv" /s &
saver=$!
sleep 2
alive || fail "the saver did not start"

xdotool key a
wait_prompt || fail "no password prompt after a key"
sleep 1  # the prompt takes the keyboard right after it maps
xdotool type --delay 30 "wrong one"
xdotool key Return
for _ in $(seq 50); do prompt_up || break; sleep 0.1; done
prompt_up && fail "the prompt stayed after a wrong password"
sleep 1
alive || fail "a wrong password ended the saver"

xdotool key b
sleep 1
prompt_up && fail "the request after a refusal should be ignored"
alive || fail "the ignored request ended the saver"

xdotool key c
wait_prompt || fail "no prompt for the request after the ignored one"
sleep 1
xdotool type --delay 30 "right one"
xdotool key Return
status=0
for _ in $(seq 100); do alive || break; sleep 0.1; done
alive && fail "the right password did not end the saver"
wait "$saver" || status=$?
saver=
[ "$status" -eq 0 ] || fail "the saver exited with $status"

# Password change without its module: nothing shown, exit 0.
out=$(VIVEDAZIV_MODULE_DIR="$work/none" "$vivedaziv" /a 0 2>&1) || fail "/a 0 failed"
[ -z "$out" ] || fail "/a 0 printed: $out"
echo "saver password test passed"
