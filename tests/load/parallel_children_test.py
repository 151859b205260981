#!/usr/bin/env python3
"""A parallel item run starts at most ,PARALLEL= children, however long
its list.

Each child loads the RFC library once and scans one system after another;
the library numbers its connections from 1, so with ,SYSLOG every child
that was started leaves exactly one "1 RfcOpen called" line in
Ramgauge.Log (each child is given a system as it starts, and every system
here logs on). The lines are counted for two lists of 100 systems:

- all healthy, ,PARALLEL=4: at most 4 children, and every system processed;
- ten systems that log on and never answer the call (every tenth), with
  ,PARALLEL=4 and ,TIMEOUT=6: each hung system holds its child to the
  deadline, so the run wants more children than it may start: exactly 4,
  and the healthy systems in front of the fourth hung one are processed.

A run that started a child for each system would leave 100 such lines.
Natively, a third list of 20 systems with one hung system (,PARALLEL=2):
its child, once the only one left, is killed from outside. That costs the
hung system only: the run answers at once with the 19 others processed and
leaves no run folder behind. Runs natively and under Wine (--wine, without
the third list), through either stand-in library.

    parallel_children_test.py --program PATH/TO/ramgauge [--wine] [--library nw]
"""
import argparse
import os
import re
import shutil
import subprocess
import sys
import signal
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "e2e"))

from cases_items import QUAS, gsng  # noqa: E402
from fixtures import profile, system  # noqa: E402
from run_cases import LIBRARIES, SAPSIM, WINE, write_file  # noqa: E402

MARK = b"--ramgauge-child-scanning-one-system-of-a-parallel-item-run-not-by-hand"
PARALLEL = 4
TIMEOUT = 6
SYSTEMS = 100


def child_count(log):
    """Children that logged on: each one's library's first connection."""
    return len(re.findall(rb"^1 RfcOpen called", log.replace(b"\r\n", b"\n"), re.M))


def summary(answer):
    found = re.search(r"NoSystems=(\d+), Processed=(\d+), Failed=(\d+)", answer)
    return tuple(int(n) for n in found.groups()) if found else None


def children_of(parent):
    """The ids of the children of parent that run as the program's children."""
    found = []
    for name in os.listdir("/proc"):
        try:
            with open("/proc/%s/stat" % name, "rb") as f:
                stat = f.read()
            with open("/proc/%s/cmdline" % name, "rb") as f:
                line = f.read()
        except OSError:
            continue
        if int(stat[stat.rindex(b")") + 2:].split()[1]) == parent and MARK in line:
            found.append(int(name))
    return found


def kill_lone_child(run):
    """Waits until the run has one child left, stuck a while, and kills it;
    returns when it was killed, or None."""
    time.sleep(1)
    until = time.monotonic() + 10
    while time.monotonic() < until and run.poll() is None:
        found = children_of(run.pid)
        if len(found) == 1:
            os.kill(found[0], signal.SIGKILL)
            return time.monotonic()
        time.sleep(0.05)
    return None


