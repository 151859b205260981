#!/usr/bin/env python3
"""Load test: many sensors started at once in one working folder, as PRTG
does on a probe, all with ",SYSLOG". Half of them log on through destination
files of their own; some systems are healthy, others fail each in a way of
its own (a refused logon, a failed call, an exception, a dropped
connection), each with a text of its own. Every answer must equal the
answer that sensor gives when it runs alone (so no answer quotes another
sensor's failure), the shared Ramgauge.Log must hold every line of every
run whole, and the folder must hold afterwards what it held before (apart
from the shared logs).
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
from run_cases import LIBRARIES, SAPSIM, WINE, left_in, write_file  # noqa: E402

# Distinct figures per system, so that an answer with another system's
# figures shows; the failing systems fail each in its own way and words.
SYSTEMS = [("SAP%d" % n, "sap%d" % n, "%02d" % n) for n in range(1, 10)]
FAULTS = {
    "SAP5": "refuse user SAP5 is locked",
    "SAP6": "failure SAP6 is out of work processes",
    "SAP7": "exception SAP7_NOT_AUTHORIZED",
    "SAP8": "drop",
    "SAP9": "failure SAP9 lost its database",
}
# What only one system's failure answer carries.
MARKERS = ["SAP5 is locked", "SAP6 is out", "SAP7_NOT", "connection lost", "SAP9 lost"]
TRACE_LINE = re.compile(r"-?\d+ (program started .*|NetWeaver RFC library loaded .*|"
                        r"RfcEnvironment called |RfcOpen called |"
                        r"RfcOpenEx called |RfcCall called |RfcReceive called )")


def sapsim_config():
    text = ""
    for name, host, sysnr in SYSTEMS:
        n = int(sysnr)
        settings = {"phys_mem": 1000000 * n, "free_mem": 100000 * n, "in_pg_sec": n,
                    "out_pg_sec": 10 * n}
        if name in FAULTS:
            settings["fault"] = FAULTS[name]
        text += system(name, host=host, sysnr=sysnr, **settings)
    return text


def foreign(own, other):
    """Whether an answer carries a failure text that its solo run does not."""
    return any(m in other.decode("latin-1") and m not in own.decode("latin-1") for m in MARKERS)


def log_lines(folder):
    try:
        with open(os.path.join(folder, "Ramgauge.Log"), "rb") as f:
            return f.read().decode("latin-1").splitlines()
    except OSError:
        return []


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
    return ([WINE, program] if wine else [program]) + ["S%02d" % n, ",SYSLOG"]


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
    parser.add_argument("--library", choices=sorted(LIBRARIES), default="classic",
                        help="the back end: which stand-in library lies beside the program")
    opts = parser.parse_args()
    program = os.path.abspath(opts.program)

    root = os.path.join(os.environ["WINEPREFIX"], "drive_c") if opts.wine else None
    work = tempfile.mkdtemp(prefix="load-", dir=root)
    folder = os.path.join(work, "EXEXML")
    tmp = os.path.join(work, "tmp")
    os.makedirs(folder)
    os.makedirs(tmp)
    # The program in a folder of its own, beside the back end's stand-in.
    bin_dir = os.path.join(work, "bin")
    os.makedirs(bin_dir)
    shutil.copy(program, bin_dir)
    shutil.copy(os.path.join(os.path.dirname(program), LIBRARIES[opts.library][opts.wine]),
                bin_dir)
    program = os.path.join(bin_dir, os.path.basename(program))
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
        per_round = len(log_lines(folder))

        wrong = quoted = 0
        for round_number in range(1, opts.rounds + 1):
            started = time.monotonic()
            results = run_together(program, opts.wine, folder, env, opts.sensors)
            bad = [n for n in range(opts.sensors) if results[n] != alone[n]]
            # Wine's server kills a process that is slow to be gone once
            # its threads have ended (SIGKILL, -9): the answer is whole, the
            # exit code lost. Nothing else here sends that signal.
            killed = [n for n in bad if opts.wine and results[n] == (alone[n][0], -9)]
            if killed:
                print("load: round %d: %d answered in full and were killed by Wine as they"
                      " ended" % (round_number, len(killed)))
                bad = [n for n in bad if n not in killed]
            for n in bad[:3]:
                print("  S%02d alone: %r\n  S%02d together: %r" % (n, alone[n], n, results[n]))
            wrong += len(bad)
            quoted += sum(1 for n in bad if foreign(alone[n][0], results[n][0]))
            print("load: round %d: %d sensors at once in %.1f s, %d wrong" % (
                round_number, opts.sensors, time.monotonic() - started, len(bad)), flush=True)

        lines = log_lines(folder)
        broken = [line for line in lines if not TRACE_LINE.fullmatch(line.rstrip("\r"))]
        expected = per_round * (opts.rounds + 1)
        print("load: Ramgauge.Log holds %d lines of %d, %d of them not whole" % (
            len(lines), expected, len(broken)))
        for line in broken[:3]:
            print("  not whole: %r" % line)
        if broken or len(lines) != expected:
            wrong += 1

        left = set(os.listdir(folder)) - placed - {"Dev_Rfc.Trc", "Dev_Rfc.Trc.old",
                                                    "Ramgauge.Log"}
        strays = left_in(tmp)
        if opts.wine:
            strays += [n for _, dirs, names in os.walk(os.path.join(os.environ["WINEPREFIX"],
                                                                    "drive_c", "users"))
                       for n in dirs + names if re.fullmatch(r"ramgauge-\d+-.*", n)]
        if left or strays:
            print("load: left behind: %r %r" % (sorted(left), strays))
            wrong += 1
        total = opts.sensors * opts.rounds
        print("load: %d answers (%d failing per round), %d wrong, %d with another sensor's "
              "text" % (total, failing, wrong, quoted))
        return 1 if wrong else 0
    finally:
        sapsim.kill()
        sapsim.wait()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
