#!/usr/bin/env bash
# Builds the fuzz target with clang and runs it for SECONDS (default 60) on
# seeds made from the example map script and the script library:
#   inputs starting with an even byte are map files for whole runs; the map
#   archive library itself faults on some damaged maps, and such inputs are
#   listed (the tool turns them into a clean stop);
#   the others are a map script and a library for the scan, the build and
#   the splices.
# Only a fault in this project's code fails this script. Each fault is judged
# by the module and source file of its report's first frame that is not the
# sanitizers', the fuzzer's or the C/C++ runtime's.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
bash scripts/install.sh --tests
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DOSTREL_FUZZ=ON -DBUILD_TESTING=OFF >/dev/null
cmake --build build-fuzz -j"$(nproc)" --target run_fuzz make_map >/dev/null

out=build-fuzz/out
rm -rf "$out" && mkdir -p "$out/corpus" "$out/artifacts" "$out/maps" "$out/tmp"
# The fuzz target's folders, also those of runs that crashed, stay in here.
export TMPDIR=$PWD/$out/tmp
printf 'globals\nendglobals\nfunction main takes nothing returns nothing\nendfunction\n' >"$out/maps/minimal.j"
for script in examples/war3map.j "$out/maps/minimal.j" examples/war3map.lua; do
  name=$(basename "$script")
  entry=war3map.${name##*.} library=func.${name##*.} kind='\1'
  [ "$entry" = war3map.lua ] && kind='\3'
  build-fuzz/make_map "$out/maps/$name.w3x" "$entry=$script" war3map.w3e=func.j
  { printf '\0'; cat "$out/maps/$name.w3x"; } >"$out/corpus/map-$name"
  { printf "$kind"; cat "$script"; printf '\0'; cat "$library"; } >"$out/corpus/script-$name"
done
# A damaged map can make the archive library ask for many GiB at once; let
# such requests fail as they would on a smaller machine.
export ASAN_OPTIONS=allocator_may_return_null=1:max_allocation_size_mb=2048:detect_leaks=0
limits=(-rss_limit_mb=4096 -malloc_limit_mb=4096 -timeout=20)

echo "== run_fuzz, ${seconds} s"
# With faults found, fork mode ends with the exit code of the last one; each
# fault's input is in the artifacts and is looked at below. A run that did not
# reach its end fails.
build-fuzz/run_fuzz -fork="$(nproc)" -ignore_crashes=1 -ignore_ooms=1 -ignore_timeouts=1 \
  -max_total_time="$seconds" "${limits[@]}" -artifact_prefix="$out/artifacts/" "$out/corpus" \
  >"$out/run.log" 2>&1 || true
if ! grep -q -E '^INFO: exiting: [0-9]+ time:' "$out/run.log"; then
  tail -n 40 "$out/run.log"; echo "run_fuzz did not finish"; exit 1
fi
grep -E '^#[0-9]+: cov' "$out/run.log" | tail -n 1 || true

# Each fault's input is run again and the first stack of its report is
# judged frame by frame, by the module a frame's code is in and, in the fuzz
# binary (which holds the sanitizer and fuzzer runtimes as well as this
# project's code), by the source file it was built from. The frame format
# names the module and the offset in it whether or not a symbolizer is there.
root=$(pwd -P)
binary=$(realpath build-fuzz/run_fuzz)
frame_format='    #%n|%m|%o|%s|%l|%f'
command -v addr2line >/dev/null || { echo "addr2line (binutils) is needed to judge the faults"; exit 1; }
mkdir -p "$out/reports"

# Runs the input in $1 again and writes the fault report to the file $2.
report_fault() {
  ASAN_OPTIONS="$ASAN_OPTIONS:stack_trace_format='$frame_format'" UBSAN_OPTIONS=print_stacktrace=1 \
    "$binary" "${limits[@]}" "$1" >"$2" 2>&1 || true
}

# Prints the first stack of the report $1, a frame a line: N|MODULE|OFFSET|SOURCE|LINE|FUNCTION.
first_stack() {
  awk '/^ +#[0-9]+\|/ { sub(/^ +#/, ""); print; seen = 1; next } seen { exit }' "$1"
}

# Prints a frame's source places, innermost first, as SOURCE|LINE|FUNCTION; unsymbolized, addr2line's.
places() {
  local module=$1 offset=$2 source=$3 line=$4 function=$5 at
  if [ "$source" = "<null>" ] && [ "$(realpath -m -- "$module")" = "$binary" ]; then
    addr2line -i -f -C -e "$binary" "$offset" |
      while IFS= read -r function && IFS= read -r at; do
        at=${at% (discriminator *)}
        source=${at%:*} line=${at##*:}
        case "$source" in ""|"??") source="<null>" ;; esac
        echo "$source|$line|$function"
      done
  else
    echo "$source|$line|$function"
  fi
}

# Whether the source file $1 is this project's: in the repository, not in the fuzz build.
ours_source() {
  local path=$1
  case "$path" in
    "<null>") return 1 ;;
    /*) ;;
    *) [ -e "$root/$path" ] || return 1; path=$root/$path ;;
  esac
  path=$(realpath -m -- "$path")
  [[ "$path" == "$root"/* && "$path" != "$root"/build-fuzz/* ]]
}

# Prints whose code a frame is in, from its MODULE and SOURCE: library, ours, or skip where the caller decides.
owner() {
  local module=$1 source=$2
  case "${module##*/}" in
    libstorm*) echo library; return ;;
    # The C and C++ runtime, the sanitizer runtime when linked as a shared library,
    # and the archive library's compression and crypto libraries.
    libc.so*|libm.so*|libstdc++.so*|libgcc_s.so*|ld-linux*|linux-vdso*|"[vdso]"|libpthread.so*|libdl.so*|librt.so*|\
    libclang_rt.*|libasan.so*|libubsan.so*|\
    libz.so*|libbz2.so*|libtomcrypt.so*|libtommath.so*|libgmp.so*) echo skip; return ;;
  esac
  if [ "$(realpath -m -- "$module")" != "$binary" ]; then
    echo ours  # code in no known module: counted as this project's
  elif ours_source "$source"; then
    echo ours
  else
    echo skip  # the sanitizer and fuzzer runtimes, inlined system headers
  fi
}

