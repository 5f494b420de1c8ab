#!/usr/bin/env bash
# Installs, builds, makes the example maps from examples/war3map.j and
# examples/war3map.lua, runs ostrel on each and shows what changed in its
# map script.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install.sh
cmake -S . -B build -DBUILD_TESTING=OFF >/dev/null
cmake --build build -j"$(nproc)" --target ostrel make_map >/dev/null
demo=build/demo
rm -rf "$demo" && mkdir -p "$demo"
cp func.j func.lua "$demo/"
for script in war3map.j war3map.lua; do
  map=example-${script#war3map.}.w3x
  build/make_map "$demo/$map" "$script=examples/$script"
  (cd "$demo" && ../ostrel "$map")
  echo "ostrel stored the new map script in $demo/$map; the script's changes:"
  (cd "$demo" && smpq -x -q "$map" "$script" && tr -d '\000' < "$script" > "after-$script")
  diff -u --label "before/$script" --label "after/$script" "examples/$script" "$demo/after-$script" || true
done
