#!/usr/bin/env bash
# Builds ostrel, the baseline program and the benchmark runner for release in
# build-bench, times ostrel against the baseline on maps with 4 MiB and 32 MiB
# scripts and on one with 50 MB of other entries (OSTREL_BENCH_RUNS runs of
# each, 7 by default), compares the map after a run with a fresh archive of
# the same entries, then runs the scan
# benchmark.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install.sh --tests
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DOSTREL_BENCHMARKS=ON -DBUILD_TESTING=OFF >/dev/null
targets=(ostrel baseline_store baseline_pack compare_runs compare_folders compare_watch)
if [ -f bench/scan_bench.cpp ]; then targets+=(scan_bench); fi
cmake --build build-bench -j"$(nproc)" --target "${targets[@]}"

work=$(mktemp -d "${TMPDIR:-/tmp}/ostrel-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT
build-bench/compare_runs build-bench/ostrel build-bench/baseline_store func.j "$work" "${OSTREL_BENCH_RUNS:-7}"
build-bench/compare_folders build-bench/ostrel build-bench/baseline_pack func.j "$work" "${OSTREL_BENCH_RUNS:-7}"
build-bench/compare_watch build-bench/ostrel func.j "$work" "${OSTREL_BENCH_RUNS:-7}" "${OSTREL_IDLE_SECONDS:-60}"
if [ -x build-bench/scan_bench ]; then
  build-bench/scan_bench
fi
