#!/usr/bin/env bash
# The Windows tests, on a Linux machine:
#  1. compiles archive/library_ops.cpp (the one source that includes the map
#     archive library's header) for Windows, syntax only, once for a library
#     built with narrow file names and once for one built with wide ones, and
#     the tool's entry and its resource, which only the full tool links;
#  2. cross-builds GoogleTest from /usr/src/googletest with mingw-w64 (once;
#     build-windows/gtest-install is reused while the sources stay the same);
#  3. cross-builds ostrel_tests.exe and ostrel_standin.exe into build-windows,
#     without the archive library (none is packaged for Windows here);
#  4. runs ostrel_tests.exe under wine in a fresh wine prefix, and when run
#     by root runs it again as an unprivileged user, from copies in a
#     temporary folder of its own with a prefix of its own: wine run by root
#     lets a program write to a file with the read-only attribute, as root may
#     write any file, so the read-only cases mean something only as another
#     user.
# The prefixes take about 700 MB each; the other user's is always removed,
# root's unless OSTREL_KEEP_WINE_PREFIX=1. Takes about 45 s on 2 cores once
# GoogleTest is built (about 25 s more).
# Exits non-zero when anything fails to build or any test fails.
set -euo pipefail
cd "$(dirname "$0")/.."
started=$SECONDS
source_dir=$PWD
build=$source_dir/build-windows
toolchain=$source_dir/cmake/mingw-w64.cmake
jobs=$(nproc)
mkdir -p "$build"

echo "-- compile check of the sources that need the archive library"
headers=$(mktemp -d "${TMPDIR:-/tmp}/ostrel-win-XXXXXX")
trap 'rm -rf "$headers"' EXIT
# Only the library's own headers: the system headers come from mingw-w64.
cp /usr/include/StormLib.h /usr/include/StormPort.h "$headers/"
for names in "" "-DUNICODE -D_UNICODE"; do
  # shellcheck disable=SC2086
  x86_64-w64-mingw32-g++-posix -std=c++17 -fsyntax-only -Wall -Wextra -Werror $names \
    -DWIN32_LEAN_AND_MEAN -DNOMINMAX -I. -I"$headers" archive/library_ops.cpp
done
x86_64-w64-mingw32-g++-posix -std=c++17 -fsyntax-only -Wall -Wextra -Werror -DWIN32_LEAN_AND_MEAN -DNOMINMAX -I. \
  run/main.cpp
# The resource with the manifest that the tool is linked with on Windows.
x86_64-w64-mingw32-windres -I run run/ostrel.rc -O coff -o "$headers/ostrel.res"

gtest=$build/gtest-install
stamp="$(dpkg-query -W -f='${Version}' googletest) $(x86_64-w64-mingw32-g++-posix -dumpfullversion)"
if [ "$(cat "$gtest/stamp" 2>/dev/null)" != "$stamp" ]; then
  echo "-- building GoogleTest for Windows"
  rm -rf "$build/googletest" "$gtest"
  cmake -S /usr/src/googletest -B "$build/googletest" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DBUILD_GMOCK=OFF -DCMAKE_INSTALL_PREFIX="$gtest" >/dev/null
  cmake --build "$build/googletest" -j"$jobs" --target install >/dev/null
  echo "$stamp" >"$gtest/stamp"
fi

echo "-- building the tests for Windows"
# The tests are listed when ctest runs them, not after the build: the build
# machine cannot run a Windows program by itself.
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
  -DOSTREL_ARCHIVE_LIBRARY=OFF -DBUILD_TESTING=ON -DGTest_DIR="$gtest/lib/cmake/GTest" \
  -DCMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE=PRE_TEST >/dev/null
cmake --build "$build" -j"$jobs" --target ostrel_tests ostrel_standin >/dev/null

