#!/usr/bin/env bash
# Runs the Windows program under Wine and the Linux program over the same
# LANs and checks that both print the same bytes on standard output and on
# standard error and end with the same exit code. In a failure report
# only the module name (Kestrova.exe, kestrova) and the module-relative
# address may differ; the address must still be 8 hexadecimal digits.
#
# Both sides see the same LAN directory: the Linux stand-in through
# KESTROVA_LAN, Wine's provider router through the test network provider
# (registered by the wine_network fixture), which reads KESTROVA_LAN as a
# Windows path. Wine's registry reaches only its own computer, so the
# LANs make one computer reachable, KESTROVA-WINE: Wine runs under that
# host name, and its registry export is imported into the prefix. On Linux
# the host keeps its own name and KESTROVA-WINE is a LAN computer like any
# other. Every other computer of these LANs is unreachable on both sides.
#
# Wine's loader and server are given by their full paths (--wine,
# --wineserver): the 32-bit ones for the 32-bit program, the 64-bit ones
# for the 64-bit program.
#
# Exit code 0 when every case agrees, 1 when one does not, 77 when the
# comparison cannot run here (no Linux build, no UTS namespace).
set -u

usage() {
  echo "usage: $0 --wine WINE-LOADER --wineserver WINE-SERVER --linux-program FILE --windows-program FILE" \
       "--import-registry FILE --start-without-output FILE --sample-lan DIR --lans DIR --work DIR" >&2
  exit 2
}

while [ $# -gt 0 ]; do
  [ $# -ge 2 ] || usage
  case $1 in
    --wine) wine_loader=$2 ;;
    --wineserver) wine_server=$2 ;;
    --linux-program) linux_program=$2 ;;
    --windows-program) windows_program=$2 ;;
    --import-registry) import_registry=$2 ;;
    --start-without-output) start_without_output=$2 ;;
    --sample-lan) sample_lan=$2 ;;
    --lans) lans=$2 ;;
    --work) work=$2 ;;
    *) usage ;;
  esac
  shift 2
done
for variable in wine_loader wine_server linux_program windows_program import_registry start_without_output sample_lan lans \
                work; do
  [ -n "${!variable:-}" ] || usage
done

skip() {
  echo "SKIPPED: $*"
  exit 77
}

[ -x "$linux_program" ] ||
  skip "the Linux program $linux_program is not built; build the dev preset first (cmake --build --preset dev)"

# The computer that Wine plays. The Linux host must have another name, or
# the stand-in would take KESTROVA-WINE for itself.
readonly wine_computer=KESTROVA-WINE
own_name=$(uname -n | cut -d. -f1 | cut -c1-15 | tr '[:lower:]' '[:upper:]')
[ "$own_name" != "$wine_computer" ] || skip "this host is called $wine_computer itself"

# Both sides run under the same single-byte locale: ANSI code page 1252
# and OEM code page 850. The stand-in takes any locale that is not UTF-8
# for that; Wine chooses its code pages by the locale's name, and gives
# the OEM code page 437 to C and POSIX, 850 to en_GB. The host need not
# have that locale (the shell's complaint about it is silenced); the tools
# of this script then work on bytes, as in the C locale.
{ export LC_ALL=en_GB; } 2>/dev/null
unset LANG LC_CTYPE LC_MESSAGES

rm -rf "$work"
mkdir -p "$work"

# Wine takes its computer name from the host name of the first program
# that its server runs: start the server afresh, with that first program
# in a UTS namespace of its own that carries the name. Later programs,
# outside the namespace, keep the name while the server lives.
"$wine_server" -k 2>/dev/null
"$wine_server" -w
if ! unshare --uts true 2>/dev/null; then
  skip "cannot make a UTS namespace (unshare --uts) to give Wine its computer name"
fi
# The server is persistent: stop it however the script ends.
trap '"$wine_server" -k 2>/dev/null' EXIT
trap 'exit 1' INT TERM
# shellcheck disable=SC2016 # the inner shell expands its own arguments
wine_name=$(unshare --uts sh -c 'hostname "$1" && "$2" -p && "$3" cmd /c "echo %COMPUTERNAME%"' sh \
              "$wine_computer" "$wine_server" "$wine_loader" | tr -d '\r')
if [ "$wine_name" != "$wine_computer" ]; then
  echo "FAILED: Wine calls its computer '$wine_name', not $wine_computer"
  exit 1
fi

windows_path() { "$wine_loader" winepath -w "$1" 2>/dev/null; }
windows_program_path=$(windows_path "$windows_program")

# Imports the reachable computer's registry export into the prefix.
import_local_registry() {
  local export_file=$1/$wine_computer.reg
  [ -f "$export_file" ] || return 0
  "$wine_loader" "$import_registry" "$(windows_path "$export_file")" </dev/null
}

