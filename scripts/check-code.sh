#!/usr/bin/env bash
# Static checks: the runtime's levels (scripts/check-runtime-levels.py),
# clang-format on every C++ file, cppcheck on the program,
# and clang-tidy (.clang-tidy; tests/.clang-tidy for the tests):
#   scripts/check-code.sh            on the program's sources (what CI runs)
#   scripts/check-code.sh --all      on the tests as well
#   scripts/check-code.sh BASE       on the C++ files changed since BASE
set -euo pipefail
cd "$(dirname "$0")/.."

cpp_files() { git ls-files -- '*.cpp' '*.h'; }

echo "== runtime levels"
scripts/check-runtime-levels.py

echo "== clang-format"
cpp_files | xargs clang-format --dry-run -Werror

echo "== cppcheck"
cppcheck --quiet --error-exitcode=1 --enable=warning,performance,portability --std=c++20 --inline-suppr \
  --suppress=missingIncludeSystem -I. app registry runtime platform

echo "== clang-tidy"
cmake --preset dev >/dev/null
cmake --build --preset dev >/dev/null
# Only files that the Linux build compiles are in its compilation database.
linux_built='^(tests/fuzz|tests/windows|bench)/|windows_registry_backend|_win32|/win32/'
case "${1:-}" in
  "") mapfile -t files < <(git ls-files -- 'app/*.cpp' 'registry/*.cpp' 'runtime/*.cpp' 'platform/*.cpp' |
                           grep -v -E "$linux_built") ;;
  --all) mapfile -t files < <(git ls-files -- '*.cpp' | grep -v -E "$linux_built") ;;
  *) mapfile -t files < <(git diff --name-only --diff-filter=d "$1" -- '*.cpp' | grep -v -E "$linux_built" || true) ;;
esac
if [ "${#files[@]}" -eq 0 ]; then
  echo "no C++ file changed"
  exit 0
fi
run-clang-tidy -quiet -p build/dev -j "$(nproc)" "${files[@]/#/$PWD/}" >build/dev/clang-tidy.log 2>&1 || {
  grep -E 'warning:|error:' -A3 build/dev/clang-tidy.log | head -n 80
  exit 1
}
echo "clang-tidy: ${#files[@]} files clean"
