#!/usr/bin/env bash
# Sets up the machine, builds the optimised program and runs it. Arguments go
# to the program.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake --preset release >/dev/null
cmake --build --preset release
if [ -x build/release/host/vivedaziv ]; then
  exec build/release/host/vivedaziv "$@"
fi
echo "Running the headless simulation: 50 particles, 100 ticks, 800 x 600."
build/release/tools/vivedaziv-sim --quiet "$@"
