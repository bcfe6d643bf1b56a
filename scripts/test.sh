#!/usr/bin/env bash
# Sets up the machine, builds, and runs every test: the sanitizer build, the
# Debian package installed and run in every mode, then the optimised build.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
for preset in asan release; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done
ctest --preset asan
scripts/test-package.sh build/release
ctest --preset release
