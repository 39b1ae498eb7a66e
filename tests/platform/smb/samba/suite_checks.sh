# The checks that the Samba suites count: sourced by each suite, which ends
# with `suite_summary` as its last command (its status is the suite's).
# shellcheck shell=bash

failures=0
passes=0
pass() {
  echo "ok - $1"
  passes=$((passes + 1))
}
fail() {
  echo "FAIL - $1"
  failures=$((failures + 1))
}
# expect NAME EXPECTED ACTUAL
expect() {
  if [[ $2 == "$3" ]]; then
    pass "$1"
  else
    fail "$1"
    diff <(echo "$2") <(echo "$3") | sed 's/^/    /'
  fi
}
# Counts since the suite's `started=$SECONDS`; true when nothing failed.
suite_summary() {
  echo "# $passes passed, $failures failed, $((SECONDS - started)) s"
  ((failures == 0))
}
