#!/usr/bin/env bash
# What a parallel item run costs: a list of 100 healthy systems with the
# default options (,PARALLEL=8) against the same list one after the other
# (,PARALLEL=1), side by side in one hyperfine run, wall and CPU; and the
# wall time of 100 systems of which 13 are dead or hung, natively and, when
# a Windows build is given, under Wine. Prints the figures against their
# goals and exits non-zero when a goal is missed by more than the noise
# measured in the same run. scripts/bench.sh calls it with its own build.
#   scripts/bench_parallel.sh BIN_DIR [RUNS] [WINDOWS_BIN_DIR]
# BIN_DIR holds ramgauge and librfc32.so; WINDOWS_BIN_DIR ramgauge.exe and
# librfc32.dll of a 64-bit Windows build, run with the Wine loader WINE64
# (default /usr/lib/wine/wine64) in the prefix WINEPREFIX (default a new one
# under /tmp).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
bin=$(cd "$1" && pwd)
runs=${2:-20}
winbin=${3:+$(cd "$3" && pwd)}

work=$(mktemp -d /tmp/ramgauge-bench-parallel.XXXXXX)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

# One sapsim for every list: the healthy system, one that drops each
# connection (DRP) and one that logs on and never answers the call (HNG,
# which costs the library's receive wait of 20 s).
python3 - "$work" <<'PY'
import sys
sys.path.insert(0, "tests/e2e")
from fixtures import profile, system
work = sys.argv[1]
open(work + "/sapsim.ini", "w").write(
    system() + system("HNG", host="saphang", sysnr="09", fault="hang") +
    system("DRP", host="sapdrop", sysnr="08", fault="hangup"))
PY
python3 sapsim/sapsim.py "$work/sapsim.ini" --lifetime 3600 >"$work/port" 2>"$work/sapsim.log" &
pids+=($!)
# A port that never answers a handshake: a listener whose full queue is
# never accepted, as a powered-off host.
python3 -c "
import socket, sys, time
s = socket.socket(); s.bind(('127.0.0.1', 0)); s.listen(0)
print(s.getsockname()[1], flush=True)
fill = []
for _ in range(3):
    c = socket.socket(); c.setblocking(False); c.connect_ex(('127.0.0.1', s.getsockname()[1])); fill.append(c)
time.sleep(3600)" >"$work/silent.port" &
pids+=($!)
for _ in $(seq 1 50); do [ -s "$work/port" ] && [ -s "$work/silent.port" ] && break; sleep 0.1; done
port=$(head -n 1 "$work/port")
silent=$(head -n 1 "$work/silent.port")

# The lists: healthy/ holds 100 entries of one healthy profile, dead/ 100
# profiles of which four point at a closed port, three at the silent one,
# three at DRP and three at HNG.
python3 - "$work" "$port" "$silent" <<'PY'
import os, socket, sys
sys.path.insert(0, "tests/e2e")
from fixtures import profile
work, port, silent = sys.argv[1:]
closed = socket.socket(); closed.bind(("127.0.0.1", 0)); closed_port = closed.getsockname()[1]
closed.close()
os.mkdir(work + "/healthy")
open(work + "/healthy/P.P00", "w").write(profile(Gwservice=port))
# Lines of at most 198 characters: 25 entries each.
open(work + "/healthy/Quadrant.Prf", "w").write(
    "".join("# Gsng: 123456789012" + "P.P00#" * 25 + "\n" for _ in range(4)))
os.mkdir(work + "/dead")
lines = []
for n in range(100):
    name = "S%02d.P00" % n
    if n in (3, 31, 62, 90):
        text = profile(Gwservice=str(closed_port))
    elif n in (7, 44, 77):
        text = profile(Gwservice=silent)
    elif n in (12, 55, 98):
        text = profile(Destination="DRP", Hostname="sapdrop", Sysnr="08", Gwservice=port)
    elif n in (20, 50, 80):
        text = profile(Destination="HNG", Hostname="saphang", Sysnr="09", Gwservice=port)
    else:
        text = profile(Gwservice=port)
    open(work + "/dead/" + name, "w").write(text)
    lines.append("# Gsng: 123456789012%s#\n" % name)
