#!/usr/bin/env python3
"""Checks the release archives in dist/: their contents, stripped binaries,
the version in them, and that the administrator's steps give a working
sensor: unpacked into a probe's EXEXML folder (a Wine prefix for the Windows
archive), with the stand-in library from simulator/ beside the sensor."""
import argparse
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
SHARED = ["README.md", "CHANGELOG.md", "LICENSE", "docs/", "docs/admin-guide.md", "examples/",
          "examples/Quadrant.Prf", "examples/SAP Quadrant.Gbl", "examples/SapRfc.DEMO",
          "examples/sapsim.ini", "simulator/", "simulator/README.txt", "simulator/sapsim.py",
          "simulator/sapsim.ini"]
CONTENTS = {
    "win32": SHARED + ["ramgauge.exe", "ramgauge-profile.exe", "simulator/librfc32.dll",
                       "simulator/sapnwrfc.dll"],
    "win64": SHARED + ["ramgauge.exe", "ramgauge-profile.exe", "simulator/librfc32.dll",
                       "simulator/sapnwrfc.dll"],
    "linux": SHARED + ["ramgauge", "ramgauge-profile", "simulator/librfc32.so",
                       "simulator/libsapnwrfc.so"],
}
CREATE = ["create", "DEMO.P00", "--extcompany=Demo", "--destination=DEMO", "--client=100",
          "--user=monitor", "--language=E", "--mode=R/3", "--hostname=sapdemo", "--sysnr=00",
          "--gwhost=127.0.0.1", "--gwservice=sapgw00"]
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


# The object format each archive's binaries must have: the platform name
# promises the pointer size.
FORMATS = {"win32": "pei-i386", "win64": "pei-x86-64"}


def problems_of_binary(path, objdump, version, platform):
    problems = []
    header = subprocess.run([objdump, "-f", path], capture_output=True, text=True).stdout
    if platform in FORMATS and "file format %s" % FORMATS[platform] not in header:
        problems.append("%s is not %s" % (os.path.basename(path), FORMATS[platform]))
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
    return problems


def try_as_administrator(folder, package, wine, library):
    """The steps of simulator/README.txt: sapsim on port 3300, one stand-in
    library beside the sensor, a profile, one scan; then through
    SapRfc.DEMO."""
    problems = []
    exe = ".exe" if wine else ""
    shutil.copy(os.path.join(package, "simulator", library), folder)
    for name in ["ramgauge" + exe, "ramgauge-profile" + exe]:
        shutil.copy(os.path.join(package, name), folder)

    def run(args, stdin=None):
        command = (["wine"] if wine else []) + [os.path.join(folder, args[0] + exe)] + args[1:]
        return subprocess.run(command, cwd=folder, input=stdin, capture_output=True, timeout=60)

    sapsim = subprocess.Popen([sys.executable, os.path.join(package, "simulator", "sapsim.py"),
                               os.path.join(package, "simulator", "sapsim.ini"), "--port", "3300",
                               "--lifetime", "120"], stdout=subprocess.PIPE,
                              stderr=subprocess.PIPE)
    try:
        if sapsim.stdout.readline().strip() != b"3300":
            return ["sapsim did not start on port 3300: %r" % sapsim.stderr.read()]
        version = run(["ramgauge", "--version"]).stdout.decode().strip()
        if version != "Ramgauge 4.3.0":
            problems.append("ramgauge --version says %r" % version)
        created = run(["ramgauge-profile"] + CREATE, b"demo-pass1\n")
        if created.returncode != 0:
            problems.append("ramgauge-profile create failed: %r" % created.stderr)
        for how in ["profile", "destination file"]:
            if how == "destination file":
                shutil.copy(os.path.join(package, "examples", "SapRfc.DEMO"), folder)
            scan = run(["ramgauge", "DEMO"])
            try:
                root = ElementTree.fromstring(scan.stdout.decode("ascii"))
                channels = [r.findtext("Channel") for r in root.findall("Result")]
            except (ElementTree.ParseError, UnicodeDecodeError):
                channels = None
            if scan.returncode != 0 or channels != CHANNELS:
                problems.append("scan through the %s: exit %d, %r" % (how, scan.returncode,
                                                                    scan.stdout))
    finally:
        sapsim.kill()
        sapsim.wait()
    return problems


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--dist", default=os.path.join(ROOT, "dist"))
    opts = parser.parse_args()
    version = re.search(r"project\(ramgauge VERSION ([0-9.]+)",
                        open(os.path.join(ROOT, "CMakeLists.txt")).read()).group(1)
    problems = []
    for platform, objdump in [("win32", "i686-w64-mingw32-objdump"),
                              ("win64", "x86_64-w64-mingw32-objdump"), ("linux", "objdump")]:
        archives = [a for a in os.listdir(opts.dist)
                    if a.startswith("ramgauge-%s-%s" % (version, platform)) and "-debug" not in a]
        if len(archives) != 1:
            problems.append("no single %s archive in %s: %r" % (platform, opts.dist, archives))
            continue
        archive = os.path.join(opts.dist, archives[0])
        top, listed = names(archive)
        if listed != sorted(CONTENTS[platform]):
            problems.append("%s holds %r" % (archives[0], listed))
        wine = platform.startswith("win")
        root = os.path.join(os.environ["WINEPREFIX"], "drive_c") if wine else None
        work = tempfile.mkdtemp(prefix="package-", dir=root)
        try:
            package = unpack(archive, os.path.join(work, "unpacked"))
            for name in CONTENTS[platform]:
                if name.startswith(("ramgauge", "simulator/lib", "simulator/sapnwrfc")):
                    problems += problems_of_binary(os.path.join(package, name), objdump, version,
                                                   platform)
            # Each stand-in library alone beside the sensor: either back end.
            for library in [n.split("/")[1] for n in CONTENTS[platform]
                            if n.startswith("simulator/") and n.endswith((".so", ".dll"))]:
                folder = os.path.join(work, library, "PRTG Network Monitor", "Custom Sensors",
                                      "EXEXML")
                os.makedirs(folder)
                problems += ["%s with %s: %s" % (archives[0], library, p)
                             for p in try_as_administrator(folder, package, wine, library)]
        finally:
            shutil.rmtree(work, ignore_errors=True)
        print("package: %s checked" % archives[0])
    for p in problems:
        print("package: " + p)
    if not problems:
        print("package: all archives hold what they should and work as the guide says")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
