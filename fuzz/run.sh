#!/bin/sh
# Builds the libFuzzer binaries with clang and fuzzes one target, merging the new inputs into the
# saved corpus (minimised). Usage: fuzz/run.sh <csv|scanners|convert|coding> [seconds]
set -eu
name=${1:?usage: fuzz/run.sh <csv|scanners|convert|coding> [seconds]}
seconds=${2:-120}
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build/fuzz
corpus=$root/fuzz/corpus/$name
[ -d "$corpus" ] || { echo "no corpus directory $corpus" >&2; exit 1; }

# The library is instrumented for coverage too (fuzzer-no-link), not only the target.
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang -DQX_FUZZ=ON -DQX_BUILD_TESTS=ON \
    -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer" \
    -DCMAKE_C_FLAGS="-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer" >/dev/null
cmake --build "$build" --target "${name}_fuzzer" -j2

work=$build/work-$name
rm -rf "$work" && mkdir -p "$work/new" "$work/merged" "$work/crashes"
cp "$corpus"/* "$work/new/"
cd "$work" # libFuzzer writes its job logs (fuzz-<n>.log) into the current directory
"$build/fuzz/${name}_fuzzer" "$work/new" -max_total_time="$seconds" -jobs=1 -workers=1 \
    -max_len=4096 -artifact_prefix="$work/crashes/" -print_final_stats=1 || {
    echo "crash or failure: see $work/crashes" >&2
    exit 1
}
# Minimise: only inputs that add coverage go into a fresh directory, which then replaces the
# saved corpus (files named regression-* are kept as they are).
"$build/fuzz/${name}_fuzzer" -merge=1 "$work/merged" "$work/new" >/dev/null 2>&1
find "$corpus" -maxdepth 1 -type f ! -name 'regression-*' -delete
cp "$work/merged"/* "$corpus/"
echo "$name: $(ls "$corpus" | wc -l) inputs, $(cat "$corpus"/* | wc -c) bytes"
