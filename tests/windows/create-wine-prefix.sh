#!/bin/sh
# Creates a fresh 32-bit Wine prefix for one test run.
set -eu
prefix=$1
rm -rf "$prefix"
export WINEPREFIX="$prefix" WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wineboot -i >/dev/null 2>&1
wineserver -w
