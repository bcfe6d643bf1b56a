#!/bin/bash
# Password change on the real system: an ordinary user made for the test
# runs `/a 0` under a window manager, and keys answer the questions the
# system's passwd asks through the dialog (which says on standard error
# what it asks and shows). A wrong current password changes nothing and
# says so; a too-short new password is refused with the system's reason,
# and Escape there ends at once with passwd gone; a passwd that stops
# answering or dies is a failure, not a hang; two different new passwords
# end with the system's reason; the right current password and
# a good new one twice change /etc/shadow so that PAM (pam_unix, through
# su) takes the new password and no longer the old.
# Needs root, to create the user; skipped otherwise.
# $1: vivedaziv  $2: directory holding MPR.DLL
set -u
vivedaziv=$1
modules=$2

[ "$(id -u)" -eq 0 ] || { echo "needs root to create a user: skipped"; exit 77; }
. "$(dirname "$0")/common.sh"

user=vzpw$$
old_password='Kettle-41-Blue'
new_password='Marsh-77-Quill'
trap 'kill "${pids[@]}" 2>/dev/null; userdel -f "$user" 2>/dev/null; rm -rf "$work"' EXIT
# The user goes also when the test is stopped (a time-out, Ctrl+C).
trap 'exit 1' TERM INT HUP
# Other tests may be adding users at the same moment: useradd does not wait
# for the lock on /etc/passwd.
for _ in $(seq 20); do
  useradd --no-create-home --home-dir "$work/home" --shell /bin/sh "$user" 2>/dev/null && break
  sleep 0.5
done
id "$user" >/dev/null 2>&1 || fail "cannot create the user $user"
printf '%s:%s\n' "$user" "$old_password" | chpasswd || fail "chpasswd failed"

# The user must reach the program: copies in a folder everyone may read.
chmod 755 "$work"
mkdir -p "$work/bin" "$work/home" "$work/run"
cp "$vivedaziv" "$modules/MPR.DLL" "$work/bin/"
chmod -R a+rX "$work/bin"
chown "$user:" "$work/home" "$work/run"
chmod 700 "$work/run"

start_xvfb -screen 0 800x600x24
start_openbox
xhost "+SI:localuser:$user" >/dev/null || fail "xhost failed"

shadow() { grep "^$user:" /etc/shadow; }
# "taken" when PAM takes $1 as the user's password: su asks it of anyone
# but root, so nobody asks.
checks() {
  printf '%s\n' "$1" |
    setpriv --reuid=65534 --regid=65534 --clear-groups su "$user" -c 'echo taken' 2>/dev/null
}
# A killed passwd may linger as a zombie for a moment: that one is gone.
passwd_left() { ps -U "$user" -o stat=,pid=,comm= | awk '$3 == "passwd" && $1 !~ /^Z/'; }
passwd_pid() { passwd_left | awk '{print $2}'; }

