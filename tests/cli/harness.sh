# Shared by the command-line test scripts (sourced): the programs under test, a scratch folder,
# and the pass/fail bookkeeping that ends in one "N passed, N failed" line.
# The sourcing script is called with: PATH-TO-skelbrook-cli PATH-TO-skelbrook-mkimage
CLI=$1
MKIMAGE=$2
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
passed=0
failed=0

check() {  # check DESCRIPTION COMMAND...
  local what=$1
  shift
  if "$@"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAILED: $what" >&2
  fi
}

# Runs the cli; leaves stdout, stderr and the exit status in $WORK/out, $WORK/err, $status.
run() {
  "$CLI" "$@" >"$WORK/out" 2>"$WORK/err"
  status=$?
}

finish() {
  echo "$passed passed, $failed failed"
  test "$failed" -eq 0
}
