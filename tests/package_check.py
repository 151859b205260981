#!/usr/bin/env python3
"""Checks the release archives in dist/: their contents, stripped binaries,
the version in them, SHA256SUMS beside them, and that the steps of the
archive's README.txt, run as written in the unpacked folder (the Windows
ones by Wine's cmd in a Wine prefix), give a working sensor."""
import argparse
import hashlib
import os
import re
import shutil
import socket
import subprocess
import sys
import tarfile
import tempfile
import time
import zipfile
from xml.etree import ElementTree

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
SHARED = ["README.txt", "CHANGELOG.md", "LICENSE", "docs/", "docs/admin-guide.md", "examples/",
          "examples/Quadrant.Prf", "examples/SAP Quadrant.Gbl", "examples/SapRfc.DEMO",
          "examples/sapsim.ini", "simulator/", "simulator/README.txt", "simulator/sapsim.py",
          "simulator/sapsim.ini"]
CONTENTS = {
    "win32": SHARED + ["ramgauge.exe", "ramgauge-profile.exe", "simulator/librfc32.dll"],
    "linux": SHARED + ["ramgauge", "ramgauge-profile", "simulator/librfc32.so"],
}
CHANNELS = ["Physical-Mem Free", "SwapMemory Free", "Pages-In [/Sec]", "Pages-Out [/Sec]"]


def names(path):
    if path.endswith(".zip"):
        with zipfile.ZipFile(path) as z:
            listed = z.namelist()
    else:
        with tarfile.open(path) as t:
            listed = [m.name + ("/" if m.isdir() else "") for m in t.getmembers()]
    top = listed[0].split("/")[0] + "/"
    return top, sorted(n[len(top):] for n in listed if n != top)


def unpack(path, into):
    if path.endswith(".zip"):
        with zipfile.ZipFile(path) as z:
            z.extractall(into)
    else:
        with tarfile.open(path) as t:
            t.extractall(into)
    for entry in os.listdir(into):
        return os.path.join(into, entry)


# What a shipped binary may weigh: a probe starts it hundreds of times a
# minute, and the benchmark's goals hold only while it stays small.
MAX_SHIPPED_BYTES = 1 << 20


def problems_of_binary(path, objdump, version):
    problems = []
    size = os.path.getsize(path)
    if size > MAX_SHIPPED_BYTES:
        problems.append("%s is %d bytes, more than 1 MB" % (os.path.basename(path), size))
    sections = subprocess.run([objdump, "-h", path], capture_output=True, text=True).stdout
    if ".debug_info" in sections:
        problems.append("%s is not stripped" % os.path.basename(path))
    if path.endswith((".exe", ".dll")):
        data = open(path, "rb").read()
        at = data.find("FileVersion".encode("utf-16-le"))
        text = data[at:at + 64].decode("utf-16-le", "replace")
        if at < 0 or version not in text:
            problems.append("%s has no version resource %s" % (os.path.basename(path), version))
        # Reproducible: no link time in the COFF header.
        header = int.from_bytes(data[0x3c:0x40], "little")
        if data[header + 8:header + 12] != b"\0\0\0\0":
            problems.append("%s carries a PE time stamp" % os.path.basename(path))
    return problems


def readme_steps(package, platform):
    """The command lines of README.txt's first-answer block for the platform."""
    heading = "On Windows (command prompt):" if platform == "win32" else "On Linux (shell):"
    lines = open(os.path.join(package, "README.txt")).read().splitlines()
    at = lines.index(heading) + 1
    steps = []
    while at < len(lines) and (not lines[at] or lines[at].startswith("    ")):
        if lines[at].strip():
            steps.append(lines[at].strip())
        elif steps:
            break
        at += 1
    return steps


