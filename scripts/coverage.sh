#!/usr/bin/env bash
# Line and branch coverage of src/ by the Linux suites: a gcov-instrumented build without
# sanitizers (they would distort the counts), every Linux test, then gcovr's summary and a
# per-file table in build/coverage/coverage.txt. Installs gcovr when it is missing.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
jobs=$(nproc 2>/dev/null || echo 2)
out=build/coverage

bash scripts/setup.sh --linux-only
if ! command -v gcovr >/dev/null 2>&1; then
    apt-get update -qq || true
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq gcovr
fi

# Always a fresh tree: notes left by objects of since-deleted sources would be merged with the
# current ones and make gcovr stop on their old line numbers.
rm -rf "$out"
cmake -S . -B "$out" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQX_FAULT_INJECTION=ON \
    -DCMAKE_C_FLAGS=--coverage -DCMAKE_CXX_FLAGS=--coverage \
    -DCMAKE_EXE_LINKER_FLAGS=--coverage >/dev/null
cmake --build "$out" -j "$jobs"
find "$out" -name '*.gcda' -delete
# A failing test is reported but does not stop the measurement: coverage is what is asked here.
(cd "$out" && ctest -j "$jobs" --output-on-failure) || echo "coverage: some tests failed" >&2

# gcovr also reads .gcov files it finds under the root: none may be left from an interrupted run.
find . -maxdepth 1 -name '*.gcov' -delete
# gcc 12 writes negative branch counts for threaded code, which gcovr 5.2 rejects without this.
ignore=()
gcovr --help 2>/dev/null | grep -q -- --gcov-ignore-parse-errors && ignore=(--gcov-ignore-parse-errors)
gcovr -r . --object-directory "$out" --filter 'src/' "${ignore[@]}" -j "$jobs" \
    --txt "$out/coverage.txt" --print-summary --txt-metric=line 2>/dev/null \
    || gcovr -r . --object-directory "$out" --filter 'src/' "${ignore[@]}" -j "$jobs" \
        -o "$out/coverage.txt" --print-summary
gcovr -r . --object-directory "$out" --filter 'src/' "${ignore[@]}" -j "$jobs" --branches \
    -o "$out/coverage-branches.txt" >/dev/null
echo "coverage: per-file lines in $out/coverage.txt, branches in $out/coverage-branches.txt"
