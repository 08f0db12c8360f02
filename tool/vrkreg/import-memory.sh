#!/usr/bin/env bash
# Peak memory of `vrkreg import` on large and hostile inputs, measured with
# /usr/bin/time -v. Memory must follow the longest line, not the file:
#   - a version 5 file of 100,000 keys with two values each (goal: under 32 MiB);
#   - 20 MB of blank lines;
#   - /dev/zero, and an endless line from a pipe (both refused).
# Usage: tool/vrkreg/import-memory.sh [BUILD_DIR]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/../.."
bin="${1:-build}/bin/vrkreg"
[ -x "$bin" ] || { echo "no $bin: build the vrkreg target first" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "/usr/bin/time is missing (Debian package time)" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export "TORQA_REGISTRY=$work/store"
unset "TORQA REGISTRY" 2>/dev/null || true

python3 - "$work" <<'PY'
import sys
work = sys.argv[1]
lines = ['Windows Registry Editor Version 5.00', '']
for i in range(100000):
    lines += ['[HKEY_LOCAL_MACHINE\\Software\\SV.INI\\Queries\\Q%06d]' % i,
              '"DataType"="String"',
              '"Data"="SELECT * FROM table%d WHERE x = 1"' % i, '']
with open(work + '/keys.reg', 'wb') as f:
    f.write(b'\xff\xfe' + '\r\n'.join(lines).encode('utf-16-le'))
with open(work + '/blank.reg', 'w') as f:
    f.write('REGEDIT4\n' + '\n' * 20000000)
PY

measure() {  # label, then the command line
  local label=$1; shift
  local status=0
  /usr/bin/time -v -o "$work/time" "$@" >"$work/out" 2>"$work/err" || status=$?
  local kib
  kib=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$work/time")
  local wall
  wall=$(awk -F': ' '/Elapsed \(wall clock\)/ {print $2}' "$work/time")
  printf '%-34s exit %d  peak %6.1f MiB  wall %s  %s\n' "$label" "$status" "$(awk "BEGIN {print $kib / 1024}")" \
    "$wall" "$(head -c 100 "$work/err")"
}

measure "100,000 keys (UTF-16)" "$bin" import "$work/keys.reg"
measure "20 MB of blank lines" "$bin" import "$work/blank.reg"
measure "/dev/zero" "$bin" import /dev/zero
mkfifo "$work/endless"
(tr '\0' 'x' </dev/zero >"$work/endless" 2>/dev/null &)
measure "an endless line from a pipe" "$bin" import "$work/endless"
