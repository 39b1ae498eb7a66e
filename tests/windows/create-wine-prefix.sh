#!/bin/sh
# Creates a fresh Wine prefix for one test run.
#   create-wine-prefix.sh WINE-LOADER WINE-SERVER WINEARCH PREFIX
# WINEARCH is win32 for the 32-bit loader, win64 for the 64-bit one.
set -eu
[ $# -eq 4 ] || { echo "usage: $0 WINE-LOADER WINE-SERVER WINEARCH PREFIX" >&2; exit 2; }
wine=$1
wineserver=$2
prefix=$4
if ! "$wine" --version >/dev/null; then
  echo "create-wine-prefix.sh: this host cannot run Wine's loader $wine" >&2
  exit 1
fi
rm -rf "$prefix"
export WINEPREFIX="$prefix" WINEARCH="$3" WINESERVER="$wineserver" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
"$wine" wineboot -i >/dev/null 2>&1
"$wineserver" -w
