#!/usr/bin/env bash
# Builds the qxcsv tool and runs it on the bundled sample: a windows-1252 CSV with column names
# is shown, one cell is changed, the result is converted to UTF-8 and shown again.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
bash scripts/setup.sh --linux-only
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DQX_BUILD_TESTS=OFF >/dev/null
cmake --build build/release --target qxcsv -j "$(nproc 2>/dev/null || echo 2)" >/dev/null
qx=build/release/tools/qxcsv/qxcsv
out=build/demo
mkdir -p "$out"
sample=samples/products-1252.csv

run() { echo "\$ qxcsv $*"; "$qx" "$@"; echo; }
run show --header --charset windows-1252 "$sample"
run get --header --charset windows-1252 "$sample" 3 0
run set --header --charset windows-1252 "$sample" 3 2 "4.25" -o "$out/edited-1252.csv"
run convert "$out/edited-1252.csv" "$out/edited-utf8.csv" --from windows-1252 --to utf-8 --log text
run show --header "$out/edited-utf8.csv"
echo "Files written to $out/: edited-1252.csv (windows-1252) and edited-utf8.csv (UTF-8)."
