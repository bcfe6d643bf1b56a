#!/usr/bin/env bash
# Takes a picture of the configuration dialog as it opens on an empty store,
# on a virtual display, cropped to the dialog.
# Usage: tests/ui/screenshot.sh [VIVEDAZIV] [OUT.png]
# Defaults: build/release/host/vivedaziv and docs/config-dialog.png.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
exe=$(realpath "${1:-$root/build/release/host/vivedaziv}")
out=$(realpath -m "${2:-$root/docs/config-dialog.png}")

if [ -z "${VZ_ON_XVFB:-}" ]; then
  exec xvfb-run -a -s "-screen 0 800x600x24" env VZ_ON_XVFB=1 "$0" "$exe" "$out"
fi

XDG_CONFIG_HOME=$(mktemp -d)
XDG_RUNTIME_DIR=$(mktemp -d)
export XDG_CONFIG_HOME XDG_RUNTIME_DIR
chmod 700 "$XDG_RUNTIME_DIR"
pid=""
trap 'rm -rf "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR"; [ -n "$pid" ] && kill "$pid" 2>/dev/null; true' EXIT

"$exe" &
pid=$!
id=""
for _ in $(seq 100); do
  id=$(xdotool search --name "Configurator" 2>/dev/null | head -n 1) && [ -n "$id" ] && break
  sleep 0.1
done
[ -n "$id" ] || { echo "the dialog did not appear" >&2; exit 1; }
sleep 2  # let the preview animate

eval "$(xdotool getwindowgeometry --shell "$id")"
import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$out"
xdotool key Escape
wait "$pid"
pid=""
echo "saved $out (${WIDTH}x${HEIGHT})"
