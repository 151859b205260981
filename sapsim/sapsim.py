#!/usr/bin/env python3
"""sapsim: a simulated SAP system for Ramgauge's RFC library.

It listens on loopback only and answers the stand-in librfc32: logons and
calls of GET_MEM_ALL, with figures fixed in its configuration file or read
live from this machine, and with the faults that tests and demonstrations
need. The first line it prints is the port it listens on.

Configuration file (INI), one section per system:

  [PRD]
  host = sapprd            ; the host name a logon names
  sysnr = 00               ; and its system number
  clients = 100 200        ; accepted clients
  users = MONITOR:secret   ; accepted USER:password pairs (user in capitals)
  memory = fixed           ; fixed (figures below) or live (/proc of this machine)
  phys_mem = 16777216      ; the 13 MEM_ALL fields, in kilobytes or per second:
  free_mem = 2097152       ;   type subtype serialnr in_pg_sec out_pg_sec in_kb_sec
  swap_size = 4194304      ;   out_kb_sec free_mem phys_mem swap_conf swap_free
  swap_free = 2097152      ;   swap_size swap_max (missing ones are 0)
  in_pg_sec = 12
  lines = 1                ; table lines sent; the figures are in the last one
  fault = none             ; see below

Faults: none, refuse [reason], failure [text], exception NAME,
sys_exception TEXT, code N, drop (connection closed in the middle of the
call), garbage (a reply that breaks the protocol), delay SECONDS (answer
late), hang (never answer the call), empty_table.

A fault can also be set while sapsim runs, per request, by sending
"CONTROL\\nset SYSTEM fault VALUE\\n\\n" to its port.
"""
import argparse
import configparser
import os
import signal
import socket
import socketserver
import struct
import sys
import threading
import time

FIELDS = ["type", "subtype", "serialnr", "in_pg_sec", "out_pg_sec", "in_kb_sec", "out_kb_sec",
          "free_mem", "phys_mem", "swap_conf", "swap_free", "swap_size", "swap_max"]
INT32_MAX = 2**31 - 1


def clamp32(value):
    return max(-2**31, min(INT32_MAX, int(value)))


def pack_mem_all(values):
    """One 48-byte MEM_ALL line, little-endian, 2 bytes of padding after SERIALNR."""
    v = [clamp32(values.get(f, 0)) for f in FIELDS]
    shorts = [max(-32768, min(32767, x)) for x in v[:3]]
    return struct.pack("<hhhxx10i", *shorts, *v[3:])


class LiveMemory:
    """This machine's memory from /proc, paging as rates per second."""

    def __init__(self):
        self.lock = threading.Lock()
        self.last = self._counters()
        self.rates = {"in_pg_sec": 0, "out_pg_sec": 0, "in_kb_sec": 0, "out_kb_sec": 0}

    @staticmethod
    def _read(path):
        values = {}
        try:
            with open(path) as f:
                for line in f:
                    parts = line.replace(":", " ").split()
                    if len(parts) >= 2 and parts[1].isdigit():
                        values[parts[0]] = int(parts[1])
        except OSError:
            pass
        return values

    def _counters(self):
        vm = self._read("/proc/vmstat")
        return time.monotonic(), vm.get("pgpgin", 0), vm.get("pgpgout", 0)

    def figures(self):
        with self.lock:
            now, kb_in, kb_out = self._counters()
            then, last_in, last_out = self.last
            if now - then >= 0.2:
                seconds = now - then
                self.rates = {
                    "in_kb_sec": (kb_in - last_in) / seconds,
                    "out_kb_sec": (kb_out - last_out) / seconds,
                    "in_pg_sec": (kb_in - last_in) / 4 / seconds,
                    "out_pg_sec": (kb_out - last_out) / 4 / seconds,
                }
                self.last = (now, kb_in, kb_out)
            rates = dict(self.rates)
        mem = self._read("/proc/meminfo")
        figures = {
            "type": 1, "subtype": 0, "serialnr": 1,
            "phys_mem": mem.get("MemTotal", 0),
            "free_mem": mem.get("MemAvailable", mem.get("MemFree", 0)),
            "swap_size": mem.get("SwapTotal", 0),
            "swap_free": mem.get("SwapFree", 0),
            "swap_conf": mem.get("SwapTotal", 0),
            "swap_max": mem.get("SwapTotal", 0),
        }
        figures.update({k: round(v) for k, v in rates.items()})
        return figures


class System:
    def __init__(self, name, section):
        self.name = name
        self.host = section.get("host", name).lower()
        self.sysnr = section.get("sysnr", "00")
        self.clients = section.get("clients", "100").split()
        self.users = dict(u.split(":", 1) for u in section.get("users", "").split() if ":" in u)
        self.memory = section.get("memory", "fixed")
        self.values = {f: int(section.get(f, "0")) for f in FIELDS}
        self.lines = int(section.get("lines", "1"))
        self.fault = section.get("fault", "none")


