#!/usr/bin/env bash
# Installs, builds, makes the example map from examples/war3map.j, runs ostrel
# on it and shows what changed in the map script.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install.sh
cmake -S . -B build -DBUILD_TESTING=OFF >/dev/null
cmake --build build -j"$(nproc)" --target ostrel make_map >/dev/null
demo=build/demo
rm -rf "$demo" && mkdir -p "$demo"
build/make_map "$demo/example.w3x" war3map.j=examples/war3map.j
[ -f func.j ] && cp func.j "$demo/func.j"
(cd "$demo" && ../ostrel example.w3x)
echo "ostrel stored the new map script in $demo/example.w3x; the script's changes:"
(cd "$demo" && smpq -x -q example.w3x war3map.j && tr -d '\000' < war3map.j > after.j)
diff -u --label before/war3map.j --label after/war3map.j examples/war3map.j "$demo/after.j" || true
