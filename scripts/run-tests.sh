#!/usr/bin/env bash
# Runs the whole test suite: installs what it needs, then builds and tests
# the debug build, the sanitizer build and last the Windows program under
# Wine (whose tests compare it with the debug build's program), runs the
# SMB suite against real Samba servers (root only, else skipped), every
# fuzzer for a bounded time and the static checks.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-dependencies.sh --test

passed=0
failed=0
# Runs one preset's tests and adds up its counts.
run_ctest() {
  local log
  log=$(mktemp)
  local status=0
  ctest --preset "$@" | tee "$log" || status=$?
  local summary
  summary=$(grep -E '[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1)
  rm -f "$log"
  if [[ $summary =~ ([0-9]+)\ tests?\ failed\ out\ of\ ([0-9]+) ]]; then
    failed=$((failed + BASH_REMATCH[1]))
    passed=$((passed + BASH_REMATCH[2] - BASH_REMATCH[1]))
  fi
  return "$status"
}

for preset in dev asan; do
  echo "== $preset"
  cmake --preset "$preset"
  cmake --build --preset "$preset"
  run_ctest "$preset" --label-exclude samba
done

echo "== samba"
run_ctest dev --label-regex samba

echo "== windows-x86"
cmake --preset windows-x86 -DKESTROVA_LINUX_PROGRAM="$PWD/build/dev/app/kestrova"
cmake --build --preset windows-x86
run_ctest windows-x86

echo "== fuzzers"
scripts/run-fuzzers.sh "${KESTROVA_FUZZ_SECONDS:-60}"

echo "== static checks"
scripts/check-code.sh

echo "tests: $passed passed, $failed failed"
