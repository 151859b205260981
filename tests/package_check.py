#!/usr/bin/env python3
"""Checks the release archives in dist/: their contents and those of the
debug archives, stripped binaries built for the machine the name says, the
version in them, SHA256SUMS beside them, and that the steps of the
archive's README.txt, run as written in the unpacked folder (the Windows
ones by Wine's cmd in the Wine prefix WINEPREFIX, which must be a 64-bit
one), give a working sensor, with the same answer through the NetWeaver
stand-in alone: on 64-bit Windows SAP's NetWeaver library is the only one."""
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
SHARED = ["README.txt", "CHANGELOG.md", "LICENSE", "Ramgauge.Limits", "docs/", "docs/admin-guide.md", "examples/",
          "examples/Quadrant.Prf", "examples/SAP Quadrant.Gbl", "examples/SapRfc.DEMO",
          "examples/sapsim.ini", "simulator/", "simulator/README.txt", "simulator/sapsim.py",
          "simulator/sapsim.ini"]
BINARIES = {
    "win32": ["ramgauge.exe", "ramgauge-profile.exe", "simulator/librfc32.dll",
              "simulator/sapnwrfc.dll"],
    "win64": ["ramgauge.exe", "ramgauge-profile.exe", "simulator/librfc32.dll",
              "simulator/sapnwrfc.dll"],
    "linux": ["ramgauge", "ramgauge-profile", "simulator/librfc32.so",
              "simulator/libsapnwrfc.so"],
}
CONTENTS = {platform: SHARED + binaries for platform, binaries in BINARIES.items()}
# Per archive: its objdump and the machine of its PE files (COFF header;
# the name must not hide a build of the other width).
PLATFORMS = [("win32", "i686-w64-mingw32-objdump", 0x14C),
             ("win64", "x86_64-w64-mingw32-objdump", 0x8664),
             ("linux", "objdump", None)]
MACHINE_NAMES = {0x14C: "i386", 0x8664: "x86-64"}
# Wine's front end starts 32-bit programs and, through them, 64-bit ones;
# WINE64 may name the 64-bit loader, for a machine that runs no 32-bit code.
WINE_LOADERS = {"win32": "wine", "win64": os.environ.get("WINE64", "wine")}
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


def problems_of_binary(path, objdump, machine, version):
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
        header = int.from_bytes(data[0x3c:0x40], "little")
        found = int.from_bytes(data[header + 4:header + 6], "little")
        if data[header:header + 4] != b"PE\0\0" or found != machine:
            problems.append("%s is built for machine %#x (%s), not %s"
                            % (os.path.basename(path), found,
                               MACHINE_NAMES.get(found, "unknown"), MACHINE_NAMES[machine]))
        # Reproducible: no link time in the COFF header.
        if data[header + 8:header + 12] != b"\0\0\0\0":
            problems.append("%s carries a PE time stamp" % os.path.basename(path))
    return problems


def is_windows(platform):
    return platform.startswith("win")


def readme_steps(package, platform):
    """The command lines of README.txt's first-answer block for the platform."""
    heading = "On Windows (command prompt):" if is_windows(platform) else "On Linux (shell):"
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


def run_program(package, folder, name, args, wine, stdin=None):
    """One of the archive's programs, from the folder it was copied to; wine
    is the Wine loader for a Windows archive, None for Linux."""
    exe = os.path.join(package, folder, name + (".exe" if wine else ""))
    return subprocess.run(([wine] if wine else []) + [exe] + args, cwd=os.path.dirname(exe),
                          input=stdin, capture_output=True, timeout=60)


def try_netweaver(package, wine):
    """The system FIX of the simulator (fixed figures) scanned from the trial
    folder through the classic stand-in, then through the NetWeaver one as
    simulator/README.txt says: alone beside the program, and beside the
    classic one with ,RFCLIB=NW. Every answer must be the same bytes: on
    64-bit Windows only SAP's NetWeaver library exists."""
    created = run_program(package, "trial", "ramgauge-profile",
                          ["create", "FIX", "--extcompany=Demo", "--destination=FIX",
                           "--client=100", "--user=monitor", "--language=E", "--mode=R/3",
                           "--hostname=sapfix", "--sysnr=01", "--gwhost=127.0.0.1",
                           "--gwservice=sapgw00"], wine, stdin=b"demo-pass1\n")
    if created.returncode != 0:
        return ["ramgauge-profile create FIX gave exit %d: %r"
                % (created.returncode, created.stdout + created.stderr)]
    classic = run_program(package, "trial", "ramgauge", ["FIX"], wine)
    problems = answer_problems(classic.stdout.decode("latin-1"), "FIX through librfc32")
    library = "sapnwrfc.dll" if wine else "libsapnwrfc.so"
    alone = os.path.join(package, "trial-nw")
    os.mkdir(alone)
    for name in ["ramgauge" + (".exe" if wine else ""), "FIX.P00"]:
        shutil.copy(os.path.join(package, "trial", name), alone)
    shutil.copy(os.path.join(package, "simulator", library), alone)
    shutil.copy(os.path.join(package, "simulator", library), os.path.join(package, "trial"))
    for what, folder, args in [("%s alone" % library, "trial-nw", ["FIX"]),
                               ("%s and ,RFCLIB=NW" % library, "trial", ["FIX", ",RFCLIB=NW"])]:
        run = run_program(package, folder, "ramgauge", args, wine)
        if (run.stdout, run.returncode) != (classic.stdout, classic.returncode):
            problems.append("FIX through %s answers %r (exit %d), through librfc32 %r (exit %d)"
                            % (what, run.stdout, run.returncode, classic.stdout,
                               classic.returncode))
    return problems


