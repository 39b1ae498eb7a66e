#!/usr/bin/env bash
# The SMB network found by WS-Discovery alone, on a LAN without a browser:
# no nmbd runs, so no browse list exists. Samba servers in two workgroups
# and one domain, each in its own network namespace, answer WS-Discovery
# with wsdd; a responder of the suite's own (wsd_responder.py) answers as
# Windows does, for a Samba server, over IPv6 link-local for another, and
# for computers that misbehave. Needs root; exits 77 (skipped) with the
# reason otherwise.
#
#   wsd_suite.sh PROBE PROGRAM [measure]
#
# PROBE is kestrova_smb_probe, PROGRAM the kestrova program: the inventory
# over smb:// must equal, byte for byte, the directory LAN's made of the
# same export files in the hierarchy that discovery gave. With "measure",
# it then times discovery on ten computers against the probe window.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
probe=$1
program=$2

skip() {
  echo "WS-Discovery suite skipped: $*"
  exit 77
}
[[ $(id -u) == 0 ]] || skip "it needs root to create network namespaces"
for tool in ip smbd net smbpasswd wsdd setsid python3; do
  command -v "$tool" >/dev/null || skip "$tool is not installed (Debian packages samba, wsdd, iproute2)"
done
ip netns add "kst-check-$$" 2>/dev/null || skip "network namespaces cannot be created here"
ip netns del "kst-check-$$"

LAN_TAG=kw$$
LAN_NET=78
LAN_PROBE=$probe
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$here/libsmbclient.lsan:print_suppressions=0}
source "$here/samba_lan.sh"
trap lan_destroy EXIT
trap 'exit 1' INT TERM

source "$here/suite_checks.sh"

# Waits (at most 10 s) until computer NAME's IPv6 link-local address has
# passed duplicate address detection: until then nothing can bind it.
wait_link_local() {
  local i
  for ((i = 0; i < 100; i++)); do
    ip -n "$(lan_ns "$1")" -6 addr show dev eth0 scope link | grep -q tentative || return 0
    sleep 0.1
  done
  return 1
}

# Starts the suite's responder in computer NAME's namespace:
# responder NAME FAMILY COMPUTER...
responder() {
  local name=$1
  shift
  wait_link_local "$name" || { lan_log "$name's link-local address stays tentative" && return 1; }
  lan_daemon "$name" /usr/bin/python3 "$here/wsd_responder.py" eth0 "$@"
  local i
  for ((i = 0; i < 50; i++)); do
    grep -q "responder ready" "$LAN_ROOT/$name/daemon.out" && return 0
    sleep 0.1
  done
  lan_log "the responder in $name did not start: $(cat "$LAN_ROOT/$name/daemon.out")"
  return 1
}

# wsdd for computer NAME, with a UUID of its own (else every namespace
# would get the same one, from the host's name): wsdd_for NAME -w WG | -d DOM
wsdd_for() {
  local name=$1
  shift
  lan_daemon "$name" wsdd -i eth0 -n "$name" "$@" -U "$(python3 -c 'import uuid; print(uuid.uuid4())')"
}

started=$SECONDS
fixtures=$here/lan
lan_create
# wsdd's computers: two workgroups and a domain (the servers are
# standalone; wsdd publishes the membership that it is told, and in a
# domain the name in lower case, as the host's DNS name).
lan_add_computer ATLAS OFFICE member nonmbd reg="$fixtures/ATLAS.reg" || exit 1
wsdd_for ATLAS -w OFFICE
lan_add_computer BOREAS OFFICE member nonmbd reg="$fixtures/BOREAS.reg" || exit 1
wsdd_for BOREAS -w OFFICE
lan_add_computer ELARA LAB member nonmbd reg="$fixtures/ELARA.reg" || exit 1
wsdd_for ELARA -w LAB
lan_add_computer FORNAX CORP member nonmbd reg="$fixtures/FORNAX.reg" || exit 1
wsdd_for FORNAX -d CORP
lan_add_computer GANYMEDE CORP member nonmbd reg="$fixtures/GANYMEDE.reg" || exit 1
wsdd_for GANYMEDE -d CORP
# CASSINI answers as Windows does, and its responder also stands for three
# computers that misbehave: one never answers the Get, one's metadata is
# not well-formed, one's is 4 MiB. Each costs one message and itself.
lan_add_computer CASSINI LAB member nonmbd reg="$fixtures/CASSINI.reg" || exit 1
responder CASSINI 4 CASSINI,5f0c2d1e-0000-4000-8000-00000000c001,Workgroup:LAB,none \
  SILENT,5f0c2d1e-0000-4000-8000-00000000c002,Workgroup:LAB,noget \
  BROKEN,5f0c2d1e-0000-4000-8000-00000000c003,Workgroup:LAB,malformed \
  HUGE,5f0c2d1e-0000-4000-8000-00000000c004,Workgroup:LAB,huge || exit 1