# Wine without a display, without its installers for .NET and the browser
# engine, and without its diagnostics; one fresh prefix per run and user.
unset DISPLAY WAYLAND_DISPLAY
export LANG=C.UTF-8 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=wine
user=65534
as_user=(setpriv --reuid="$user" --regid="$user" --clear-groups)
root_prefix=$build/wineprefix
# The other user may not reach the build folder: it gets copies of the tests,
# the stand-in tool and the library in a temporary folder of its own.
user_stage=$(mktemp -d "${TMPDIR:-/tmp}/ostrel-wine-user-XXXXXX")
user_prefix=$user_stage/wineprefix
user_home=$user_stage/home
stop_wine() {
  WINEPREFIX="$root_prefix" wineserver -k 2>/dev/null || true
  if [ "$(id -u)" -eq 0 ] && [ -d "$user_prefix" ]; then
    "${as_user[@]}" env HOME="$user_home" WINEPREFIX="$user_prefix" wineserver -k 2>/dev/null || true
  fi
}
trap 'stop_wine; rm -rf "$headers" "$user_stage"' EXIT
rm -rf "$root_prefix"

# Runs all tests of the folder $2 under wine, "$@" the command in front of
# wine; keeps their output in the log $1 and prints the output of each failed
# test (its first lines) and the lines GoogleTest ends with.
run_tests() {
  local log=$1 tests=$2
  shift 2
  local status=0
  "$@" "$wine" "$tests/ostrel_tests.exe" --gtest_color=no >"$log.crlf" 2>&1 || status=$?
  tr -d '\r' <"$log.crlf" >"$log"
  rm -f "$log.crlf"
  awk '/^\[ RUN/ { n = 0 } { if (n < 40) block[n++] = $0; else if (n++ == 40) block[40] = "..." }
       /^\[  FAILED  \] .*\(/ { for (i = 0; i < n && i <= 40; i++) print block[i]; if (n > 40) print }' "$log"
  if grep -q '^\[==========\] .* ran\.' "$log"; then
    sed -n '/^\[==========\] .* ran\./,$p' "$log"
  else
    tail -n 20 "$log"  # it did not get to the end
  fi
  echo "(the whole output: $log)"
  return "$status"
}
skipped_in() {
  sed -n 's/^\[  SKIPPED \] \([^ ]*\.[^ ]*\).*/\1/p' "$1" | sort -u
}

echo "-- running the tests under wine as $(id -un)"
wine_started=$SECONDS
failed=0
WINEPREFIX="$root_prefix" wineboot -i >/dev/null 2>&1 || true
run_tests "$build/tests.log" "$build" env WINEPREFIX="$root_prefix" || failed=1
if [ "$(id -u)" -eq 0 ]; then
  # Root may write any file, so also as a user who may not.
  echo "-- running the tests under wine as user $user"
  mkdir -p "$user_prefix" "$user_home"
  cp "$build/ostrel_tests.exe" "$build/ostrel_standin.exe" "$build/func.j" "$build/func.lua" "$user_stage/"
  chmod 755 "$user_stage"
  chown "$user:$user" "$user_prefix" "$user_home"
  user_env=(env HOME="$user_home" WINEPREFIX="$user_prefix")
  "${as_user[@]}" "${user_env[@]}" wineboot -i >/dev/null 2>&1 || true
  run_tests "$build/tests-user.log" "$user_stage" "${as_user[@]}" "${user_env[@]}" || failed=1
  both=$(comm -12 <(skipped_in "$build/tests.log") <(skipped_in "$build/tests-user.log"))
  [ -z "$both" ] || echo "skipped as root and as user $user: ${both//$'\n'/ }"
fi
stop_wine
echo "wine prefixes: $(du -shc "$root_prefix" "$user_prefix" 2>/dev/null | tail -n 1 | cut -f1)"
[ "${OSTREL_KEEP_WINE_PREFIX:-0}" = 1 ] || rm -rf "$root_prefix"
echo "Windows tests took $((SECONDS - started)) s (under wine $((SECONDS - wine_started)) s)"
exit "$failed"
