#!/usr/bin/env bash
# Line coverage of the program by the test suite (gcov and lcov): builds
# the coverage preset, runs the tests, and writes an HTML report to
# build/coverage/html; prints the summary per directory.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset coverage >/dev/null
cmake --build --preset coverage
find build/coverage -name '*.gcda' -delete
ctest --preset coverage >/dev/null
lcov --quiet --capture --directory build/coverage --output-file build/coverage/all.info
lcov --quiet --extract build/coverage/all.info "$PWD/app/*" "$PWD/registry/*" "$PWD/runtime/*" "$PWD/platform/*" \
  --output-file build/coverage/program.info
genhtml --quiet build/coverage/program.info --output-directory build/coverage/html
lcov --list build/coverage/program.info
