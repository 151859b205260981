#!/usr/bin/env bash
# Demonstration: builds the sensor, starts sapsim with a system whose figures
# are this machine's live memory and paging, writes a logon profile with
# ramgauge-profile and runs one scan in each output mode, JSON included.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

bash scripts/setup.sh
bash scripts/build.sh native >/dev/null
bin=$root/build/native/bin

work=$(mktemp -d /tmp/ramgauge-demo.XXXXXX)
portfile=$work/sapsim.port
python3 sapsim/sapsim.py examples/sapsim.ini --lifetime 120 >"$portfile" &
sim=$!
trap 'kill $sim 2>/dev/null || true; wait $sim 2>/dev/null || true; rm -rf "$work"' EXIT
for _ in $(seq 1 50); do [ -s "$portfile" ] && break; sleep 0.1; done
port=$(head -n 1 "$portfile")
echo "sapsim listens on 127.0.0.1:$port"

echo "demo-pass1" | "$bin/ramgauge-profile" create "$work/DEMO.P00" \
    --extcompany "Demo Company" --destination DEMO --client 100 --user monitor \
    --language E --mode R/3 --hostname sapdemo --sysnr 00 \
    --gwhost 127.0.0.1 --gwservice "$port"
(cd "$work" && "$bin/ramgauge-profile" check DEMO)

for mode in EXEXML Pinnace Kestrel Tamarack Bramble Json; do
    dir=$work/$mode
    mkdir -p "$dir"
    cp "$work/DEMO.P00" "$dir/"
    [ "$mode" = EXEXML ] || : >"$dir/Ramgauge.$mode"
    echo
    echo "=== $mode: ramgauge DEMO"
    status=0
    (cd "$dir" && "$bin/ramgauge" DEMO) || status=$?
    echo "=== exit code $status"
done
