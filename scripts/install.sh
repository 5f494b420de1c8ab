#!/usr/bin/env bash
# Installs what building, running and testing ostrel needs on Debian.
set -euo pipefail
packages=(cmake make g++ libstorm-dev smpq libgtest-dev libbenchmark-dev
          clang libclang-rt-dev g++-mingw-w64-x86-64)
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
