#!/usr/bin/env bash
# Builds the Debian packages vrkini and vrkini-dev (cmake --workflow --preset
# deb) and installs them for real, as a user would: dpkg -i as root into this
# machine's /usr. Then checks what the packages hold, lintian's verdict (no
# errors), the installed programs (vrkini -UPDATE on a store of its own, the
# message catalog, --version, the manual pages), a program built against the
# installed vrkini-dev, and the machine store's modes; removes the packages and
# checks that nothing is left but the machine store, then purges and checks
# that the store is gone too.
#   tests/install/deb_test.sh          (from .ci/run; as root, or with sudo)
# It refuses to run when a vrkini package or a machine store (/var/lib/vrk) is
# already on the machine: it would replace or delete them. Whatever happens,
# it removes what it installed and the store it made.
set -euo pipefail
cd "$(dirname "$0")/../.."
source=$PWD
fail() { echo "FAIL: $*" >&2; exit 1; }

scripts/deps --deb
sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo -n)
for tool in dpkg dpkg-deb dpkg-query dpkg-shlibdeps dpkg-architecture file lintian man gzip cmake ninja scdoc; do
  command -v "$tool" >/dev/null || fail "$tool is missing (scripts/deps installs it)"
done
"${sudo[@]}" true || fail "installing a package needs root: run as root or with sudo"

packages=(vrkini-dev vrkini)  # in the order of removal
for p in "${packages[@]}"; do
  state=$(dpkg-query -W -f='${db:Status-Abbrev}' "$p" 2>/dev/null || true)
  case "$state" in
    "" | un*) ;;
    *) fail "package $p is already on this machine (dpkg state '$state'); this test installs" \
            "and purges its own: remove it first (dpkg --purge $p)" ;;
  esac
done
[ ! -e /var/lib/vrk ] ||
  fail "/var/lib/vrk exists: a machine store, which this test's purge would delete; move it away"

work=$(mktemp -d)
installed=0
cleanup() {
  status=$?
  if [ $installed -eq 1 ]; then
    "${sudo[@]}" dpkg --purge "${packages[@]}" >/dev/null 2>&1 || status=1
  fi
  # The store this test made, if the purge did not take it.
  [ ! -e /var/lib/vrk ] || "${sudo[@]}" rm -rf /var/lib/vrk
  rm -rf "$work"
  exit $status
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP

# ---- build -----------------------------------------------------------------
rm -rf build-deb/package
cmake --workflow --preset deb >"$work/build.log" 2>&1 || {
  tail -40 "$work/build.log" >&2
  fail "cmake --workflow --preset deb failed"
}
version=$(sed -n '1s/^vrkini (\([^)]*\)).*/\1/p' tool/debian/changelog)
arch=$(dpkg --print-architecture)
deb=$source/build-deb/package/vrkini_${version}_${arch}.deb
dev=$source/build-deb/package/vrkini-dev_${version}_${arch}.deb
[ -f "$deb" ] && [ -f "$dev" ] || fail "no $deb and $dev: $(ls build-deb/package)"

# ---- what the packages hold ------------------------------------------------
files() { dpkg-deb -c "$1" | awk '$1 ~ /^-/ {sub(/^\./, "", $6); print $6}' | sort; }
files "$deb" >"$work/programs.list"
files "$dev" >"$work/dev.list"
expected=$(printf '%s\n' /usr/bin/vrkini /usr/bin/vrkreg /usr/bin/vrktrace \
  /usr/share/vrk/vrkmsg.cat /usr/share/man/man1/vrkini.1.gz /usr/share/man/man1/vrkreg.1.gz \
  /usr/share/man/man1/vrktrace.1.gz /usr/share/doc/vrkini/README.md \
  /usr/share/doc/vrkini/examples/sv-ini.reg /usr/share/doc/vrkini/copyright \
  /usr/share/doc/vrkini/changelog.gz | sort)
[ "$(cat "$work/programs.list")" = "$expected" ] ||
  fail "vrkini holds other files than expected:
$(diff <(echo "$expected") "$work/programs.list")"
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
public=$(sed -n '/^set(VRK_PUBLIC_HEADERS/,/)/p' cmake/vrk.cmake | grep -o '[a-z_/]*\.hpp' |
         sed 's|^|/usr/include/vrk/|' | sort)
[ "$(grep '^/usr/include/' "$work/dev.list")" = "$public" ] ||
  fail "vrkini-dev's headers differ from VRK_PUBLIC_HEADERS: $(grep '^/usr/include/' "$work/dev.list")"
stray=$(grep -Ev "^(/usr/include/vrk/|/usr/lib/$multiarch/libvrk_[a-z0-9_]+\.a$|/usr/lib/$multiarch/cmake/vrk/(vrk[A-Za-z-]*|Findhivex)\.cmake$|/usr/share/doc/vrkini-dev/(copyright|changelog\.gz)$)" \
        "$work/dev.list" || true)
[ -z "$stray" ] || fail "vrkini-dev holds files it should not: $stray"
grep -q "^/usr/lib/$multiarch/libvrk_profile\.a$" "$work/dev.list" ||
  fail "vrkini-dev lacks libvrk_profile.a"
# Nothing of the test build: tests, benchmarks, fuzzers, GoogleTest.
if grep -Eih 'test|bench|fuzz|gtest|gmock' "$work/programs.list" "$work/dev.list"; then
  fail "the packages hold files of the test build (above)"
fi

# ---- lintian ---------------------------------------------------------------
if ! lintian --fail-on error \
     "$deb" "$dev" >"$work/lintian.txt" 2>&1; then
  cat "$work/lintian.txt" >&2
  fail "lintian reports errors"
fi
cat "$work/lintian.txt"

# ---- what a user has after installing ----------------------------------------
before() { find /usr /etc /opt /var/lib -xdev \( -path /var/lib/dpkg -o -path /var/lib/apt \
             -o -path /var/lib/ucf -o -path /var/lib/systemd \) -prune -o -print | sort; }
before >"$work/before.txt"
installed=1
"${sudo[@]}" dpkg -i "$deb" "$dev" >"$work/dpkg.log" 2>&1 || {
  cat "$work/dpkg.log" >&2
  fail "dpkg -i failed"
}
for p in "${packages[@]}"; do
  [ "$(dpkg-query -W -f='${Status}' "$p")" = "install ok installed" ] || fail "$p is not installed"
done

# The programs from /usr/bin, away from the checkout, on a store of their own
# and with none of the caller's TORQA settings.
mkdir -p "$work/elsewhere"
cd "$work/elsewhere"
clean=(env)
while IFS='=' read -r name _; do
  case "$name" in TORQA*) clean+=(-u "$name") ;; esac
