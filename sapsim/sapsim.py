#!/usr/bin/env python3
"""sapsim: a simulated SAP system for Ramgauge's RFC library.

It listens on loopback only and answers the stand-in librfc32: logons and
calls of GET_MEM_ALL, with figures fixed in its configuration file or read
live from this machine, and with the faults that tests and demonstrations
need. The first line it prints on standard output is the port it listens
on, alone; where it listens and how to stop it follow on standard error.
It runs until it is stopped (Ctrl+C, SIGTERM) or --lifetime has passed.

Configuration file (INI), one section per system:

  [PRD]
  host = sapprd            ; the host name a logon names
  sysnr = 00               ; and its system number
  clients = 100 200        ; accepted clients
  users = MONITOR:secret   ; accepted USER:password pairs (user in capitals; \\x20
                           ; stands for a blank in a password)
  memory = fixed           ; fixed (the default; figures below) or live (this
                           ;   machine's: /proc on Linux; on Windows physical
                           ;   memory and page file, paging rates 0)
  phys_mem = 16777216      ; the 13 MEM_ALL fields, in kilobytes or per second:
  free_mem = 2097152       ;   type subtype serialnr in_pg_sec out_pg_sec in_kb_sec
  swap_size = 4194304      ;   out_kb_sec free_mem phys_mem swap_conf swap_free
  swap_free = 2097152      ;   swap_size swap_max (missing ones are 0)
  in_pg_sec = 12
  lines = 1                ; table lines sent; the figures are in the last one
  fault = none             ; see below (default none)
  library_fault = none     ; see below (default none)

Defaults: host the section's name, sysnr 00, clients 100, no users (every
logon refused), memory fixed, missing figures 0, lines 1, no faults.

Faults: none, refuse [reason], failure [text], exception NAME,
sys_exception TEXT, code N, drop (connection closed in the middle of the
call), garbage (a reply that breaks the protocol), delay SECONDS (answer
late), hang (never answer the call), hang_logon (accept the connection,
never answer the logon), endless (a reply of short lines without end),
empty_table, short_row (a table row shorter than MEM_ALL), long_code (a
result code too large for any int), hangup (the connection is dropped
before any answer, as by a peer that breaks off the handshake).

A client first names the system (CONNECT, host and sysnr); sapsim refuses
when it serves none. The logon data (LOGON) follow with the first call, and
are checked then, as SAP's gateway does. Texts may carry \\xNN escapes for any byte (a Latin-1 letter,
a control byte).

Library faults are sent to the stand-in RFC library in the logon reply and
make it misbehave from then on: install, create, get_line, delete (that
operation fails), and structure, type_handle, exporting, importing (the
library sees that part of the caller's call description altered, so that
its check of the description refuses it), export_value (the library sends
LOCAL_REMOTE as "LOCALX", which sapsim refuses).

A setting can also be changed while sapsim runs by sending
"CONTROL\\nset SYSTEM KEY VALUE\\n\\n" to its port; it answers "OK" or
"ERROR <reason>".
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
    """This machine's memory: from /proc on Linux, paging as rates per
    second; on Windows physical memory and page file, paging rates 0."""

    def __init__(self):
        self.lock = threading.Lock()
        self.last = self._counters()
        self.rates = {"in_pg_sec": 0, "out_pg_sec": 0, "in_kb_sec": 0, "out_kb_sec": 0}

    @staticmethod
    def available():
        """Why live figures cannot be had on this machine; None when they can."""
        if sys.platform == "win32" or os.access("/proc/meminfo", os.R_OK):
            return None
        return ("memory = live needs /proc/meminfo (Linux) or Windows; this machine has "
                "neither: use memory = fixed")

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
        if sys.platform == "win32":
            return windows_figures(windows_memory_status())
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


def windows_memory_status():
    """GlobalMemoryStatusEx: (total physical, available physical, commit
    limit, available commit) in bytes."""
    import ctypes

    class MemoryStatusEx(ctypes.Structure):
        _fields_ = [("dwLength", ctypes.c_ulong), ("dwMemoryLoad", ctypes.c_ulong),
                    ("ullTotalPhys", ctypes.c_ulonglong), ("ullAvailPhys", ctypes.c_ulonglong),
                    ("ullTotalPageFile", ctypes.c_ulonglong),
                    ("ullAvailPageFile", ctypes.c_ulonglong),
                    ("ullTotalVirtual", ctypes.c_ulonglong),
                    ("ullAvailVirtual", ctypes.c_ulonglong),
                    ("ullAvailExtendedVirtual", ctypes.c_ulonglong)]

    status = MemoryStatusEx()
    status.dwLength = ctypes.sizeof(MemoryStatusEx)
    if not ctypes.windll.kernel32.GlobalMemoryStatusEx(ctypes.byref(status)):
        return 0, 0, 0, 0
    return (status.ullTotalPhys, status.ullAvailPhys, status.ullTotalPageFile,
            status.ullAvailPageFile)


def windows_figures(status):
    """MEM_ALL figures in kilobytes from windows_memory_status(): the page
    file is the commit limit beyond physical memory."""
    total, available, commit_limit, commit_free = status
    swap = max(0, commit_limit - total) // 1024
    swap_free = min(swap, max(0, commit_free - available) // 1024)
    return {"type": 1, "subtype": 0, "serialnr": 1, "phys_mem": total // 1024,
            "free_mem": available // 1024, "swap_size": swap, "swap_free": swap_free,
            "swap_conf": swap, "swap_max": swap}


class ConfigError(Exception):
    """A configuration that sapsim cannot serve; the text says why."""


# Fault name -> what follows it: None nothing, "text" optional text,
# "name" a required word or text, "int" a whole number, "seconds" a number.
FAULTS = {"none": None, "refuse": "text", "failure": "text", "exception": "name",
          "sys_exception": "name", "code": "int", "drop": None, "garbage": None,
          "delay": "seconds", "hang": None, "hang_logon": None, "endless": None,
          "empty_table": None, "short_row": None, "long_code": None, "hangup": None}
LIBRARY_FAULTS = ["none", "install", "create", "get_line", "delete", "structure", "type_handle",
                  "export_value",
                  "exporting", "importing"]
KEYS = ["host", "sysnr", "clients", "users", "memory", "lines", "fault",
        "library_fault"] + FIELDS


def unescape(text):
    """Texts of faults may carry \\xNN for any byte."""
    return text.encode("latin-1").decode("unicode_escape") if "\\x" in text else text


def read_users(text):
    """USER:password pairs; a password may carry \\x20 for a blank."""
    return {user: unescape(password) for user, _, password in
            (u.partition(":") for u in text.split() if ":" in u)}


def check_fault(value):
    name, _, rest = value.partition(" ")
    if name not in FAULTS:
        raise ConfigError("unknown fault %r (known: %s)" % (name, ", ".join(FAULTS)))
    kind = FAULTS[name]
    if kind is None and rest:
        raise ConfigError("fault %s takes no value" % name)
    if kind == "name" and not rest:
        raise ConfigError("fault %s needs a text" % name)
    if kind == "int" and not rest.lstrip("-").isdigit():
        raise ConfigError("fault %s needs a whole number, not %r" % (name, rest))
    if kind == "seconds":
        try:
            if not 0 <= float(rest) < 86400:
                raise ValueError
        except ValueError:
            raise ConfigError("fault %s needs a number of seconds, not %r" % (name, rest))
    return value


def check_setting(system, key, value):
    """Checks one setting and returns its value as sapsim keeps it."""
    if key not in KEYS:
        raise ConfigError("[%s]: unknown setting %r" % (system, key))
    try:
        if key == "fault":
            return check_fault(value)
        if key == "library_fault":
            if value not in LIBRARY_FAULTS:
                raise ConfigError("unknown library fault %r (known: %s)"
                                  % (value, ", ".join(LIBRARY_FAULTS)))
            return value
        if key == "memory":
            if value not in ("fixed", "live"):
                raise ConfigError("memory is fixed or live, not %r" % value)
            if value == "live" and LiveMemory.available():
                raise ConfigError(LiveMemory.available())
            return value
        if key == "sysnr":
            if not (value.isdigit() and len(value) <= 2):
                raise ConfigError("sysnr is a number of one or two digits, not %r" % value)
            return value
        if key == "lines":
            if not value.isdigit():
                raise ConfigError("lines is a whole number, not %r" % value)
            return int(value)
        if key in FIELDS:
            try:
                return int(value)
            except ValueError:
                raise ConfigError("%s is a whole number, not %r" % (key, value))
        return value
    except ConfigError as error:
        raise ConfigError("[%s]: %s" % (system, error))


class System:
    def __init__(self, name, section):
        self.name = name
        for key in section:
            check_setting(name, key, section[key])
        get = lambda key, default: check_setting(name, key, section.get(key, default))
        self.host = get("host", name).lower()
        self.sysnr = get("sysnr", "00")
        self.clients = get("clients", "100").split()
        self.users = read_users(get("users", ""))
        self.memory = get("memory", "fixed")
        self.values = {f: get(f, "0") for f in FIELDS}
        self.lines = get("lines", "1")
        self.fault = get("fault", "none")
        self.library_fault = get("library_fault", "none")

    def set(self, key, value):
        value = check_setting(self.name, key, value)
        if key in FIELDS:
            self.values[key] = value
        elif key == "host":
            self.host = value.lower()
        elif key == "clients":
            self.clients = value.split()
        elif key == "users":
            self.users = read_users(value)
        else:
            setattr(self, key, value)


class Simulator:
    def __init__(self, config_path, log_path):
        parser = configparser.ConfigParser(inline_comment_prefixes=(";",), interpolation=None)
        try:
            if not parser.read(config_path, encoding="latin-1"):
                raise ConfigError("cannot read %s" % config_path)
        except configparser.Error as error:
            raise ConfigError("%s: %s" % (config_path, " ".join(str(error).split())))
        self.systems = [System(name, parser[name]) for name in parser.sections()]
        if not self.systems:
            raise ConfigError("%s names no system ([NAME] sections)" % config_path)
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
    def setup(self):
        super().setup()
        # Replies go out at once: a client that sends its logon with its
        # call reads two replies in a row, and Nagle would hold the second
        # until the client's delayed acknowledgement of the first.
        self.request.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)

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
                self.send(self.control(sim, first[1:]))
                return
            if first[0] != "CONNECT":
                return
            # The physical connection names the system; the logon data come
            # with the first call, as with SAP's gateway.
            where = fields(first)
            system = sim.find(where.get("host", ""), where.get("sysnr", "0"))
            if system is None:
                sim.log("connect - refused")
                self.send("REFUSED no system %s %s" % (where.get("host"), where.get("sysnr")))
                return
            if system.fault == "hangup":
                return  # the peer drops the connection before any answer
            if system.library_fault != "none":
                self.send("OK", "libfault " + system.library_fault)
            else:
                self.send("OK")
            second = read_message(self.rfile)
            if not second or second[0] != "LOGON":
                return
            logon = fields(second)
            if system.fault.startswith("refuse"):
                reason = unescape(system.fault[7:]) or "logon refused"
            elif logon.get("client") not in system.clients:
                reason = "client %s unknown" % logon.get("client")
            elif system.users.get(logon.get("user")) != logon.get("passwd"):
                reason = "name or password is incorrect"
            else:
                reason = None
            sim.log("logon %s client=%s user=%s lang=%s %s" % (
                system.name, logon.get("client"), logon.get("user"), logon.get("lang"),
                "refused" if reason else "ok"))
            if reason:
                self.send("REFUSED " + reason)
                return
            if system.fault == "hang_logon":
                time.sleep(3600)
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

    @staticmethod
    def control(sim, lines):
        for line in lines:
            words = line.split(" ", 3)
            if len(words) != 4 or words[0] != "set":
                return "ERROR expected: set SYSTEM KEY VALUE"
            system = next((s for s in sim.systems if s.name == words[1]), None)
            if system is None:
                return "ERROR unknown system %s" % words[1]
            try:
                system.set(words[2], words[3])
            except ConfigError as error:
                return "ERROR %s" % error
        return "OK"

    @staticmethod
    def export_fault(call):
        """What is wrong with the exporting values of a GET_MEM_ALL call."""
        exports = {}
        for line in call[1:]:
            kind, _, rest = line.partition(" ")
            if kind == "export":
                name, _, value = rest.partition(" ")
                exports[name] = bytes.fromhex(value)
        local_remote = exports.get("LOCAL_REMOTE", b"")
        if local_remote not in (b"LOCAL ", b"REMOTE"):
            return "LOCAL_REMOTE is '%s', not LOCAL or REMOTE" % local_remote.decode("latin-1")
        if exports.get("LOGICAL_DESTINATION") is None:
            return "LOGICAL_DESTINATION is missing"
        return None

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
        if fault == "endless":
            self.send_endless()
            return
        if fault == "long_code":
            self.send("RESULT 99999999999999999999")
            return
        try:
            wrong = self.export_fault(call)
        except ValueError:
            wrong = "exporting values are not hexadecimal"
        if wrong:
            self.send("RESULT 1", "message GET_MEM_ALL: " + wrong)
            return
        if fault.startswith("exception"):
            self.send("RESULT 2", "exception " + unescape(fault[10:]))
            return
        if fault.startswith("sys_exception"):
            self.send("RESULT 3", "exception " + unescape(fault[14:]))
            return
        if fault.startswith("failure"):
            self.send("RESULT 1", "message " + (unescape(fault[8:]) or "GET_MEM_ALL failed"))
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
            row = pack_mem_all(figures)
            reply.append("row TF_MEM_ALL " + (row[:4] if fault == "short_row" else row).hex())
        self.send(*reply)


    def send_endless(self):
        """A reply that never ends: short lines until the client hangs up
        (bounded, so that a client without a limit does not keep us busy)."""
        self.wfile.write(b"RESULT 0\n")
        chunk = b"import X 00\n" * 4096
        deadline = time.monotonic() + 60
        while time.monotonic() < deadline:
            self.wfile.write(chunk)


class Server(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True  # restarts at once; a port with a listener still fails
    request_queue_size = 64

    def process_request(self, request, client_address):
        # A connection already closed before it sent anything (a client's
        # reachability check) is closed here, without a handler thread, as a
        # gateway's event loop would: a thread's start would hold up the
        # next client's connection for longer than the check itself takes.
        closed = False
        if hasattr(socket, "MSG_DONTWAIT"):  # not on Windows: there, always a thread
            try:
                closed = request.recv(1, socket.MSG_PEEK | socket.MSG_DONTWAIT) == b""
            except OSError:
                pass
        if closed:
            self.shutdown_request(request)
            return
        super().process_request(request, client_address)


def lifetime(text):
    try:
        value = float(text)
    except ValueError:
        value = None
    if value is None or not 0 < value <= 86400:
        raise argparse.ArgumentTypeError("%r is not a number of seconds above 0, at most 86400"
                                         % text)
    return value


def main():
    parser = argparse.ArgumentParser(
        prog="sapsim", description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("config", help="the systems to simulate (INI file; required)")
    parser.add_argument("--port", type=int, default=0,
                        help="port on 127.0.0.1 (default 0: any free one)")
    parser.add_argument("--lifetime", type=lifetime, default=None,
                        help="stop by itself after this many seconds, more than 0 and at most "
                             "86400 (default: run until stopped)")
    parser.add_argument("--log", default=None,
                        help="append one line per logon and call to this file (default: none)")
    opts = parser.parse_args()
    if not 0 <= opts.port <= 65535:
        parser.error("--port must be 0 to 65535")

    try:
        simulator = Simulator(opts.config, opts.log)
    except ConfigError as error:
        print("sapsim: %s" % error, file=sys.stderr)
        return 2
    try:
        server = Server(("127.0.0.1", opts.port), Handler)
    except OSError as error:
        print("sapsim: cannot listen on 127.0.0.1 port %d: %s" % (opts.port, error.strerror),
              file=sys.stderr)
        return 2
    server.simulator = simulator
    port = server.server_address[1]
    # The port alone on the first line of standard output: scripts read it there.
    print(port, flush=True)
    names = ", ".join("%s (host %s, system number %s)" % (s.name, s.host, s.sysnr)
                      for s in simulator.systems)
    until = ("for %g seconds" % opts.lifetime) if opts.lifetime else "until it is stopped"
    print("sapsim: serving %s on 127.0.0.1 port %d %s; stop it with Ctrl+C%s"
          % (names, port, until, "" if sys.platform == "win32" else " or SIGTERM"),
          file=sys.stderr, flush=True)

    stop = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: stop.set())
    signal.signal(signal.SIGINT, lambda *_: stop.set())
    thread = threading.Thread(target=server.serve_forever, kwargs={"poll_interval": 0.1},
                              daemon=True)
    thread.start()
    # Waited in short steps: a wait without end would not see Ctrl+C on Windows.
    deadline = time.monotonic() + opts.lifetime if opts.lifetime else None
    while not stop.wait(0.5):
        if deadline is not None and time.monotonic() >= deadline:
            break
    server.shutdown()
    server.server_close()
    print("sapsim: stopped", file=sys.stderr, flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
