#!/usr/bin/env bash
# The typical installer run, end to end with the built programs: the example
# profile loaded, "vrkini -UPDATE C:\SELVARINE" with tracing to standard
# output, the profile exported afterwards. Standard output (trace and change
# report) and the profile must equal the recorded run beside this script.
#
#   typical_run.sh linux BIN_DIR SOURCE_DIR WORK_DIR
#       our store (in WORK_DIR), loaded and exported with bin/vrkreg
#   typical_run.sh wine BIN_DIR SOURCE_DIR WORK_DIR WINE_LOADER WINE64_LOADER
#       Wine's registry (the prefix in WINEPREFIX), loaded and exported with
#       Wine's own reg in the 32-bit view; vrkini.exe runs under WINE_LOADER
#
# Windows ends the lines of standard output with CR LF; they are compared
# as lines. Wine lists values by name, our store in creation order: the
# profiles are compared as sorted lists of key and value lines.
set -euo pipefail
mode=$1 bin=$2 src=$3 work=$4
here=$(cd "$(dirname "$0")" && pwd)

rm -rf "$work"
mkdir -p "$work/run"
cp "$src/examples/sv-ini.reg" "$work/fixture.reg"

windowsPath() { printf 'Z:%s' "${1//\//\\}"; }

case "$mode" in
linux)
  export TORQA_REGISTRY="$work/store"
  (cd "$work" && "$bin/vrkreg" import fixture.reg >/dev/null)
  (cd "$work/run" && env "TORQA TRACE=NOPREFIX" "TORQA TRACETO=STDOUT" \
     "$bin/vrkini" -UPDATE 'C:\SELVARINE' >"$work/stdout.txt")
  (cd "$work" && "$bin/vrkreg" export 'HKLM\Software\SV.INI' profile.reg >/dev/null)
  ;;
wine)
  wine=$5 wine64=$6
  "$wine64" reg delete 'HKLM\Software\SV.INI' /f /reg:32 >/dev/null 2>&1 || true
  "$wine64" reg import "$(windowsPath "$work/fixture.reg")" /reg:32 >/dev/null
  (cd "$work/run" && env "TORQA TRACE=NOPREFIX" "TORQA TRACETO=STDOUT" \
     "$wine" "$bin/vrkini.exe" -UPDATE 'C:\SELVARINE' >"$work/stdout.txt")
  "$wine64" reg export 'HKLM\Software\SV.INI' "$(windowsPath "$work/profile.reg")" /reg:32 /y \
    >/dev/null
  "$wine64" reg delete 'HKLM\Software\SV.INI' /f /reg:32 >/dev/null 2>&1 || true
  ;;
*)
  echo "unknown mode $mode" >&2
  exit 2
  ;;
esac

# One line per key ("[key]|") and per value ("[key]|name=data"), values
# joined from their continuation lines, sorted.
normalize() {
  iconv -f UTF-16 -t UTF-8 "$1" | tr -d '\r' | awk '
    /^\[/ { key = $0; print key "|"; next }
    /^$/ || /^Windows Registry Editor/ { next }
    {
      line = $0
      while (line ~ /\\$/ && (getline next_line) > 0) {
        sub(/\\$/, "", line); sub(/^ +/, "", next_line); line = line next_line
      }
      print key "|" line
    }' | LC_ALL=C sort
}

status=0
if ! diff -u "$here/expected_stdout.txt" <(tr -d '\r' <"$work/stdout.txt"); then
  echo "standard output differs from the recorded run" >&2
  status=1
fi
if ! diff -u "$here/expected_profile.txt" <(normalize "$work/profile.reg"); then
  echo "the profile differs from the recorded run" >&2
  status=1
fi
[ $status -eq 0 ] && echo "typical run: standard output and profile as recorded"
exit $status
