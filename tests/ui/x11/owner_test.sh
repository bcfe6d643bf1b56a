#!/usr/bin/env bash
# Real windows under Xvfb (1024 x 768, no window manager): the configuration
# dialog is transient for its owner and centred over it; without one it is
# centred on the screen.
# Usage: owner_test.sh VIVEDAZIV OWNER_WINDOW   (on an X server: tests/on_xvfb.sh)
set -uo pipefail
exe=$1
owner=$2
pid=""
XDG_CONFIG_HOME=$(mktemp -d)
XDG_RUNTIME_DIR=$(mktemp -d)
export XDG_CONFIG_HOME XDG_RUNTIME_DIR
chmod 700 "$XDG_RUNTIME_DIR"
trap 'kill $pid $OWNER_PID 2>/dev/null; rm -rf "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

coproc OWNER { "$owner" 500 300 200 100; }
read -r -t 10 id child <&"${OWNER[0]}" || fail "owner did not start"
hex=$(printf '0x%x' "$id")

# Opens the dialog with the arguments given; sets X, Y, WIDTH, HEIGHT and
# transient (the WM_TRANSIENT_FOR window).
open_dialog() {
  "$exe" "$@" &
  pid=$!
  dlg=""
  for _ in $(seq 100); do
    dlg=$(xdotool search --name Configurator 2>/dev/null | head -n 1)
    [ -n "$dlg" ] && break
    sleep 0.1
  done
  [ -n "$dlg" ] || fail "no dialog for '$*'"
  sleep 0.3
  eval "$(xdotool getwindowgeometry --shell "$dlg")"
  transient=$(xprop -id "$dlg" WM_TRANSIENT_FOR | grep -o '0x[0-9a-f]*' || true)
  echo "'$*': at $X,$Y, ${WIDTH}x$HEIGHT, transient for ${transient:-nothing}"
}
close_dialog() {
  xdotool windowfocus "$dlg" key Escape
  for _ in $(seq 50); do kill -0 $pid 2>/dev/null || break; sleep 0.1; done
  wait $pid || fail "'$1' ended with $?"
  pid=""
}
near() { [ $(($1 - $2)) -ge -1 ] && [ $(($1 - $2)) -le 1 ]; }
expect_centred() {  # left top width height of what the dialog is centred on
  near "$X" $(($1 + ($3 - WIDTH) / 2)) && near "$Y" $(($2 + ($4 - HEIGHT) / 2)) ||
    fail "$5: dialog at $X,$Y size ${WIDTH}x$HEIGHT"
}

open_dialog /c "$id"
[ "$transient" = "$hex" ] || fail "/c id: transient for '$transient', not $hex"
expect_centred 500 300 200 100 "/c id"
close_dialog "/c id"
[ "$(grep -c '=' "$XDG_CONFIG_HOME/Quenfold/vivedaziv.conf")" -eq 13 ] || fail "thirteen entries expected"

open_dialog "/c:$child"
[ "$transient" = "$hex" ] || fail "a child window's top-level owns the dialog, got '$transient'"
close_dialog "/c child"

xprop -root -f _NET_ACTIVE_WINDOW 32x -set _NET_ACTIVE_WINDOW "$id"
open_dialog /c
[ "$transient" = "$hex" ] || fail "/c: the active window owns the dialog, got '$transient'"
expect_centred 500 300 200 100 "/c"
close_dialog "/c"

xprop -root -remove _NET_ACTIVE_WINDOW
for args in "/c" "/c 12345" ""; do
  # shellcheck disable=SC2086
  open_dialog $args
  [ "$transient" != "$hex" ] || fail "'$args' must have no owner"
  expect_centred 0 0 1024 768 "'$args'"
  close_dialog "$args"
done

xdotool windowunmap --sync "$id"
open_dialog /c "$id"
[ "$transient" = "$hex" ] || fail "hidden owner: transient for '$transient'"
expect_centred 0 0 1024 768 "hidden owner"
close_dialog "hidden owner"
echo "owner test passed"
