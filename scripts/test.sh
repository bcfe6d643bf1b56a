#!/usr/bin/env bash
# Sets up the machine, builds, and runs every test once where it catches most:
# - the sanitizer build runs all of them, the unit tests and the end-to-end
#   scenarios (real X servers, window managers, PAM) on the real binaries;
# - the Debian package, built with dpkg-buildpackage (its optimised,
#   hardened build of the program alone: the unit tests already ran above),
#   is installed and run in every mode.
# Both builds compile several files per compiler run (one build each, from
# scratch, is what this script is for). The package compiles at the lowest
# priority from the start, on whatever the sanitizer build and its tests
# leave of the machine: the tests mostly wait on servers and windows.
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
cmake --preset asan -DCMAKE_UNITY_BUILD=ON >/dev/null

mkdir -p build
package_log=build/package.log
# In a process group of its own, so that a failure here can end it whole.
# A new session is also a scheduling group of its own, which nice alone does
# not lower against the others: the group's own priority is lowered too.
DEB_BUILD_OPTIONS=nocheck DEB_BUILD_PROFILES=nocheck setsid nice -n 19 bash -c \
  'echo 19 >/proc/self/autogroup 2>/dev/null; exec scripts/package.sh build/deb' >"$package_log" 2>&1 &
package=$!
trap 'kill -- -$package 2>/dev/null || true; report' EXIT

phase "asan build" cmake --build --preset asan
# Every test carries one of the two labels; one without would run nowhere.
unlabelled=$(ctest --preset asan -N -LE '^(unit|e2e)$' | sed -n 's/^Total Tests: //p')
[ "$unlabelled" = 0 ] || { ctest --preset asan -N -LE '^(unit|e2e)$'; echo "tests without a label"; exit 1; }

test_phase "asan tests (unit + e2e)" ctest --preset asan
wait_package() {
  local rc=0
  wait $package || rc=$?
  [ $rc -eq 0 ] || { cat "$package_log"; echo "package build failed"; }
  return $rc
}
test_phase "package build" wait_package
trap report EXIT
test_phase "package test" scripts/test-package.sh --built build/deb build/asan
if [ ${#failed[@]} -gt 0 ]; then
  printf 'test.sh: FAILED: %s\n' "${failed[@]}"
  exit 1
fi
echo "test.sh: all tests passed"
