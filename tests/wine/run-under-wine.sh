#!/bin/sh
# Runs a Windows test program under Wine in a prefix of its own:
#   run-under-wine.sh PREFIX PROGRAM [ARGS...]
# Wine's daemons keep inherited output open, so they get none of ours: the
# persistent wineserver starts detached and the program's output goes
# through a file.
set -u
prefix=$1
shift
export WINEPREFIX="$prefix" WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LC_ALL=C
mkdir -p "$prefix"
wineserver -p </dev/null >/dev/null 2>&1
out=$(mktemp)
wine "$@" </dev/null >"$out" 2>&1
status=$?
cat "$out"
rm -f "$out"
exit $status
