#!/usr/bin/env python3
"""cmake --install of a native tree gives the GNU layout: programs in bin/,
documents in share/doc/ramgauge/, the simulator in lib/ramgauge/simulator/,
and nothing in the prefix's root."""
import os
import subprocess
import sys
import tempfile

EXPECTED = {
    "bin/ramgauge", "bin/ramgauge-profile",
    "share/doc/ramgauge/README.txt", "share/doc/ramgauge/CHANGELOG.md",
    "share/doc/ramgauge/LICENSE", "share/doc/ramgauge/admin-guide.md",
    "share/doc/ramgauge/Ramgauge.Limits",
    "share/doc/ramgauge/examples/Quadrant.Prf", "share/doc/ramgauge/examples/SAP Quadrant.Gbl",
    "share/doc/ramgauge/examples/SapRfc.DEMO", "share/doc/ramgauge/examples/sapsim.ini",
    "LIB/ramgauge/simulator/README.txt", "LIB/ramgauge/simulator/librfc32.so",
    "LIB/ramgauge/simulator/libsapnwrfc.so",
    "LIB/ramgauge/simulator/sapsim.py", "LIB/ramgauge/simulator/sapsim.ini",
}


def main():
    build, libdir = sys.argv[1], sys.argv[2]
    with tempfile.TemporaryDirectory(prefix="ramgauge-install-") as prefix:
        subprocess.run(["cmake", "--install", build, "--prefix", prefix], check=True,
                       stdout=subprocess.DEVNULL)
        found = {os.path.relpath(os.path.join(root, name), prefix)
                 for root, _, names in os.walk(prefix) for name in names}
    expected = {path.replace("LIB", libdir) for path in EXPECTED}
    if found != expected:
        print("missing: %r\nunexpected: %r" % (sorted(expected - found), sorted(found - expected)))
        return 1
    print("install: the GNU layout, %d files" % len(found))
    return 0


if __name__ == "__main__":
    sys.exit(main())
