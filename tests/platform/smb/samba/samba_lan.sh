# A LAN of Samba servers in network namespaces, for the SMB suite and the
# benchmark. Source this file, then call lan_create; lan_destroy (which the
# caller traps on EXIT) ends every daemon it started, by pid, and deletes
# the namespaces and files. Needs root.
#
# Layout: one namespace holds the bridge; every computer and the client
# have a namespace of their own, linked to the bridge by a veth pair, on
# 10.77.<net>.0/24. Each computer has its own smb.conf, state, lock,
# private and registry directories under $LAN_ROOT/<NAME>.
#
# A computer is added with
#   lan_add_computer NAME WORKGROUP ROLE [OPTIONS]
# ROLE: master (the workgroup's browse master) or member.
# OPTIONS: nosmbd       nmbd only: the name answers, no server listens
#          nonmbd       smbd only: a server that the browser does not list
#          nowinreg     the RPC helpers run without the remote registry
#          noanonymous  anonymous callers are refused (restrict anonymous)
#          password=PW  root's SMB password on that computer
#          reg=FILE     seeds the registry from FILE (net registry import)

LAN_HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
LAN_TAG=${LAN_TAG:-kst$$}
LAN_NET=${LAN_NET:-77}
LAN_PASSWORD=${LAN_PASSWORD:-Kestrova-Test-1}
LAN_PIDS=()
LAN_NAMESPACES=()
LAN_NEXT_HOST=10
LAN_COMPUTERS=()

lan_log() { echo "samba-lan: $*" >&2; }

lan_ns() { echo "$LAN_TAG-$1"; }

# Runs a command in the client namespace with the client's smb.conf.
lan_client() { ip netns exec "$(lan_ns client)" env HOME="$LAN_ROOT/client" "$@"; }

lan_in() {
  local name=$1
  shift
  ip netns exec "$(lan_ns "$name")" "$@"
}

# Starts a daemon in its own session (smbd's SIGTERM handler signals its
# whole process group) and records its pid.
lan_daemon() {
  local name=$1
  shift
  ip netns exec "$(lan_ns "$name")" setsid "$@" </dev/null >>"$LAN_ROOT/$name/daemon.out" 2>&1 &
  LAN_PIDS+=("$!")
  echo "$!" >>"$LAN_ROOT/$name/pids"
}

lan_create() {
  LAN_ROOT=$(mktemp -d /tmp/kestrova-samba-lan.XXXXXX)
  chmod 755 "$LAN_ROOT"
  # What /var/log/samba held before, so that only what the servers add
  # there is removed.
  if [[ -d /var/log/samba ]]; then
    ls -A /var/log/samba >"$LAN_ROOT/var-log-samba.before"
  fi
  local bridge
  bridge=$(lan_ns bridge)
  ip netns add "$bridge"
  LAN_NAMESPACES+=("$bridge")
  ip -n "$bridge" link add br0 type bridge
  ip -n "$bridge" link set br0 up
  ip -n "$bridge" link set lo up
  lan_link client 2
  mkdir -p "$LAN_ROOT/client/.smb" "$LAN_ROOT/client/lock" "$LAN_ROOT/client/state" "$LAN_ROOT/client/cache" \
    "$LAN_ROOT/client/private"
  # libsmbclient reads ~/.smb/smb.conf in place of the system's file.
  cat >"$LAN_ROOT/client/.smb/smb.conf" <<CONF
[global]
  workgroup = OFFICE
  netbios name = KCLIENT
  name resolve order = bcast
  interfaces = 10.77.$LAN_NET.2/24
  bind interfaces only = yes
  lock directory = $LAN_ROOT/client/lock
  state directory = $LAN_ROOT/client/state
  cache directory = $LAN_ROOT/client/cache
  private dir = $LAN_ROOT/client/private
  log file = $LAN_ROOT/client/log
CONF
}

