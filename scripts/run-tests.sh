#!/usr/bin/env bash
# Runs the whole test suite: installs what it needs, then builds and tests
# the debug build and the sanitizer build.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-dependencies.sh --test

for preset in dev asan; do
  echo "== $preset"
  cmake --preset "$preset"
  cmake --build --preset "$preset"
  ctest --preset "$preset"
done
