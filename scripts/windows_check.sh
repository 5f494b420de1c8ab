#!/usr/bin/env bash
# Compiles every source of the tool for Windows, syntax only, with the
# mingw-w64 cross compiler against the archive library's headers: once for a
# library built with narrow file names and once for one built with wide ones.
set -euo pipefail
cd "$(dirname "$0")/.."
headers=$(mktemp -d "${TMPDIR:-/tmp}/ostrel-win-XXXXXX")
trap 'rm -rf "$headers"' EXIT
# Only the library's own headers: the system headers come from mingw-w64.
cp /usr/include/StormLib.h /usr/include/StormPort.h "$headers/"
count=0
for names in "" "-DUNICODE -D_UNICODE"; do
  for source in archive/*.cpp run/*.cpp scan/*.cpp rewrite/*.cpp; do
    # shellcheck disable=SC2086
    x86_64-w64-mingw32-g++ -std=c++17 -fsyntax-only -Wall -Wextra -Werror $names \
      -I. -I"$headers" -DOSTREL_VERSION='"check"' "$source"
    count=$((count + 1))
  done
done
echo "compiled $count sources for Windows"
