#!/usr/bin/env bash
# Installs what is missing, builds both targets with warnings as errors (the
# native one with AddressSanitizer and UBSan), and runs every test: the
# native build directly, the Windows build under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
bash scripts/build.sh all -DRAMGAUGE_WERROR=ON -DRAMGAUGE_SANITIZE=ON

status=0
echo "== native tests"
(cd build/native && ctest --output-on-failure --timeout 300) || status=1

echo "== fuzzing the readers and writers for 60 s"
cmake -S . -B build/fuzz -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DRAMGAUGE_FUZZ=ON -DRAMGAUGE_SANITIZE=ON >/dev/null
cmake --build build/fuzz --target fuzz_readers >/dev/null
# The seeds stay as they are in the repository; what the run adds goes to a
# corpus of its own.
rm -rf build/fuzz/corpus && mkdir -p build/fuzz/corpus
(cd build/fuzz && bin/fuzz_readers -max_total_time=60 -max_len=4096 corpus \
    ../../tests/fuzz/corpus >fuzz.log 2>&1) || { tail -40 build/fuzz/fuzz.log; status=1; }
grep -E 'INITED|^Done [0-9]+ runs' build/fuzz/fuzz.log || true

echo "== Windows tests under Wine"
export WINEPREFIX
WINEPREFIX=$(mktemp -d /tmp/ramgauge-wine.XXXXXX)
export WINEDEBUG=-all WINEDLLOVERRIDES="winedbg.exe=d"
trap 'wineserver -k >/dev/null 2>&1 || true; rm -rf "$WINEPREFIX"' EXIT
# Started detached, so that ctest does not wait on Wine's helper processes.
setsid wineserver -p </dev/null >/dev/null 2>&1 &
setsid wineboot -i </dev/null >/dev/null 2>&1 &
for _ in $(seq 1 120); do
    [ -f "$WINEPREFIX/system.reg" ] && [ -d "$WINEPREFIX/drive_c/Program Files" ] && break
    sleep 1
done
sleep 2
(cd build/windows && ctest --output-on-failure --timeout 300) || status=1

exit $status