# DORADO answers over IPv6 only, from its link-local address, as a
# computer of no workgroup; its server listens on every address of eth0.
lan_add_computer DORADO OFFICE member nonmbd nosmbd reg="$fixtures/ATLAS.reg" || exit 1
sed -i -e 's/^  interfaces = .*/  interfaces = eth0/' -e 's/^  bind interfaces only = yes/  bind interfaces only = no/' \
  "$LAN_ROOT/DORADO/smb.conf"
lan_daemon DORADO smbd --foreground --no-process-group -s "$LAN_ROOT/DORADO/smb.conf"
responder DORADO 6 DORADO,5f0c2d1e-0000-4000-8000-00000000d001,NotJoined,none || exit 1

credentials=$LAN_ROOT/client/credentials
printf 'username = root\npassword = %s\n' "$LAN_PASSWORD" >"$credentials"
chmod 600 "$credentials"
export KESTROVA_CREDENTIALS=$credentials
export KESTROVA_DISCOVERY=wsd
wait_link_local client || fail "the client's link-local address passed duplicate address detection"

KESTROVA_WSD_WINDOW=2 lan_wait_browse 30 ATLAS BOREAS CASSINI DORADO ELARA fornax ganymede ||
  { fail "every computer answered WS-Discovery" && exit 1; }
echo "# servers up and answering WS-Discovery in $((SECONDS - started)) s"

# Discovery: the containers and computers in name order, whatever order
# the replies came in; the computer of no workgroup under WORKGROUP.
browse=$(lan_client "$probe" browse 2>"$LAN_ROOT/browse.err")
expect "WS-Discovery gives the workgroups, the domain and their computers in name order" \
  'display=6 usage=2 remote="Microsoft Windows Network" comment=null provider="Microsoft Windows Network"
  display=1 usage=2 remote="CORP" comment=null provider="Microsoft Windows Network"
    display=2 usage=2 remote="\\fornax" comment=null provider="Microsoft Windows Network"
    display=2 usage=2 remote="\\ganymede" comment=null provider="Microsoft Windows Network"
  display=1 usage=2 remote="LAB" comment=null provider="Microsoft Windows Network"
    display=2 usage=2 remote="\\CASSINI" comment=null provider="Microsoft Windows Network"
    display=2 usage=2 remote="\\ELARA" comment=null provider="Microsoft Windows Network"
  display=1 usage=2 remote="OFFICE" comment=null provider="Microsoft Windows Network"
    display=2 usage=2 remote="\\ATLAS" comment=null provider="Microsoft Windows Network"
    display=2 usage=2 remote="\\BOREAS" comment=null provider="Microsoft Windows Network"
  display=1 usage=2 remote="WORKGROUP" comment=null provider="Microsoft Windows Network"
    display=2 usage=2 remote="\\DORADO" comment=null provider="Microsoft Windows Network"' "$browse"

# The inventory over SMB equals the directory LAN's of the same export
# files in that hierarchy, byte for byte; DORADO is read over IPv6
# link-local, by the address it answered from.
dirlan=$LAN_ROOT/directory-lan
mkdir -p "$dirlan"
echo "$browse" >"$LAN_ROOT/browse.txt"
cp "$fixtures/ATLAS.reg" "$LAN_ROOT/DORADO.reg"
cp "$fixtures/FORNAX.reg" "$LAN_ROOT/fornax.reg"
cp "$fixtures/GANYMEDE.reg" "$LAN_ROOT/ganymede.reg"
/usr/bin/python3 "$here/make_directory_lan.py" "$LAN_ROOT/browse.txt" "$dirlan" -- \
  "$fixtures"/{ATLAS,BOREAS,CASSINI,ELARA}.reg "$LAN_ROOT"/{DORADO,fornax,ganymede}.reg
