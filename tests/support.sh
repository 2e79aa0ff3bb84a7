# Sourced by the script tests: a scratch root removed on exit with every process
# put in pids, fail (showing $log when set) and waitFor.
root="$(mktemp -d)"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  wait 2>/dev/null
  rm -rf "$root"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; [ -n "${log:-}" ] && [ -f "$log" ] && sed 's/^/  log: /' "$log"; exit 1; }
waitFor() { # seconds, command...
  local limit=$(( $1 * 10 )); shift
  for (( i = 0; i < limit; i++ )); do "$@" && return 0; sleep 0.1; done
  return 1
}
