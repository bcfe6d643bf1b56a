#!/usr/bin/env bash
# MATE's screen saver as the host of the installed package: with the theme
# selected, activating runs our launcher, whose preview fills the saver's
# window with particles in the default colours; deactivating ends it.
# Runs its own X server, D-Bus session and settings store.
# Usage: mate_screensaver_test.sh   (with the package installed)
set -uo pipefail
launcher=/usr/lib/mate-screensaver/mate-screensaver/vivedaziv
for tool in mate-screensaver dbus-run-session gsettings Xvfb convert xwininfo; do
  command -v $tool >/dev/null || { echo "$tool is not installed"; exit 1; }
done
[ -x "$launcher" ] || { echo "no launcher $launcher: is the package installed?"; exit 1; }

work=$(mktemp -d)
xvfb=""
trap '[ -n "$xvfb" ] && kill $xvfb 2>/dev/null; rm -rf "$work"' EXIT
mkdir -p "$work/config" "$work/run" && chmod 700 "$work/run"
Xvfb -displayfd 3 -screen 0 640x480x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
xvfb=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$work/display")" XDG_CONFIG_HOME="$work/config" \
       XDG_RUNTIME_DIR="$work/run" NO_AT_BRIDGE=1 WORK=$work

# A malformed window, or one beyond 32 bits, leaves the launcher with an
# error, starting nothing; leading zeros reach the program (which finds no
# window 1).
for bad in 0x12zz 99999999999999999999 0x100000000; do
  XSCREENSAVER_WINDOW=$bad "$launcher" 2>/dev/null && { echo "FAIL: launcher took $bad"; exit 1; }
done
err=$(XSCREENSAVER_WINDOW=0x000000001 "$launcher" 2>&1)
[[ $err == *"window 1 (0x1): it does not exist"* ]] || { echo "FAIL: launcher refused 0x000000001: $err"; exit 1; }

dbus-run-session -- bash -uo pipefail -c '
fail() { echo "FAIL: $*"; tail -5 "$WORK/mate.log"; exit 1; }
gsettings set org.mate.screensaver mode single
gsettings set org.mate.screensaver themes "[\"screensavers-vivedaziv\"]"
gsettings set org.mate.screensaver lock-enabled false
mate-screensaver --no-daemon > "$WORK/mate.log" 2>&1 &
mate=$!
trap "kill $mate 2>/dev/null" EXIT
for _ in $(seq 50); do mate-screensaver-command --query >/dev/null 2>&1 && break; sleep 0.2; done
mate-screensaver-command --activate >/dev/null || fail "could not activate"
pid=""
for _ in $(seq 50); do pid=$(pgrep -P $mate -f "^/usr/bin/vivedaziv /p") && break; sleep 0.2; done
[ -n "$pid" ] || fail "mate-screensaver did not start vivedaziv"
sleep 2

# The window it names (in hex) reaches the program in decimal, covers the
# screen, and holds the preview at its full size.
named=$(tr "\0" "\n" < /proc/$pid/environ | sed -n "s/^XSCREENSAVER_WINDOW=//p")
window=$(tr "\0" " " < /proc/$pid/cmdline | cut -d" " -f3)
echo "mate window $named, vivedaziv /p $window"
[ "$window" = "$((named))" ] || fail "window $named reached the program as $window"
size() { xwininfo -id "$1" | sed -n "s/^ *Width: //p;s/^ *Height: //p" | paste -sd x; }
[ "$(size "$window")" = 640x480 ] || fail "the saver window is $(size "$window")"
child=$(xwininfo -children -id "$window" | sed -n "s/^ *\(0x[0-9a-f]*\) .*/\1/p" | head -1)
[ -n "$child" ] && [ "$(size "$child")" = 640x480 ] || fail "no full-size preview in the saver window"

import -window root "$WORK/shot.png" || fail "no screenshot"
# Black and the two default parity colours only, both present.
colours=$(convert "$WORK/shot.png" -format %c histogram:info:- | grep -o "#[0-9A-F]\{6\}" | sort | paste -sd " ")
echo "colours: $colours"
[ "$colours" = "#000000 #00C8C8 #C8C800" ] || fail "expected particles in the default colours on black"
# 50 particles of 16 pixels, in every quarter of the window.
lit=$(convert "$WORK/shot.png" -crop 50%x50% +repage -fill white +opaque black \
        -format "%[fx:int(mean*w*h)] " info:)
echo "lit pixels per quarter: $lit"
total=0
for n in $lit; do
  [ "$n" -gt 0 ] || fail "a quarter of the window has no particle"
  total=$((total + n))
done
[ $total -ge 100 ] && [ $total -le 800 ] || fail "expected 50 particles, got $total lit pixels"

mate-screensaver-command --deactivate >/dev/null
for _ in $(seq 50); do kill -0 $pid 2>/dev/null || break; sleep 0.1; done
kill -0 $pid 2>/dev/null && fail "vivedaziv still runs after deactivation"
mate-screensaver-command --exit >/dev/null 2>&1
wait $mate
echo "mate-screensaver test passed"
' 2>"$work/stderr"
rc=$?
[ $rc -eq 0 ] || tail -5 "$work/stderr"
exit $rc
