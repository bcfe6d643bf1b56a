#!/usr/bin/env bash
# Sets up the machine, builds the optimised program and runs the saver.
# Arguments replace the default /s: `scripts/run.sh /c` opens the settings
# dialog, `scripts/run.sh /p 1234` a preview in window 1234.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake --preset release >/dev/null
cmake --build --preset release
exe=build/release/host/vivedaziv
[ $# -eq 0 ] && set -- /s
if [ -n "${DISPLAY:-}" ]; then
  exec "$exe" "$@"
fi
# No X display (a server, a container): run on a virtual one for a while and
# keep a picture of it.
echo "No X display: running 'vivedaziv $*' on a virtual display for 10 seconds."
export VZ_EXE=$exe VZ_SHOT=build/release/run.png
xvfb-run -a -s "-screen 0 800x600x24" bash -c '
  "$VZ_EXE" "$@" & pid=$!
  sleep 10
  import -window root "$VZ_SHOT"
  kill -TERM $pid; wait $pid' run "$@"
echo "Exited with code $?; the screen as it was: $VZ_SHOT"
