#!/usr/bin/env python3
"""sapsim refuses what it cannot serve with one clear line, never a traceback."""
import os
import runpy
import signal
import socket
import subprocess
import sys
import tempfile
import time
import types
import unittest
from unittest import mock

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
                                     stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                     text=True)
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


class StaysUp(unittest.TestCase):
    """Without --lifetime sapsim serves until it is stopped, and says so."""

    def test_port_alone_first_then_where_and_how_to_stop(self):
        with tempfile.NamedTemporaryFile("w", suffix=".ini", delete=False) as f:
            f.write(GOOD)
        try:
            proc = subprocess.Popen([sys.executable, SAPSIM, f.name], stdout=subprocess.PIPE,
                                    stderr=subprocess.PIPE, text=True)
            port = proc.stdout.readline()
            self.assertRegex(port, r"^\d+\n$")
            time.sleep(1.5)
            self.assertIsNone(proc.poll(), "sapsim stopped by itself")
            with socket.create_connection(("127.0.0.1", int(port)), timeout=5):
                pass
            proc.send_signal(signal.SIGTERM)
            out, err = proc.communicate(timeout=10)
        finally:
            os.unlink(f.name)
        self.assertEqual(proc.returncode, 0)
        self.assertEqual(out, "")
        self.assertEqual(err, "sapsim: serving PRD (host sapprd, system number 00) on 127.0.0.1 "
                              "port %d until it is stopped; stop it with Ctrl+C or SIGTERM\n"
                              "sapsim: stopped\n" % int(port))

    def test_help_gives_every_default(self):
        out = subprocess.run([sys.executable, SAPSIM, "--help"], capture_output=True, text=True,
                             timeout=20).stdout
        for text in ["default 0: any free one", "default: run until stopped",
                     "default: none", "Defaults: host the section's name, sysnr 00, clients 100"]:
            self.assertIn(text, " ".join(out.split()))


def load_sapsim():
    return types.SimpleNamespace(**runpy.run_path(SAPSIM, run_name="sapsim"))


class LiveMemory(unittest.TestCase):
    def test_refused_where_there_is_no_source(self):
        sapsim = load_sapsim()
        with mock.patch.object(sapsim.os, "access", return_value=False), \
                mock.patch.object(sapsim.sys, "platform", "darwin"):
            with self.assertRaises(sapsim.ConfigError) as refused:
                sapsim.check_setting("PRD", "memory", "live")
            self.assertEqual(str(refused.exception),
                             "[PRD]: memory = live needs /proc/meminfo (Linux) or Windows; this "
                             "machine has neither: use memory = fixed")
            self.assertEqual(sapsim.check_setting("PRD", "memory", "fixed"), "fixed")
        with mock.patch.object(sapsim.os, "access", return_value=False), \
                mock.patch.object(sapsim.sys, "platform", "win32"):
            self.assertEqual(sapsim.check_setting("PRD", "memory", "live"), "live")

    def test_windows_figures_from_memory_status(self):
        # 8 GiB physical, 2 GiB free; commit limit 12 GiB, 5 GiB of it free.
        gib = 1 << 30
        figures = load_sapsim().windows_figures((8 * gib, 2 * gib, 12 * gib, 5 * gib))
        self.assertEqual((figures["phys_mem"], figures["free_mem"], figures["swap_size"],
                          figures["swap_free"]), (8 << 20, 2 << 20, 4 << 20, 3 << 20))


if __name__ == "__main__":
    unittest.main()