open(work + "/dead/Quadrant.Prf", "w").write("".join(lines))
PY
for list in healthy dead; do cp "$bin/ramgauge" "$bin/librfc32.so" "$work/$list/"; done

item="./ramgauge PROD ITEM=Pages-In:[/Sec]"
(cd "$work/healthy" && hyperfine -N -i --warmup 3 --runs "$runs" \
    --export-json ../healthy100.json "$item" "$item,PARALLEL=1" >/dev/null 2>>../hyperfine.log)
(cd "$work/dead" && hyperfine -N -i --runs 1 --export-json ../dead100.json "$item" \
    >/dev/null 2>>../hyperfine.log)

if [ -n "$winbin" ]; then
    export WINEPREFIX=${WINEPREFIX:-$work/wine} WINEARCH=win64 WINEDEBUG=-all \
        WINEDLLOVERRIDES=winedbg.exe=d
    wine=${WINE64:-/usr/lib/wine/wine64}
    server=$(dirname "$wine")/wineserver
    [ -d "$WINEPREFIX" ] || "$wine" wineboot -i >/dev/null 2>&1
    "$server" -p 2>/dev/null || true
    mkdir "$work/dead-wine"
    cp "$work"/dead/*.P00 "$work/dead/Quadrant.Prf" "$winbin/ramgauge.exe" "$winbin/librfc32.dll" \
        "$work/dead-wine/"
    # One run to warm Wine up (its first start in a prefix is slow), then
    # the timed one.
    (cd "$work/healthy" && cp "$winbin/ramgauge.exe" "$winbin/librfc32.dll" . &&
        "$wine" ./ramgauge.exe PROD "ITEM=Pages-In:[/Sec],PARALLEL=1" >/dev/null)
    (cd "$work/dead-wine" && hyperfine -N -i --runs 1 --export-json ../dead100-wine.json \
        "$wine ./ramgauge.exe PROD ITEM=Pages-In:[/Sec]" >/dev/null 2>>../hyperfine.log)
fi

cd "$work"
python3 - <<'PY'
import json, os, sys

def results(name):
    return json.load(open(name + ".json"))["results"]

rows, missed = [], []

def check(figure, value, goal, noise, text):
    ok = value <= goal * (1 + noise)
    rows.append((figure, text, "<=%s" % goal,
                 "met" if value <= goal else ("within noise" if ok else "MISSED")))
    if not ok:
        missed.append(figure)

parallel, sequential = results("healthy100")
noise = ((parallel["stddev"] or 0) / parallel["mean"] +
         (sequential["stddev"] or 0) / sequential["mean"])
wall = parallel["median"] / sequential["median"]
check("healthy 100 systems, parallel vs one by one, wall", wall, 1.3, noise,
      "%.2fx (%.0f ms vs %.0f ms, noise %.0f%%)"
      % (wall, parallel["median"] * 1e3, sequential["median"] * 1e3, noise * 100))
cpu_p = parallel["user"] + parallel["system"]
cpu_s = sequential["user"] + sequential["system"]
check("healthy 100 systems, parallel vs one by one, CPU", cpu_p / cpu_s, 1.3, noise,
      "%.2fx (%.0f ms vs %.0f ms)" % (cpu_p / cpu_s, cpu_p * 1e3, cpu_s * 1e3))
# ,CONNECT= (5 s) and the hung systems' receive wait (20 s), with half again.
bound = 1.5 * (5 + 20)
native = results("dead100")[0]["median"]
check("100 systems, 13 dead or hung, parallel", native, bound, 0, "%.1f s" % native)
if os.path.exists("dead100-wine.json"):
    wine = results("dead100-wine")[0]["median"]
    check("100 systems, 13 dead or hung, parallel, under Wine", wine, bound, 0,
          "%.1f s (natively %.1f s)" % (wine, native))

width = max(len(r[0]) for r in rows)
for figure, text, goal, verdict in rows:
    print("%-*s  %-44s %-7s %s" % (width, figure, text, goal, verdict))
if missed:
    print("\nmissed beyond the noise: " + ", ".join(missed))
    sys.exit(1)
PY
