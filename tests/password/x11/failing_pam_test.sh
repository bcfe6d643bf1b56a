#!/bin/bash
# PAM runs beside the saver, never inside it: with a module that crashes and
# with one that never returns, Enter at the prompt is a refusal (the hung one
# after the check's timeout), the saver stays locked, no helper is left
# behind, and SIGTERM ends the saver with 0 within a second even while PAM
# hangs.
# $1: vivedaziv  $2: library to preload for PAM  $3: saver_probe
# $4: directory holding pam.d-crash/ and pam.d-hang/
set -u
vivedaziv=$1
preload=$2
probe=$3
services=$4

. "$(dirname "$0")/common.sh"
start_xvfb -screen 0 800x600x24
lock_with_password
helpers() { pgrep -P "$saver" -f vivedaziv-pam-helper | wc -l; }

# Asks for the password and submits it.
submit() {
  xdotool key "$1"
  wait_window "$prompt" || fail "$2: no prompt"
  sleep 0.3
  xdotool type --delay 20 "right one"
  xdotool key Return
}
# Sends SIGTERM; the saver must be gone with 0 within a second.
terminate() {
  kill -TERM "$saver"
  ends_with_0 "SIGTERM ($1)" 10
}

# Crashing module: a refusal, at once.
start_saver PAM_WRAPPER_SERVICE_DIR="$services/pam.d-crash"
wait_grabs
submit a crash
wait_gone "$prompt" || fail "crash: the prompt stayed"
alive || fail "a crashing PAM module ended the saver"
[ "$(helpers)" = 0 ] || fail "crash: a helper was left running"
[ "$("$probe" grab)" = "keyboard already-grabbed pointer already-grabbed" ] ||
  fail "crash: the saver let go of the input"
terminate crash

# Hanging module: a refusal once the check times out; then SIGTERM in the
# middle of a second check.
start_saver PAM_WRAPPER_SERVICE_DIR="$services/pam.d-hang" VIVEDAZIV_PAM_TIMEOUT_MS=1500
wait_grabs
submit a hang
sleep 0.5
[ -n "$(find_window "$prompt")" ] || fail "hang: the prompt should wait for PAM"
wait_gone "$prompt" || fail "hang: the check never timed out"
alive || fail "a hanging PAM module ended the saver"
[ "$(helpers)" = 0 ] || fail "hang: the timed-out helper was left running"
xdotool key b  # the request after a refusal is ignored
sleep 0.5
submit c "hang, second check"
sleep 0.3
helper=$(pgrep -P "$saver" -f vivedaziv-pam-helper)
[ -n "$helper" ] || fail "hang: no helper during the second check"
terminate "a hanging check"
sleep 0.2
kill -0 "$helper" 2>/dev/null && fail "hang: a helper outlived the saver"
echo "failing PAM test passed"