# run SIDE CASE LAN TARGET [ARGUMENT...]: runs one side's program over the
# LAN with standard output sent to TARGET (file, pipe, closed, or for Wine
# also null-handle and invalid-handle), and keeps what it wrote and its
# exit code in $work/CASE.SIDE.{stdout,stderr,code}.
run() {
  local side=$1 case_name=$2 lan=$3 target=$4
  shift 4
  local result=$work/$case_name.$side
  local -a command
  if [ "$side" = linux ]; then
    command=(env "KESTROVA_LAN=$lan" "$linux_program")
  else
    command=(env "KESTROVA_LAN=$(windows_path "$lan")" "$wine_loader")
    case $target in
      null-handle) command+=("$start_without_output" "$windows_program_path") ;;
      invalid-handle) command+=("$start_without_output" --invalid-handle "$windows_program_path") ;;
      *) command+=("$windows_program") ;;
    esac
  fi
  : >"$result.stdout"
  case $target in
    file | null-handle | invalid-handle)
      "${command[@]}" "$@" >"$result.stdout" 2>"$result.stderr" </dev/null
      echo $? >"$result.code" ;;
    pipe)
      { "${command[@]}" "$@" 2>"$result.stderr" </dev/null; echo $? >"$result.code"; } | cat >"$result.stdout" ;;
    closed)
      "${command[@]}" "$@" >&- 2>"$result.stderr" </dev/null
      echo $? >"$result.code" ;;
  esac
}

# The failure report with the module name and the address replaced, when
# they have the expected shape.
normalized_stderr() {
  local file=$1 module=$2
  sed -E "s/^(Exception [A-Za-z]+ in module )$module( at )[0-9A-F]{8}(\.\r)$/\1MODULE\2ADDRESS\3/" "$file"
}

passed=0
failed=0

# compare CASE LINUX_RESULT WINE_RESULT EXPECTED_CODE EXPECTED_STDOUT_LINE
# The expectations guard against two sides that fail alike.
compare() {
  local case_name=$1 linux=$work/$2.linux wine=$work/$3.wine expected_code=$4 expected_line=$5
  local problems=()
  cmp -s "$linux.stdout" "$wine.stdout" || problems+=("standard output differs")
  if ! cmp -s <(normalized_stderr "$linux.stderr" kestrova) <(normalized_stderr "$wine.stderr" 'Kestrova\.exe'); then
    problems+=("standard error differs")
  fi
  [ "$(cat "$linux.code")" = "$(cat "$wine.code")" ] ||
    problems+=("exit codes differ: $(cat "$linux.code") on Linux, $(cat "$wine.code") under Wine")
  [ "$(cat "$linux.code")" = "$expected_code" ] ||
    problems+=("the Linux program ended with $(cat "$linux.code"), not $expected_code")
  if [ -n "$expected_line" ] && ! grep -qxF -- "$expected_line"$'\r' "$linux.stdout" "$linux.stderr"; then
    problems+=("the line '$expected_line' is missing")
  fi
  if [ ${#problems[@]} -eq 0 ]; then
    echo "ok: $case_name"
    passed=$((passed + 1))
    return
  fi
  echo "FAILED: $case_name"
  printf '  %s\n' "${problems[@]}"
  for stream in stdout stderr; do
    if ! cmp -s "$linux.$stream" "$wine.$stream"; then
      echo "  $stream, Linux (<) and Wine (>):"
      diff <(od -An -c "$linux.$stream") <(od -An -c "$wine.$stream") | sed 's/^/    /'
    fi
  done
  failed=$((failed + 1))
}

# run_both CASE LAN TARGET [ARGUMENT...]
run_both() {
  local case_name=$1 lan=$2 target=$3
  shift 3
  run linux "$case_name" "$lan" "$target" "$@"
  run wine "$case_name" "$lan" "$target" "$@"
}

report_lan=$lans/report-lan
failure_lan=$lans/failure-lan
walk_lan=$lans/walk-lan

# Discovery: every computer of the LAN is unreachable under Wine, so a
# word that matches no application shows the list of computers alone.
run_both sample-lan-computers "$sample_lan" file "no application is called like this"
compare "the sample LAN gives the same computers" sample-lan-computers sample-lan-computers 0 "COMPUTER: LAB-OLDXP"
run_both walk-computers "$walk_lan" file '*'
compare "a LAN with faults, batches and nameless records gives the same computers" walk-computers walk-computers 0 \
  "COMPUTER: KRONOS"

import_local_registry "$report_lan" || { echo "FAILED: importing the registry of $report_lan"; exit 1; }
run_both report-file "$report_lan" file '*'
compare "the whole report, to a file" report-file report-file 0 " -> Microsoft Office Professional Plus 2016"
run_both report-pipe "$report_lan" pipe '*'
compare "the whole report, to a pipe" report-pipe report-pipe 0 " -> Microsoft Office Professional Plus 2016"
run_both filtered "$report_lan" file OFFICE
compare "the report for one word" filtered filtered 0 " -> LibreOffice 7.6.4.1"
run_both usage "$report_lan" file
compare "the usage line" usage usage 0 "Command line parameters: Kestrova.exe [ * | AppName]"

# A closed standard output: on Linux descriptor 1 is closed; Windows
# gives such a process a null or an invalid standard output handle.
run linux closed "$report_lan" closed '*'
run wine closed "$report_lan" null-handle '*'
compare "a closed standard output (a null handle under Wine)" closed closed 1 "I/O error 105."
run wine closed-invalid "$report_lan" invalid-handle '*'
compare "a closed standard output (an invalid handle under Wine)" closed closed-invalid 1 "I/O error 105."

import_local_registry "$failure_lan" || { echo "FAILED: importing the registry of $failure_lan"; exit 1; }
run_both failure-file "$failure_lan" file '*'
compare "a display name that is no text, to a file" failure-file failure-file 1 \
  "Invalid data type for 'DisplayName'."
run_both failure-pipe "$failure_lan" pipe '*'
compare "a display name that is no text, to a pipe" failure-pipe failure-pipe 1 \
  "Invalid data type for 'DisplayName'."

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
