#!/usr/bin/env bash
# Without a reachable X display the modes that show something end with code 1
# and one line on stderr; a switch that is not understood still ends with 0,
# showing nothing but one usage line on stderr, and a platform that needs no
# display is left alone.
# Usage: no_display_test.sh VIVEDAZIV
set -uo pipefail
fail() { echo "FAIL: $*"; exit 1; }
unset QT_QPA_PLATFORM
tmp=$(mktemp)
trap 'rm -f "$tmp"' EXIT
for display in "" :4711; do
  for args in /s "/p 5" /c "/a 5"; do
    err=$(DISPLAY=$display timeout 20 "$1" $args 2>&1 >/dev/null); rc=$?
    [ $rc -eq 1 ] && [ "$(wc -l <<<"$err")" -eq 1 ] && [[ $err == *"no X display"* ]] ||
      fail "'$args' on '$display': code $rc, stderr: $err"
  done
  for args in /x / - --help "/?"; do
    out=$(DISPLAY=$display timeout 20 "$1" "$args" 2>"$tmp"); rc=$?
    err=$(<"$tmp")
    [ $rc -eq 0 ] && [ -z "$out" ] && [ "$(wc -l <"$tmp")" -eq 1 ] &&
      [[ $err == usage:*"/p HANDLE"*"/c [HANDLE]"*"man vivedaziv" ]] ||
      fail "'$args' on '$display': code $rc, output '$out', stderr '$err'"
  done
done
# A host that closed the reading end of our stderr: the line is lost, the
# code is not (no death by SIGPIPE).
for case in "/x 0" "/p:5 1"; do
  ( DISPLAY= timeout 20 "$1" ${case% *} 2>&1 >/dev/null; echo $? >"$tmp" ) | head -c0
  wait
  [ "$(<"$tmp")" = "${case#* }" ] || fail "'${case% *}' with a closed stderr: code $(<"$tmp")"
done
err=$(DISPLAY= QT_QPA_PLATFORM=offscreen timeout 20 "$1" /p 5 2>&1)
[[ $err != *"no X display"* ]] || fail "offscreen needs no display: $err"
echo "no display test passed"
