#!/bin/sh
# The Wine prefix and server of a Windows build's test run.
#   wine_session.sh make  PREFIX WINE64 WINESERVER   make a fresh prefix
#   wine_session.sh start PREFIX WINE64 WINESERVER   keep one wineserver alive
#                                                    until 30 s after its last client
#   wine_session.sh stop  PREFIX WINE64 WINESERVER   end it now (the registry is saved)
set -eu
action=$1 prefix=$2 wine64=$3 wineserver=$4
export WINEPREFIX="$prefix" WINEDEBUG=-all WINESERVER="$wineserver"
case "$action" in
make)
  "$wineserver" -k 2>/dev/null || true
  rm -rf "$prefix"
  WINEDLLOVERRIDES="mscoree,mshtml=" "$wine64" wineboot -i >/dev/null 2>&1
  "$wineserver" -w
  ;;
start)
  # Whatever server runs for the prefix (one left by the build's test
  # discovery or by an earlier run, or none) is replaced by one that outlives
  # its clients by 30 s; every test waits for this step, so no client is cut
  # off. "wineserver -p30" exits 2 when a server already runs: one that a
  # straggling client started meanwhile is ended too, and the start tried
  # again. Then the prefix's services start here, detached from any output:
  # started by the first test, they would inherit its output pipe and keep
  # CTest waiting for the end of it.
  tries=0
  until "$wineserver" -p30 </dev/null >/dev/null 2>&1; do
    tries=$((tries + 1))
    if [ $tries -gt 5 ]; then
      echo "wine_session: no lasting wineserver for $prefix after $tries tries" >&2
      exit 1
    fi
    "$wineserver" -k 2>/dev/null || true
    "$wineserver" -w 2>/dev/null || true
  done
  "$wine64" wineboot </dev/null >/dev/null 2>&1
  ;;
stop)
  "$wineserver" -k 2>/dev/null || true
  "$wineserver" -w 2>/dev/null || true
  ;;
esac