# Prints the first frame of the report $1 that is not skipped, as "library FRAME" or "ours FRAME".
deciding_frame() {
  local n module offset source line function who place
  while IFS='|' read -r n module offset source line function; do
    while IFS='|' read -r source line function; do
      who=$(owner "$module" "$source")
      [ "$who" = skip ] && continue
      place=""
      [ "$function" = "<null>" ] || [ "$function" = "??" ] || place="$function "
      [ "$source" = "<null>" ] || place+="at $source:$line "
      echo "$who #$n $place($module+$offset)"
      return
    done < <(places "$module" "$offset" "$source" "$line" "$function")
  done < <(first_stack "$1")
}

ours=0
for artifact in "$out"/artifacts/crash-* "$out"/artifacts/leak-*; do
  [ -e "$artifact" ] || continue
  name=$(basename "$artifact")
  report_fault "$artifact" "$out/reports/$name"
  decision=$(deciding_frame "$out/reports/$name")
  case "$decision" in
    library\ *) echo "archive library fault: $name: ${decision#library }" ;;
    ours\ *) echo "FAULT IN OSTREL: $name: ${decision#ours }"; ours=1 ;;
    *) echo "FAULT IN OSTREL: $name: no frame of its report is ostrel's or the archive library's;" \
            "counted as ostrel's (report: $out/reports/$name)"; ours=1 ;;
  esac
done
for artifact in "$out"/artifacts/oom-* "$out"/artifacts/timeout-*; do
  [ -e "$artifact" ] || continue
  echo "archive library exhausted memory or time: $(basename "$artifact")"
done
[ "$ours" -eq 0 ] || { echo "run_fuzz found a fault in ostrel"; exit 1; }
echo "fuzzing found no fault in ostrel"