def start_simulator(package, line, wine):
    """The README's first step, which starts the simulator in a window of its
    own. Wine has no Python: the Windows line runs with this machine's."""
    words = line.split()
    if wine:
        if words[0] != "py":
            return None, "the simulator step is %r" % line
        words = [sys.executable] + [w.replace("\\", "/") for w in words[1:]]
    elif words[0] == "python3":
        words[0] = sys.executable
    proc = subprocess.Popen(words, cwd=package, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    if proc.stdout.readline().strip() != b"3300":
        proc.kill()
        return None, "the simulator did not start on port 3300: %r" % proc.communicate()[1]
    return proc, None


def answer_problems(text, what):
    at = text.find("<Prtg>")
    try:
        root = ElementTree.fromstring(text[at:]) if at >= 0 else None
        channels = ([r.findtext("Channel") for r in root.findall("Result")]
                    if root is not None else None)
    except ElementTree.ParseError:
        channels = None
    return [] if channels == CHANNELS else ["%s: no answer with the four channels: %r"
                                            % (what, text)]


def try_readme_steps(package, platform):
    """README.txt's steps as written, in the unpacked folder; then the same
    scan through the destination file of examples/."""
    wine = platform == "win32"
    steps = readme_steps(package, platform)
    if len(steps) < 3:
        return ["README.txt has no steps for %s: %r" % (platform, steps)]
    sapsim, problem = start_simulator(package, steps[0], wine)
    if problem:
        return [problem]
    problems = []
    try:
        if wine:
            with open(os.path.join(package, "steps.bat"), "w") as f:
                f.write("@echo off\r\n" + "".join(line + "\r\n" for line in steps[1:]))
            command = ["wine", "cmd", "/c", "steps.bat"]
        else:
            with open(os.path.join(package, "steps.sh"), "w") as f:
                f.write("set -e\n" + "".join(line + "\n" for line in steps[1:]))
            command = ["bash", "steps.sh"]
        run = subprocess.run(command, cwd=package, capture_output=True, timeout=120)
        out = run.stdout.decode("latin-1")
        if run.returncode != 0 or "DEMO.P00 written" not in out:
            problems.append("the steps gave exit %d: %r %r" % (run.returncode, out, run.stderr))
        problems += answer_problems(out, "README.txt's steps")
        trial = os.path.join(package, "trial")
        shutil.copy(os.path.join(package, "examples", "SapRfc.DEMO"), trial)
        exe = os.path.join(trial, "ramgauge" + (".exe" if wine else ""))
        scan = subprocess.run((["wine"] if wine else []) + [exe, "DEMO"], cwd=trial,
                              capture_output=True, timeout=60)
        version = subprocess.run((["wine"] if wine else []) + [exe, "--version"], cwd=trial,
                                 capture_output=True, timeout=60).stdout.decode().strip()
        if version != "Ramgauge 4.3.0":
            problems.append("ramgauge --version says %r" % version)
        problems += answer_problems(scan.stdout.decode("latin-1"), "through SapRfc.DEMO")
    finally:
        sapsim.terminate()
        sapsim.wait()
    return problems


def checksum_problems(dist):
    path = os.path.join(dist, "SHA256SUMS")
    if not os.path.exists(path):
        return ["no SHA256SUMS beside the archives"]
    listed = {}
    for line in open(path).read().splitlines():
        digest, name = line.split(None, 1)
        listed[name.lstrip("*")] = digest
    archives = sorted(a for a in os.listdir(dist) if a.startswith("ramgauge-"))
    problems = []
    if sorted(listed) != archives:
        problems.append("SHA256SUMS lists %r, dist/ holds %r" % (sorted(listed), archives))
    for name in archives:
        digest = hashlib.sha256(open(os.path.join(dist, name), "rb").read()).hexdigest()
        if listed.get(name) != digest:
            problems.append("SHA256SUMS is wrong for %s" % name)
    return problems


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--dist", default=os.path.join(ROOT, "dist"))
    opts = parser.parse_args()
    version = re.search(r"project\(ramgauge VERSION ([0-9.]+)",
                        open(os.path.join(ROOT, "CMakeLists.txt")).read()).group(1)
    problems = []
    for platform, objdump in [("win32", "i686-w64-mingw32-objdump"), ("linux", "objdump")]:
        archives = [a for a in os.listdir(opts.dist)
                    if a.startswith("ramgauge-%s-%s" % (version, platform)) and "-debug" not in a]
        if len(archives) != 1:
            problems.append("no single %s archive in %s: %r" % (platform, opts.dist, archives))
            continue
        archive = os.path.join(opts.dist, archives[0])
        top, listed = names(archive)
        if listed != sorted(CONTENTS[platform]):
            problems.append("%s holds %r" % (archives[0], listed))
        wine = platform == "win32"
        root = os.path.join(os.environ["WINEPREFIX"], "drive_c") if wine else None
        work = tempfile.mkdtemp(prefix="package-", dir=root)
        try:
            package = unpack(archive, os.path.join(work, "unpacked"))
            for name in CONTENTS[platform]:
                if name.startswith(("ramgauge", "simulator/librfc32")):
                    problems += problems_of_binary(os.path.join(package, name), objdump, version)
            problems += ["%s: %s" % (archives[0], p)
                         for p in try_readme_steps(package, platform)]
        finally:
            shutil.rmtree(work, ignore_errors=True)
        print("package: %s checked" % archives[0])
    problems += checksum_problems(opts.dist)
    for p in problems:
        print("package: " + p)
    if not problems:
        print("package: both archives hold what they should and work as README.txt says")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