# Links namespace NAME (created here) to the bridge with address .HOST.
lan_link() {
  local name=$1 host=$2 ns
  ns=$(lan_ns "$name")
  ip netns add "$ns"
  LAN_NAMESPACES+=("$ns")
  ip -n "$ns" link set lo up
  ip link add "v$LAN_TAG$host" netns "$ns" type veth peer name "p$host" netns "$(lan_ns bridge)"
  ip -n "$ns" link set "v$LAN_TAG$host" name eth0
  ip -n "$ns" addr add "10.77.$LAN_NET.$host/24" dev eth0
  ip -n "$ns" link set eth0 up
  ip -n "$(lan_ns bridge)" link set "p$host" master br0
  ip -n "$(lan_ns bridge)" link set "p$host" up
}

lan_address() { cat "$LAN_ROOT/$1/address"; }

lan_add_computer() {
  local name=$1 workgroup=$2 role=$3
  shift 3
  local nosmbd=0 nonmbd=0 nowinreg=0 anonymous=0 password=$LAN_PASSWORD reg=""
  local option
  for option in "$@"; do
    case $option in
      nosmbd) nosmbd=1 ;;
      nonmbd) nonmbd=1 ;;
      nowinreg) nowinreg=1 ;;
      noanonymous) anonymous=2 ;;
      password=*) password=${option#password=} ;;
      reg=*) reg=${option#reg=} ;;
      *) lan_log "unknown option $option" && return 1 ;;
    esac
  done
  local host=$LAN_NEXT_HOST
  LAN_NEXT_HOST=$((LAN_NEXT_HOST + 1))
  local dir=$LAN_ROOT/$name
  mkdir -p "$dir"/{private,lock,state,cache,pid,ncalrpc,binddns,log}
  echo "10.77.$LAN_NET.$host" >"$dir/address"
  lan_link "$name" "$host"
  local browser
  if [[ $role == master ]]; then
    browser="local master = yes
  domain master = yes
  preferred master = yes
  os level = 65"
  else
    browser="local master = no
  domain master = no
  preferred master = no
  os level = 0"
  fi
  cat >"$dir/smb.conf" <<CONF
[global]
  netbios name = $name
  workgroup = $workgroup
  server string = $name test server
  server role = standalone server
  interfaces = 10.77.$LAN_NET.$host/24
  bind interfaces only = yes
  name resolve order = bcast
  $browser
  server min protocol = NT1
  smb ports = 445
  passdb backend = tdbsam
  admin users = root
  private dir = $dir/private
  lock directory = $dir/lock
  state directory = $dir/state
  cache directory = $dir/cache
  pid directory = $dir/pid
  ncalrpc dir = $dir/ncalrpc
  binddns dir = $dir/binddns
  log file = $dir/log/log.%m
  max log size = 0
  load printers = no
  printing = bsd
  printcap name = /dev/null
  disable spoolss = yes
  usershare max shares = 0
  restrict anonymous = $anonymous
  rpc start on demand helpers = $([[ $nowinreg == 1 ]] && echo no || echo yes)

[public]
  path = $dir/state
  read only = yes
  comment = $name public share
CONF
  printf '%s\n%s\n' "$password" "$password" | smbpasswd -c "$dir/smb.conf" -s -a root >/dev/null
  if [[ -n $reg ]]; then
    # A REGEDIT4 file is ANSI text, which net reads as code page 850
    # unless told otherwise; a Version 5 file is UTF-16 with a mark.
    local encoding=()
    [[ $(head -c 8 "$reg" | tr -d '\0') == REGEDIT4 ]] && encoding=(enc=CP1252)
    net -s "$dir/smb.conf" registry import "$reg" "${encoding[@]}" >"$dir/import.out" 2>&1 ||
      { lan_log "importing $reg into $name failed:" && cat "$dir/import.out" >&2 && return 1; }
  fi
  [[ $nonmbd == 1 ]] || lan_daemon "$name" nmbd --foreground --no-process-group -s "$dir/smb.conf"
  if [[ $nosmbd == 0 ]]; then
    lan_daemon "$name" smbd --foreground --no-process-group -s "$dir/smb.conf"
    if [[ $nowinreg == 1 ]]; then
      # Every RPC service but the remote registry.
      lan_daemon "$name" /usr/libexec/samba/samba-dcerpcd --foreground --no-process-group -s "$dir/smb.conf" \
        --libexec-rpcds=no rpcd_classic rpcd_epmapper rpcd_lsad
    fi
  fi
  LAN_COMPUTERS+=("$name")
}

