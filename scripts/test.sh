#!/usr/bin/env bash
# Sets up the machine, builds, and runs every test: the sanitizer build first,
# then the optimised one.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
for preset in asan release; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done
ctest --preset asan
ctest --preset release
