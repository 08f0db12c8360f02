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
  # A server may still linger from the build's test discovery: replace it by
  # one that outlives its clients by 30 s. Then start the prefix's services
  # here, detached from any output: started by the first test, they would
  # inherit its output pipe and keep CTest waiting for the end of it.
  "$wineserver" -k 2>/dev/null || true
  "$wineserver" -w 2>/dev/null || true
  "$wineserver" -p30 </dev/null >/dev/null 2>&1
  "$wine64" wineboot </dev/null >/dev/null 2>&1
  ;;
stop)
  "$wineserver" -k 2>/dev/null || true
  "$wineserver" -w 2>/dev/null || true
  ;;
esac
