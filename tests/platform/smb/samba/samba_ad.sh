#!/usr/bin/env bash
# The SMB network's Active Directory source against a Samba domain
# controller: the domain KESTROVA.TEST (DC1, which also serves its
# registry), three enabled computer objects whose dNSHostName names Samba
# servers of the LAN, and one disabled object, each server in its own
# network namespace. Needs root; exits 77 (skipped) with the reason
# otherwise.
#
#   samba_ad.sh LDAP_PROBE PROGRAM
#
# LDAP_PROBE is kestrova_ldap_probe (the source alone), PROGRAM the
# kestrova program. The client has a krb5.conf and a ticket cache of its
# own, and the domain controller as its name server.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
probe=$1
program=$2

skip() {
  echo "samba AD test skipped: $*"
  exit 77
}
[[ $(id -u) == 0 ]] || skip "it needs root to create network namespaces"
for tool in ip samba samba-tool smbd ldapadd kinit setsid; do
  command -v "$tool" >/dev/null || skip "$tool is not installed (Debian packages samba-ad-dc, krb5-user, ldap-utils, iproute2)"
done
ip netns add "kst-check-$$" 2>/dev/null || skip "network namespaces cannot be created here"
ip netns del "kst-check-$$"

LAN_TAG=kad$$
LAN_NET=78
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$here/libsmbclient.lsan:print_suppressions=0}
source "$here/samba_lan.sh"
realm=KESTROVA.TEST
dns_domain=kestrova.test
admin_password=Kestrova-Admin-1
# ip netns exec mounts the files of /etc/netns/NAMESPACE over /etc: the
# client's name server and host names.
client_etc=/etc/netns/$(lan_ns client)
cleanup() {
  lan_destroy
  rm -rf "$client_etc"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

source "$here/suite_checks.sh"

started=$SECONDS
fixtures=$here/lan
lan_create
# The member servers: standalone Samba servers, reached by their DNS names;
# ATLAS is also the browse master of its workgroup.
lan_add_computer ATLAS OFFICE master reg="$fixtures/ATLAS.reg" || exit 1
lan_add_computer BOREAS OFFICE member nonmbd || exit 1
lan_add_computer CASSINI OFFICE member nonmbd || exit 1

# The domain controller, provisioned into a directory of its own.
dc=$LAN_ROOT/DC1
dc_host=$LAN_NEXT_HOST
dc_address=10.77.$LAN_NET.$dc_host
mkdir -p "$dc"/{pid,ncalrpc,log}
lan_link DC1 "$dc_host"
samba-tool domain provision --targetdir="$dc" --realm=$realm --domain=KESTROVA --server-role=dc \
  --dns-backend=SAMBA_INTERNAL --host-name=DC1 --host-ip="$dc_address" --adminpass="$admin_password" \
  --option="interfaces = $dc_address/24" --option="bind interfaces only = yes" \
  --option="pid directory = $dc/pid" --option="ncalrpc dir = $dc/ncalrpc" --option="log file = $dc/log/log.%m" \
  --option="dns forwarder = 127.0.0.1" >"$dc/provision.out" 2>&1 ||
  { lan_log "provisioning failed:" && tail -20 "$dc/provision.out" >&2 && exit 1; }
dc_conf=$dc/etc/smb.conf
# The DC's own registry (served by its RPC helpers from registry.tdb).
net -s "$dc_conf" registry import "$fixtures/ELARA.reg" enc=CP1252 >>"$dc/provision.out" 2>&1 ||
  { lan_log "importing the DC's registry failed" && exit 1; }
lan_daemon DC1 samba --foreground --no-process-group -s "$dc_conf"

# The client: the DC as its name server, the servers' names, a Kerberos
# configuration and ticket cache of its own, and a client smb.conf that
# resolves DNS names.
mkdir -p "$client_etc"
printf 'nameserver %s\nsearch %s\n' "$dc_address" "$dns_domain" >"$client_etc/resolv.conf"
{
  echo "127.0.0.1 localhost"
  echo "$dc_address dc1.$dns_domain dc1"
  for name in ATLAS BOREAS CASSINI; do echo "$(lan_address $name) ${name,,}.$dns_domain"; done
} >"$client_etc/hosts"
export KRB5_CONFIG=$LAN_ROOT/client/krb5.conf
export KRB5CCNAME=FILE:$LAN_ROOT/client/ccache
cat >"$KRB5_CONFIG" <<CONF
[libdefaults]
  default_realm = $realm
  dns_lookup_kdc = false
  dns_lookup_realm = false
  rdns = false
  dns_canonicalize_hostname = false
[realms]
  $realm = {
    kdc = $dc_address
  }
[domain_realm]
  .$dns_domain = $realm
CONF
cat >"$LAN_ROOT/client/.smb/smb.conf" <<CONF
[global]
  workgroup = OFFICE
  netbios name = KCLIENT
  name resolve order = host bcast
  interfaces = 10.77.$LAN_NET.2/24
  bind interfaces only = yes
  lock directory = $LAN_ROOT/client/lock
  state directory = $LAN_ROOT/client/state
  cache directory = $LAN_ROOT/client/cache
  private dir = $LAN_ROOT/client/private
  log file = $LAN_ROOT/client/log
CONF
unset KESTROVA_CREDENTIALS KESTROVA_LDAP_URI LDAPTLS_CACERT
export KESTROVA_DISCOVERY=ad

# The DC is up when its KDC gives a ticket and its LDAP server answers.
dc_up=0
for ((i = 0; i < 60; i++)); do
  if lan_client kinit "administrator@$realm" <<<"$admin_password" >"$LAN_ROOT/kinit.out" 2>&1 &&
    lan_client ldapsearch -Q -N -Y GSSAPI -H "ldap://dc1.$dns_domain" -b "" -s base >>"$LAN_ROOT/kinit.out" 2>&1; then
    dc_up=1
    break
  fi
  sleep 0.5
done
((dc_up)) || { fail "the domain controller came up" && cat "$LAN_ROOT/kinit.out" && exit 1; }
# The computer objects, each with the DNS name of its server: three
# enabled (a workstation's userAccountControl), DORADO disabled.
for name in ATLAS BOREAS CASSINI DORADO; do
  printf 'dn: CN=%s,CN=Computers,DC=kestrova,DC=test\nobjectClass: computer\nsAMAccountName: %s$\n' "$name" "$name"
  printf 'dNSHostName: %s.%s\nuserAccountControl: %s\n\n' "${name,,}" "$dns_domain" \
    "$([[ $name == DORADO ]] && echo 4098 || echo 4096)"
done >"$LAN_ROOT/computers.ldif"
lan_client ldapadd -Q -N -Y GSSAPI -H "ldap://dc1.$dns_domain" -f "$LAN_ROOT/computers.ldif" \
  >"$LAN_ROOT/ldapadd.out" 2>&1 || { fail "the computer objects were set" && cat "$LAN_ROOT/ldapadd.out" && exit 1; }
echo "# domain provisioned and up in $((SECONDS - started)) s"

# With the ticket and no credentials file, the source finds the domain's
# enabled computers (not DORADO), under the domain's NetBIOS name, each at
# its dNSHostName.
expected_listing="KESTROVA ATLAS atlas.$dns_domain
KESTROVA BOREAS boreas.$dns_domain
KESTROVA CASSINI cassini.$dns_domain
KESTROVA DC1 DC1.$dns_domain
found 4"
listing=""
for ((i = 0; i < 20; i++)); do
  listing=$(lan_client "$probe" 2>"$LAN_ROOT/probe.err")
  [[ $listing == "$expected_listing" ]] && break
  sleep 0.5
done
expect "the ticket lists the domain's enabled computers over LDAP" "$expected_listing" "$listing"
[[ -s $LAN_ROOT/probe.err ]] && { echo "    the probe said:" && sed 's/^/    /' "$LAN_ROOT/probe.err"; }

# The program reads the DC's registry over Kerberos.
# run_program OUT [VARIABLE=VALUE...]: the inventory of the SMB network
# to OUT.txt, without the CRs, and its messages to OUT.err.
run_program() {
  local out=$LAN_ROOT/$1
  shift
  lan_client env LC_ALL=C KESTROVA_LAN=smb:// "$@" "$program" '*' 2>"$out.err" | tr -d '\r' >"$out.txt"
}
run_program ticket
computers=$(grep '^COMPUTER: ' "$LAN_ROOT/ticket.txt")
expect "the program lists the domain's computers" "COMPUTER: ATLAS
COMPUTER: BOREAS
COMPUTER: CASSINI
COMPUTER: DC1" "$computers"
dc_block=$(sed -n '/^COMPUTER: DC1$/,/^COMPUTER: /p' "$LAN_ROOT/ticket.txt")
if grep -q "$(sed -n 's/^"DisplayName"="\(.*\)"\r*$/\1/p' "$fixtures/ELARA.reg" | head -1)" <<<"$dc_block"; then
  pass "the program reads the DC's registry with the ticket"
else
  fail "the program reads the DC's registry with the ticket"
  sed 's/^/    /' "$LAN_ROOT/ticket.txt" "$LAN_ROOT/ticket.err"
fi

# The password: LDAP over TLS (the DC's own certificate), NTLM to the DC.
kdestroy >/dev/null 2>&1
credentials=$LAN_ROOT/client/credentials
printf 'username = administrator\npassword = %s\ndomain = %s\n' "$admin_password" "$dns_domain" >"$credentials"
chmod 600 "$credentials"
listing=$(lan_client env KESTROVA_CREDENTIALS="$credentials" LDAPTLS_CACERT="$dc/private/tls/ca.pem" "$probe" \
  2>"$LAN_ROOT/probe.err")
expect "the password lists the domain's computers over LDAP with TLS" "$expected_listing" "$listing"
run_program password KESTROVA_LAN=smb://KESTROVA KESTROVA_CREDENTIALS="$credentials" \
  LDAPTLS_CACERT="$dc/private/tls/ca.pem"
expect "the password reads the DC's registry as the ticket did" "$dc_block" \
  "$(sed -n '/^COMPUTER: DC1$/,/^COMPUTER: /p' "$LAN_ROOT/password.txt")"

# A bind that the server refuses (root is ATLAS's account, not the
# domain's; the domain named by its NetBIOS name, found among the DNS
# search domains) costs one message: the browse list still gives ATLAS
# (polled until ATLAS has become its workgroup's browse master), and no
# other message than ATLAS's own is written.
printf 'username = root\npassword = %s\ndomain = KESTROVA\n' "$LAN_PASSWORD" >"$credentials"
for ((i = 0; i < 30; i++)); do
  run_program refused KESTROVA_DISCOVERY=ad,browse KESTROVA_CREDENTIALS="$credentials" \
    LDAPTLS_CACERT="$dc/private/tls/ca.pem"
  grep -qx 'COMPUTER: ATLAS' "$LAN_ROOT/refused.txt" && break
  sleep 2
done
if [[ $(grep -c 'Active Directory' "$LAN_ROOT/refused.err") == 1 ]] &&
  grep -q "^kestrova: Active Directory kestrova.test: .* refused the bind" "$LAN_ROOT/refused.err" &&
  ! grep -v -e '^kestrova: Active Directory ' -e '^kestrova: \\\\ATLAS: ' "$LAN_ROOT/refused.err" >/dev/null &&
  grep -qx "COMPUTER: ATLAS" "$LAN_ROOT/refused.txt"; then
  pass "a refused bind costs one message and nothing else"
else
  fail "a refused bind costs one message and nothing else"
  sed 's/^/    /' "$LAN_ROOT/refused.txt" "$LAN_ROOT/refused.err"
fi

suite_summary