def wine_prefix_problems(platform):
    prefix = os.environ.get("WINEPREFIX")
    if not prefix:
        return ["%s: no WINEPREFIX for Wine" % platform]
    try:
        registry = open(os.path.join(prefix, "system.reg"), errors="replace").read(4096)
    except OSError:
        registry = None
    if registry is None or not os.path.isdir(os.path.join(prefix, "drive_c")):
        return ["%s: WINEPREFIX %s is no Wine prefix" % (platform, prefix)]
    if platform == "win64" and "#arch=win64" not in registry:
        return ["win64: WINEPREFIX %s is not a 64-bit prefix (WINEARCH=win64)" % prefix]
    return []


def try_readme_steps(package, platform, version):
    """README.txt's steps as written, in the unpacked folder; then the same
    scan through the destination file of examples/, and the same figures
    through the NetWeaver stand-in."""
    wine = WINE_LOADERS.get(platform)
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
            command = [wine, "cmd", "/c", "steps.bat"]
        else:
            with open(os.path.join(package, "steps.sh"), "w") as f:
                f.write("set -e\n" + "".join(line + "\n" for line in steps[1:]))
            command = ["bash", "steps.sh"]
        run = subprocess.run(command, cwd=package, capture_output=True, timeout=120)
        out = run.stdout.decode("latin-1")
        if run.returncode != 0 or "DEMO.P00 written" not in out:
            problems.append("the steps gave exit %d: %r %r" % (run.returncode, out, run.stderr))
        problems += answer_problems(out, "README.txt's steps")
        shutil.copy(os.path.join(package, "examples", "SapRfc.DEMO"),
                    os.path.join(package, "trial"))
        scan = run_program(package, "trial", "ramgauge", ["DEMO"], wine)
        said = run_program(package, "trial", "ramgauge", ["--version"], wine)
        if said.stdout.decode().strip() != "Ramgauge " + version:
            problems.append("ramgauge --version says %r" % said.stdout)
        problems += answer_problems(scan.stdout.decode("latin-1"), "through SapRfc.DEMO")
        problems += try_netweaver(package, wine)
    finally:
        sapsim.terminate()
        sapsim.wait()
    return problems


def debug_problems(archive, platform):
    """The debug archive beside it holds the debug information of every
    shipped binary."""
    path = re.sub(r"(\.zip|\.tar\.gz)$", r"-debug\1", archive)
    if not os.path.exists(path):
        return ["no %s" % os.path.basename(path)]
    expected = sorted(os.path.basename(b) + ".debug" for b in BINARIES[platform])
    listed = names(path)[1]
    return [] if listed == expected else ["%s holds %r" % (os.path.basename(path), listed)]


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
    parser.add_argument("--no-trial", action="append", default=[], metavar="PLATFORM",
                        help="check the archive's contents only: this machine cannot run it")
    opts = parser.parse_args()
    version = re.search(r"project\(ramgauge VERSION ([0-9.]+)",
                        open(os.path.join(ROOT, "CMakeLists.txt")).read()).group(1)
    problems = []
    for platform, objdump, machine in PLATFORMS:
        archives = [a for a in os.listdir(opts.dist)
                    if a.startswith("ramgauge-%s-%s" % (version, platform)) and "-debug" not in a]
        if len(archives) != 1:
            problems.append("no single %s archive in %s: %r" % (platform, opts.dist, archives))
            continue
        archive = os.path.join(opts.dist, archives[0])
        top, listed = names(archive)
        if listed != sorted(CONTENTS[platform]):
            problems.append("%s holds %r" % (archives[0], listed))
        problems += debug_problems(archive, platform)
        wine = is_windows(platform)
        no_trial = wine_prefix_problems(platform) if wine else []
        problems += no_trial
        if platform in opts.no_trial:
            print("package: %s: README.txt's steps NOT TRIED on this machine" % archives[0])
            no_trial = ["not tried"]
        root = None if not wine or no_trial else os.path.join(os.environ["WINEPREFIX"], "drive_c")
        work = tempfile.mkdtemp(prefix="package-", dir=root)
        try:
            package = unpack(archive, os.path.join(work, "unpacked"))
            for name in BINARIES[platform]:
                problems += ["%s: %s" % (archives[0], p) for p in problems_of_binary(
                    os.path.join(package, name), objdump, machine, version)]
            if not no_trial:
                problems += ["%s: %s" % (archives[0], p)
                             for p in try_readme_steps(package, platform, version)]
        finally:
            shutil.rmtree(work, ignore_errors=True)
        print("package: %s checked" % archives[0])
    problems += checksum_problems(opts.dist)
    for p in problems:
        print("package: " + p)
    if not problems and opts.no_trial:
        print("package: every archive holds what it should; those tried work as README.txt says")
    elif not problems:
        print("package: every archive holds what it should and works as README.txt says")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
