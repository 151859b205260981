#!/usr/bin/env python3
"""A parallel item run's children show nothing of the profiles on their
command line.

Other local users of the probe can read any process's command line
(/proc/PID/cmdline), while the profiles are the sensor's account's alone.
This runs an item list in parallel against systems that never answer, so
that its children stay, reads the command line of every child while they
run, and checks that it is exactly the program, the child's mark and the
parent's process id: no user, client, host, destination, profile name,
folder or option. The run must still answer as ever (every system failed
at the deadline). POSIX only: it reads /proc.

    child_cmdline_test.py --program PATH/TO/ramgauge
"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "e2e"))

from cases_items import QUAS, gsng  # noqa: E402
from fixtures import profile, system  # noqa: E402
from run_cases import SAPSIM, write_file  # noqa: E402

MARK = b"--ramgauge-child-scanning-one-system-of-a-parallel-item-run-not-by-hand"
SYSTEMS = 4
TIMEOUT = 4
# Values of the profiles, the list and the options that only the sensor's
# account may read; none may show on a child's command line.
USER, CLIENT, HOST, DESTINATION = "CMDUSERQ7", "731", "hostmarkq7", "DSQ"
COMPANY, ITEM, FOLDER = "Markco Q7", "Pages-In:[/Sec]", "folderq7"
SECRETS = [USER, CLIENT, HOST, DESTINATION, COMPANY, "PRQ7", FOLDER, "TIMEOUT", "Pages-In"]


def children_of(parent):
    """The ids of the processes whose parent is parent."""
    found = []
    for name in os.listdir("/proc"):
        if not name.isdigit():
            continue
        try:
            with open("/proc/%s/stat" % name, "rb") as f:
                stat = f.read()
        except OSError:
            continue
        # The name in parentheses may hold blanks: the fields follow its end.
        fields = stat[stat.rindex(b")") + 2:].split()
        if int(fields[1]) == parent:
            found.append(int(name))
    return found


def command_line(pid):
    try:
        with open("/proc/%d/cmdline" % pid, "rb") as f:
            return f.read()
    except OSError:
        return None


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--program", required=True)
    parser.add_argument("--wine", action="store_true", help="not supported: POSIX only")
    opts = parser.parse_args()
    if opts.wine:
        print("child_cmdline: POSIX only")
        return 0
    program = os.path.abspath(opts.program)
    root = tempfile.mkdtemp(prefix="ramgauge-cmdline-")
    work = os.path.join(root, FOLDER)
    tmp = os.path.join(root, "tmp")
    os.makedirs(work)
    os.makedirs(tmp)
    config = os.path.join(root, "sapsim.ini")
    write_file(config, system(DESTINATION, host=HOST, sysnr="07", clients=CLIENT,
                              users=USER + ":secret1", fault="hang"))
    sapsim = subprocess.Popen([sys.executable, SAPSIM, config, "--lifetime", "120"],
                              stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    problems = []
    try:
        port = sapsim.stdout.readline().decode().strip()
        names = ["PRQ7%d.P00" % n for n in range(SYSTEMS)]
        write_file(os.path.join(work, QUAS), gsng("".join(n + "#" for n in names)))
        for name in names:
            write_file(os.path.join(work, name), profile(
                Extcompany=COMPANY, Destination=DESTINATION, Client=CLIENT, User=USER,
                Hostname=HOST, Sysnr="07", Gwservice=port))
        run = subprocess.Popen([program, "PROD", "ITEM=" + ITEM, ",TIMEOUT=%d" % TIMEOUT],
                               cwd=work, env=dict(os.environ, TMPDIR=tmp),
                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        seen = {}
        # The children hang in their call until the deadline: read every
        # command line while they run.
        until = time.monotonic() + TIMEOUT - 1
        while time.monotonic() < until and run.poll() is None:
            for pid in children_of(run.pid):
                line = command_line(pid)
                # Seen only after the exec: before it, a child is the
                # parent's copy and shows the parent's command line.
                if line and line.split(b"\0")[1:2] == [MARK]:
                    seen[pid] = line
            time.sleep(0.05)
        stdout, _ = run.communicate(timeout=30)
        if len(seen) != SYSTEMS:
            problems.append("%d children seen running, %d expected" % (len(seen), SYSTEMS))
        for pid, line in sorted(seen.items()):
            words = line.split(b"\0")[:-1]
            if words != [program.encode(), MARK, str(run.pid).encode()]:
                problems.append("child %d: command line %r" % (pid, words))
            # Which values show, as they are or in hexadecimal.
            rest = b" ".join(w for w in words[1:] if w not in (MARK, str(run.pid).encode()))
            problems += ["child %d: %r shows on the command line" % (pid, s) for s in SECRETS
                         if s.encode() in rest or s.encode().hex().encode() in rest.lower()]
        answer = stdout.decode("latin-1")
        summary = "NoSystems=%d, Processed=0, Failed=%d, Timeout after %d seconds" % (
            SYSTEMS, SYSTEMS, TIMEOUT)
        if run.returncode != 0 or summary not in answer:
            problems.append("the run answered %r with exit code %d" % (answer, run.returncode))
    finally:
        sapsim.kill()
        sapsim.wait()
        shutil.rmtree(root, ignore_errors=True)
    for problem in problems:
        print("child_cmdline: " + problem)
    if not problems:
        print("child_cmdline: %d children ran with nothing of the profiles on their command line"
              % SYSTEMS)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