# Relays TCP port 445 of computer NAME (one without smbd) to computer
# TARGET, delaying every request by DELAY_MS: a slow link to TARGET under
# NAME's name. With CUT_HEX, a connection that sends those bytes is cut.
lan_relay() {
  local name=$1 target=$2 delay_ms=$3 cut=${4:-} i
  lan_daemon "$name" /usr/bin/python3 "$LAN_HERE/delay_relay.py" "$(lan_address "$name")" 445 \
    "$(lan_address "$target")" 445 "$delay_ms" $cut
  for ((i = 0; i < 50; i++)); do
    grep -q "relay ready" "$LAN_ROOT/$name/daemon.out" && return 0
    sleep 0.1
  done
  lan_log "the relay of $name did not start"
  return 1
}

# Stops one computer's daemons cleanly (the browse list forgets it).
lan_stop_computer() {
  local name=$1 pid
  [[ -f $LAN_ROOT/$name/pids ]] || return 0
  while read -r pid; do kill -TERM "$pid" 2>/dev/null || true; done <"$LAN_ROOT/$name/pids"
  while read -r pid; do lan_wait_pid "$pid"; done <"$LAN_ROOT/$name/pids"
}

# Waits up to 5 s for a process to end, then kills it.
lan_wait_pid() {
  local pid=$1 i
  for ((i = 0; i < 50; i++)); do
    kill -0 "$pid" 2>/dev/null || return 0
    sleep 0.1
  done
  kill -KILL "$pid" 2>/dev/null || true
}

# Waits (at most $2 seconds) until the client's browse walk names every
# server given after it: "lan_wait_browse 60 ATLAS BOREAS".
lan_wait_browse() {
  local bound=$1 probe=$LAN_PROBE
  shift
  local deadline=$((SECONDS + bound)) listing name missing
  while ((SECONDS < deadline)); do
    listing=$(lan_client "$probe" browse 2>/dev/null || true)
    missing=""
    for name in "$@"; do grep -q "remote=\"\\\\\\\\$name\"" <<<"$listing" || missing+=" $name"; done
    [[ -z $missing ]] && return 0
    sleep 2
  done
  lan_log "the browse list still lacks$missing after $bound s"
  return 1
}

lan_destroy() {
  local pid ns
  for pid in "${LAN_PIDS[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
  for pid in "${LAN_PIDS[@]}"; do lan_wait_pid "$pid"; done
  # The RPC helpers that smbd starts on demand run in its session, so they
  # end with it; any left in a namespace are ended by pid.
  for ns in "${LAN_NAMESPACES[@]}"; do
    for pid in $(ip netns pids "$ns" 2>/dev/null); do kill -KILL "$pid" 2>/dev/null || true; done
  done
  for ns in "${LAN_NAMESPACES[@]}"; do ip netns del "$ns" 2>/dev/null || true; done
  LAN_PIDS=()
  LAN_NAMESPACES=()
  # Samba's RPC helpers log to /var/log/samba whatever "log file" says.
  if [[ -n ${LAN_ROOT:-} && -d $LAN_ROOT ]]; then
    if [[ -f $LAN_ROOT/var-log-samba.before ]]; then
      local log
      while read -r log; do
        grep -qxF "$log" "$LAN_ROOT/var-log-samba.before" || rm -rf "/var/log/samba/$log"
      done < <(ls -A /var/log/samba 2>/dev/null)
    else
      rm -rf /var/log/samba
    fi
    rm -rf "$LAN_ROOT"
    LAN_ROOT=""
  fi
}
