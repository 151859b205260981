#!/usr/bin/env python3
"""Kill test: PRTG ends a sensor that overruns its timeout, and an
administrator may kill one by hand. A sensor killed at a random moment
(SIGKILL: no clean-up of its own) must leave nothing behind for long: after
the next run in the same folder, no folder of a dead run remains in the
temporary folder and the working folder holds exactly what it held before.
"""
import argparse
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "e2e"))

from fixtures import profile, system  # noqa: E402
from run_cases import SAPSIM, WINE, write_file  # noqa: E402

RUN_FOLDER = re.compile(r"ramgauge-\d+-.*")


def leftovers(temporary_roots):
    return [os.path.join(d, n) for root in temporary_roots for d, dirs, names in os.walk(root)
            for n in dirs + names if RUN_FOLDER.fullmatch(n)]


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--program", required=True)
    parser.add_argument("--wine", action="store_true")
    parser.add_argument("--tries", type=int, default=30)
    parser.add_argument("--seed", type=int, default=None)
    opts = parser.parse_args()
    program = os.path.abspath(opts.program)
    seed = opts.seed if opts.seed is not None else random.randrange(1 << 30)
    chance = random.Random(seed)

    drive_c = os.path.join(os.environ["WINEPREFIX"], "drive_c") if opts.wine else None
    work = tempfile.mkdtemp(prefix="kill-", dir=drive_c)
    folder = os.path.join(work, "EXEXML")
    tmp = os.path.join(work, "tmp")
    os.makedirs(folder)
    os.makedirs(tmp)
    env = dict(os.environ) if opts.wine else dict(os.environ, TMPDIR=tmp)
    # Wine keeps its temporary folder under drive C:'s users.
    roots = [os.path.join(drive_c, "users")] if opts.wine else [tmp]
    config = os.path.join(work, "sapsim.ini")
    # SLOW answers late, so that kills land in every step of a session.
    write_file(config, system("PRD") + system("SLOW", host="sapslow", sysnr="01",
                                              fault="delay 0.3"))
    sapsim = subprocess.Popen([sys.executable, SAPSIM, config, "--lifetime", "900"],
                              stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    try:
        port = sapsim.stdout.readline().decode().strip()
        files = {
            "PRD.P00": profile(Gwservice=port),
            "SLOW.P00": profile(Destination="SLW", Hostname="sapslow", Sysnr="01",
                                Gwservice=port),
            "VIA.P00": profile(Destination="VIA", Hostname="nowhere", Gwhost="nowhere",
                               Gwservice="nope"),
            "SapRfc.VIA": "DEST=VIA\r\nTYPE=A\r\nASHOST=sapslow\r\nSYSNR=01\r\n"
                          "GWHOST=127.0.0.1\r\nGWSERV=%s\r\n" % port,
        }
        for name, content in files.items():
            write_file(os.path.join(folder, name), content)
        before = sorted(os.listdir(folder))
        prefix = [WINE, program] if opts.wine else [program]
        # Starting a program under Wine takes longer: spread the kills wider.
        span = 1.5 if opts.wine else 0.5

        problems = []
        for attempt in range(1, opts.tries + 1):
            victim = subprocess.Popen(prefix + [chance.choice(["SLOW", "VIA"]), ",SYSLOG"],
                                      cwd=folder, env=env, stdout=subprocess.DEVNULL,
                                      stderr=subprocess.DEVNULL)
            time.sleep(chance.uniform(0, span))
            victim.kill()
            victim.wait()
            after = subprocess.run(prefix + ["PRD"], cwd=folder, env=env, timeout=60,
                                   stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
            if after.returncode != 0:
                problems.append("try %d: the next run failed: %r" % (attempt, after.stdout))
            left = leftovers(roots)
            # The log is the administrator's, written on purpose.
            now = sorted(n for n in os.listdir(folder) if n != "Ramgauge.Log")
            if left:
                problems.append("try %d: left in the temporary folder: %r" % (attempt, left))
            if now != before:
                problems.append("try %d: the working folder holds %r, not %r" % (
                    attempt, now, before))
            if left or now != before:
                # Clean up, so that one fault is not counted again and again.
                for path in left:
                    shutil.rmtree(path, ignore_errors=True)
                    if os.path.exists(path):
                        os.remove(path)
                for name in set(now) - set(before):
                    os.remove(os.path.join(folder, name))
        for problem in problems[:10]:
            print("kill: " + problem)
        failed = len({p.split(":")[0] for p in problems})
        print("kill: %d kills at random moments (seed %d), %d left something behind" % (
            opts.tries, seed, failed))
        print("%d passed, %d failed" % (opts.tries - failed, failed))
        return 1 if failed else 0
    finally:
        sapsim.kill()
        sapsim.wait()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
