#!/usr/bin/env bash
# Installs, builds and runs every test: the Windows tests under wine, the fuzz
# targets (about 30 s each), the tests under AddressSanitizer and
# UndefinedBehaviorSanitizer, and the tests of the release build.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install.sh --tests
jobs=$(nproc)

echo "== Windows tests"
bash scripts/windows_test.sh

echo "== fuzzing"
bash scripts/fuzz.sh "${OSTREL_FUZZ_SECONDS:-60}"

echo "== tests under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DOSTREL_SANITIZE=ON -DBUILD_TESTING=ON >/dev/null
cmake --build build-asan -j"$jobs" >/dev/null
ctest --test-dir build-asan --output-on-failure -j"$jobs"

echo "== tests"
cmake -S . -B build -DBUILD_TESTING=ON >/dev/null
cmake --build build -j"$jobs" >/dev/null
ctest --test-dir build --output-on-failure -j"$jobs"