done < <(env)
run() { "${clean[@]}" "TORQA_REGISTRY=$work/store" "$@"; }

for program in vrkreg vrktrace; do
  out=$(/usr/bin/$program --version)
  [ "$out" = "$program $version" ] || fail "$program --version says '$out', not '$program $version'"
done
run /usr/bin/vrkreg import /usr/share/doc/vrkini/examples/sv-ini.reg >/dev/null
report=$(run /usr/bin/vrkini -UPDATE 'C:\SELVARINE')
grep -qx 'appName=CobolPopulate keyName=CompilerSelectedOptions was changed:' <<<"$report" ||
  fail "the installed vrkini did not update the profile: $report"
run /usr/bin/vrkreg query 'HKLM\Software\SV.INI\CobolPopulate\CompilerSelectedOptions' |
  grep -q 'NOC NOEXIT ADATA' || fail "the profile does not hold the new options"
# A failed check names its text from the installed message catalog.
trace=$(run "TORQA_TRACE=NOPREFIX" "TORQA_TRACETO=STDOUT" "TORQA_REGISTRY=$work/empty" \
        /usr/bin/vrkini -DELETE)
grep -q 'svINIExists==True' <<<"$trace" || fail "no failed check in the trace: $trace"
if grep -q 'Unable to load text from message file.' <<<"$trace"; then
  fail "the installed vrkini did not find /usr/share/vrk/vrkmsg.cat: $trace"
fi

# The manual pages, found by man and rendered without a complaint.
for page in vrkini vrkreg vrktrace; do
  where=$(man -w "$page") || fail "man -w $page finds nothing"
  [ "$where" = "/usr/share/man/man1/$page.1.gz" ] || fail "man -w $page gives $where"
  text=$(MANWIDTH=80 LC_ALL=C.UTF-8 man --warnings "$page" 2>"$work/man.err")
  [ ! -s "$work/man.err" ] || fail "man $page warns: $(cat "$work/man.err")"
  grep -q "vrkini $version" <<<"$text" || fail "the page $page does not give version $version"
