#!/usr/bin/env bash
# Installs what is missing, checks the formatting, builds both targets with
# warnings as errors (the native one with AddressSanitizer and UBSan), and
# runs clang-tidy and every test: the native build directly, the Windows
# build under Wine; then fuzzes, builds the release archives, checks them and
# checks that a second build gives the same bytes.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
status=0

echo "== formatting (clang-format)"
# Every C++ file, which covers the changed ones whatever the base.
git ls-files '*.c' '*.cpp' '*.h' | xargs clang-format --dry-run --Werror || status=1

echo "== clang-tidy"
if tidy=$(bash scripts/tidy.sh 2>&1); then echo "$tidy" | tail -1; else echo "$tidy"; status=1; fi

bash scripts/build.sh all -DRAMGAUGE_WERROR=ON -DRAMGAUGE_SANITIZE=ON

echo "== native tests"
(cd build/native && ctest --output-on-failure --timeout 300) || status=1

echo "== fuzzing the readers and writers for 60 s"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz >/dev/null
(cd build/fuzz && ctest -L fuzz -V --timeout 300 >fuzz.log 2>&1) ||
    { tail -40 build/fuzz/fuzz.log; status=1; }
grep -E 'INITED|Done [0-9]+ runs|tests passed' build/fuzz/fuzz.log || true

echo "== Windows tests under Wine"
export WINEDEBUG=-all WINEDLLOVERRIDES="winedbg.exe=d"
# The 64-bit tree runs under Wine's 64-bit loader, as its toolchain found it.
wine64=$(sed -n 's/^WINE_PROGRAM:FILEPATH=//p' build/windows64/CMakeCache.txt)
prefixes=()
trap 'for p in "${prefixes[@]}"; do WINEPREFIX=$p wineserver -k >/dev/null 2>&1 || true; rm -rf "$p"; done' EXIT
# A Wine prefix of its own (WINEARCH names its kind), with its server and
# first boot started detached, so that ctest does not wait on Wine's helper
# processes. The loader's command may start with scripts/with-qemu-i386.sh:
# the server is the 64-bit one and serves the 32-bit programs that start
# inside the emulator's namespace.
start_wine_prefix() { # WINEARCH, the Wine loader's command
    WINEPREFIX=$(mktemp -d /tmp/ramgauge-wine.XXXXXX)
    prefixes+=("$WINEPREFIX")
    export WINEPREFIX WINEARCH=$1
    shift
    setsid wineserver -p </dev/null >/dev/null 2>&1 &
    setsid "$@" wineboot -i </dev/null >/dev/null 2>&1 &
    for _ in $(seq 1 240); do
        [ -f "$WINEPREFIX/system.reg" ] && [ -d "$WINEPREFIX/drive_c/Program Files" ] && break
        sleep 1
    done
    sleep 2
    # A first program started in a new prefix sometimes fails with
    # "ShellExecuteEx failed" while Wine still settles: start one that does
    # nothing before the tests.
    "$@" cmd /c exit >/dev/null 2>&1 || true
}
# Some virtual machines' kernels start no 32-bit programs at all (IA-32
# emulation off), and 32-bit Wine with them. There every 32-bit program of
# the suite and of the win32 archive's trial starts through qemu-user, in a
# namespace of its own (scripts/with-qemu-i386.sh); where that cannot be set
# up either, the 32-bit suite cannot run, and the summary says why. Any
# other failure of Wine is left to the suite to show.
run32=()
runs_32bit=yes
how_32bit="natively"
timeout_32bit=300
time_factor=1
under_emulation=0
if ! said=$(wine --version 2>&1) && [[ $said == *"Exec format error"* ]]; then
    if emulated=$(scripts/with-qemu-i386.sh wine --version 2>&1); then
        run32=("$PWD/scripts/with-qemu-i386.sh")
        # Each 32-bit program starts several times slower: the limit that
        # catches a hung test grows with it, and the time bounds of the
        # cases count twice (RAMGAUGE_TIME_FACTOR; the deadlines themselves
        # are still checked in the answers).
        timeout_32bit=600
        time_factor=2
        under_emulation=1
        how_32bit="through $(qemu-i386 --version | head -1), as this machine starts no 32-bit programs"
    else
        runs_32bit=
        not_run="this machine does not start 32-bit programs ($said), and qemu-user cannot start them here: $emulated"
    fi
