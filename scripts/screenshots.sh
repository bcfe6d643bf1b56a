#!/usr/bin/env bash
# Takes the README's pictures under Xvfb: the full-screen saver, the preview
# inside a host window, and the configuration dialog.
# Usage: scripts/screenshots.sh [BUILD_DIR]   (after a build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build/release}")
docs=$(realpath docs)
exe=$build/host/vivedaziv
host=$build/tests/x11/preview_host

if [ -z "${VZ_ON_XVFB:-}" ]; then
  # -retro: the classic grey root window, so the host window stands out.
  exec xvfb-run -a -s "-screen 0 800x500x24 -retro" env VZ_ON_XVFB=1 "$0" "$build"
fi
XDG_CONFIG_HOME=$(mktemp -d)
XDG_RUNTIME_DIR=$(mktemp -d)
export XDG_CONFIG_HOME XDG_RUNTIME_DIR
chmod 700 "$XDG_RUNTIME_DIR"
trap 'rm -rf "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR"' EXIT

# The saver, a few seconds in, with the default settings.
"$exe" /s &
pid=$!
sleep 6
import -window root "$docs/saver.png"
xdotool key a
wait $pid

# The preview in a host window.
coproc HOST { "$host"; }
read -r id <&"${HOST[0]}"
for cmd in "resize 320 200" "move 240 150"; do
  echo "$cmd" >&"${HOST[1]}"
  read -r _ <&"${HOST[0]}"
done
"$exe" /p "$id" &
pid=$!
sleep 6
import -window root "$docs/preview.png"
echo destroy >&"${HOST[1]}"
wait $pid
echo quit >&"${HOST[1]}"

tests/ui/screenshot.sh "$exe" "$docs/config-dialog.png"
echo "saved docs/saver.png docs/preview.png docs/config-dialog.png"
