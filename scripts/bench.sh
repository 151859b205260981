#!/usr/bin/env bash
# Benchmark: what one scan costs next to a bare network client, and what is
# shipped. Installs hyperfine, builds a plain Release tree and the static C
# floor client (bench/floor.c), starts sapsim, times each pair in one
# hyperfine run, and prints the ratios, peak memory and shipped sizes against
# their goals. Exits non-zero when a goal is missed by more than the noise
# measured in the same run. Not part of CI: shared machines are too noisy.
#   scripts/bench.sh [RUNS]      (default 200 runs per command)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
runs=${1:-200}

bash scripts/setup.sh
if ! command -v hyperfine >/dev/null; then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get install -y -qq hyperfine >/dev/null
fi

build=$root/build/bench
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target ramgauge librfc32 nwrfc >/dev/null
cc -O2 -static -o "$build/floor" bench/floor.c
cc -O2 -DREQUIRED_WORK -o "$build/floor-required" bench/floor.c -ldl
bash scripts/package.sh >/dev/null

work=$(mktemp -d /tmp/ramgauge-bench.XXXXXX)
python3 - "$work" <<'PY'
import sys
sys.path.insert(0, "tests/e2e")
from fixtures import profile, system
work = sys.argv[1]
open(work + "/sapsim.ini", "w").write(system())
open(work + "/profile.template", "w").write(profile())
PY
python3 sapsim/sapsim.py "$work/sapsim.ini" --lifetime 3600 >"$work/port" &
sim=$!
trap 'kill $sim 2>/dev/null || true; wait $sim 2>/dev/null || true; rm -rf "$work"' EXIT
for _ in $(seq 1 50); do [ -s "$work/port" ] && break; sleep 0.1; done
port=$(head -n 1 "$work/port")
sed "s/{port}/$port/" "$work/profile.template" >"$work/PRD.P00"
cp "$build/bin/ramgauge" "$build/bin/librfc32.so" "$build/floor" "$build/floor-required" "$work/"
# The same program beside the NetWeaver stand-in only: the other back end.
mkdir "$work/nw"
cp "$build/bin/ramgauge" "$build/bin/libsapnwrfc.so" "$work/nw/"
# The same program beside the shipped limits file: limits and a fifth channel.
mkdir "$work/limits"
cp "$build/bin/ramgauge" "$build/bin/librfc32.so" docs/Ramgauge.Limits "$work/limits/"

cd "$work"
pair() { # name, command A, command B
    hyperfine -N -i --warmup 20 --runs "$runs" --export-json "$1.json" "$2" "$3" \
        >/dev/null 2>>hyperfine.log
}
pair scan "./ramgauge PRD" "./floor $port"
pair scan_nw "./nw/ramgauge PRD" "./floor $port"
pair limits "./limits/ramgauge PRD" "./ramgauge PRD"
pair e1002 "./ramgauge NONE" "/bin/true"
# What the required work alone costs (libc linked dynamically, the library
# loaded, the check's connection): where the sensor's own cost begins.
pair required "./floor-required $port" "./floor $port"
pair required_items "./floor-required $port 1" "./floor $port 1"
# A list holds at most 2047 characters: 341 entries of "P.P00#" at most.
cp PRD.P00 P.P00
for n in 1 10 100 341; do
    # Lines of at most 198 characters: 29 entries each.
    python3 -c "import sys; n=int(sys.argv[1]); [print('# Gsng: 123456789012' +
        'P.P00#' * min(29, n - i)) for i in range(0, n, 29)]" "$n" >Quadrant.Prf
    # One after the other: the cost per system next to the floor's.
    pair "items$n" "./ramgauge PROD ITEM=Pages-In:[/Sec],PARALLEL=1" "./floor $port $n"
done
for i in $(seq 1 30); do /usr/bin/time -f "%M" ./ramgauge PRD 2>>rss.scan >/dev/null; done
for i in $(seq 1 30); do /usr/bin/time -f "%M" ./floor "$port" 2>>rss.floor >/dev/null; done

status=0
python3 - "$root/dist" <<'PY' || status=$?
import json, os, statistics, sys, tarfile, zipfile

def load(name):
    results = json.load(open(name + ".json"))["results"]
    return results[0], results[1]

def ratio(name, key="median"):
    a, b = load(name)
    # The noise of a pair: the spread of both, relative to their means.
    # A single run has no spread.
    noise = (a["stddev"] or 0) / a["mean"] + (b["stddev"] or 0) / b["mean"]
    if key == "cpu":
        va, vb = a["user"] + a["system"], b["user"] + b["system"]
    else:
        va, vb = a["median"], b["median"]
    return va / vb, noise, va, vb

rows, missed = [], []

def check(figure, value, goal, noise, text):
    ok = value <= goal * (1 + noise)
    rows.append((figure, text, "<= %s" % (goal if isinstance(goal, str) else goal),
                 "met" if value <= goal else ("within noise" if ok else "MISSED")))
    if not ok:
        missed.append(figure)

