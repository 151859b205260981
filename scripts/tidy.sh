#!/usr/bin/env bash
# Runs clang-tidy with the checks of .clang-tidy over every C and C++ file of
# the programs, the stand-in library and the tests (the fuzz target
# included), on a tree of its own (build/tidy, clang, compile commands).
# Prints each finding and their count; exits 1 when there is any.
set -euo pipefail
cd "$(dirname "$0")/.."
rm -rf build/tidy
cmake -S . -B build/tidy -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_EXPORT_COMPILE_COMMANDS=ON \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DRAMGAUGE_FUZZ=ON >/dev/null
log=build/tidy/clang-tidy.log
run-clang-tidy -quiet -p build/tidy -j "$(nproc)" \
    "^$PWD/(common|config|run|rfc|measure|output|tools|librfc32|tests)/" >"$log" 2>&1 || true
findings=$(grep -cE '(warning|error): ' "$log" || true)
grep -E -A3 '(warning|error): ' "$log" || true
echo "clang-tidy: $findings findings"
[ "$findings" -eq 0 ]
