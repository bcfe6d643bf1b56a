#!/usr/bin/env bash
# Builds the Debian package from a release build, installs it with apt, runs
# the installed program in every mode under Xvfb, and removes it again.
# Usage: scripts/test-package.sh [BUILD_DIR]   (as root, or with sudo)
set -uo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
passed=0
failed=0
check() {  # NAME COMMAND...
  local name=$1
  shift
  if "$@"; then
    echo "package: $name: ok"
    passed=$((passed + 1))
  else
    echo "package: $name: FAILED"
    failed=$((failed + 1))
  fi
}

rm -f "$build"/vivedaziv_*.deb
(cd "$build" && cpack -G DEB >/dev/null) || { echo "package: cpack failed"; exit 1; }
deb=$(ls "$build"/vivedaziv_*.deb)
echo "package: built $deb"
dpkg-deb -I "$deb" | sed -n 's/^ *\(Depends\|Version\|Installed-Size\):/package:   \1:/p'

export DEBIAN_FRONTEND=noninteractive
$sudo apt-get install -y -qq "./$deb" >/dev/null || { echo "package: apt install failed"; exit 1; }
work=$(mktemp -d)
xvfb=""
cleanup() {
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null
  rm -rf "$work"
  $sudo apt-get purge -y -qq vivedaziv >/dev/null 2>&1
}
trap cleanup EXIT

files_installed() {
  local f
  for f in /usr/bin/vivedaziv /usr/lib/vivedaziv/PASSWORD.CPL /usr/lib/vivedaziv/MPR.DLL \
           /etc/pam.d/vivedaziv /usr/share/applications/vivedaziv.desktop \
           /usr/share/man/man1/vivedaziv.1 /usr/share/xscreensaver/config/vivedaziv.xml \
           /usr/share/icons/hicolor/32x32/apps/vivedaziv.png \
           /usr/share/icons/hicolor/256x256/apps/vivedaziv.png; do
    [ -e "$f" ] || { echo "missing $f"; return 1; }
  done
}
check "files in place" files_installed

Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
xvfb=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$work/display")" XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/run"
mkdir -p "$work/run" && chmod 700 "$work/run"
unset VIVEDAZIV_MODULE_DIR LD_PRELOAD

ends_quietly() { [ -z "$(/usr/bin/vivedaziv /x 2>&1)" ]; }
check "unknown switch ends quietly" ends_quietly

saver_ends_at_a_key() {
  /usr/bin/vivedaziv /s &
  local pid=$!
  sleep 2
  kill -0 $pid || return 1
  xdotool key a
  wait $pid
}
check "saver (/s) ends with 0 at a key" saver_ends_at_a_key

preview_follows_host() {
  coproc HOST { "$build/tests/host/preview_host"; }
  local id pid rc
  read -r -t 10 id <&"${HOST[0]}" || return 1
  /usr/bin/vivedaziv /p "$id" &
  pid=$!
  sleep 2
  echo lit >&"${HOST[1]}"
  read -r -t 10 answer <&"${HOST[0]}"
  echo "  preview: $answer"
  echo destroy >&"${HOST[1]}"
  wait $pid
  rc=$?
  echo quit >&"${HOST[1]}"
  [ $rc -eq 0 ] && [ "${answer%% of*}" != "lit 0" ]
}
check "preview (/p) runs in a host window and ends with it" preview_follows_host

window_appears() {  # NAME_PATTERN
  local _
  for _ in $(seq 100); do
    xdotool search --onlyvisible --name "$1" >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  return 1
}

configure_writes_settings() {
  /usr/bin/vivedaziv &
  local pid=$!
  window_appears "Configurator" || { kill $pid; return 1; }
  kill -TERM $pid
  wait $pid || return 1
  [ "$(grep -c '=' "$work/config/Quenfold/vivedaziv.conf")" -eq 13 ]
}
check "configure (no arguments) shows the dialog and writes 13 settings" configure_writes_settings

password_change_asks() {
  /usr/bin/vivedaziv /a 0 &
  local pid=$!
  window_appears "." || { kill $pid; return 1; }
  kill -TERM $pid
  wait $pid
}
check "password change (/a 0) opens its dialog and ends with 0" password_change_asks

echo "package: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
