#!/usr/bin/env bash
# Line and function coverage of the fuzz target over a corpus, per source
# folder, with clang's source-based coverage. Not part of CI (it builds a
# tree of its own). Usage, from any directory:
#   bash scripts/fuzz_coverage.sh SOURCE_TREE BUILD_DIR CORPUS_DIR...
# SOURCE_TREE may be another checkout (an older commit, for a comparison).
set -euo pipefail
source_tree=$(cd "$1" && pwd)
build=$2
shift 2
flags="-fprofile-instr-generate -fcoverage-mapping"
cmake -S "$source_tree" -B "$build" -G Ninja -DCMAKE_C_COMPILER=clang \
    -DCMAKE_CXX_COMPILER=clang++ -DRAMGAUGE_FUZZ=ON "-DCMAKE_C_FLAGS=$flags" \
    "-DCMAKE_CXX_FLAGS=$flags" >/dev/null
cmake --build "$build" --target fuzz_readers >/dev/null
build=$(cd "$build" && pwd)
rm -f "$build"/cov-*.profraw
# Each input once; the target may end the process on a fatal RFC error, so
# every process writes a profile of its own.
(cd "$build" && LLVM_PROFILE_FILE="$build/cov-%p.profraw" bin/fuzz_readers -runs=0 \
    -max_len=4096 "$@" >/dev/null 2>&1)
llvm-profdata-14 merge -sparse "$build"/cov-*.profraw -o "$build/cov.profdata"
# Per folder, from the files the target links; a folder none of whose files
# is linked in shows as "-".
llvm-cov-14 export "$build/bin/fuzz_readers" -instr-profile="$build/cov.profdata" \
    -summary-only | python3 -c '
import json, sys
root = sys.argv[1] + "/"
totals = {}
for f in json.load(sys.stdin)["data"][0]["files"]:
    name = f["filename"]
    if not name.startswith(root): continue
    folder = name[len(root):].split("/")[0]
    t = totals.setdefault(folder, [0, 0, 0, 0])
    s = f["summary"]
    t[0] += s["lines"]["count"]; t[1] += s["lines"]["covered"]
    t[2] += s["functions"]["count"]; t[3] += s["functions"]["covered"]
print("%-10s %16s %16s" % ("folder", "lines", "functions"))
for folder in ["common", "config", "rfc", "run", "measure", "output", "librfc32"]:
    t = totals.get(folder)
    if not t:
        print("%-10s %16s %16s" % (folder + "/", "-", "-")); continue
    print("%-10s %5d/%4d %5.1f%% %5d/%4d %5.1f%%" % (folder + "/", t[1], t[0],
          100.0 * t[1] / t[0], t[3], t[2], 100.0 * t[3] / t[2]))
' "$source_tree"
