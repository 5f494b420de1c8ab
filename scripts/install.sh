#!/usr/bin/env bash
# Installs what building and running ostrel needs on Debian: the compiler and
# the map archive library. With --tests also what the tests need: a second
# archive client, Lua 5.3 (which checks and runs processed Lua scripts), the
# test and benchmark libraries, the archive library's number library (the
# tests sign a map with it), clang with its sanitizer
# runtime and the symbolizer its reports need, and mingw-w64 with wine for
# the Windows tests.
set -euo pipefail
packages=(cmake make g++ libstorm-dev smpq)
if [ "${1:-}" = "--tests" ]; then
  packages+=(libgtest-dev googletest libbenchmark-dev libtomcrypt-dev clang libclang-rt-dev llvm lua5.3
             g++-mingw-w64-x86-64-posix wine wine64)
fi
missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
