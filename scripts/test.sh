#!/usr/bin/env bash
# Sets up the machine, builds, and runs every test once where it catches most:
# - the sanitizer build runs all of them, the unit tests and the end-to-end
#   scenarios (real X servers, window managers, PAM) on the real binaries;
# - the optimised build runs the unit tests again, optimised;
# - the Debian package, built with dpkg-buildpackage, is installed and run in
#   every mode.
# The optimised build and the package compile at the lowest priority while
# the sanitizer build's tests run: those mostly wait on servers and windows.
# Each phase's time goes to the end of the output.
set -euo pipefail
cd "$(dirname "$0")/.."
times=()
failed=()
phase() {  # NAME COMMAND...
  local name=$1 start=$SECONDS rc=0
  shift
  "$@" || rc=$?
  times+=("$(printf '%-28s %4d s' "$name" $((SECONDS - start)))$([ $rc -eq 0 ] || echo "  FAILED ($rc)")")
  return $rc
}
# A test phase that fails is reported at the end; the others still run.
test_phase() {  # NAME COMMAND...
  phase "$@" || failed+=("$1")
}
report() {
  echo "test.sh: phase times"
  printf '  %s\n' "${times[@]}"
}
trap report EXIT

phase "dependencies (apt)" scripts/deps.sh
for preset in asan release; do
  cmake --preset "$preset" >/dev/null
done
phase "asan build" cmake --build --preset asan

# Every test carries one of the two labels; one without would run nowhere.
unlabelled=$(ctest --preset asan -N -LE '^(unit|e2e)$' | sed -n 's/^Total Tests: //p')
[ "$unlabelled" = 0 ] || { ctest --preset asan -N -LE '^(unit|e2e)$'; echo "tests without a label"; exit 1; }

mkdir -p build
background_log=build/background.log
# In a process group of its own, so that a failure here can end it whole.
setsid nice -n 19 bash -c 'cmake --build --preset release && scripts/package.sh build/release/deb' \
  >"$background_log" 2>&1 &
background=$!
trap 'kill -- -$background 2>/dev/null || true; report' EXIT

test_phase "asan tests (unit + e2e)" ctest --preset asan
wait_background() {
  wait $background || { tail -60 "$background_log"; echo "release build or package build failed"; return 1; }
}
phase "waiting for release + .deb" wait_background
trap report EXIT
test_phase "release unit tests" ctest --preset release -L '^unit$'
test_phase "package test" scripts/test-package.sh --built build/release
if [ ${#failed[@]} -gt 0 ]; then
  printf 'test.sh: FAILED: %s\n' "${failed[@]}"
  exit 1
fi
echo "test.sh: all tests passed"
