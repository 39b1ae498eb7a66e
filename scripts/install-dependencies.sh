#!/usr/bin/env bash
# Installs the Debian packages that Kestrova needs.
#   install-dependencies.sh          what building and running need
#   install-dependencies.sh --test   also what the whole test suite needs:
#                                    GoogleTest, clang for the fuzzers and the
#                                    static checks, MinGW-w64 and Wine for
#                                    the 32-bit and the 64-bit Windows
#                                    programs (32-bit Wine installs on every
#                                    x86-64 host, though some cannot run it),
#                                    Samba servers, wsdd, iproute2 and
#                                    iptables for the SMB suite, a Samba
#                                    Active Directory domain controller,
#                                    Kerberos and LDAP tools for its domain
#                                    test, impacket for the SMB speed
#                                    comparison
set -euo pipefail

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi

# libldap, Cyrus SASL (with its GSSAPI module, loaded at run time for
# Kerberos binds) and MIT krb5: the Active Directory discovery source.
packages=(g++ cmake ninja-build pkg-config nlohmann-json3-dev libsmbclient-dev libxml2-dev libcurl4-openssl-dev
          libldap-dev libsasl2-dev libsasl2-modules-gssapi-mit libkrb5-dev)
if [ "${1:-}" = "--test" ]; then
  packages+=(libgtest-dev googletest clang libclang-rt-14-dev clang-format clang-tidy cppcheck lcov
             g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix wine wine64 wine32:i386
             samba wsdd iproute2 iptables python3-impacket
             samba-ad-dc samba-ad-provision samba-vfs-modules krb5-user ldap-utils)
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386
  fi
fi

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
if [ "${#missing[@]}" -gt 0 ]; then
  $sudo apt-get update -q
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
