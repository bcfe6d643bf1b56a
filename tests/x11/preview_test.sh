#!/usr/bin/env bash
# Real windows under Xvfb: `vivedaziv /p <id>` must animate inside a host
# window, follow its size, start again when uncovered or mapped again (two
# popups gone at once leave nothing of theirs), and end with code 0 when the
# host window goes.
# Usage: preview_test.sh VIVEDAZIV PREVIEW_HOST VIVEDAZIV_SIM SAVER_PROBE   (on an X server: tests/on_xvfb.sh)
set -uo pipefail
vivedaziv=$1
host=$2
sim=$3
probe=$4
saver=""; hostpid=""
export XDG_CONFIG_HOME=$(mktemp -d)
export XDG_RUNTIME_DIR=$(mktemp -d)
chmod 700 "$XDG_RUNTIME_DIR"
trap 'rm -rf "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR"; kill $saver $hostpid 2>/dev/null || true' EXIT
fail() { echo "FAIL: $*"; exit 1; }
. "$(dirname "$0")/../wait_for.sh"

coproc HOST { "$host"; }
hostpid=$HOST_PID
read -r -t 10 id <&"${HOST[0]}" || fail "host did not start"
ask() { echo "$1" >&"${HOST[1]}"; read -r -t 10 answer <&"${HOST[0]}" || fail "host silent after '$1'"; }

ask lit
[ "${answer%% of*}" = "lit 0" ] && fail "host window should not be black before the preview: $answer"

# Fast ticks, all particles shown.
mkdir -p "$XDG_CONFIG_HOME/Quenfold"
printf '[vivedaziv]\nDelayTime=10\nNumParticles=60\n' > "$XDG_CONFIG_HOME/Quenfold/vivedaziv.conf"

