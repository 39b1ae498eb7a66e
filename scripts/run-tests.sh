#!/usr/bin/env bash
# Runs the whole test suite: installs what it needs, then builds and tests
# the debug build, the sanitizer build and last the Windows program under
# Wine (whose tests compare it with the debug build's program), runs every
# fuzzer for a bounded time and the static checks.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-dependencies.sh --test

for preset in dev asan; do
  echo "== $preset"
  cmake --preset "$preset"
  cmake --build --preset "$preset"
  ctest --preset "$preset"
done

echo "== windows-x86"
cmake --preset windows-x86 -DKESTROVA_LINUX_PROGRAM="$PWD/build/dev/app/kestrova"
cmake --build --preset windows-x86
ctest --preset windows-x86

echo "== fuzzers"
scripts/run-fuzzers.sh "${KESTROVA_FUZZ_SECONDS:-60}"

echo "== static checks"
scripts/check-code.sh
