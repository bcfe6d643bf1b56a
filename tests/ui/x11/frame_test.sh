#!/usr/bin/env bash
# Real windows under Xvfb and openbox, at 96 and 192 dpi: the settings
# dialog is framed with a caption but no minimise or maximise button, the
# About box keeps its close box, and the captions use the mapped font and
# fit their controls.
# Usage: frame_test.sh VIVEDAZIV   (on an X server: tests/on_xvfb.sh)
set -uo pipefail
vivedaziv=$1
XDG_CONFIG_HOME=$(mktemp -d)
XDG_RUNTIME_DIR=$(mktemp -d)
export XDG_CONFIG_HOME XDG_RUNTIME_DIR
chmod 700 "$XDG_RUNTIME_DIR"
log=$XDG_RUNTIME_DIR/log
pid="" wm=""
trap 'kill $pid $wm 2>/dev/null; rm -rf "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR"' EXIT
fail() { echo "FAIL: $*"; cat "$log"; exit 1; }
# NAME: the allowed actions of the visible window of that name, once shown.
actions() {
  for _ in $(seq 100); do
    id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1)
    [ -n "$id" ] && sleep 0.5 && xprop -id "$id" _NET_WM_ALLOWED_ACTIONS _NET_FRAME_EXTENTS && return
    sleep 0.1
  done
  fail "no window '$1'"
}

. "$(dirname "$0")/../../openbox.sh"
launch_openbox || fail "openbox did not start"
wm=$openbox_pid

# Both dialogs at DPI $1: framed as they should be, and no caption of a
# button, label or group box cut.
dialogs() {
  echo "Xft.dpi: $1" | xrdb -nocpp -merge
  QT_LOGGING_RULES="vivedaziv.dialog.debug=true" "$vivedaziv" >"$log" 2>&1 &
  pid=$!
  dialog=$(actions Configurator) && echo "$dialog"
  # Frame extents are left, right, top, bottom: a caption widens the top.
  grep -Eq "EXTENTS.* = [0-9]+, [0-9]+, [1-9][0-9]," <<<"$dialog" || fail "no caption"
  grep -Eq "MINIMIZE|MAXIMIZE" <<<"$dialog" && fail "the dialog can be minimised or maximised"
  grep -q "caption font: Comic Neue$" "$log" || fail "captions not in Comic Neue"

  # Focus starts at Planet; About... is the ninth tab stop after it.
  xdotool key --delay 50 Tab Tab Tab Tab Tab Tab Tab Tab Tab space
  about=$(actions "About Vivedaziv") && echo "$about"
  grep -Eq "MINIMIZE|MAXIMIZE" <<<"$about" && fail "the About box can be minimised or maximised"
  # A here-string: with pipefail, grep -q leaving a pipe early fails it.
  grep -q "ACTION_CLOSE" <<<"$about" || fail "the About box lost its close box"
  xdotool key Escape sleep 0.3 key Escape
  wait $pid || fail "the dialog ended with $?"
  pid=""
  for title in "Glimmerfall 2.10 Configurator" "About Vivedaziv..."; do
    grep -qF "clipped captions in $title at $1 dpi: none" "$log" ||
      fail "captions cut in $title at $1 dpi"
  done
}
dialogs 96
dialogs 192
echo "frame test passed"
