#!/usr/bin/env bash
# XScreenSaver as the host: it runs `vivedaziv /p $((XSCREENSAVER_WINDOW))`
# in the window it hands its display modes. Activating shows particles;
# deactivating ends our process.
# Usage: xscreensaver_test.sh VIVEDAZIV
set -uo pipefail
vivedaziv=$1
command -v xscreensaver >/dev/null || { echo "xscreensaver is not installed"; exit 1; }
fail() { echo "FAIL: $*"; [ -f "$work/xss.log" ] && tail -20 "$work/xss.log"; exit 1; }

work=$(mktemp -d)
xvfb=""
cleanup() {
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null
  [ -n "${uid:-}" ] && pkill -U "$uid" -f "^vivedaziv /p" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
chmod 755 "$work"
mkdir -p "$work/bin" "$work/home" "$work/run"
# XScreenSaver refuses to launch display modes as root: run it as nobody,
# with a copy of the program it can reach wherever the build tree lives.
cp "$vivedaziv" "$work/bin/vivedaziv"
chmod 755 "$work/bin" "$work/bin/vivedaziv"
cat > "$work/home/.xscreensaver" <<'CONF'
mode:		one
selected:	0
splash:		False
lock:		False
fade:		False
unfade:		False
programs:	vivedaziv /p $((XSCREENSAVER_WINDOW))	\n\
CONF
chmod -R a+rwX "$work/home"
chmod 700 "$work/run"
uid=$(id -u)
if [ "$uid" -eq 0 ]; then
  uid=65534
  chown -R 65534:65534 "$work/home" "$work/run"
fi
running() { pgrep -U "$uid" -f "^vivedaziv /p [0-9]+" >/dev/null; }

# -ac: nobody may connect as well. The server names its display itself, so
# that other tests may start servers at the same time.
Xvfb -displayfd 3 -screen 0 640x480x24 -nolisten tcp -ac 3>"$work/display" >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 250); do [ -s "$work/display" ] && break; sleep 0.04; done
[ -s "$work/display" ] || fail "Xvfb did not start"
display=:$(cat "$work/display")

as_user() {
  local runner=()
  [ "$(id -u)" -eq 0 ] && runner=(setpriv --reuid=65534 --regid=65534 --clear-groups)
  "${runner[@]}" env HOME="$work/home" DISPLAY="$display" XDG_RUNTIME_DIR="$work/run" \
    XDG_CONFIG_HOME="$work/home/.config" PATH="$work/bin:/usr/local/bin:/usr/bin:/bin" "$@"
}

as_user xscreensaver -no-splash -verbose > "$work/xss.log" 2>&1 &
# A loaded machine may take a while to start it.
for _ in $(seq 150); do as_user xscreensaver-command -version >/dev/null 2>&1 && break; sleep 0.2; done
as_user xscreensaver-command -activate >/dev/null || fail "could not activate"
for _ in $(seq 50); do running && break; sleep 0.2; done
running || fail "XScreenSaver did not start vivedaziv"
sleep 2

DISPLAY=$display import -window root "$work/shot.png" || fail "no screenshot"
# Non-black pixels: particles, but far fewer than the screen's 307200.
lit=$(convert "$work/shot.png" -fill white +opaque black -format "%[fx:int(mean*w*h)]" info:)
echo "lit pixels: $lit"
[ "$lit" -ge 100 ] && [ "$lit" -le 20000 ] || fail "expected particles on black, got $lit lit pixels"

as_user xscreensaver-command -deactivate >/dev/null
for _ in $(seq 50); do running || break; sleep 0.2; done
running && fail "vivedaziv still runs after deactivation"
as_user xscreensaver-command -exit >/dev/null 2>&1
echo "xscreensaver test passed"
