#!/usr/bin/env bash
# Installs the build into a fresh prefix and checks what an installation must
# give: the programs run from any directory and find their message catalog,
# and another program builds against the installed headers and libraries.
#   install_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build="$1"
source="$2"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$work/prefix" >/dev/null
for program in vrkini vrkreg vrktrace; do
  [ -x "$work/prefix/bin/$program" ] || fail "bin/$program was not installed"
done
[ -f "$work/prefix/share/vrk/vrkmsg.cat" ] || fail "the message catalog was not installed"
for page in vrkini vrkreg vrktrace; do
  [ -f "$work/prefix/share/man/man1/$page.1.gz" ] || fail "the manual page $page(1) was not installed"
done
# Only the public headers, named in one list in cmake/vrk.cmake.
public=$(sed -n '/^set(VRK_PUBLIC_HEADERS/,/)/p' "$source/cmake/vrk.cmake" |
         grep -o '[a-z_/]*\.hpp' | sort)
installed=$(cd "$work/prefix/include/vrk" && find . -type f | sed 's|^\./||' | sort)
[ -n "$public" ] || fail "no public header list in cmake/vrk.cmake"
[ "$public" = "$installed" ] || fail "installed headers differ from the public list: $installed"
# No test code: the wrappers, the failing VFS and the scratch stores stay
# in the build tree's vrk_registry_testing.
libs=$(find "$work/prefix" -name 'libvrk_*.a' | sort)
[ -n "$libs" ] || fail "no library was installed"
for lib in $libs; do
  case "$lib" in *testing*) fail "a test library was installed: $lib" ;; esac
  if objects=$(ar t "$lib" | grep -E '_test|fault_vfs|registry_wrappers|scratch'); then
    fail "$lib holds test code: $objects"
  fi
done
# Nothing of our own build settings reaches the package's users.
if grep -rqE -- '-Werror|-Wall|-fsanitize' "$work/prefix/lib/cmake/vrk"; then
  fail "the package exports our build flags"
fi

# Run from an unrelated directory, with a store of its own and nothing of the
# caller's TORQA settings.
mkdir -p "$work/elsewhere"
cd "$work/elsewhere"
clean=(env)
while IFS='=' read -r name _; do
  case "$name" in TORQA*) clean+=(-u "$name") ;; esac
done < <(env)
run() { "${clean[@]}" "TORQA_REGISTRY=$work/store" "$@"; }

run "$work/prefix/bin/vrkreg" import "$source/examples/sv-ini.reg" >/dev/null
report=$(run "$work/prefix/bin/vrkini" -UPDATE 'C:\SELVARINE')
grep -qx 'appName=CobolPopulate keyName=CompilerSelectedOptions was changed:' <<<"$report" ||
  fail "the installed vrkini did not update the profile: $report"

# The failed check of a missing profile reports message 1 from the catalog.
trace=$(run "TORQA_TRACE=NOPREFIX" "TORQA_TRACETO=STDOUT" "TORQA_REGISTRY=$work/empty" \
        "$work/prefix/bin/vrkini" -DELETE)
grep -q 'svINIExists==True' <<<"$trace" || fail "message 1 was not loaded from the catalog: $trace"
if grep -q 'Unable to load text from message file.' <<<"$trace"; then
  fail "the installed catalog was not found: $trace"
fi

# Another program uses the installed library through its CMake package.
mkdir -p "$work/consumer"
cat >"$work/consumer/CMakeLists.txt" <<'CMAKE'
cmake_minimum_required(VERSION 3.20)
project(consumer CXX)
set(CMAKE_CXX_STANDARD 20)
find_package(vrk REQUIRED)
add_executable(consumer main.cpp)
target_link_libraries(consumer PRIVATE vrk::vrk_profile)
# Every library the top CMakeLists.txt offers is there.
foreach(lib vrk_base vrk_registry vrk_platform)
  if(NOT TARGET vrk::${lib})
    message(FATAL_ERROR "vrk::${lib} is not in the package")
  endif()
endforeach()
CMAKE
cat >"$work/consumer/main.cpp" <<'CPP'
#include <iostream>
#include "base/istring.hpp"
#include "profile/iprofile.hpp"
int main() {
    int unused = 0;
    IProfile profile("HKEY_CURRENT_USER\\Software\\Consumer");
    profile.addOrReplaceElementWithKey("Greeting", IString("hello"), "App");
    std::cout << profile.elementWithKey("Greeting", "App") << "\n";
}
CPP
# Its own flags, which our build would reject: an unused variable is a
# warning, not an error, since our -Werror and sanitizers stay with us.
cmake -S "$work/consumer" -B "$work/consumer/build" -G Ninja \
  -DCMAKE_PREFIX_PATH="$work/prefix" -DCMAKE_CXX_FLAGS="-Wunused-variable" >/dev/null
cmake --build "$work/consumer/build" >/dev/null
out=$(run "$work/consumer/build/consumer")
[ "$out" = hello ] || fail "the consumer program printed '$out'"
echo "installation works"
