#!/usr/bin/env bash
# The Windows builds' test emulator: wine_run.sh LOADER PROGRAM [ARGS...]
# runs a test program under the Wine loader (WINEPREFIX and the rest come
# from the environment).
#
# Every test program prints a line before it does anything else, so a run
# that failed having printed nothing at all is one that Wine did not start
# (seen under load now and then: a failure within hundredths of a second).
# Such a run, and only such a run, is made once more, and the retry is
# printed with its reason, on standard error and, when VRK_WINE_RETRIES
# names a file, in that file. Any other failure stands.
set -u
log=$(mktemp)
trap 'rm -f "$log"' EXIT
"$@" | tee "$log"
rc=${PIPESTATUS[0]}
if [ "$rc" -ne 0 ] && [ ! -s "$log" ]; then
  line="wine_run: retrying: Wine did not start ${2:-the program} (exit status $rc, nothing printed)"
  echo "$line" >&2
  [ -n "${VRK_WINE_RETRIES:-}" ] && echo "$line ${*:3}" >>"$VRK_WINE_RETRIES"
  "$@"
  rc=$?
fi
exit "$rc"
