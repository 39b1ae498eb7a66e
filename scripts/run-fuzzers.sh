#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, preset fuzz) and runs each for a
# bounded time, default 60 seconds:
#   scripts/run-fuzzers.sh            about a minute each
#   scripts/run-fuzzers.sh 3600       an hour each
# New inputs go to a scratch corpus; the seeds in tests/fuzz/corpus stay as
# they are (the two readers of export files share tests/fuzz/corpus/reg_export).
# A crash stops the run with the fuzzer's report and the input that caused
# it (crash-*), which becomes a regression test.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

for target in reg_file export_registry lan_description command_line text smb_reply smb_registry wsd_reply; do
  echo "== $target: $seconds s"
  mkdir -p "$scratch/$target"
  case $target in
    reg_file | export_registry) corpus=reg_export ;;
    *) corpus=$target ;;
  esac
  options=(-max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$PWD/build/fuzz/crash-$target-")
  if [ -f "tests/fuzz/$target.dict" ]; then options+=(-dict="tests/fuzz/$target.dict"); fi
  if ! "build/fuzz/tests/fuzz/${target}_fuzzer" "${options[@]}" "$scratch/$target" "tests/fuzz/corpus/$corpus" \
      >"$scratch/$target.log" 2>&1; then
    tail -n 60 "$scratch/$target.log"
    echo "$target: the fuzzer found a failure" >&2
    exit 1
  fi
  grep -E '^(Done|stat::number_of_executed_units)' "$scratch/$target.log"
done