fi
# Where both start natively, the 32-bit and the 64-bit suites run side by
# side, each in a prefix of its own: most of their time is Wine starting
# programs, not work. Under emulation the 32-bit suite needs the machine's
# processors itself, and its deadline cases and the 64-bit suite's time
# bounds fail when they share them: it runs after the 64-bit suite. Under
# Wine a test that cannot even start is tried once more: a failure of the
# program itself fails both times.
windows_log=$(mktemp /tmp/ramgauge-windows-tests.XXXXXX)
run_32bit_suite() {
    start_wine_prefix win32 "${run32[@]}" wine
    local started=$SECONDS code=0
    (cd build/windows &&
        RAMGAUGE_TIME_FACTOR=$time_factor RAMGAUGE_EMULATED=$under_emulation "${run32[@]}" \
            ctest --output-on-failure --timeout "$timeout_32bit" --repeat until-pass:2) \
        >"$windows_log" 2>&1 || code=$?
    echo "$code $((SECONDS - started))" >"$windows_log.end"
}
if [ -n "$runs_32bit" ] && [ "$under_emulation" = 0 ]; then
    run_32bit_suite &
    windows_tests=$!
fi
# Where 32-bit programs start only through the emulator, the 64-bit
# prefix is made through it too: its first boot sets up the 32-bit half
# (syswow64) with 32-bit programs, which the win32 archive's trial needs.
start_wine_prefix win64 "${run32[@]}" "$wine64"
started_64bit=$SECONDS
(cd build/windows64 && ctest --output-on-failure --timeout 300 --repeat until-pass:2) \
    >"$windows_log.64" 2>&1 || status=1
seconds_64bit=$((SECONDS - started_64bit))
if [ -n "$runs_32bit" ] && [ "$under_emulation" = 1 ]; then
    # The 64-bit prefix stays current: the archives' trials below run in it.
    prefix_64bit=$WINEPREFIX
    run_32bit_suite
    export WINEPREFIX=$prefix_64bit WINEARCH=win64
fi
package_args=()
if [ -n "$runs_32bit" ]; then
    [ "$under_emulation" = 1 ] || wait $windows_tests
    read -r code seconds_32bit <"$windows_log.end"
    [ "$code" -eq 0 ] || status=1
    echo "(run $how_32bit; ${seconds_32bit} s)"
    cat "$windows_log"
    summary_32bit="ran $how_32bit: $(grep -E 'tests passed' "$windows_log" | tail -1), ${seconds_32bit} s"
else
    echo "NOT RUN: $not_run"
    echo "The 32-bit build was compiled with warnings as errors; its archive's contents are checked below."
    package_args=(--no-trial win32)
    summary_32bit="NOT RUN: $not_run"
fi
echo "== 64-bit Windows tests under Wine (${seconds_64bit} s)"
cat "$windows_log.64"
rm -f "$windows_log" "$windows_log.64" "$windows_log.end"

echo "== release archives"
# Time stamps from the commit, the same for both builds.
export SOURCE_DATE_EPOCH
SOURCE_DATE_EPOCH=$(git log -1 --format=%ct)
bash scripts/package.sh >/dev/null || status=1
# The Windows archives' trials run in the 64-bit prefix started last, which
# runs the 32-bit programs too (through the emulator where the 32-bit suite
# needed it).
WINE64=$wine64 "${run32[@]}" python3 tests/package_check.py "${package_args[@]}" || status=1
echo "== the archives again, built elsewhere: the same bytes"
bash scripts/reproducible.sh --reuse || status=1

echo "== summary"
echo "32-bit Windows suite and the win32 archive's trial: $summary_32bit"
exit $status
