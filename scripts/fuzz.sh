#!/usr/bin/env bash
# Builds the fuzz targets with clang and runs each for SECONDS (default 30)
# on a seed corpus written by the tests' map fixture code:
#   rewrite_fuzz  the scan, the build and the splices on arbitrary script and
#                 library bytes; any failure fails this script.
#   run_fuzz      whole runs on arbitrary map files. The map archive library
#                 itself faults on some damaged maps; such inputs are listed
#                 (the tool turns them into a clean stop, see run/crash_guard)
#                 and only a fault in this project's code fails this script.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
bash scripts/install.sh --tests
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DOSTREL_FUZZ=ON -DBUILD_TESTING=OFF >/dev/null
cmake --build build-fuzz -j"$(nproc)" --target rewrite_fuzz run_fuzz make_seeds >/dev/null

out=build-fuzz/out
rm -rf "$out" && mkdir -p "$out/run" "$out/rewrite" "$out/artifacts"
build-fuzz/make_seeds . "$out/run" "$out/rewrite"
# A damaged map can make the archive library ask for many GiB at once; let
# such requests fail as they would on a smaller machine.
export ASAN_OPTIONS=allocator_may_return_null=1:max_allocation_size_mb=2048:detect_leaks=0
limits=(-rss_limit_mb=4096 -malloc_limit_mb=4096 -timeout=20)

echo "== rewrite_fuzz, ${seconds} s"
build-fuzz/rewrite_fuzz -max_total_time="$seconds" -max_len=65536 "${limits[@]}" \
  -artifact_prefix="$out/artifacts/" "$out/rewrite" 2>"$out/rewrite.log" || {
  tail -n 40 "$out/rewrite.log"; echo "rewrite_fuzz found a fault"; exit 1; }
grep -E '^Done [0-9]+ runs' "$out/rewrite.log" || tail -n 2 "$out/rewrite.log"

echo "== run_fuzz, ${seconds} s"
# With faults found, fork mode ends with the exit code of the last one; each
# fault's input is in the artifacts and is looked at below. A run that did not
# reach its end fails.
build-fuzz/run_fuzz -fork="$(nproc)" -ignore_crashes=1 -ignore_ooms=1 -ignore_timeouts=1 \
  -max_total_time="$seconds" "${limits[@]}" -artifact_prefix="$out/artifacts/" "$out/run" \
  >"$out/run.log" 2>&1 || true
if ! grep -q -E '^INFO: exiting: [0-9]+ time:' "$out/run.log"; then
  tail -n 40 "$out/run.log"; echo "run_fuzz did not finish"; exit 1
fi
grep -E '^#[0-9]+: cov' "$out/run.log" | tail -n 1 || true

# The first frame of a fault report that is neither the sanitizers', the
# fuzzer's nor the C library's: where the fault really happened.
first_frame() {
  grep -E '^ +#[0-9]+ ' | grep -v -E '__interceptor_|__asan|__sanitizer|__ubsan|fuzzer::|libc\.so|/libc-|abort|raise|__assert|pthread_kill|__GI_|__libc_|in (memcpy|memmove|memset|strlen|calloc|malloc|free|realloc)\b|asan_|ubsan_|sanitizer_common|_start\b' | head -n 1
}

ours=0
for artifact in "$out"/artifacts/crash-* "$out"/artifacts/leak-*; do
  [ -e "$artifact" ] || continue
  frame=$(build-fuzz/run_fuzz "$artifact" 2>&1 | first_frame || true)
  if [[ "$frame" == *libstorm* ]]; then
    echo "archive library fault: $(basename "$artifact"):$frame"
  else
    echo "FAULT IN OSTREL: $(basename "$artifact"):$frame"
    ours=1
  fi
done
for artifact in "$out"/artifacts/oom-* "$out"/artifacts/timeout-*; do
  [ -e "$artifact" ] || continue
  echo "archive library exhausted memory or time: $(basename "$artifact")"
done
[ "$ours" -eq 0 ] || { echo "run_fuzz found a fault in ostrel"; exit 1; }
echo "fuzzing found no fault in ostrel"
