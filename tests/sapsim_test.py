#!/usr/bin/env python3
"""sapsim refuses what it cannot serve with one clear line, never a traceback."""
import os
import socket
import subprocess
import sys
import tempfile
import unittest

SAPSIM = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "sapsim", "sapsim.py")
GOOD = "[PRD]\nhost = sapprd\nusers = MONITOR:secret1\n"


def run_sapsim(config, *args):
    with tempfile.NamedTemporaryFile("w", suffix=".ini", delete=False) as f:
        f.write(config)
    try:
        return subprocess.run([sys.executable, SAPSIM, f.name, "--lifetime", "5"] + list(args),
                              capture_output=True, text=True, timeout=20)
    finally:
        os.unlink(f.name)


class BadInput(unittest.TestCase):
    CASES = [
        # (config, extra arguments, what stderr must say)
        ("[PRD]\nfault = exeption NOT_AUTHORIZED\n", [], "unknown fault 'exeption'"),
        ("[PRD]\nfault = frobnicate\n", [], "unknown fault 'frobnicate'"),
        ("[PRD]\nfault = code seven\n", [], "fault code needs a whole number"),
        ("[PRD]\nfault = delay soon\n", [], "fault delay needs a number of seconds"),
        ("[PRD]\nlibrary_fault = explode\n", [], "unknown library fault 'explode'"),
        ("[PRD]\nphys_mem = lots\n", [], "phys_mem is a whole number, not 'lots'"),
        ("[PRD]\nlines = -2\n", [], "lines is a whole number"),
        ("[PRD]\nfree_memory = 5\n", [], "unknown setting 'free_memory'"),
        ("phys_mem = 5\n", [], "no section headers"),
        ("", [], "names no system"),
        (GOOD, ["--lifetime", "0"], "--lifetime: '0' is not a number of seconds"),
        (GOOD, ["--lifetime", "-1"], "--lifetime: '-1' is not a number of seconds"),
        (GOOD, ["--lifetime", "inf"], "--lifetime: 'inf' is not a number of seconds"),
    ]

    def test_refused_with_a_clear_line(self):
        for config, args, message in self.CASES:
            with self.subTest(config=config, args=args):
                proc = run_sapsim(config, *args)
                self.assertEqual(proc.returncode, 2)
                self.assertEqual(proc.stdout, "")
                self.assertIn(message, proc.stderr)
                self.assertNotIn("Traceback", proc.stderr)

    def test_port_in_use(self):
        with socket.socket() as busy:
            busy.bind(("127.0.0.1", 0))
            busy.listen()
            port = busy.getsockname()[1]
            proc = run_sapsim(GOOD, "--port", str(port))
        self.assertEqual(proc.returncode, 2)
        self.assertEqual(proc.stderr.strip(),
                         "sapsim: cannot listen on 127.0.0.1 port %d: Address already in use" % port)


class Control(unittest.TestCase):
    def setUp(self):
        self.config = tempfile.NamedTemporaryFile("w", suffix=".ini", delete=False)
        self.config.write(GOOD)
        self.config.close()
        self.proc = subprocess.Popen([sys.executable, SAPSIM, self.config.name, "--lifetime", "20"],
                                     stdout=subprocess.PIPE, text=True)
        self.port = int(self.proc.stdout.readline())

    def tearDown(self):
        self.proc.terminate()
        self.proc.wait(timeout=10)
        self.proc.stdout.close()
        os.unlink(self.config.name)

    def control(self, line):
        with socket.create_connection(("127.0.0.1", self.port), timeout=5) as s:
            s.sendall(("CONTROL\n%s\n\n" % line).encode())
            return s.makefile().readline().rstrip("\n")

    def test_set_is_checked(self):
        for line, answer in [
                ("set PRD fault hang", "OK"),
                ("set PRD fault exeption X", "ERROR [PRD]: unknown fault 'exeption' (known: "),
                ("set QAS fault hang", "ERROR unknown system QAS"),
                ("set PRD colour blue", "ERROR [PRD]: unknown setting 'colour'"),
                ("set PRD phys_mem many", "ERROR [PRD]: phys_mem is a whole number, not 'many'"),
                ("frobnicate", "ERROR expected: set SYSTEM KEY VALUE")]:
            with self.subTest(line=line):
                self.assertTrue(self.control(line).startswith(answer), self.control(line))


if __name__ == "__main__":
    unittest.main()
