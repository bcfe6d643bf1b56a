#!/usr/bin/env bash
# `vivedaziv /s` as a native Wayland client of a headless sway: particles in
# the default colours on the first output, as 4 x 4 squares of device pixels
# at scale 2, black on the others (also on one added while it runs), also
# after the first changes size; a second start does nothing; SIGTERM, also
# right after the start, a key and pointer motion each end it with 0; every
# output gone at once leaves it waiting for the next; its compositor ending
# ends it with 1, and one that never answers ends the start with 1 and says
# so; the README's swayidle line
# starts it after idle time and still runs its later timeout; with
# protection on it refuses with one line and code 1. Input ends it whether
# ticks are near or far apart. The settings dialog opens there too, and on
# X11 when there is an X display as well.
# Usage: saver_test.sh VIVEDAZIV VIRTUAL_POINTER SILENT_PEER README
#        (on an X server or not)
set -uo pipefail
pointer=$2
silent_peer=$3
readme=$4
fail() { echo "FAIL: $*"; exit 1; }
for tool in swayidle grim wtype convert; do
  command -v $tool >/dev/null || fail "$tool is not installed"
done

# A copy at a path of its own, so that looking for the saver swayidle starts
# can never find one that another test runs.
work=$(mktemp -d)
chmod 755 "$work"
cp "$1" "$work/vivedaziv"
vivedaziv=$work/vivedaziv
export XDG_CONFIG_HOME=$work/config
mkdir -p "$XDG_CONFIG_HOME"
sway_pid=""; saver=""; idle=""; nested_pid=""; keyboard=""; peer=""
cleanup() {
  kill $idle $saver $keyboard $peer 2>/dev/null
  [ -n "$nested_pid" ] && kill "$nested_pid" 2>/dev/null && wait "$nested_pid" 2>/dev/null
  [ -n "$sway_pid" ] && kill "$sway_pid" 2>/dev/null && wait "$sway_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
. "$(dirname "$0")/headless_sway.sh"
x_display=${DISPLAY:-}
unset DISPLAY  # no X11 to fall back on

# Colours on an output, most frequent first: "count #RRGGBB" per line.
colours() {
  grim -o "$1" "$work/shot.png" 2>/dev/null || return 1
  convert "$work/shot.png" -format %c histogram:info:- | sed -E 's/^ *([0-9]+):.*(#[0-9A-F]{6}).*/\1 \2/' | sort -rn
}
# Waits until the output shows the saver: black, and nothing of the desktop.
shows_saver() {
  local c
  for _ in $(seq 50); do
    c=$(colours "$1")
    grep -q '#000000' <<<"$c" && ! grep -q '#336699' <<<"$c" && return 0
    sleep 0.1
  done
  fail "$1 does not show the saver: $c"
}
black() {
  local c
  c=$(colours "$1")
  [ "$(awk '{print $2}' <<<"$c")" = "#000000" ] || fail "$1 should be all black: $c"
}
# The default colours, and no more squares than particles: every buffer shown
# has had every erase.
particles() {
  local c lit
  c=$(colours "$1")
  grep -v -E '#(000000|C8C800|00C8C8)$' <<<"$c" && fail "$1: colours other than the default ones: $c"
  grep -q '#C8C800' <<<"$c" && grep -q '#00C8C8' <<<"$c" || fail "$1: no particles: $c"
  lit=$(grep -v '#000000' <<<"$c" | awk '{n += $1} END {print n}')
  [ "$lit" -le $((50 * 16)) ] || fail "$1: $lit pixels lit by 50 particles: $c"
}
# In the last picture taken, squares of both colours that stand alone are
# exactly 4 x 4 pixels, and some do.
squares() {
  local sizes
  sizes=$(convert "$work/shot.png" -define connected-components:verbose=true \
            -connected-components 4 null: | awk 'NR > 1 && $NF != "srgb(0,0,0)" {
              split($2, g, "+"); print g[1], $(NF - 1), $NF }')
  for colour in 'srgb(200,200,0)' 'srgb(0,200,200)'; do
    grep -q "^4x4 16 $colour\$" <<<"$sizes" || fail "$1: no 4 x 4 square in $colour: $sizes"
  done
}
start() {
  "$vivedaziv" /s &
  saver=$!
  shows_saver HEADLESS-1
}
. "$(dirname "$0")/../saver_ends.sh"

# Default settings but fast ticks.
mkdir -p "$XDG_CONFIG_HOME/Quenfold"
printf '[vivedaziv]\nDelayTime=10\n' > "$XDG_CONFIG_HOME/Quenfold/vivedaziv.conf"

# Protection on: one line, nothing shown, code 1.
mkdir -p "$XDG_CONFIG_HOME/Control Panel"
printf 'ScreenSaveUsePassword=1\n' > "$XDG_CONFIG_HOME/Control Panel/Desktop.conf"
timeout 10 "$vivedaziv" /s 2>"$work/err"
rc=$?
[ $rc -eq 1 ] || fail "with protection on the saver should exit with 1, not $rc"
[ "$(wc -l < "$work/err")" = 1 ] && grep -q "no way for the saver to lock the screen" "$work/err" ||
  fail "expected one line about the missing lock, got: $(cat "$work/err")"
[ "$(colours HEADLESS-1 | awk '{print $2}')" = "#336699" ] || fail "something was shown"
rm "$XDG_CONFIG_HOME/Control Panel/Desktop.conf"
echo "refused with protection on"

# grim takes an output at its scale: in device pixels.
swaymsg output HEADLESS-1 scale 2 >/dev/null || fail "cannot scale an output"
swaymsg create_output >/dev/null || fail "cannot add an output"
start
shows_saver HEADLESS-2
sleep 2
particles HEADLESS-1
squares "HEADLESS-1 at scale 2"
black HEADLESS-2
"$vivedaziv" /s &
second=$!
for _ in $(seq 50); do kill -0 $second 2>/dev/null || break; sleep 0.1; done
kill -0 $second 2>/dev/null && fail "a second saver is running"
wait $second || fail "the second start should end with 0"
running "a second start"
swaymsg create_output >/dev/null
shows_saver HEADLESS-3
sleep 0.5
black HEADLESS-3
running "an output was added"
particles HEADLESS-1
# A new size repaints: black at that size, a fresh layout, nothing left over.
swaymsg output HEADLESS-1 mode 1024x768 >/dev/null
sleep 1
running "the output changed size"
particles HEADLESS-1
kill -TERM $saver
ends SIGTERM
swaymsg output HEADLESS-1 scale 1 >/dev/null

# A million particles: every tick runs for minutes in slices, and a key or
# a signal still ends the saver at once.
printf '[vivedaziv]\nDelayTime=10\nNumParticles=1000000\n' > "$XDG_CONFIG_HOME/Quenfold/vivedaziv.conf"
start
sleep 0.5
wtype -s 200 a
ends "a key during a long tick"
start
sleep 0.5
kill -TERM $saver
ends "SIGTERM during a long tick"
# Before anything shows, while the field is made: never lost. (Sent once
# the program catches it: before that the system ends it, as any program.)
for delay in 0 0.05 0.1 0.15; do
  "$vivedaziv" /s &
  saver=$!
  for _ in $(seq 500); do
    mask=$(awk '/^SigCgt:/ {print $2}' /proc/$saver/status 2>/dev/null)
    [ -n "$mask" ] && (( 0x$mask & (1 << (15 - 1)) )) && break
    sleep 0.01
  done
  sleep $delay
  kill -TERM $saver
  ends "SIGTERM ${delay} s after it is caught"
done
printf '[vivedaziv]\nDelayTime=10\n' > "$XDG_CONFIG_HOME/Quenfold/vivedaziv.conf"

# Ticks a minute apart: input is still seen at once, not at the next tick.
printf '[vivedaziv]\nDelayTime=60000\n' > "$XDG_CONFIG_HOME/Quenfold/vivedaziv.conf"
start
sleep 0.5
"$pointer" 1000 || fail "the virtual pointer failed"
ends "pointer motion"
printf '[vivedaziv]\nDelayTime=10\n' > "$XDG_CONFIG_HOME/Quenfold/vivedaziv.conf"

# The dialog runs on Qt's own Wayland platform.
# (Qt's Wayland plugin leaves some of its objects at exit: no leak check.)
ASAN_OPTIONS=${ASAN_OPTIONS:-}:detect_leaks=0 "$vivedaziv" /c 2>"$work/dialog.err" &
dialog=$!
shown() { local tree; tree=$(swaymsg -t get_tree) && grep -q '"app_id": "vivedaziv"' <<<"$tree"; }
for _ in $(seq 200); do shown && break; sleep 0.1; done
shown || fail "no settings dialog on Wayland: $(cat "$work/dialog.err")"
kill -TERM $dialog
wait $dialog || fail "the dialog did not end with 0 at SIGTERM"
echo "settings dialog shown on Wayland"

# With an X display as well, everything but the saver stays on X11 (Qt would
# take Wayland).
if [ -n "$x_display" ]; then
  DISPLAY=$x_display "$vivedaziv" /c 2>"$work/xdialog.err" &
  dialog=$!
  for _ in $(seq 200); do DISPLAY=$x_display xdotool search --name Configurator >/dev/null && break; sleep 0.1; done
  DISPLAY=$x_display xdotool search --name Configurator >/dev/null || fail "no settings dialog on X11: $(cat "$work/xdialog.err")"
  shown && fail "the settings dialog went to Wayland beside an X display"
  kill -TERM $dialog
  wait $dialog || fail "the X11 dialog did not end with 0 at SIGTERM"
  echo "settings dialog shown on X11 beside Wayland"
fi

# A compositor that takes the connection and never answers.
"$silent_peer" "$work/silent" &
peer=$!
for _ in $(seq 50); do [ -S "$work/silent" ] && break; sleep 0.1; done
WAYLAND_DISPLAY=$work/silent timeout 20 "$vivedaziv" /s 2>"$work/err"
rc=$?
[ $rc -eq 1 ] || fail "a silent compositor should end the start with 1, not $rc"
grep -q "Wayland compositor at \"$work/silent\" did not answer within" "$work/err" ||
  fail "no word of the silent compositor: $(cat "$work/err")"
kill $peer
peer=""
echo "a silent compositor ends the start with 1"

# Every output gone at once: a sway nested in the headless one, whose two
# outputs are windows there, both closed together. With a keyboard present
# (its focus goes with the surfaces) the saver waits for an output, and draws
# on the next one.
host_displays=$(ls "$XDG_RUNTIME_DIR")
"${as_user[@]}" env -i PATH="$PATH" HOME="$XDG_RUNTIME_DIR" XDG_RUNTIME_DIR="$XDG_RUNTIME_DIR" \
  WAYLAND_DISPLAY="$WAYLAND_DISPLAY" WLR_BACKENDS=wayland WLR_WL_OUTPUTS=2 WLR_RENDERER=pixman \
  WLR_LIBINPUT_NO_DEVICES=1 sway -c "$work/sway.conf" >"$work/nested.log" 2>&1 &
nested_pid=$!
nested=""; nested_sock=""
for _ in $(seq 100); do
  new=$(ls "$XDG_RUNTIME_DIR" | grep -v -x -F "$host_displays")
  nested=$(grep -m1 -E '^wayland-[0-9]+$' <<<"$new")
  nested_sock=$(grep -m1 'sway-ipc' <<<"$new")
  [ -n "$nested" ] && [ -n "$nested_sock" ] && break
  sleep 0.1
done
[ -n "$nested" ] && [ -n "$nested_sock" ] || { cat "$work/nested.log"; fail "the nested sway did not start"; }
nested_sock=$XDG_RUNTIME_DIR/$nested_sock
WAYLAND_DISPLAY=$nested wtype -s 600000 a &
keyboard=$!
sleep 0.5
WAYLAND_DISPLAY=$nested "$vivedaziv" /s &
saver=$!
WAYLAND_DISPLAY=$nested shows_saver WL-2
swaymsg '[app_id="wlroots"] kill' >/dev/null || fail "cannot close the nested outputs"
sleep 1
[ -z "$(SWAYSOCK=$nested_sock swaymsg -t get_outputs | grep '"name"')" ] || fail "nested outputs left"
running "every output went at once"
SWAYSOCK=$nested_sock swaymsg create_output >/dev/null || fail "cannot add a nested output"
WAYLAND_DISPLAY=$nested shows_saver WL-3
sleep 1
WAYLAND_DISPLAY=$nested particles WL-3
# The compositor ending, the keyboard's focus first, ends it with 1.
kill $nested_pid
wait $nested_pid 2>/dev/null
nested_pid=""
for _ in $(seq 50); do kill -0 $saver 2>/dev/null || break; sleep 0.1; done
kill -0 $saver 2>/dev/null && fail "the saver outlived its compositor"
wait $saver
rc=$?
saver=""
[ $rc -eq 1 ] || fail "the saver should end with 1 when its compositor ends, not $rc"
kill $keyboard
keyboard=""
echo "waited for an output, and ended with 1 with its compositor"

# The README's swayidle line, but with seconds for minutes and a mark for the
# locker: the saver starts after idle time, the later timeout still runs
# while it shows, and a key ends it.
line=$(grep -m1 '^exec swayidle ' "$readme") || fail "no swayidle line in the README"
line=${line#exec }
line=${line//vivedaziv \/s/$vivedaziv \/s}
line=${line//timeout 300 /timeout 1 }
line=${line//timeout 600 /timeout 3 }
line=${line//swaylock -f/touch $work/locked}
grep -q 'timeout 3 ' <<<"$line" || fail "the README's swayidle line runs no locker after the saver: $line"
eval "$line" >"$work/idle.log" 2>&1 &
idle=$!
for _ in $(seq 50); do saver=$(pgrep -f "^$vivedaziv /s") && break; sleep 0.1; done
[ -n "$saver" ] || fail "swayidle did not start the saver"
shows_saver HEADLESS-1
for _ in $(seq 50); do [ -e "$work/locked" ] && break; sleep 0.1; done
[ -e "$work/locked" ] || fail "swayidle did not run its second timeout while the saver showed"
pgrep -f "^$vivedaziv /s" >/dev/null || fail "the saver ended before its time"
wtype -s 200 a
for _ in $(seq 50); do pgrep -f "^$vivedaziv /s" >/dev/null || break; sleep 0.1; done
pgrep -f "^$vivedaziv /s" >/dev/null && fail "the saver swayidle started did not end at a key"
saver=""
echo "the README's swayidle line started it, ran its later timeout, and a key ended it"
echo "Wayland saver test passed"
