#!/usr/bin/env bash
# Runs the whole test suite: installs what it needs, then builds and tests
# the debug build, the sanitizer build and the Windows program (under
# Wine), runs every fuzzer for a bounded time and the static checks.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-dependencies.sh --test

for preset in dev asan windows-x86; do
  echo "== $preset"
  cmake --preset "$preset"
  cmake --build --preset "$preset"
  ctest --preset "$preset"
done

echo "== fuzzers"
scripts/run-fuzzers.sh "${KESTROVA_FUZZ_SECONDS:-60}"

echo "== static checks"
scripts/check-code.sh