LC_ALL=C KESTROVA_LAN=$dirlan "$program" '*' >"$LAN_ROOT/expected.txt" 2>"$LAN_ROOT/expected.err"
status=0
lan_client env LC_ALL=C KESTROVA_LAN=smb:// "$program" '*' >"$LAN_ROOT/actual.txt" 2>"$LAN_ROOT/actual.err" || status=$?
if cmp -s "$LAN_ROOT/expected.txt" "$LAN_ROOT/actual.txt"; then
  pass "the inventory over SMB equals the directory LAN's, byte for byte ($(wc -l <"$LAN_ROOT/actual.txt") lines)"
else
  fail "the inventory over SMB equals the directory LAN's"
  diff "$LAN_ROOT/expected.txt" "$LAN_ROOT/actual.txt" | head -20 | sed 's/^/    /'
fi
expect "the inventory with faulty responders ends with exit code 0" 0 "$status"
cassini=$(lan_address CASSINI)
# libxml2's own words for the malformed document are left out.
expect "each faulty computer costs one message, naming where it answered from and why" \
  "kestrova: WS-Discovery: $cassini: its metadata could not be read: it did not answer within 2 s; the computer is left out
kestrova: WS-Discovery: $cassini: its metadata could not be read: its reply is larger than 64 KiB; the computer is left out
kestrova: WS-Discovery: $cassini: its metadata is refused: it is not well-formed XML (...); the computer is left out" \
  "$(sed 's/not well-formed XML (.*);/not well-formed XML (...);/' "$LAN_ROOT/actual.err" | sort)"

# Where nobody answers: a namespace whose one link leads to no one,
# and one with no interface up. One message each, an empty report, exit 0.
expect "a probe that nobody answers is reported" \
  "kestrova: WS-Discovery: no computer answered the probe within 1 s
status 0" "$(unshare --net bash -c 'ip link add a0 type veth peer name b0 && ip link set b0 up && ip link set a0 up &&
    ip addr add 10.99.0.1/24 dev a0 && KESTROVA_WSD_WINDOW=1 KESTROVA_LAN=smb:// "$0" "*" 2>&1 >/dev/null
    echo status $?' "$program")"
expect "a probe with no interface to go out on is reported" \
  "kestrova: WS-Discovery: cannot probe: no network interface is up with multicast
status 0" "$(unshare --net bash -c 'KESTROVA_LAN=smb:// "$0" "*" 2>&1 >/dev/null; echo status $?' "$program")"

# The time from the start to the first COMPUTER: line, against the probe
# window, on ten computers: the five of wsdd (each resolved first), DORADO
# over IPv6, and four that one Windows-like responder stands for, without
# the faulty ones (whose Get time limit would be measured instead).
if [[ ${3:-} == measure ]]; then
  lan_stop_computer CASSINI
  lan_add_computer KEPLER LAB member nonmbd reg="$fixtures/CASSINI.reg" || exit 1
  responder KEPLER 4 KEPLER1,5f0c2d1e-0000-4000-8000-00000000e001,Workgroup:LAB,none \
    KEPLER2,5f0c2d1e-0000-4000-8000-00000000e002,Workgroup:LAB,none \
    KEPLER3,5f0c2d1e-0000-4000-8000-00000000e003,Domain:CORP,none \
    KEPLER4,5f0c2d1e-0000-4000-8000-00000000e004,Workgroup:OFFICE,none || exit 1
  for window in 1 3 3 1 2; do
    lan_client env KESTROVA_LAN=smb:// KESTROVA_WSD_WINDOW=$window /usr/bin/python3 -c '
import subprocess, sys, time
start = time.monotonic()
run = subprocess.Popen([sys.argv[1], "*"], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
first, computers = None, 0
for line in run.stdout:
    if line.startswith(b"COMPUTER:"):
        computers += 1
        first = first or time.monotonic() - start
run.wait()
window = float(sys.argv[2])
print(f"# window {window:.0f} s: first COMPUTER: line after {first:.2f} s (window + {first - window:.2f} s), "
      f"{computers} computers listed after {time.monotonic() - start:.2f} s")' "$program" "$window"
  done
fi

suite_summary
