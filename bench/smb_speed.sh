#!/usr/bin/env bash
# Speed of the SMB network on a real link: a Samba server with 150
# applications, inventoried directly (0 ms) and through a relay that delays
# every request by 5 ms, next to impacket's remote-registry query of the
# same key (reg.py query -s) over the same two paths, in the same run.
# Needs root (network namespaces).
#
#   bench/smb_speed.sh [BUILD_DIR]     default build/release, else build/dev
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-}
if [[ -z $build ]]; then
  build=$root/build/release
  [[ -x $build/bench/kestrova_smb_host_benchmark ]] || build=$root/build/dev
fi
bench=$build/bench/kestrova_smb_host_benchmark
[[ -x $bench ]] || { echo "build kestrova_smb_host_benchmark first ($bench)" >&2; exit 1; }
[[ $(id -u) == 0 ]] || { echo "smb_speed.sh needs root for network namespaces" >&2; exit 1; }
regpy=/usr/share/doc/python3-impacket/examples/reg.py
applications=150
delay_ms=5

LAN_TAG=kspd$$
LAN_NET=78
source "$root/tests/platform/smb/samba/samba_lan.sh"
trap lan_destroy EXIT

lan_create
reg=$LAN_ROOT/SPEED.reg
/usr/bin/python3 - "$reg" "$applications" <<'PY'
import sys
path, count = sys.argv[1], int(sys.argv[2])
key = r"HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall"
lines = ["REGEDIT4", "", f"[{key}]", ""]
for n in range(count):
    lines += [f"[{key}\\App{n:03d}]", f'"DisplayName"="Application number {n} of the speed test"',
              f'"DisplayVersion"="1.{n}"', f'"Publisher"="Kestrova bench"', ""]
open(path, "w", newline="\r\n").write("\n".join(lines) + "\n")
PY
lan_add_computer SPEED BENCH master reg="$reg"
server=$(lan_address SPEED)
lan_add_computer SLOW BENCH member nosmbd
lan_relay SLOW SPEED "$delay_ms"
relay=$(lan_address SLOW)

credentials=$LAN_ROOT/client/credentials
printf 'username = root\npassword = %s\n' "$LAN_PASSWORD" >"$credentials"
chmod 600 "$credentials"
export KESTROVA_CREDENTIALS=$credentials

# impacket's query of the same key, best of three.
impacket() {
  local host=$1 best="" start elapsed
  lan_client /usr/bin/python3 "$regpy" "root:$LAN_PASSWORD@$host" query \
    -keyName 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' -s >"$LAN_ROOT/impacket.out" 2>&1
  for run in 1 2 3; do
    start=$(date +%s.%N)
    lan_client /usr/bin/python3 "$regpy" "root:$LAN_PASSWORD@$host" query \
      -keyName 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' -s >"$LAN_ROOT/impacket.out" 2>&1
    elapsed=$(awk -v a="$(date +%s.%N)" -v b="$start" 'BEGIN { print a - b }')
    best=$(awk -v a="$elapsed" -v b="${best:-1e9}" 'BEGIN { print (a < b) ? a : b }')
  done
  local names
  names=$(grep -c 'DisplayName' "$LAN_ROOT/impacket.out" || true)
  printf '%s: impacket reg.py query -s: %d display names in %.3f s (best of 3)\n' "$host" "$names" "$best"
  echo "$best"
}

# The release build has no tests: the probe comes from the debug build.
probe=$build/tests/platform/smb/samba/kestrova_smb_probe
[[ -x $probe ]] || probe=$root/build/dev/tests/platform/smb/samba/kestrova_smb_probe
echo "== $applications applications; 0 ms is $server directly, $delay_ms ms is the relay $relay"
# What the relay really adds: one pipe's OpenHKLM calls (3 SMB requests
# each) directly and through it. On a loaded machine a relay's timers wake
# late, so a request may cost more than the delay asked for.
if [[ -x $probe ]]; then
  lan_client "$probe" burst "$server" 1 10 >/dev/null 2>&1
  direct=$(lan_client "$probe" burst "$server" 1 100 2>/dev/null | sed -E 's/.* in ([0-9.]+) s.*/\1/')
  relayed=$(lan_client "$probe" burst "$relay" 1 100 2>/dev/null | sed -E 's/.* in ([0-9.]+) s.*/\1/')
  awk -v a="$direct" -v b="$relayed" -v d="$delay_ms" 'BEGIN {
    printf "one RPC call: %.1f ms directly, %.1f ms through the relay: %.1f ms added per SMB request (%s ms asked)\n",
      a * 10, b * 10, (b - a) * 10 / 3, d }'
fi
for target in "$server" "$relay"; do
  kestrova=$(lan_client "$bench" "$target" 3) || kestrova="$target: Kestrova failed in 0 s"
  echo "$kestrova"
  mapfile -t ours < <(sed -E 's/.* in ([0-9.]+) s.*/\1/' <<<"$kestrova")
  impacket_out=$(impacket "$target")
  head -n 1 <<<"$impacket_out"
  theirs=$(tail -n 1 <<<"$impacket_out")
  awk -v t="$target" -v a="${ours[0]}" -v b="$theirs" 'BEGIN { printf "%s: Kestrova takes %.2f of impacket'"'"'s time\n", t, a / b }'
done
