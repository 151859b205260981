#!/usr/bin/env python3
"""Another local user of the probe plays against the sensor's run folders.

Every scenario plants something in the shared temporary folder (TMPDIR) the
way a second unprivileged user could, runs ordinary scans of a healthy system
and checks that each answer is the full one and that the files behind the
planted names survive:

- a link under a dead run's name that points at a folder of the sensor's
  user (the sweep once emptied it);
- a folder of another user under a dead run's name (made with another uid
  when the test runs as root, else left out);
- a dead run's folder swapped for such a link over and over while scans run;
- the name of the user's own folder of run folders taken by a link, and by
  another user's folder: the run works in a folder of its own, touches
  nothing there and sweeps nothing;
- 100,000 names of dead runs planted in the shared folder: a run against a
  hung system still answers within ,TIMEOUT= plus a second. Under Wine
  (--wine) this is the one scenario: the others are POSIX users and links.

    other_user_test.py --program PATH/TO/ramgauge [--wine]
"""
import argparse
import glob
import os
import shutil
import subprocess
import sys
import tempfile
import threading
import time
from xml.etree import ElementTree

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "e2e"))

from fixtures import profile, system  # noqa: E402
from run_cases import SAPSIM, TIME_FACTOR, WINE, left_in, write_file  # noqa: E402

# Run as root, the test plays both users: the sensor runs as SENSOR_UID, the
# other user is OTHER_UID. Otherwise the sensor runs as the test's own user
# and the scenarios that need another uid are left out.
SENSOR_UID, OTHER_UID = 65534, 65533
DEAD = "ramgauge-999999999-0badc0de"  # no process has this id
VICTIM_FILES = {"id_rsa": "secret key\n", "PRD.Prf": "a profile\n"}


def make_victim(root):
    """A folder of the sensor's user, 0700, with files that must survive."""
    victim = tempfile.mkdtemp(prefix="victim-", dir=root)
    for name, text in VICTIM_FILES.items():
        write_file(os.path.join(victim, name), text)
        give(os.path.join(victim, name), sensor_uid())
    give(victim, sensor_uid())
    return victim


def sensor_uid():
    return SENSOR_UID if os.geteuid() == 0 else os.geteuid()


def give(path, uid):
    if os.geteuid() == 0:
        os.lchown(path, uid, uid)


def as_sensor_user():
    if os.geteuid() == 0:
        os.setgroups([])
        os.setgid(SENSOR_UID)
        os.setuid(SENSOR_UID)


def victim_intact(victim):
    return sorted(os.listdir(victim)) == sorted(VICTIM_FILES) and all(
        open(os.path.join(victim, n)).read() == t for n, t in VICTIM_FILES.items())


def plant_link(tmp, victim):
    os.symlink(victim, os.path.join(tmp, DEAD))
    give(os.path.join(tmp, DEAD), OTHER_UID)


def plant_foreign_folder(tmp, victim):
    folder = os.path.join(tmp, DEAD)
    os.mkdir(folder, 0o755)
    shutil.copy(os.path.join(victim, "id_rsa"), folder)
    os.chown(os.path.join(folder, "id_rsa"), OTHER_UID, OTHER_UID)
    os.chown(folder, OTHER_UID, OTHER_UID)
    return folder


def user_folder(tmp):
    return os.path.join(tmp, "ramgauge-%d" % sensor_uid())


