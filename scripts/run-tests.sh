#!/usr/bin/env bash
# Runs the whole test suite: installs what it needs, then builds and tests
# the debug build, the sanitizer build and the Windows programs under Wine
# (whose tests compare them with the debug build's program), the SMB suite
# against real Samba servers (root only, else skipped), every fuzzer for a
# bounded time and the static checks.
#
# Both Windows programs are built and packaged on every host. The 64-bit
# one is tested under Wine's 64-bit loader, which runs on every x86-64
# host. The 32-bit one is tested where the host runs 32-bit programs (some
# kernels run 64-bit code only); elsewhere its tests are counted as skipped.
# KESTROVA_NO_32BIT=1 skips them as if the host could not run them.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-dependencies.sh --test

passed=0
failed=0
skipped=0
stages=()

# Adds up the counts of one preset's ctest output and notes them for the
# summary. Tests that ctest reports as skipped count as skipped.
count_ctest() {
  local preset=$1 log=$2
  local summary skipped_here
  summary=$(grep -E '[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" 2>/dev/null | tail -n 1 || true)
  skipped_here=$(grep -cE '^[[:space:]]+[0-9]+ - .* \(Skipped\)$' "$log" 2>/dev/null || true)
  if [[ $summary =~ ([0-9]+)\ tests?\ failed\ out\ of\ ([0-9]+) ]]; then
    local failed_here=${BASH_REMATCH[1]} total=${BASH_REMATCH[2]}
    failed=$((failed + failed_here))
    passed=$((passed + total - failed_here - skipped_here))
    skipped=$((skipped + skipped_here))
    stages+=("$preset: $((total - failed_here - skipped_here)) passed, $failed_here failed, $skipped_here skipped")
  else
    stages+=("$preset: no test summary")
  fi
}

# Runs one preset's tests and adds up its counts.
run_ctest() {
  local log
  log=$(mktemp)
  local status=0
  ctest --preset "$@" | tee "$log" || status=$?
  count_ctest "$1" "$log"
  rm -f "$log"
  return "$status"
}

# Prints why this host cannot run the 32-bit Windows tests, or nothing
# when it can. The probe runs the 32-bit Wine loader that the tests use.
why_no_32bit_tests() {
  if [ "${KESTROVA_NO_32BIT:-}" = 1 ]; then
    echo "KESTROVA_NO_32BIT=1 is set"
    return
  fi
  local loader
  loader=$(cmake -N -L build/windows-x86 2>/dev/null | sed -n 's/^KESTROVA_WINE_LOADER:FILEPATH=//p')
  if [ ! -x "$loader" ]; then
    echo "Wine's 32-bit loader ${loader:-(not configured)} is not installed"
    return
  fi
  local output
  if ! output=$("$loader" --version 2>&1); then
    echo "this host cannot run 32-bit programs ($loader --version: ${output##*: })"
  fi
}

for preset in dev asan; do
  echo "== $preset"
  cmake --preset "$preset"
  cmake --build --preset "$preset"
  run_ctest "$preset" --label-exclude samba
done

linux_program=$PWD/build/dev/app/kestrova
for preset in windows-x64 windows-x86; do
  echo "== $preset"
  cmake --preset "$preset" -DKESTROVA_LINUX_PROGRAM="$linux_program"
  cmake --build --preset "$preset" --target package
done

windows_presets=(windows-x64)
no_32bit=$(why_no_32bit_tests)
if [ -z "$no_32bit" ]; then
  windows_presets+=(windows-x86)
else
  not_run=$(ctest --preset windows-x86 -N | sed -n 's/^Total Tests: //p')
fi

# The Windows tests and the SMB suite spend their time waiting for Wine and
# for Samba's browse election rather than computing: they run in the
# background, beside the fuzzers and the static checks, in a process group
# of their own that is ended if this script ends first. Their output
# follows when they are done.
windows_logs=$(mktemp -d)
set -m
(
  for preset in "${windows_presets[@]}"; do
    status=0
    ctest --preset "$preset" >"$windows_logs/$preset.log" 2>&1 || status=$?
    echo "$status" >"$windows_logs/$preset.status"
  done
  status=0
  ctest --preset dev --label-regex samba >"$windows_logs/samba.log" 2>&1 || status=$?
  echo "$status" >"$windows_logs/samba.status"
) </dev/null &
windows_tests=$!
set +m
trap 'kill -- -"$windows_tests" 2>/dev/null || true; rm -rf "$windows_logs"' EXIT
echo "== Windows tests (${windows_presets[*]}) and the SMB suite: running in the background"

echo "== fuzzers"
scripts/run-fuzzers.sh "${KESTROVA_FUZZ_SECONDS:-40}"

echo "== static checks"
scripts/check-code.sh

wait "$windows_tests" || true
windows_status=0
for preset in "${windows_presets[@]}"; do
  echo "== $preset tests"
  cat "$windows_logs/$preset.log" 2>/dev/null || true
  count_ctest "$preset" "$windows_logs/$preset.log"
  [ "$(cat "$windows_logs/$preset.status" 2>/dev/null)" = 0 ] || windows_status=1
done
echo "== samba"
cat "$windows_logs/samba.log" 2>/dev/null || true
count_ctest samba "$windows_logs/samba.log"
[ "$(cat "$windows_logs/samba.status" 2>/dev/null)" = 0 ] || windows_status=1
if [ -n "$no_32bit" ]; then
  skipped=$((skipped + not_run))
  stages+=("windows-x86: $not_run skipped")
fi

echo "== summary"
printf '%s\n' "${stages[@]}"
if [ -n "$no_32bit" ]; then
  echo "The 32-bit Windows tests were not run: $no_32bit."
fi
if [ "$skipped" -gt 0 ]; then
  echo "tests: $passed passed, $failed failed, $skipped skipped"
else
  echo "tests: $passed passed, $failed failed"
fi
exit "$windows_status"
