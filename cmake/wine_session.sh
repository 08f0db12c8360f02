#!/bin/sh
# The Wine prefix and server of a Windows build's test run.
#   wine_session.sh make  PREFIX WINE64 WINESERVER   make a fresh prefix
#   wine_session.sh start PREFIX WINE64 WINESERVER   keep one wineserver alive
#                                                    until 30 s after its last client
#   wine_session.sh stop  PREFIX WINE64 WINESERVER   end it now (the registry is saved)
set -eu
action=$1 prefix=$2 wine64=$3 wineserver=$4
export WINEPREFIX="$prefix" WINEDEBUG=-all WINESERVER="$wineserver"

# Runs wineboot with the given options; a failure ends the script with
# wineboot's status and output. "wineboot -i" in a folder that does not exist
# yet always first says that it created it, so one that failed having printed
# nothing at all was not started by Wine (seen under load): that failure, and
# only that one, is tried once more, and the retry is printed with its reason
# (and kept in VRK_WINE_RETRIES).
boot() {
  # The output goes to a file, not a pipe: the services wineboot starts keep
  # what they inherit open, and a pipe would keep its reader waiting for them.
  out=$(mktemp)
  status=0
  "$wine64" wineboot "$@" </dev/null >"$out" 2>&1 || status=$?
  if [ $status -ne 0 ] && [ ! -s "$out" ] && [ "$*" = "-i" ]; then
    line="wine_session: retrying: Wine did not start wineboot $* for $prefix (exit status $status, nothing printed)"
    echo "$line" >&2
    if [ -n "${VRK_WINE_RETRIES:-}" ]; then
      mkdir -p "$(dirname "$VRK_WINE_RETRIES")"
      echo "$line" >>"$VRK_WINE_RETRIES"
    fi
    status=0
    "$wine64" wineboot "$@" </dev/null >"$out" 2>&1 || status=$?
  fi
  if [ $status -ne 0 ]; then
    echo "wine_session: wineboot $* for $prefix exited with status $status: $(cat "$out")" >&2
    rm -f "$out"
    exit 1
  fi
  rm -f "$out"
}
case "$action" in
make)
  # The old prefix's server is ended and waited for before its folder goes,
  # so that nothing of it still writes there or answers the new prefix.
  "$wineserver" -k 2>/dev/null || true
  "$wineserver" -w 2>/dev/null || true
  rm -rf "$prefix"
  WINEDLLOVERRIDES="mscoree,mshtml=" boot -i
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
  boot
  ;;
stop)
  "$wineserver" -k 2>/dev/null || true
  "$wineserver" -w 2>/dev/null || true
  ;;
esac
