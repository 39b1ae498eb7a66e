#!/usr/bin/env bash
# Static checks: clang-format on every C++ file, cppcheck on the program,
# clang-tidy (with .clang-tidy) on the C++ files changed since BASE, or on
# all of them when no BASE is given.
#   scripts/check-code.sh            everything
#   scripts/check-code.sh main       what changed since main
set -euo pipefail
cd "$(dirname "$0")/.."

cpp_files() { git ls-files -- '*.cpp' '*.h'; }

echo "== clang-format"
cpp_files | xargs clang-format --dry-run -Werror

echo "== cppcheck"
cppcheck --quiet --error-exitcode=1 --enable=warning,performance,portability --std=c++20 --inline-suppr \
  --suppress=missingIncludeSystem -I. app registry runtime platform

echo "== clang-tidy"
cmake --preset dev >/dev/null
cmake --build --preset dev >/dev/null
if [ $# -gt 0 ]; then
  mapfile -t files < <(git diff --name-only --diff-filter=d "$1" -- '*.cpp' | grep -v '^tests/fuzz/' || true)
else
  mapfile -t files < <(git ls-files -- '*.cpp' | grep -v -E '^(tests/fuzz|tests/windows|bench)/|windows_registry_backend|/win32/')
fi
if [ "${#files[@]}" -eq 0 ]; then
  echo "no C++ file changed"
  exit 0
fi
run-clang-tidy -quiet -p build/dev -j "$(nproc)" "${files[@]/#/$PWD/}" >build/dev/clang-tidy.log 2>&1 || {
  grep -E 'warning:|error:' -A3 build/dev/clang-tidy.log | head -n 80
  exit 1
}
echo "clang-tidy: ${#files[@]} files clean"
