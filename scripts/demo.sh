#!/usr/bin/env bash
# Installs, builds, makes the example maps from examples/war3map.j and
# examples/war3map.lua (the Lua one also as a map folder), runs ostrel on each
# and shows what changed in its map script; packs the map folder into a map
# archive and lists it.
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

# The Lua example as the map editor saves a map as a folder: packed into the
# map archive players download, which leaves the folder as it is, then
# processed in place.
folder="$demo/Example Folder.w3x"
mkdir -p "$folder/war3mapImported" "$demo/release"
cp examples/war3map.lua "$folder/war3map.lua"
printf 'An imported file of the example map.\n' > "$folder/war3mapImported/Read Me.txt"
(cd "$demo" && ../ostrel --output release/ "Example Folder.w3x")
echo "ostrel packed the map folder $folder into $demo/release/Example Folder.w3x, which holds:"
smpq -l "$demo/release/Example Folder.w3x"
(cd "$demo" && ../ostrel "Example Folder.w3x")
echo "ostrel processed the map folder $folder in place; its script's changes:"
diff -u --label "before/war3map.lua" --label "after/war3map.lua" examples/war3map.lua "$folder/war3map.lua" | head -n 12 || true
echo "..."
