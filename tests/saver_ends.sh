# Shared by the saver scenario scripts: sourced, not run. Both use the
# caller's $saver (the saver's pid, a child of the calling shell) and fail.

# Waits for the saver to end; fails unless it ends with code 0.
ends() {
  for _ in $(seq 50); do kill -0 $saver 2>/dev/null || break; sleep 0.1; done
  kill -0 $saver 2>/dev/null && fail "saver still running after $1"
  wait $saver
  local rc=$?
  saver=""
  [ $rc -eq 0 ] || fail "saver exited with $rc after $1"
  echo "ended with 0 after $1"
}

running() { kill -0 $saver 2>/dev/null || fail "saver ended after $1"; }
