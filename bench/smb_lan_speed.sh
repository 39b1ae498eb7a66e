#!/usr/bin/env bash
# Speed of the program over a whole SMB network: a workgroup of 16 Samba
# servers with 150 applications each, every request to them delayed by 5 ms
# (a relay: some kernels have no netem), and 4 computers whose names answer
# but which drop every packet to port 445. Prints, in one run: one such
# server alone (a workgroup of its own), the whole workgroup with
# KESTROVA_SMB_PARALLEL at each P asked, the ratios, the connections opened
# (SYNs to port 445 counted once per connection in the client's namespace),
# the program's peak memory and when each computer's block arrived. Every
# run's report (standard output and standard error) is compared with the
# first one's.
# Needs root (network namespaces); run it under the shared lock:
#
#   flock /tmp/kestrova-samba.lock bench/smb_lan_speed.sh [BUILD_DIR [P...]]
#
# BUILD_DIR: default build/release, else build/dev. P: a number, or
# "default" (the setting unset); default "1 default".
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-}
if [[ -z $build ]]; then
  build=$root/build/release
  [[ -x $build/app/kestrova ]] || build=$root/build/dev
fi
shift || true
parallel_runs=("$@")
((${#parallel_runs[@]})) || parallel_runs=(1 default)
program=$build/app/kestrova
probe=$build/tests/platform/smb/samba/kestrova_smb_probe
[[ -x $probe ]] || probe=$root/build/dev/tests/platform/smb/samba/kestrova_smb_probe
[[ -x $program ]] || { echo "build kestrova first ($program)" >&2; exit 1; }
[[ -x $probe ]] || { echo "build the dev preset's kestrova_smb_probe first ($probe)" >&2; exit 1; }
[[ $(id -u) == 0 ]] || { echo "smb_lan_speed.sh needs root for network namespaces" >&2; exit 1; }
measure=$root/bench/measured_run.py
applications=150
delay_ms=5
live=16
dead=4
run_limit=600
# The default P of the source tree that the program was built from.
source_tree=$(sed -n 's/^CMAKE_HOME_DIRECTORY:INTERNAL=//p' "$build/CMakeCache.txt")
default_parallel=$(sed -nE 's/.*kDefaultParallelComputers = ([0-9]+);.*/\1/p' "${source_tree:-$root}/platform/smb/smb_settings.h")

LAN_TAG=kls$$
LAN_NET=79
LAN_PROBE=$probe
# shellcheck source=tests/platform/smb/samba/samba_lan.sh
source "$root/tests/platform/smb/samba/samba_lan.sh"
trap lan_destroy EXIT
trap 'exit 1' INT TERM

echo "== load average before: $(cut -d' ' -f1-3 /proc/loadavg) ($(nproc) cores)"
lan_create

# One export of APPLICATIONS applications per server, named after it.
export_of() {
  /usr/bin/python3 - "$LAN_ROOT/$1.reg" "$applications" "$1" <<'PY'
import sys
path, count, name = sys.argv[1], int(sys.argv[2]), sys.argv[3]
key = r"HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall"
lines = ["REGEDIT4", "", f"[{key}]", ""]
for n in range(count):
    lines += [f"[{key}\\App{n:03d}]", f'"DisplayName"="Application {n} of {name}"',
              f'"DisplayVersion"="1.{n}"', '"Publisher"="Kestrova bench"', ""]
open(path, "w", newline="\r\n").write("\n".join(lines) + "\n")
PY
  echo "$LAN_ROOT/$1.reg"
}

# A computer NAME of WORKGROUP whose name answers and whose port 445 is a
# relay, delaying each request, to a server of its own (NAME-D, which the
# browser does not list). A master browser's list is read over the relay
# too: the server reads the list that NAME's browser keeps.
add_slow_computer() {
  local name=$1 workgroup=$2 role=$3 data=${1}D directory
  lan_add_computer "$data" "$workgroup" member nonmbd reg="$(export_of "$name")"
  lan_add_computer "$name" "$workgroup" "$role" nosmbd
  for directory in lock state cache; do
    ln -s "$LAN_ROOT/$name/$directory/browse.dat" "$LAN_ROOT/$data/$directory/browse.dat"
  done
  lan_relay "$name" "$data" "$delay_ms"
}

add_slow_computer SOLO SOLO master
names=()
for ((n = 1; n <= live + dead; n++)); do
  name=$(printf 'PC%02d' "$n")
  names+=("$name")
  # Every fifth computer drops packets.
  if ((n % 5 == 4)); then
    lan_add_computer "$name" BENCH member nosmbd
    lan_in "$name" iptables -A INPUT -p tcp --dport 445 -j DROP
  else
    add_slow_computer "$name" BENCH "$([[ $n == 1 ]] && echo master || echo member)"
  fi
done

# The client counts each connection to port 445 once, by the first SYN of
# its connection-tracking entry, per address.
client_ns=$(lan_ns client)
ip netns exec "$client_ns" iptables -t mangle -N KCONNECT
ip netns exec "$client_ns" iptables -t mangle -A OUTPUT -p tcp --dport 445 --syn -m connmark --mark 0 -j KCONNECT
for name in "${names[@]}"; do
  ip netns exec "$client_ns" iptables -t mangle -A KCONNECT -d "$(lan_address "$name")" -j CONNMARK --set-mark 1
done

credentials=$LAN_ROOT/client/credentials
printf 'username = root\npassword = %s\n' "$LAN_PASSWORD" >"$credentials"
chmod 600 "$credentials"
export KESTROVA_CREDENTIALS=$credentials

started=$SECONDS
lan_wait_browse 180 SOLO "${names[@]}" || exit 1
echo "== the browse lists formed in $((SECONDS - started)) s"

# Connections per address since the last call, "ADDRESS COUNT" lines.
connections() {
  ip netns exec "$client_ns" iptables -t mangle -L KCONNECT -v -n -x -Z | awk '$3 == "CONNMARK" { print $9, $1 }'
}

# run LABEL LAN [P]: one measured run of the program; prints its line and
# leaves its report in $LAN_ROOT/LABEL.out and .err.
run() {
  local label=$1 lan=$2 parallel=${3:-default} setting=() figures
  [[ $parallel == default ]] || setting=(KESTROVA_SMB_PARALLEL="$parallel")
  connections >/dev/null
  figures=$(lan_client env LC_ALL=C KESTROVA_LAN="$lan" "${setting[@]}" /usr/bin/python3 "$measure" "$run_limit" \
    "COMPUTER: " "$LAN_ROOT/$label.out" "$LAN_ROOT/$label.err" "$program" '*')
  connections >"$LAN_ROOT/$label.connections"
  echo "$figures"
}

seconds_of() { sed -E 's/.*seconds=([0-9.]+).*/\1/' <<<"$1"; }
peak_of() { sed -E 's/.*maxrss_kib=([0-9]+).*/\1/' <<<"$1"; }

# The first connection to a server starts its registry service: one run
# of each kind first, not measured.
run warm-solo smb://SOLO >/dev/null
run warm-lan smb://BENCH >/dev/null

alone=$(run solo smb://SOLO)
alone_seconds=$(seconds_of "$alone")
printf '== one computer alone (%d computer, %d applications, %d ms per request): %.2f s, peak %.1f MiB, status %s\n' \
  "$(grep -c '^COMPUTER: ' "$LAN_ROOT/solo.out" || true)" "$(grep -c ' -> ' "$LAN_ROOT/solo.out" || true)" \
  "$delay_ms" "$alone_seconds" "$(awk -v k="$(peak_of "$alone")" 'BEGIN { print k / 1024 }')" "${alone##*status=}"
echo "== the whole LAN: $live live computers like it and $dead that drop packets; default P is ${default_parallel:-absent}"
printf '%-12s %9s %10s %8s %22s %18s %10s %s\n' P seconds "x alone" "x P=1" "connections: live" "(most per server)" dead "peak MiB, report"
live_addresses=()
dead_addresses=()
for ((n = 1; n <= live + dead; n++)); do
  if ((n % 5 == 4)); then dead_addresses+=("$(lan_address "${names[n - 1]}")"); else live_addresses+=("$(lan_address "${names[n - 1]}")"); fi
done
first=""
sequential=""
for parallel in "${parallel_runs[@]}"; do
  label=lan-p$parallel
  figures=$(run "$label" smb://BENCH "$parallel")
  seconds=$(seconds_of "$figures")
  [[ $parallel == 1 && -z $sequential ]] && sequential=$seconds
  read -r live_total live_most < <(grep -F -w -f <(printf '%s\n' "${live_addresses[@]}") "$LAN_ROOT/$label.connections" |
    awk '{ total += $2; if ($2 > most) most = $2 } END { print total + 0, most + 0 }')
  dead_total=$(grep -F -w -f <(printf '%s\n' "${dead_addresses[@]}") "$LAN_ROOT/$label.connections" |
    awk '{ total += $2 } END { print total + 0 }')
  if [[ -z $first ]]; then
    first=$label
    report="first report, $(grep -c '^COMPUTER: ' "$LAN_ROOT/$label.out" || true) computers"
  elif cmp -s "$LAN_ROOT/$first.out" "$LAN_ROOT/$label.out" && cmp -s "$LAN_ROOT/$first.err" "$LAN_ROOT/$label.err"; then
    report="same report"
  else
    report="REPORT DIFFERS from P=${first#lan-p}"
  fi
  name=$parallel
  [[ $parallel == default && -n $default_parallel ]] && name="default($default_parallel)"
  awk -v p="$name" -v s="$seconds" -v a="$alone_seconds" -v q="${sequential:-}" -v lt="$live_total" -v lm="$live_most" \
    -v d="$dead_total" -v k="$(peak_of "$figures")" -v r="$report" -v st="${figures##*status=}" 'BEGIN {
      printf "%-12s %9.2f %10.2f %8s %22d %18d %10d %.1f, %s, status %s\n", p, s, s / a,
        (q == "" ? "-" : sprintf("%.2f", s / q)), lt, lm, d, k / 1024, r, st }'
  # When each computer's block arrived: where the time went.
  awk '{ line = line " " $3 "@" $1 } END { print "    blocks at (s):" line }' \
    "$LAN_ROOT/$label.out.times"
done
echo "== load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