class Swapper:
    """Swaps a folder of entries at name for a link to victim, over and over,
    until the with block ends."""

    def __init__(self, name, victim):
        self.name, self.victim = name, victim
        self.stop = threading.Event()
        self.thread = threading.Thread(target=self.swap)

    def fill(self):
        # Readable by all, so that the sensor's user may list it.
        os.mkdir(self.name, 0o755)
        for i in range(2000):
            open(os.path.join(self.name, "id_rsa" if i == 1000 else "f%d" % i), "w").close()

    def swap(self):
        away = self.name + ".away"
        self.fill()
        while not self.stop.is_set():
            try:
                os.rename(self.name, away)
                os.symlink(self.victim, self.name)
                os.unlink(self.name)
                os.rename(away, self.name)
            except OSError:
                # A sweep took a name away: put the folder back, full.
                if os.path.islink(self.name):
                    os.unlink(self.name)
                if os.path.isdir(away) and not os.path.exists(self.name):
                    os.rename(away, self.name)
                shutil.rmtree(away, ignore_errors=True)
                if not os.path.exists(os.path.join(self.name, "id_rsa")):
                    shutil.rmtree(self.name, ignore_errors=True)
                    self.fill()

    def __enter__(self):
        self.thread.start()
        return self

    def __exit__(self, *exc):
        self.stop.set()
        self.thread.join()


class Run:
    """Scans of the healthy system PRD as the sensor's user, from work."""

    def __init__(self, program, work):
        self.program, self.work = program, work

    def scan(self, tmp):
        proc = subprocess.run([self.program, "PRD"], cwd=self.work,
                              env=dict(os.environ, TMPDIR=tmp), preexec_fn=as_sensor_user,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=60)
        return proc.returncode, proc.stdout.decode("latin-1")


def full_answer(code, out):
    """A healthy system's answer: exit 0 and the four channels."""
    if code != 0:
        return False
    try:
        root = ElementTree.fromstring(out)
    except ElementTree.ParseError:
        return False
    return root.tag == "Prtg" and len(root.findall("Result")) == 4


