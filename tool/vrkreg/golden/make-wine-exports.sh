#!/bin/sh
# Remakes wine-NAME.reg from each input-NAME.reg with Wine's reg command:
# import into a private Wine prefix, export HKEY_CURRENT_USER\Software\VrkGolden.
# A maintainer's tool, run by hand; the tests only read the files it writes.
# Needs wine64 (Debian: apt-get install --no-install-recommends wine64).
set -eu
here=$(cd "$(dirname "$0")" && pwd)
export PATH="/usr/lib/wine:$PATH"
export WINEPREFIX="${WINEPREFIX:-${TMPDIR:-/tmp}/vrk-golden-wineprefix}" WINEDEBUG=-all
key='HKEY_CURRENT_USER\Software\VrkGolden'
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
[ -d "$WINEPREFIX" ] || wine64 wineboot -i
for input in "$here"/input-*.reg; do
    name=$(basename "$input" .reg)
    name=${name#input-}
    wine64 reg delete "$key" /f >/dev/null 2>&1 || true
    cp "$input" "$work/in.reg"
    (cd "$work" && wine64 reg import in.reg >/dev/null && wine64 reg export "$key" out.reg /y >/dev/null)
    cp "$work/out.reg" "$here/wine-$name.reg"
    echo "wine-$name.reg"
done
wine64 reg delete "$key" /f >/dev/null 2>&1 || true
wineserver -w
