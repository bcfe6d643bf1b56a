#!/usr/bin/env bash
# Builds the Debian package with dpkg-buildpackage, checks it with lintian
# and its AppStream metadata with appstreamcli,
# installs it with apt, runs the installed program in every mode under Xvfb
# and as a MATE screen saver theme, then removes and purges it, checking
# that only the PAM service (a conffile) outlives a removal and that nothing
# outlives the purge.
# Usage: scripts/test-package.sh [--built DEB_DIR] [BUILD_DIR]   (as root, or
# with sudo; the build directory, of any preset, provides the test helpers
# and receives the package in BUILD_DIR/deb; with --built, the package
# scripts/package.sh has already put in DEB_DIR is tested as it is)
set -uo pipefail
cd "$(dirname "$0")/.."
built=0
if [ "${1:-}" = --built ]; then
  built=1
  debs=${2:?--built needs the folder of the package}
  shift 2
fi
build=${1:-build/release}
[ $built -eq 1 ] || debs=$build/deb
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

if [ $built -eq 0 ]; then
  scripts/package.sh "$debs" || { echo "package: build failed"; exit 1; }
fi
deb=$(realpath "$debs"/vivedaziv_[0-9]*.deb)
changes=$(realpath "$debs"/vivedaziv_*.changes)
echo "package: built $deb"
dpkg-deb -I "$deb" | sed -n 's/^ *\(Depends\|Recommends\|Section\|Version\|Installed-Size\):/package:   \1:/p'

# Debian's checker: no error, no warning, and no hardening note among its
# informational ones, which --display-info shows (--info only explains the
# tags shown).
lintian_clean() {
  local report rc
  report=$(lintian --display-info --info --fail-on error,warning "$changes" 2>&1)
  rc=$?
  report=$(printf '%s\n' "$report" | grep -v "running with root privileges")
  [ -n "$report" ] && printf '%s\n' "$report" | sed 's/^/  /'
  [ $rc -eq 0 ] && ! grep -q 'hardening-' <<<"$report"
}
check "lintian reports no error, warning or hardening note" lintian_clean

export DEBIAN_FRONTEND=noninteractive
$sudo apt-get install --reinstall -y -qq "$deb" >/dev/null || { echo "package: apt install failed"; exit 1; }
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
           /usr/lib/vivedaziv/vivedaziv-pam-helper \
           /etc/pam.d/vivedaziv /usr/share/applications/vivedaziv.desktop \
           /usr/share/man/man1/vivedaziv.1.gz /usr/share/xscreensaver/config/vivedaziv.xml \
           /usr/share/icons/hicolor/32x32/apps/vivedaziv.png \
           /usr/share/icons/hicolor/256x256/apps/vivedaziv.png \
           /usr/lib/mate-screensaver/mate-screensaver/vivedaziv \
           /usr/share/applications/screensavers/vivedaziv.desktop \
           /usr/share/doc/vivedaziv/copyright /usr/share/doc/vivedaziv/changelog.gz \
           /usr/share/doc/vivedaziv/docs/saver.png "$metainfo"; do
    [ -e "$f" ] || { echo "missing $f"; return 1; }
  done
  compgen -G "/usr/share/doc/vivedaziv/README.md*" >/dev/null ||
    { echo "missing /usr/share/doc/vivedaziv/README.md"; return 1; }
  dpkg-query -W -f='${Conffiles}' vivedaziv | grep -q "^ /etc/pam.d/vivedaziv " ||
    { echo "/etc/pam.d/vivedaziv is no conffile"; return 1; }
}
metainfo=/usr/share/metainfo/com.quenfold.vivedaziv.metainfo.xml
check "files in place" files_installed
# What software centres read: valid as installed (the screenshots' addresses
# are not fetched).
check "AppStream metadata valid" appstreamcli validate --no-net "$metainfo"

Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
xvfb=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$work/display")" XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/run"
mkdir -p "$work/run" && chmod 700 "$work/run"
unset VIVEDAZIV_MODULE_DIR LD_PRELOAD

usage_on_stderr() {
  local err
  err=$(/usr/bin/vivedaziv /x 2>&1 >/dev/null) && [[ $err == usage:* ]] &&
    [ -z "$(/usr/bin/vivedaziv /x 2>/dev/null)" ]
}
check "unknown switch ends with 0 and only a usage line on stderr" usage_on_stderr

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
  # A sanitizer build's host may keep Qt's allocations at exit.
  coproc HOST { ASAN_OPTIONS=detect_leaks=0 "$build/tests/x11/preview_host"; }
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

check "MATE screen saver runs the theme and ends it" tests/x11/mate_screensaver_test.sh

# An administrator's change to the PAM service survives removal and a new
# install; the purge takes it and everything else away.
pam_change_kept() {
  echo "# local change" | $sudo tee -a /etc/pam.d/vivedaziv >/dev/null
  $sudo apt-get remove -y -qq vivedaziv >/dev/null || return 1
  [ ! -e /usr/bin/vivedaziv ] || { echo "program left after removal"; return 1; }
  grep -q "^# local change" /etc/pam.d/vivedaziv || { echo "changed conffile lost at removal"; return 1; }
  $sudo apt-get install -y -qq "$deb" >/dev/null || return 1
  grep -q "^# local change" /etc/pam.d/vivedaziv || { echo "changed conffile lost at reinstall"; return 1; }
}
check "a changed PAM service outlives removal and reinstall" pam_change_kept

purge_leaves_nothing() {
  $sudo apt-get purge -y -qq vivedaziv >/dev/null || return 1
  dpkg-query -W -f='${db:Status-Status}' vivedaziv 2>/dev/null | grep -q -v "^not-installed$" &&
    { echo "dpkg still knows vivedaziv"; return 1; }
  local left
  left=$( (dpkg-deb --fsys-tarfile "$deb" | tar -t | sed 's|^\.||; /\/$/d'
           echo /usr/lib/vivedaziv; echo /usr/share/doc/vivedaziv; ls -d /etc/pam.d/vivedaziv* 2>/dev/null) |
          while read -r f; do [ -e "$f" ] && echo "$f"; done)
  [ -z "$left" ] || { echo "left after purge:" $left; return 1; }
}
check "purge leaves nothing behind" purge_leaves_nothing

echo "package: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