app=
dialog=
# Starts `/a 0` as the user, with extra environment in "$@".
change() {
  : >"$work/log"
  setpriv --reuid="$user" --regid="$user" --init-groups \
    env -i HOME="$work/home" PATH=/usr/bin:/bin DISPLAY="$DISPLAY" XDG_RUNTIME_DIR="$work/run" \
    QT_QPA_PLATFORM=xcb QT_LOGGING_RULES="vivedaziv.password.debug=true" QT_MESSAGE_PATTERN="%{message}" \
    VIVEDAZIV_MODULE_DIR="$work/bin" ASAN_OPTIONS=detect_leaks=0 "$@" \
    "$work/bin/vivedaziv" /a 0 >"$work/log" 2>&1 &
  app=$!
  pids+=($app)
}
# Waits up to 15 s for the Nth question ($1) to match $2, the lines shown
# with it before the " | ".
asked() {
  for _ in $(seq 150); do
    [ "$(grep -c '^asks:' "$work/log")" -ge "$1" ] && break
    sleep 0.1
  done
  local line
  line=$(grep '^asks:' "$work/log" | sed -n "${1}p")
  echo "  $line"
  [[ $line =~ $2 ]] || { cat "$work/log"; fail "question $1 is not $2"; }
  # Keys go where the focus is: the dialog may show after its question came.
  focused "" || fail "the dialog does not have the focus"
  dialog=$(xdotool getwindowfocus)
}
# Waits up to 10 s for the focus to be on a window titled "Change Password"
# other than window $1.
focused() {
  local id
  for _ in $(seq 100); do
    id=$(xdotool getwindowfocus 2>/dev/null)
    [ -n "$id" ] && [ "$id" != "$1" ] &&
      [ "$(xdotool getwindowname "$id" 2>/dev/null)" = "Change Password" ] && return 0
    sleep 0.1
  done
  return 1
}
answer() { xdotool type --delay 20 "$1"; xdotool key Return; }
# Waits up to $2 s for the closing message, which must match $1; dismisses
# it; the program must then end with 0.
shows() {
  for _ in $(seq $(($2 * 10))); do grep -q '^shows:' "$work/log" && break; sleep 0.1; done
  local line
  line=$(grep '^shows:' "$work/log")
  echo "  $line"
  [[ $line =~ $1 ]] || { cat "$work/log"; fail "the message is not $1"; }
  focused "$dialog" || fail "the message box does not have the focus"
  xdotool key Return
  ends_with_0
}
# Waits up to $1 tenths of a second (default 50) for /a to end; it must end
# with 0 and leave no passwd behind.
ends_with_0() {
  for _ in $(seq "${1:-50}"); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$app" 2>/dev/null && fail "/a did not end"
  local status=0
  wait "$app" || status=$?
  [ "$status" -eq 0 ] || { cat "$work/log"; fail "/a exited with $status"; }
  [ -z "$(passwd_left)" ] || fail "passwd was left running: $(passwd_left)"
}
# The right current password, then $1 as the new one and $2 as it again.
new_password() {
  change
  asked 1 "Current password:$"
  answer "$old_password"
  asked 2 "New password:$"
  answer "$1"
  asked 3 "Retype new password:$"
  answer "$2"
}

before=$(shadow)

echo "a wrong current password"
change
asked 1 "Changing password for $user\. \| Current password:$"
answer "not the password"
shows "^shows: Your password was not changed\.  The current password is wrong\.$" 15
[ "$(shadow)" = "$before" ] || fail "a wrong password changed /etc/shadow"

echo "a too-short new password, then Escape"
new_password "ab" "ab"
asked 4 "^asks: You must choose a longer password\. \| New password:$"
xdotool key Escape
ends_with_0 10
grep -q '^shows:' "$work/log" && fail "Escape showed a message"
[ "$(shadow)" = "$before" ] || fail "a refused password changed /etc/shadow"

echo "passwd stops answering"
change VIVEDAZIV_PAM_TIMEOUT_MS=3000
asked 1 "Current password:$"
kill -STOP "$(passwd_pid)"
answer "$old_password"
shows "^shows: The password change failed\.  passwd gave no answer for 3 seconds and was stopped\.$" 10
[ "$(shadow)" = "$before" ] || fail "/etc/shadow changed"

echo "passwd dies"
change
asked 1 "Current password:$"
kill -KILL "$(passwd_pid)"
shows "^shows: The password change failed\.  passwd ended unexpectedly \(signal 9\)\.$" 5
[ "$(shadow)" = "$before" ] || fail "/etc/shadow changed"

echo "two different new passwords"
new_password "$new_password" "${new_password}x"
shows "^shows: Your password was not changed\.  Sorry, passwords do not match\.$" 15
[ "$(shadow)" = "$before" ] || fail "/etc/shadow changed"

echo "the right current password and a new one"
new_password "$new_password" "$new_password"
shows "^shows: Your password has been changed\.$" 15
[ "$(shadow)" != "$before" ] || fail "/etc/shadow did not change"
[ "$(checks "$new_password")" = taken ] || fail "PAM does not take the new password"
[ -z "$(checks "$old_password")" ] || fail "PAM still takes the old password"
echo "change test passed"
