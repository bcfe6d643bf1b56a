#!/usr/bin/env bash
# Without a reachable X display the modes that show something end with code 1
# and one line on stderr; the switches that show nothing still end quietly
# with 0, and a platform that needs no display is left alone.
# Usage: no_display_test.sh VIVEDAZIV
set -uo pipefail
fail() { echo "FAIL: $*"; exit 1; }
unset QT_QPA_PLATFORM
for display in "" :4711; do
  for args in /s "/p 5" /c "/a 5"; do
    err=$(DISPLAY=$display timeout 20 "$1" $args 2>&1 >/dev/null); rc=$?
    [ $rc -eq 1 ] && [ "$(wc -l <<<"$err")" -eq 1 ] && [[ $err == *"no X display"* ]] ||
      fail "'$args' on '$display': code $rc, stderr: $err"
  done
  for args in /x / -; do
    out=$(DISPLAY=$display timeout 20 "$1" "$args" 2>&1); rc=$?
    [ $rc -eq 0 ] && [ -z "$out" ] || fail "'$args' on '$display': code $rc, output '$out'"
  done
done
err=$(DISPLAY= QT_QPA_PLATFORM=offscreen timeout 20 "$1" /p 5 2>&1)
[[ $err != *"no X display"* ]] || fail "offscreen needs no display: $err"
echo "no display test passed"
