#!/usr/bin/env python3
"""The access lists ramgauge-profile and the sensor ask Windows for, as Wine's
server sees them.

Wine does not keep a file's access list, so reading the file's security back
says nothing. Instead this runs "ramgauge-profile create" in a Wine prefix of
its own whose server traces every request, and checks the request that
creates the profile: a protected list (no inherited entries) of exactly
three entries, full control (FILE_ALL_ACCESS) for SYSTEM, the Administrators
group and the user, none of them inheritable. Then the sensor runs with that
profile, and the requests that create the user's folder of run folders
(ramgauge-<SID>) and the run's folder in it must ask for the same list.

    wine_acl_check.py PATH/TO/ramgauge-profile.exe PATH/TO/ramgauge.exe
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

CREATE = ["create", "PRD", "--extcompany=ACME", "--destination=PRD", "--client=100",
          "--user=monitor", "--language=E", "--mode=R/3", "--hostname=sapprd", "--sysnr=00",
          "--gwhost=sapprd", "--gwservice=sapgw00"]
SE_DACL_PRESENT, SE_DACL_PROTECTED = 0x0004, 0x1000
FILE_ALL_ACCESS = 0x1F01FF
# The Wine loader for the build's bitness, as the build's test settings name it.
WINE = os.environ.get("WINE", "wine")


def wait_for_prefix(prefix):
    for _ in range(240):
        if os.path.exists(os.path.join(prefix, "system.reg")) and \
                os.path.isdir(os.path.join(prefix, "drive_c", "Program Files")):
            return True
        time.sleep(0.5)
    return False


def main():
    tool = os.path.abspath(sys.argv[1])
    sensor = os.path.abspath(sys.argv[2])
    root = tempfile.mkdtemp(prefix="ramgauge-acl-")
    prefix = os.path.join(root, "prefix")
    env = dict(os.environ, WINEPREFIX=prefix, WINEDEBUG="-all",
               WINEDLLOVERRIDES="winedbg.exe=d")
    trace_path = os.path.join(root, "server.trace")
    problems = []
    try:
        subprocess.Popen([WINE, "wineboot", "-i"], env=env, stdin=subprocess.DEVNULL,
                         stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                         start_new_session=True)
        if not wait_for_prefix(prefix):
            print("wine_acl: the Wine prefix was not made")
            return 1
        time.sleep(2)
        subprocess.run(["wineserver", "-k"], env=env)
        subprocess.run(["wineserver", "-w"], env=env)
        # A server of this prefix alone, tracing every request to its stderr.
        with open(trace_path, "wb") as trace:
            server = subprocess.Popen(["wineserver", "-f", "-d1"], env=env,
                                      stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                      stderr=trace, start_new_session=True)
            work = os.path.join(root, "work")
            os.makedirs(work)
            run = subprocess.run([WINE, tool] + CREATE, cwd=work, env=env, input=b"secret1\n",
                                 capture_output=True, timeout=120)
            subprocess.run(["wineserver", "-k"], env=env)
            server.wait(timeout=30)
            # The same for the sensor, with the profile just made: the
            # partner cannot be reached, and the run ends after it has made
            # its folders.
            server = subprocess.Popen(["wineserver", "-f", "-d1"], env=env,
                                      stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                      stderr=trace, start_new_session=True)
            scan = subprocess.run([WINE, sensor, "PRD", ",CONNECT=1"], cwd=work, env=env,
                                  capture_output=True, timeout=120)
            subprocess.run(["wineserver", "-k"], env=env)
            server.wait(timeout=30)
        if run.returncode != 0:
            problems.append("create failed: %r %r" % (run.stdout, run.stderr))
        text = open(trace_path, "rb").read().decode("latin-1")
        requests = [line for line in text.splitlines()
                    if "create_file(" in line and re.search(r'PRD\.P00\.\d+\.tmp"', line)
                    and "sd={control" in line]
        if len(requests) != 1:
            problems.append("%d requests create the profile with a descriptor" % len(requests))
        else:
            problems += check_request(requests[0])
        if b"<Prtg>" not in scan.stdout:
            problems.append("the sensor gave no answer: %r %r" % (scan.stdout, scan.stderr))
        folders = [line for line in text.splitlines()
                   if "create_file(" in line and re.search(r'ramgauge-S-1-[\d-]+', line)
                   and "sd={control" in line]
        parents = [line for line in folders if re.search(r'ramgauge-S-1-[\d-]+"', line)]
        runs = [line for line in folders if re.search(r'ramgauge-S-1-[\d-]+\\\\ramgauge-\d+-', line)]
        if len(parents) != 1 or len(runs) != 1:
            problems.append("%d requests create the user's folder, %d the run's folder with a "
                            "descriptor" % (len(parents), len(runs)))
        for line in parents + runs:
            problems += check_request(line)
    finally:
        shutil.rmtree(root, ignore_errors=True)
    for p in problems:
        print("wine_acl: " + p)
    if not problems:
        print("wine_acl: the profile and the run folders are created with a protected list for "
              "SYSTEM, Administrators and the user")
    return 1 if problems else 0


def check_request(line):
    problems = []
    control = int(re.search(r"sd=\{control=([0-9a-f]+)", line).group(1), 16)
    if control & (SE_DACL_PRESENT | SE_DACL_PROTECTED) != SE_DACL_PRESENT | SE_DACL_PROTECTED:
        problems.append("the list is not present and protected: control %04x" % control)
    aces = re.findall(r"\{type=(\w+),flags=([0-9a-f]+),mask=([0-9a-f]+),sid=([\w-]+)\}",
                      line.split("dacl=", 1)[1])
    sids = [sid for _, _, _, sid in aces]
    if len(aces) != 3 or sids[:2] != ["S-1-5-18", "S-1-5-32-544"] or \
            not sids[2].startswith("S-1-5-21-"):
        problems.append("entries %r" % (aces,))
    for kind, flags, mask, sid in aces:
        if kind != "ACCESS_ALLOWED" or int(flags, 16) != 0 or int(mask, 16) != FILE_ALL_ACCESS:
            problems.append("entry for %s: %s flags %s mask %s" % (sid, kind, flags, mask))
    return problems


if __name__ == "__main__":
    sys.exit(main())
