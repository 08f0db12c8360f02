#!/usr/bin/env bash
# Installs a Windows build into a fresh folder, as a user gets it, and checks
# the folder under Wine: exactly the three programs, the message DLL and the
# Windows README (CR LF line ends); the ZIP that cpack makes holds the same
# folder; the installed vrkini.exe, started from another directory, finds
# its messages in the DLL beside it and works on the registry.
#   windows_package_test.sh BUILD_DIR SOURCE_DIR CMAKE CPACK WINE_LOADER WINE64_LOADER
# WINEPREFIX, WINESERVER and WINEDEBUG come from the environment. The test
# uses HKEY_LOCAL_MACHINE\Software\SV.INI of the prefix (32-bit view).
set -euo pipefail
build=$1 src=$2 cmake=$3 cpack=$4 wine=$5 wine64=$6
work=$(mktemp -d)
cleanup() {
  "$wine64" reg delete 'HKLM\Software\SV.INI' /f /reg:32 >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
windowsPath() { printf 'Z:%s' "${1//\//\\}"; }

package="$work/vrkini"
"$cmake" --install "$build" --prefix "$package" >/dev/null
expected=$(printf '%s\n' README-windows.txt vrkini.exe vrkmsg.dll vrkreg.exe vrktrace.exe)
listing() { (cd "$1" && find . -mindepth 1 | sed 's|^\./||' | sort); }
got=$(listing "$package")
[ "$got" = "$expected" ] || fail "the installed folder holds: $got"
if grep -qv $'\r$' "$package/README-windows.txt"; then
  fail "README-windows.txt has lines without CR LF"
fi
grep -q 'TORQA TRACETO' "$package/README-windows.txt" || fail "README-windows.txt says nothing of the trace"

# The ZIP holds the same folder.
(cd "$work" && "$cpack" --config "$build/CPackConfig.cmake" -B "$work/cpack" >/dev/null)
zips=("$work"/cpack/*.zip)
[ ${#zips[@]} -eq 1 ] && [ -f "${zips[0]}" ] || fail "cpack made no single ZIP: ${zips[*]}"
mkdir "$work/unzipped"
(cd "$work/unzipped" && "$cmake" -E tar xf "${zips[0]}")
top=$(basename "${zips[0]}" .zip)
[ "$(ls "$work/unzipped")" = "$top" ] || fail "the ZIP does not unpack into one folder $top"
[ "$(listing "$work/unzipped/$top")" = "$expected" ] || fail "the ZIP holds: $(listing "$work/unzipped/$top")"

# Run with nothing of the caller's TORQA settings.
clean=(env)
while IFS='=' read -r name _; do
  case "$name" in TORQA*) clean+=(-u "$name") ;; esac
done < <(env)
traced() { "${clean[@]}" "TORQA TRACE=NOPREFIX" "TORQA TRACETO=STDOUT" "$wine" "$@" | tr -d '\r'; }

# Without a profile, the failed check reports message 1 of the DLL with the
# expression inserted.
message1=$(sed -n 's/^1 //p' "$src/diag/messages/vrkmsg.msg")
expected_text=">      ${message1/\%1/svINIExists==True}"
"$wine64" reg delete 'HKLM\Software\SV.INI' /f /reg:32 >/dev/null 2>&1 || true
mkdir "$work/elsewhere"
trace=$(cd "$work/elsewhere" && traced "$package/vrkini.exe" -DELETE)
grep -qF -- "$expected_text" <<<"$trace" || fail "message 1 was not loaded from vrkmsg.dll: $trace"

# The DLL is looked for beside the program, not in the current directory: a
# copy of vrkini.exe alone, started in the package folder, finds no texts.
mkdir "$work/alone"
cp "$package/vrkini.exe" "$work/alone/"
trace=$(cd "$package" && traced "$work/alone/vrkini.exe" -DELETE)
grep -qF -- '>      Unable to load text from message file.' <<<"$trace" ||
  fail "vrkini.exe without its DLL found message texts: $trace"

# The installed program works on the profile.
cp "$src/examples/sv-ini.reg" "$work/fixture.reg"
"$wine64" reg import "$(windowsPath "$work/fixture.reg")" /reg:32 >/dev/null 2>&1
report=$(cd "$work/elsewhere" && "${clean[@]}" "$wine" "$package/vrkini.exe" -UPDATE 'C:\SELVARINE' |
         tr -d '\r')
grep -qx 'appName=CobolPopulate keyName=CompilerSelectedOptions was changed:' <<<"$report" ||
  fail "the installed vrkini.exe did not update the profile: $report"
echo "package folder and ZIP: $expected" | tr '\n' ' '
echo