def run_list(opts, program, work, name, port, hung, options, systems=SYSTEMS, meanwhile=None):
    """Runs a list of systems entries in a folder of its own; hung: the
    entries whose system never answers the call; meanwhile(process) is
    called while it runs. Returns the answer, the exit code, the trace log
    and what meanwhile returned."""
    folder = os.path.join(work, name)
    os.makedirs(folder)
    names = ["S%02d.P00" % n for n in range(systems)]
    for n, entry in enumerate(names):
        if n in hung:
            text = profile(Destination="HNG", Hostname="saphang", Sysnr="09", Gwservice=port)
        else:
            text = profile(Gwservice=port)
        write_file(os.path.join(folder, entry), text)
    write_file(os.path.join(folder, QUAS), "".join(gsng(e + "#") for e in names))
    command = [program, "PROD", "ITEM=Pages-In:[/Sec]" + options]
    if opts.wine:
        command = [WINE] + command
    env = dict(os.environ)
    if not opts.wine:
        env["TMPDIR"] = os.path.join(work, "tmp")
    run = subprocess.Popen(command, cwd=folder, env=env, stdout=subprocess.PIPE,
                           stderr=subprocess.DEVNULL)
    seen = meanwhile(run) if meanwhile else None
    stdout, _ = run.communicate(timeout=120)
    log_path = os.path.join(folder, "Ramgauge.Log")
    log = open(log_path, "rb").read() if os.path.exists(log_path) else b""
    return stdout.decode("latin-1"), run.returncode, log, seen


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--program", required=True)
    parser.add_argument("--wine", action="store_true", help="run the program under Wine")
    parser.add_argument("--library", choices=sorted(LIBRARIES), default="classic")
    opts = parser.parse_args()
    root = os.path.join(os.environ["WINEPREFIX"], "drive_c") if opts.wine else None
    work = tempfile.mkdtemp(prefix="children-", dir=root)
    os.makedirs(os.path.join(work, "tmp"))
    bin_dir = os.path.join(work, "bin")
    os.makedirs(bin_dir)
    source = os.path.dirname(os.path.abspath(opts.program))
    for name in (os.path.basename(opts.program), LIBRARIES[opts.library][opts.wine]):
        shutil.copy(os.path.join(source, name), bin_dir)
    program = os.path.join(bin_dir, os.path.basename(opts.program))
    config = os.path.join(work, "sapsim.ini")
    write_file(config, system() + system("HNG", host="saphang", sysnr="09", fault="hang"))
    sapsim = subprocess.Popen([sys.executable, SAPSIM, config, "--lifetime", "300"],
                              stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    problems = []
    try:
        port = sapsim.stdout.readline().decode().strip()

        answer, code, log, _ = run_list(opts, program, work, "healthy", port, set(),
                                        ",SYSLOG,PARALLEL=%d" % PARALLEL)
        healthy = child_count(log)
        if summary(answer) != (SYSTEMS, SYSTEMS, 0) or code != 0:
            problems.append("healthy list answered %r, exit code %d" % (answer[-200:], code))
        if not 1 <= healthy <= PARALLEL:
            problems.append("healthy list: %d children started, at most %d allowed"
                            % (healthy, PARALLEL))

        hung = set(range(9, SYSTEMS, 10))
        answer, code, log, _ = run_list(opts, program, work, "hung", port, hung,
                                        ",SYSLOG,PARALLEL=%d,TIMEOUT=%d" % (PARALLEL, TIMEOUT))
        stuck = child_count(log)
        # Every child ends on a hung system: the fourth one (39) stops the
        # list, the healthy ones in front of it are processed.
        processed = sum(1 for n in range(40) if n not in hung)
        if summary(answer) != (SYSTEMS, processed, SYSTEMS - processed) or code != 0:
            problems.append("list with hung systems answered %r, exit code %d"
                            % (answer[-200:], code))
        if stuck != PARALLEL:
            problems.append("list with hung systems: %d children started, %d expected"
                            % (stuck, PARALLEL))

        if not opts.wine:
            answer, code, _, killed = run_list(opts, program, work, "killed", port, {5},
                                               ",PARALLEL=2,TIMEOUT=30", systems=20,
                                               meanwhile=kill_lone_child)
            if killed is None:
                problems.append("killed child: no lone child was seen")
            elif summary(answer) != (20, 19, 1) or code != 0:
                problems.append("killed child: the run answered %r, exit code %d"
                                % (answer[-200:], code))
            elif time.monotonic() - killed > 5:
                problems.append("killed child: the run answered %.1f s after the kill"
                                % (time.monotonic() - killed))
            runs = os.path.join(work, "tmp", "ramgauge-%d" % os.getuid())
            left = os.listdir(runs) if os.path.isdir(runs) else []
            if left:
                problems.append("run folders left behind: %r" % left)
    finally:
        sapsim.kill()
        sapsim.wait()
        shutil.rmtree(work, ignore_errors=True)
    for problem in problems:
        print("parallel_children: " + problem)
    if not problems:
        print("parallel_children: children started for %d systems (,PARALLEL=%d): %d for the "
              "healthy list, %d for the one with hung systems" % (SYSTEMS, PARALLEL, healthy, stuck))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
