#!/usr/bin/env bash
# The Windows program's failure reports under Wine: the test-only fault
# probe fails in each way the runtime knows (processor faults through
# vectored exception handling, runtime error kinds, errors before error
# support starts), and each report, runtime-error line and exit code is
# checked byte for byte but the addresses, which are checked by shape:
# module-relative addresses and the runtime-error line's have 8
# hexadecimal digits, the absolute addresses of the access-violation
# message POINTER-DIGITS (8 in the 32-bit program, 16 in the 64-bit one).
#   fault-reports.sh WINE-LOADER PROBE.exe POINTER-DIGITS
set -u
[ $# -eq 3 ] || { echo "usage: $0 WINE-LOADER PROBE.exe POINTER-DIGITS" >&2; exit 2; }
wine=$1
probe=$2
hex8='[0-9A-F]{8}'
pointer="[0-9A-F]{$3}"
null_pointer=$(printf '%0*d' "$3" 0)
failures=0
cr=$'\r'

# run MODE... ; sets out, err, code
run() {
  local err_file
  err_file=$(mktemp)
  out=$("$wine" "$probe" "$@" 2>"$err_file"; echo "#$?")
  code=${out##*#}
  out=${out%#*}
  err=$(cat "$err_file"; echo "#")
  err=${err%#}
  rm -f "$err_file"
}

# expect_report MODE CLASS MESSAGE-REGEX [WRITTEN-BEFORE-THE-REPORT]
expect_report() {
  local mode=$1 class=$2 message=$3 before=${4:-}
  read -r -a arguments <<<"$mode"
  run "${arguments[@]}"
  local shape="^${before}Exception $class in module kestrova_fault_probe\\.exe at $hex8\\.$cr"$'\n'"$message$cr"$'\n'"$cr"$'\n'"\$"
  if [[ "$err" =~ $shape ]] && [ "$code" = 1 ]; then
    echo "ok: $mode"
  else
    echo "FAILED: $mode: exit $code, standard error:"
    printf '%s' "$err" | od -c | head -n 12
    failures=$((failures + 1))
  fi
}

expect_report write-null EAccessViolation \
  "Access violation at address $pointer in module 'kestrova_fault_probe\\.exe'\\. Write of address $null_pointer\\."
expect_report read-null EAccessViolation \
  "Access violation at address $pointer in module 'kestrova_fault_probe\\.exe'\\. Read of address $null_pointer\\."
# The faulting frame and its caller release what they hold before the report.
expect_report write-null-holding EAccessViolation \
  "Access violation at address $pointer in module 'kestrova_fault_probe\\.exe'\\. Write of address $null_pointer\\." \
  "released"$'\n'"released"$'\n'
expect_report divide EDivByZero "Division by zero\\."
expect_report float-divide EZeroDivide "Floating point division by zero\\."
expect_report illegal EExternalException "External exception C000001D\\."
expect_report stack EStackOverflow "Stack overflow\\."
expect_report "kind 12" EPrivilege "Privileged instruction\\."
expect_report "kind 0" EInOutError "File access denied\\."
expect_report foreign "std::runtime_error" ""
# The resource of the failing frame is released before the report.
expect_report "print-then-raise gone" Exception "gone\\." "released"$'\n'

# Before error support starts: the runtime-error line on standard output,
# 30 bytes with its zero byte, then CR LF; the number is the exit code.
line_file=$(mktemp)
"$wine" "$probe" before-kind 3 >"$line_file" 2>/dev/null
code=$?
size=$(stat -c %s "$line_file")
text=$(head -c 29 "$line_file")
tail_bytes=$(tail -c 3 "$line_file" | od -An -tx1 | tr -d ' \n')
rm -f "$line_file"
if [ "$size" = 32 ] && [[ "$text" =~ ^Runtime\ error\ 200\ at\ $hex8$ ]] && [ "$tail_bytes" = 000d0a ] &&
   [ "$code" = 200 ]; then
  echo "ok: before-kind 3"
else
  echo "FAILED: before-kind 3: exit $code, $size bytes: $text, ending $tail_bytes"
  failures=$((failures + 1))
fi

[ "$failures" -eq 0 ]