r, n, a, b = ratio("scan")
check("one scan vs floor client, wall", r, 1.3, n,
      "%.2fx (%.2f ms vs %.2f ms, noise %.0f%%)" % (r, a * 1e3, b * 1e3, n * 100))
r, n, a, b = ratio("scan_nw")
check("one scan through NetWeaver stand-in vs floor, wall", r, 1.3, n,
      "%.2fx (%.2f ms vs %.2f ms, noise %.0f%%)" % (r, a * 1e3, b * 1e3, n * 100))
r, n, a, b = ratio("scan", "cpu")
check("one scan vs floor client, CPU", r, 1.6, n,
      "%.2fx (%.2f ms vs %.2f ms)" % (r, a * 1e3, b * 1e3))
r, n, a, b = ratio("limits")
check("one scan with the limits file vs without, wall", r, 1.05, n,
      "%.2fx (%.2f ms vs %.2f ms, noise %.0f%%)" % (r, a * 1e3, b * 1e3, n * 100))
r, n, a, b = ratio("e1002")
check("error 1002 vs /bin/true, wall", r, 1.3, n,
      "%.2fx (%.2f ms vs %.2f ms)" % (r, a * 1e3, b * 1e3))
# Informational: the least any sensor of this kind costs, and what the
# sensor adds to it, measured in the same run.
for name, sensor, what in (("required", "scan", "one scan"),
                           ("required_items", "items1", "item mode, 1 system")):
    r, n, a, b = ratio(name)
    required, sensed = load(name)[0], load(sensor)[0]
    own_wall = sensed["median"] - required["median"]
    own_cpu = (sensed["user"] + sensed["system"]) - (required["user"] + required["system"])
    rows.append(("required work alone, %s, vs floor" % what,
                 "%.2fx (%.2f ms); sensor adds %+.2f ms wall, %+.2f ms CPU"
                 % (r, a * 1e3, own_wall * 1e3, own_cpu * 1e3), "info", ""))
scan_rss = statistics.median(int(l) for l in open("rss.scan"))
floor_rss = statistics.median(int(l) for l in open("rss.floor"))
check("peak RSS of one scan", scan_rss / 1024, 2.0, 0.05,
      "%.2f MB (floor client %.2f MB)" % (scan_rss / 1024, floor_rss / 1024))
per_system = []
for n_systems in (1, 10, 100, 341):
    r, n, a, b = ratio("items%d" % n_systems)
    per_system.append((n_systems, a, b, r))
    check("item mode one by one, %d systems, vs floor" % n_systems, r, 1.2, n,
          "%.2fx (%.2f ms vs %.2f ms)" % (r, a * 1e3, b * 1e3))
# Linear: the cost per system of the largest list stays near that of 10.
per10 = (per_system[1][1] - per_system[0][1]) / 9
per341 = (per_system[3][1] - per_system[0][1]) / 340
check("item mode, cost per system 341 vs 10", per341 / per10, 1.2, 0.1,
      "%.3f ms vs %.3f ms per system" % (per341 * 1e3, per10 * 1e3))

dist = sys.argv[1]
for archive in sorted(os.listdir(dist)):
    if "-debug" in archive or not archive.endswith((".zip", ".tar.gz")):
        continue
    path = os.path.join(dist, archive)
    if archive.endswith(".zip"):
        sizes = {i.filename.split("/", 1)[1]: i.file_size for i in zipfile.ZipFile(path).infolist()}
    else:
        sizes = {m.name.split("/", 1)[1]: m.size for m in tarfile.open(path) if "/" in m.name}
    for name in ("ramgauge.exe", "simulator/librfc32.dll", "simulator/sapnwrfc.dll", "ramgauge",
                 "simulator/librfc32.so", "simulator/libsapnwrfc.so"):
        if name in sizes:
            platform = archive.split("-")[2].split(".")[0]  # ramgauge-<version>-<platform>...
            check("%s as shipped (%s)" % (name, platform), sizes[name] / 2**20, 1.0, 0,
                  "%.2f MB" % (sizes[name] / 2**20))

width = max(len(r[0]) for r in rows)
print("%-*s  %-44s %-7s %s" % (width, "figure", "now", "goal", ""))
for figure, text, goal, verdict in rows:
    print("%-*s  %-44s %-7s %s" % (width, figure, text, goal.replace("<= ", "<="), verdict))
if missed:
    print("\nmissed beyond the noise: " + ", ".join(missed))
    sys.exit(1)
print("\nall goals met")
PY
# The parallel item run: a healthy list against the run one after the
# other, and a list with dead and hung systems, natively and under Wine
# (with the 64-bit Windows build that package.sh has made). At most 50 runs:
# each costs a list of 100 systems.
cd "$root"
windows_bin=""
[ -x /usr/lib/wine/wine64 ] && [ -f build/package-windows64/bin/ramgauge.exe ] &&
    windows_bin=build/package-windows64/bin
bash scripts/bench_parallel.sh "$build/bin" "$((runs < 50 ? runs : 50))" $windows_bin || status=$?
exit $status