def flood(command, work, tmp, env, problems, preexec=None):
    """100,000 names of dead runs planted in the shared temporary folder tmp
    delay no answer: ,TIMEOUT=2 against a hung system answers within 3 s."""
    planted = ["ramgauge-999999999-%x" % i for i in range(100000)]
    for name in planted:
        os.close(os.open(os.path.join(tmp, name), os.O_CREAT | os.O_WRONLY, 0o600))
    try:
        # Once before, so that Wine's start-up is not what is timed.
        subprocess.run(command + ["--version"], env=env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=60)
        started = time.monotonic()
        proc = subprocess.Popen(command + ["HUNG", ",TIMEOUT=2"], cwd=work, env=env,
                                preexec_fn=preexec, stdout=subprocess.PIPE,
                                stderr=subprocess.DEVNULL)
        first = proc.stdout.read(1)
        answered = time.monotonic() - started
        out = (first + proc.stdout.read()).decode("latin-1")
        code = proc.wait(timeout=60)
        took = time.monotonic() - started
    finally:
        for name in planted:
            os.unlink(os.path.join(tmp, name))
    if code == -9 and WINE in command and "Error 1020" in out and out.endswith("</Prtg>\r\n"):
        # Wine's server kills a process whose threads have ended but which
        # is slow to be gone (a busy machine): the answer was whole.
        print("other_user: flood: Wine killed the process as it ended, after its whole answer")
        code = 2
    if code != 2 or "Error 1020" not in out:
        problems.append("flood: exit %d, answer %r" % (code, out[:200]))
    if took > 3 * TIME_FACTOR:
        problems.append("flood: the answer took %.1f s with ,TIMEOUT=2" % took)
    print("other_user: %d planted names, ,TIMEOUT=2 against a hung system: answer after %.2f s,"
          " exit after %.2f s" % (len(planted), answered, took))


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--program", required=True)
    parser.add_argument("--wine", action="store_true")
    opts = parser.parse_args()
    program = os.path.abspath(opts.program)
    # Under Wine only the flood: its users and links are not Windows'.
    drive_c = os.path.join(os.environ["WINEPREFIX"], "drive_c") if opts.wine else None
    root = tempfile.mkdtemp(prefix="other-user-", dir=drive_c)
    config = os.path.join(root, "sapsim.ini")
    write_file(config, system("PRD") + system("HUNG", host="saphung", sysnr="01", fault="hang"))
    sapsim = subprocess.Popen([sys.executable, SAPSIM, config, "--lifetime", "300"],
                              stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    problems = []
    try:
        port = sapsim.stdout.readline().decode().strip()
        work = os.path.join(root, "EXEXML")
        os.makedirs(work)
        write_file(os.path.join(work, "PRD.P00"), profile(Gwservice=port))
        write_file(os.path.join(work, "HUNG.P00"),
                   profile(Destination="HUNG", Hostname="saphung", Sysnr="01", Gwservice=port))
        for path in (root, work, os.path.join(work, "PRD.P00"), os.path.join(work, "HUNG.P00")):
            give(path, sensor_uid())
        if opts.wine:
            temp = glob.glob(os.path.join(drive_c, "users", "*", "Temp"))
            flood([WINE, program], work, temp[0], dict(os.environ), problems)
            return report(problems)
        run = Run(program, work)
        as_root = os.geteuid() == 0

        def scenario(name, plant, scans=3, needs_root=False):
            if needs_root and not as_root:
                print("other_user: %s: left out (needs root to play another uid)" % name)
                return
            tmp = tempfile.mkdtemp(prefix="tmp-", dir=root)
            os.chmod(tmp, 0o1777)
            victim = make_victim(root)
            planted = plant(tmp, victim)
            before = set(os.listdir(tmp))
            for _ in range(scans):
                code, out = run.scan(tmp)
                if not full_answer(code, out):
                    problems.append("%s: exit %d, answer %r" % (name, code, out[:200]))
            if not victim_intact(victim):
                problems.append("%s: the victim folder now holds %r" % (name, os.listdir(victim)))
            if planted and not os.path.exists(os.path.join(planted, "id_rsa")):
                problems.append("%s: another user's file was removed" % name)
            strays = [n for n in left_in(tmp, sensor_uid()) if n not in before]
            if strays:
                problems.append("%s: left behind %r" % (name, strays))
            print("other_user: %s: done" % name)

        scenario("a link under a dead run's name", plant_link, needs_root=True)
        scenario("another user's folder under a dead run's name", plant_foreign_folder,
                 needs_root=True)

        def take_parent_by_link(tmp, victim):
            os.symlink(victim, user_folder(tmp))
            give(user_folder(tmp), OTHER_UID)
        scenario("the user's folder of run folders taken by a link", take_parent_by_link,
                 needs_root=True)

        def take_parent_by_folder(tmp, victim):
            folder = user_folder(tmp)
            os.mkdir(folder, 0o700)
            os.mkdir(os.path.join(folder, DEAD), 0o700)
            shutil.copy(os.path.join(victim, "id_rsa"), os.path.join(folder, DEAD))
            for path in (os.path.join(folder, DEAD, "id_rsa"), os.path.join(folder, DEAD),
                         folder):
                os.chown(path, OTHER_UID, OTHER_UID)
            return os.path.join(folder, DEAD)
        scenario("the user's folder of run folders taken by another user", take_parent_by_folder,
                 needs_root=True)

        # The swap race: between a sweep's look at a dead run's folder and
        # its removal of the entries, the folder becomes a link to the victim.
        tmp = tempfile.mkdtemp(prefix="tmp-", dir=root)
        os.chmod(tmp, 0o1777)
        victim = make_victim(root)
        with Swapper(os.path.join(tmp, DEAD), victim):
            for _ in range(30):
                code, out = run.scan(tmp)
                if not full_answer(code, out):
                    problems.append("swap race: exit %d" % code)
        if not victim_intact(victim):
            problems.append("swap race: the victim folder now holds %r" % os.listdir(victim))
        print("other_user: a dead run's folder swapped for a link while scans run: done")

        tmp = tempfile.mkdtemp(prefix="tmp-", dir=root)
        os.chmod(tmp, 0o1777)
        flood([program], work, tmp, dict(os.environ, TMPDIR=tmp), problems, as_sensor_user)

    finally:
        sapsim.kill()
        sapsim.wait()
        shutil.rmtree(root, ignore_errors=True)
    return report(problems)


def report(problems):
    for problem in problems:
        print("FAIL other_user: " + problem)
    print("other_user: %d problem(s)" % len(problems))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