class Simulator:
    def __init__(self, config_path, log_path):
        parser = configparser.ConfigParser(inline_comment_prefixes=(";",))
        if not parser.read(config_path):
            raise SystemExit("sapsim: cannot read %s" % config_path)
        self.systems = [System(name, parser[name]) for name in parser.sections()]
        self.live = LiveMemory()
        self.log_lock = threading.Lock()
        self.log_path = log_path

    def log(self, text):
        if not self.log_path:
            return
        with self.log_lock, open(self.log_path, "a") as f:
            f.write(text + "\n")

    def find(self, host, sysnr):
        for system in self.systems:
            if system.host == host.lower() and int(system.sysnr or 0) == int(sysnr or 0):
                return system
        return None

    def figures(self, system):
        return self.live.figures() if system.memory == "live" else dict(system.values)


def read_message(stream):
    lines = []
    while True:
        line = stream.readline()
        if not line:
            return None
        line = line.decode("latin-1").rstrip("\n")
        if line == "":
            return lines
        lines.append(line)


def fields(lines):
    out = {}
    for line in lines[1:]:
        key, _, value = line.partition(" ")
        out[key] = value
    return out


class Handler(socketserver.StreamRequestHandler):
    def send(self, *lines):
        self.wfile.write(("\n".join(lines) + "\n\n").encode("latin-1"))
        self.wfile.flush()

    def handle(self):
        sim = self.server.simulator
        try:
            first = read_message(self.rfile)
            if not first:
                return
            if first[0] == "CONTROL":
                for line in first[1:]:
                    words = line.split(" ", 3)
                    if len(words) == 4 and words[0] == "set":
                        for system in sim.systems:
                            if system.name == words[1]:
                                setattr(system, words[2], words[3])
                self.send("OK")
                return
            if first[0] != "LOGON":
                return
            logon = fields(first)
            system = sim.find(logon.get("host", ""), logon.get("sysnr", "0"))
            name = system.name if system else "-"
            if system is None:
                reason = "no system %s %s" % (logon.get("host"), logon.get("sysnr"))
            elif system.fault.startswith("refuse"):
                reason = system.fault[7:] or "logon refused"
            elif logon.get("client") not in system.clients:
                reason = "client %s unknown" % logon.get("client")
            elif system.users.get(logon.get("user")) != logon.get("passwd"):
                reason = "name or password is incorrect"
            else:
                reason = None
            sim.log("logon %s client=%s user=%s lang=%s %s" % (
                name, logon.get("client"), logon.get("user"), logon.get("lang"),
                "refused" if reason else "ok"))
            if reason:
                self.send("REFUSED " + reason)
                return
            self.send("OK")
            while True:
                call = read_message(self.rfile)
                if not call:
                    return
                if not call[0].startswith("CALL "):
                    return
                self.answer_call(sim, system, call)
        except (ConnectionError, OSError):
            pass  # the client vanished; nothing to clean up

    def answer_call(self, sim, system, call):
        function = call[0][5:]
        fault = system.fault
        sim.log("call %s %s fault=%s" % (system.name, function, fault))
        if function != "GET_MEM_ALL":
            self.send("RESULT 2", "exception FUNCTION_NOT_FOUND")
            return
        if fault == "hang":
            time.sleep(3600)
            return
        if fault.startswith("delay"):
            time.sleep(float(fault.split()[1]))
        if fault == "drop":
            self.request.shutdown(socket.SHUT_RDWR)
            return
        if fault == "garbage":
            self.send("HTTP/1.0 200 OK", "what is this")
            return
        if fault.startswith("exception"):
            self.send("RESULT 2", "exception " + fault[10:])
            return
        if fault.startswith("sys_exception"):
            self.send("RESULT 3", "exception " + fault[14:])
            return
        if fault.startswith("failure"):
            self.send("RESULT 1", "message " + (fault[8:] or "GET_MEM_ALL failed"))
            return
        if fault.startswith("code"):
            self.send("RESULT " + fault.split()[1])
            return
        reply = ["RESULT 0",
                 "import ACTIVEFLAG " + struct.pack("<i", 1).hex(),
                 "import INTERVAL " + struct.pack("<i", 60).hex(),
                 "import F_MEM_ALL_READ " + b"X  ".hex(),
                 "import LASTCOLLWRT " + time.strftime("%Y%m%d%H%M%S").ljust(25).encode().hex()]
        if fault != "empty_table":
            figures = sim.figures(system)
            for n in range(max(1, int(system.lines)) - 1):
                earlier = {k: n + 1 for k in FIELDS}
                reply.append("row TF_MEM_ALL " + pack_mem_all(earlier).hex())
            reply.append("row TF_MEM_ALL " + pack_mem_all(figures).hex())
        self.send(*reply)


class Server(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True
    request_queue_size = 64


def main():
    parser = argparse.ArgumentParser(
        prog="sapsim", description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("config", help="the systems to simulate (INI file)")
    parser.add_argument("--port", type=int, default=0, help="port on 127.0.0.1 (0: any free one)")
    parser.add_argument("--lifetime", type=float, default=600,
                        help="stop by itself after this many seconds (default 600)")
    parser.add_argument("--log", help="append one line per logon and call to this file")
    opts = parser.parse_args()

    server = Server(("127.0.0.1", opts.port), Handler)
    server.simulator = Simulator(opts.config, opts.log)
    print(server.server_address[1], flush=True)

    stop = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: stop.set())
    signal.signal(signal.SIGINT, lambda *_: stop.set())
    thread = threading.Thread(target=server.serve_forever, kwargs={"poll_interval": 0.1},
                              daemon=True)
    thread.start()
    stop.wait(opts.lifetime)
    server.shutdown()
    server.server_close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