"$vivedaziv" /p "$id" &
saver=$!
covers_host() { ask child; [ "$answer" = "child 400 300" ]; }
eventually 10 covers_host || fail "preview should cover the host: $answer"
# 60 particles of 16 pixels on black: some, but far from all, pixels lit.
particles_on_black() {
  ask lit
  lit=${answer#lit }; lit=${lit%% of*}
  [ "$lit" -ge 16 ] && [ "$lit" -le $((60 * 16 * 2)) ]
}
eventually 10 particles_on_black || fail "expected particles on black, got $answer"
echo "after start: $answer"

# Two popups over it, mapped and destroyed together: every pixel they
# covered is repainted, none stays green.
box=$(xwininfo -id "$id" | awk '/Absolute upper-left X/ {x=$NF} /Absolute upper-left Y/ {y=$NF}
  /Width:/ {w=$NF} /Height:/ {h=$NF} END {print x, y, w, h}')
"$probe" popups 150 $box >/dev/null
sleep 0.5
[ "$("$probe" count 00ff00)" = "count 0" ] || fail "popups left their picture on the preview"

ask "resize 300 200"
sleep 1
ask child
[ "$answer" = "child 300 200" ] || fail "preview should follow the host's size: $answer"

kill -0 $saver 2>/dev/null || fail "preview ended early"

# Uncovering and mapping again are repaints. Without ShowAll only particle 1
# is drawn, leaving its trail: the repainted part must be black apart from a
# new trail that starts where a seeding in that second puts particle 1, and
# the old trail elsewhere must stay as it was.
kill $saver; wait $saver
printf '[vivedaziv]\nDelayTime=10\nNumParticles=60\nShowAll=0\n' > "$XDG_CONFIG_HOME/Quenfold/vivedaziv.conf"
"$vivedaziv" /p "$id" &
saver=$!
sleep 2.5  # a trail, and a second since the first seeding
field="--width=300 --height=200"
repainted() {  # SINCE X Y W H
  local since=$1; shift
  sleep 0.3
  for s in $(seq "$since" "$(date +%s)"); do
    "$sim" --NumParticles=60 --ShowAll=0 $field --seed-time="$s" --ticks=300 \
      > "$XDG_RUNTIME_DIR/trail"
    ask "compare $* $XDG_RUNTIME_DIR/trail"
    [ "$answer" = "stray 0 changed 0 first 1" ] && return 0
  done
  fail "$* not repainted from a new layout: $answer"
}
ask snap
read -r _ left right <<<"$answer"
[ $((left + right)) -gt 0 ] || fail "no trail before covering: $answer"
rect="0 0 150 200"
[ "$right" -gt "$left" ] && rect="150 0 150 200"
ask "cover $rect"
sleep 0.3
since=$(date +%s)
ask uncover
repainted "$since" $rect
sleep 1
ask snap
child=$(xwininfo -children -id "$id" | awk '$1 ~ /^0x/ { print $1; exit }')
since=$(date +%s)
xdotool windowunmap --sync "$child" windowmap --sync "$child"
repainted "$since" 0 0 300 200

# Hosts stop savers with signals: each ends the program cleanly with 0.
for sig in TERM INT HUP; do
  "$vivedaziv" /p "$id" &
  other=$!
  eventually 10 catches $other $sig || fail "the preview never caught SIG$sig"
  kill -s $sig $other
  wait $other
  rc=$?
  [ $rc -eq 0 ] || fail "SIG$sig ended the preview with $rc"
done

# At scale factor 2 the field is still in device pixels: the child has the
# host's size exactly, odd sizes too, and the trail is made of 4 x 4 squares
# where a seeding at that size puts them.
kill $saver; wait $saver
ask "resize 401 301"
since=$(date +%s)
QT_SCALE_FACTOR=2 "$vivedaziv" /p "$id" &
saver=$!
sleep 1.5
ask child
[ "$answer" = "child 401 301" ] || fail "at scale 2 the preview should have the host's size: $answer"
field="--width=401 --height=301"
repainted "$since" 0 0 401 301
ask "resize 300 200"
sleep 1
ask child
[ "$answer" = "child 300 200" ] || fail "at scale 2 the preview should follow the host: $answer"

ask destroy
for _ in $(seq 50); do kill -0 $saver 2>/dev/null || break; sleep 0.1; done
kill -0 $saver 2>/dev/null && fail "preview still running after its host window went"
wait $saver
rc=$?
[ $rc -eq 0 ] || fail "preview exited with $rc"

# A handle that names no window, a pixmap, an InputOnly window, a window on
# another X screen, one beyond 32 bits: one line on stderr naming the id,
# nothing shown, code 0.
ask pixmap
handles="12345 ${answer#pixmap }"
ask "window inputonly"
handles="$handles ${answer#window }"
ask "window other-screen"
handles="$handles ${answer#window }"
for handle in $handles $((id + 4294967296)); do
  err=$(timeout 10 "$vivedaziv" /p "$handle" 2>&1 >/dev/null); rc=$?
  [ $rc -eq 0 ] || fail "handle $handle: exit code $rc"
  [ "$(printf '%s\n' "$err" | wc -l)" -eq 1 ] || fail "handle $handle: not one line on stderr: $err"
  [[ "$err" == *"$handle"* ]] || fail "handle $handle: the message does not name it: $err"
done

# A host destroyed at any moment of the start: the preview ends soon with 0
# and at most one line, and never shows up on the desktop as a window of
# its own. Ids in hexadecimal, as xwininfo prints them, are taken too.
for ms in 0 5 10 20 35 50 75 100 130 160 200 300 500; do
  ask "window inputoutput"
  w=${answer#window }
  ask "destroy-after $w $ms"
  "$vivedaziv" /p "$(printf '0x%x' "$w")" 2>"$XDG_RUNTIME_DIR/err" &
  saver=$!
  for _ in $(seq 100); do
    kill -0 $saver 2>/dev/null || break
    [ -z "$(xdotool search --maxdepth 1 --onlyvisible --pid $saver 2>/dev/null)" ] ||
      fail "host destroyed after $ms ms: a window of the preview is on the desktop"
    sleep 0.05
  done
  kill -0 $saver 2>/dev/null && fail "host destroyed after $ms ms: the preview still runs"
  wait $saver; rc=$?; saver=""
  [ $rc -eq 0 ] || fail "host destroyed after $ms ms: exit code $rc"
  [ "$(wc -l < "$XDG_RUNTIME_DIR/err")" -le 1 ] || fail "host destroyed after $ms ms: $(cat "$XDG_RUNTIME_DIR/err")"
done
out=$("$vivedaziv" /x); rc=$?
[ $rc -eq 0 ] && [ -z "$out" ] || fail "/x must end quietly with 0"
echo "preview test passed"