done

# A program of the user's own, built against the installed vrkini-dev from
# the system's paths alone.
mkdir -p "$work/consumer"
cat >"$work/consumer/CMakeLists.txt" <<'CMAKE'
cmake_minimum_required(VERSION 3.20)
project(consumer CXX)
set(CMAKE_CXX_STANDARD 20)
find_package(vrk REQUIRED)
add_executable(consumer main.cpp)
target_link_libraries(consumer PRIVATE vrk::vrk_profile)
CMAKE
cat >"$work/consumer/main.cpp" <<'CPP'
#include <iostream>
#include "base/istring.hpp"
#include "profile/iprofile.hpp"
int main() {
    IProfile profile("HKEY_CURRENT_USER\\Software\\Consumer");
    profile.addOrReplaceElementWithKey("Greeting", IString("hello"), "App");
    std::cout << profile.elementWithKey("Greeting", "App") << "\n";
}
CPP
cmake -S "$work/consumer" -B "$work/consumer/build" -G Ninja >"$work/consumer.log" 2>&1 &&
  cmake --build "$work/consumer/build" >>"$work/consumer.log" 2>&1 || {
  cat "$work/consumer.log" >&2
  fail "a program does not build against the installed vrkini-dev"
}
out=$(run "$work/consumer/build/consumer")
[ "$out" = hello ] || fail "the program built against vrkini-dev printed '$out'"

# The machine store, made by root with the installed program: read by all,
# written by root alone.
"${sudo[@]}" env -u 'TORQA REGISTRY' -u TORQA_REGISTRY \
  /usr/bin/vrkreg add 'HKLM\Software\vrk-deb-test' /v Probe /d 1 >/dev/null
for path_mode in /var/lib/vrk:755 /var/lib/vrk/registry:755 /var/lib/vrk/registry/registry.db:644; do
  path=${path_mode%:*}
  mode=$(stat -c %a "$path" 2>/dev/null) || fail "$path was not created"
  [ "$mode" = "${path_mode#*:}" ] || fail "$path has mode $mode, not ${path_mode#*:}"
done
as_nobody=("${sudo[@]}" setpriv --reuid=nobody --regid=nogroup --clear-groups
           env -u 'TORQA REGISTRY' -u TORQA_REGISTRY HOME=/nonexistent)
"${as_nobody[@]}" /usr/bin/vrkreg query 'HKLM\Software\vrk-deb-test' | grep -q Probe ||
  fail "another user cannot read the machine store"
if "${as_nobody[@]}" /usr/bin/vrkreg add 'HKLM\Software\vrk-deb-test' /v Other /d 2 2>/dev/null; then
  fail "another user could write to the machine store"
fi
cd "$source"

# ---- removal: nothing left but the machine store ------------------------------
"${sudo[@]}" dpkg --remove "${packages[@]}" >"$work/dpkg.log" 2>&1 || {
  cat "$work/dpkg.log" >&2
  fail "dpkg --remove failed"
}
before >"$work/removed.txt"
left=$(comm -13 "$work/before.txt" "$work/removed.txt")
gone=$(comm -23 "$work/before.txt" "$work/removed.txt")
[ -z "$gone" ] || fail "the packages took away what was there before: $gone"
[ "$(grep -v '^/var/lib/vrk\(/\|$\)' <<<"$left" || true)" = "" ] ||
  fail "removing the packages left files behind: $(grep -v '^/var/lib/vrk' <<<"$left")"
grep -qx /var/lib/vrk/registry/registry.db <<<"$left" ||
  fail "removing the packages deleted the machine store"

# ---- purge: the machine store goes too ----------------------------------------
"${sudo[@]}" dpkg --purge "${packages[@]}" >"$work/dpkg.log" 2>&1 || {
  cat "$work/dpkg.log" >&2
  fail "dpkg --purge failed"
}
installed=0
before >"$work/purged.txt"
left=$(comm -3 "$work/before.txt" "$work/purged.txt")
[ -z "$left" ] || fail "purging the packages left the machine differing: $left"
for p in "${packages[@]}"; do
  state=$(dpkg-query -W -f='${db:Status-Abbrev}' "$p" 2>/dev/null || true)
  case "$state" in "" | un*) ;; *) fail "$p is still known to dpkg after its purge: $state" ;; esac
done
echo "the Debian packages install, work, and leave nothing behind"
