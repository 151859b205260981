#!/usr/bin/env python3
"""Load test: many sensors started at once in one working folder, as PRTG
does on a probe. Half of them log on through destination files of their
own, and some systems fail. Every answer must equal the answer that sensor
gives when it runs alone, and the folder must hold afterwards what it held
before (apart from the RFC library's own trace file).
"""
import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "e2e"))

from fixtures import profile, system  # noqa: E402
from run_cases import SAPSIM, write_file  # noqa: E402

# Distinct figures per system, so that an answer with another system's
# figures shows; the last system fails every call the same way.
SYSTEMS = [("SAP%d" % n, "sap%d" % n, "%02d" % n) for n in range(1, 7)]
FAILING = "SAP6"


def sapsim_config():
    text = ""
    for name, host, sysnr in SYSTEMS:
        n = int(sysnr)
        settings = {"phys_mem": 1000000 * n, "free_mem": 100000 * n, "in_pg_sec": n,
                    "out_pg_sec": 10 * n}
        if name == FAILING:
            settings["fault"] = "failure"
        text += system(name, host=host, sysnr=sysnr, **settings)
    return text


def sensor_files(count, port):
    """Profiles S00.. and, for every second one, its destination file."""
    files = {}
    for n in range(count):
        name, host, sysnr = SYSTEMS[n % len(SYSTEMS)]
        destination = "D%02d" % n
        if n % 2 == 0:
            files["S%02d.P00" % n] = profile(Destination=destination, Hostname="nowhere",
                                             Gwhost="nowhere", Gwservice="nope")
            files["SapRfc." + destination] = (
                "DEST=%s\r\nTYPE=A\r\nASHOST=%s\r\nSYSNR=%s\r\nGWHOST=127.0.0.1\r\n"
                "GWSERV=%s\r\n" % (destination, host, sysnr, port))
        else:
            files["S%02d.P00" % n] = profile(Destination=destination, Hostname=host,
                                             Sysnr=sysnr, Gwservice=port)
    return files


def command(program, wine, n):
    return (["wine", program] if wine else [program]) + ["S%02d" % n]


def run_alone(program, wine, folder, env, n):
    proc = subprocess.run(command(program, wine, n), cwd=folder, env=env, timeout=120,
                          stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    return proc.stdout, proc.returncode


def run_together(program, wine, folder, env, count):
    procs = [subprocess.Popen(command(program, wine, n), cwd=folder, env=env,
                              stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
             for n in range(count)]
    results = []
    for proc in procs:
        out, _ = proc.communicate(timeout=300)
        results.append((out, proc.returncode))
    return results


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--program", required=True)
    parser.add_argument("--wine", action="store_true")
    parser.add_argument("--sensors", type=int, default=50)
    parser.add_argument("--rounds", type=int, default=5)
    opts = parser.parse_args()
    program = os.path.abspath(opts.program)

    root = os.path.join(os.environ["WINEPREFIX"], "drive_c") if opts.wine else None
    work = tempfile.mkdtemp(prefix="load-", dir=root)
    folder = os.path.join(work, "EXEXML")
    tmp = os.path.join(work, "tmp")
    os.makedirs(folder)
    os.makedirs(tmp)
    env = dict(os.environ) if opts.wine else dict(os.environ, TMPDIR=tmp)
    config = os.path.join(work, "sapsim.ini")
    write_file(config, sapsim_config())
    sapsim = subprocess.Popen([sys.executable, SAPSIM, config, "--lifetime", "1800"],
                              stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    try:
        port = sapsim.stdout.readline().decode().strip()
        files = sensor_files(opts.sensors, port)
        for name, content in files.items():
            write_file(os.path.join(folder, name), content)
        placed = set(files)

        alone = [run_alone(program, opts.wine, folder, env, n) for n in range(opts.sensors)]
        failing = sum(1 for _, code in alone if code != 0)
        if failing == 0 or failing == opts.sensors:
            print("load: the reference runs should mix answers and failures")
            return 1

        wrong = 0
        for round_number in range(1, opts.rounds + 1):
            started = time.monotonic()
            results = run_together(program, opts.wine, folder, env, opts.sensors)
            bad = [n for n in range(opts.sensors) if results[n] != alone[n]]
            for n in bad[:3]:
                print("  S%02d alone: %r\n  S%02d together: %r" % (n, alone[n], n, results[n]))
            wrong += len(bad)
            print("load: round %d: %d sensors at once in %.1f s, %d wrong" % (
                round_number, opts.sensors, time.monotonic() - started, len(bad)), flush=True)

        left = set(os.listdir(folder)) - placed - {"Dev_Rfc.Trc"}
        strays = os.listdir(tmp)
        if opts.wine:
            strays += [n for _, _, names in os.walk(os.path.join(os.environ["WINEPREFIX"],
                                                                 "drive_c", "users"))
                       for n in names if re.fullmatch(r"ramgauge-\d+-SapRfc\.ini", n)]
        if left or strays:
            print("load: left behind: %r %r" % (sorted(left), strays))
            wrong += 1
        total = opts.sensors * opts.rounds
        print("load: %d answers (%d failing systems per round), %d wrong" % (
            total, failing, wrong))
        return 1 if wrong else 0
    finally:
        sapsim.kill()
        sapsim.wait()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
