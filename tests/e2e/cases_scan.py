"""A complete scan of one system against sapsim."""
import re

from fixtures import error_answer, profile, system, xml_answer

STATUS = "(PRD) Memory=16.777 MB, Free=2.097 MB, Swap=4.194 MB, Free=50%, PageIn=12, PageOut=0 "
EXAMPLE = xml_answer(STATUS, "2097", "50", "12", "0")
PRD = {"PRD.P00": profile()}
# Another sensor's entry in the working folder, which a destination file
# must never touch nor use.
SAPRFC_INI_OF_ANOTHER = "DEST=PRD\r\nASHOST=sapother\r\nSYSNR=09\r\n"
TRACE_WITH_ERROR = ("\n**** ERROR file opened at Mon Dec 07 14:03:27 2026\n"
                    "T:4711 ======> first text\n"
                    "ERROR       partner hung up\n")

FATAL_PROTOCOL_XML = error_answer(
    "Error 1017: RFC error at RfcReceive: RFC_ERROR_PROTOCOL - reply from PRD breaks the protocol")
FATAL_PROTOCOL = (
    "RFC error\n"
    "operation/code  : RfcReceive\n"
    "key             : RFC_ERROR_PROTOCOL\n"
    "status          : RfcReceive\n"
    "message         : reply from PRD breaks the protocol\n"
    "internal status : CPIC-CALL: RfcReceive\n"
    "\n"
    "* Programm aborted...\n"
    "* Error at EoXput-File...\n")

PROGRESS = ("* {TIME} SAP Ramgauge Vers 4.3 / 29.08.22\n"
            "* {TIME} PRD.P00, sapprd, PRD, 00, 100 State=Processing\n"
            "* {TIME} Ramgauge - %s State=Executing\n")
DONE = "\n* {TIME} SAP Ramgauge now processed...\n"

SYSLOG_SCAN = (r"0 program started .*ramgauge(\.exe)?", "0 RfcEnvironment called ",
               r"1 RfcOpen called ", r"1 RfcCall called ", r"1 RfcReceive called ")
# The first trace line of a run through the NetWeaver library.
NW_LOADED = r"0 NetWeaver RFC library loaded .*sapnwrfc\.(so|dll)"


def failed(text):
    return error_answer(text)


def refused_at_open(reason, client="100"):
    """What differs when the NetWeaver library refuses the logon at the open."""
    return {"stdout": failed("Error 1011: RFC-Open for PRD failed ! - logon refused by sapprd "
                             "client %s user MONITOR: %s" % (client, reason))}


def answer_matches(text):
    """An error answer whose text matches the pattern."""
    def check(_work, out):
        pattern = r"<Prtg>\r?\n<Error>1</Error>\r?\n<Text>%s</Text>\r?\n</Prtg>\r?\n" % text
        return [] if re.fullmatch(pattern, out) else ["unexpected answer %r" % out]
    return check


# The heads of shared libraries: a 32-bit ELF file, and a PE file for one
# machine (0x14c i386, 0x8664 x86-64); the rest of the file is no code.
ELF32 = b"\x7fELF\x01\x01\x01" + bytes(57)


def pe(machine):
    return (b"MZ" + bytes(58) + (64).to_bytes(4, "little") + b"PE\0\0" +
            machine.to_bytes(2, "little") + bytes(58))


def wrong_bitness_named(_work, out):
    found = re.findall(r"(?:lib)?(?:rfc32|sapnwrfc)\.(?:so|dll) in \S+ is a (32|64)-bit library, "
                       r"the sensor a (32|64)-bit program", out)
    if "Error 1018: no RFC library can be loaded: " not in out or not found or any(
            a == b for a, b in found):
        return ["the wrong bitness is not named: %r" % out]
    return []


def trace_mentions(*words):
    def check(work, _stdout):
        try:
            with open(work + "/Dev_Rfc.Trc", "rb") as f:
                trace = f.read().decode("latin-1")
        except OSError:
            return ["Dev_Rfc.Trc is missing"]
        problems = ["Dev_Rfc.Trc lacks %r" % w for w in words if w not in trace]
        if "secret1" in trace:
            problems.append("Dev_Rfc.Trc carries the password")
        return problems
    return check


def trace_header(profile_name):
    """The header line a run writes above its lines in the shared trace."""
    return (r"\r?\n\*\*\*\* Ramgauge \d{4}-\d\d-\d\d \d\d:\d\d:\d\d profile %s process \d+\r?\n"
            % re.escape(profile_name))


def shared_trace(profile_name, *words):
    """The shared Dev_Rfc.Trc after a failure: a header line naming the run,
    then the library's own lines of that run."""
    def check(work, _stdout):
        try:
            with open(work + "/Dev_Rfc.Trc", "rb") as f:
                trace = f.read().decode("latin-1")
        except OSError:
            return ["Dev_Rfc.Trc is missing"]
        problems = [] if re.match(trace_header(profile_name) + r"\r?\n\*\*\*\* ERROR file opened",
                                  trace) else [
            "Dev_Rfc.Trc does not begin with the run's header: %r" % trace]
        problems += ["Dev_Rfc.Trc lacks %r" % w for w in words if w not in trace]
        if "secret1" in trace:
            problems.append("Dev_Rfc.Trc carries the password")
        return problems
    return check


def sapsim_log(expected):
    def check(work, _stdout):
        with open(work + "/sapsim.log") as f:
            log = f.read()
        return [] if log == expected else ["sapsim.log is %r, expected %r" % (log, expected)]
    return check


def syslog_lines(*patterns):
    def check(work, _stdout):
        try:
            with open(work + "/Ramgauge.Log") as f:
                lines = f.read().splitlines()
        except OSError:
            return ["Ramgauge.Log is missing"]
        if len(lines) != len(patterns) or not all(
                re.fullmatch(p, l) for p, l in zip(patterns, lines)):
            return ["Ramgauge.Log is %r" % lines]
        return []
    return check


def scan(name, stdout, exit=0, args=("PRD",), files=None, **case):
    case.setdefault("systems", system())
    return dict(name="scan: " + name, args=list(args), files=dict(PRD, **(files or {})),
                stdout=stdout, exit=exit, **case)


MODES = [
    ("EXEXML", {}, EXAMPLE),
    ("Kestrel", {"Ramgauge.Kestrel": ""}, EXAMPLE),
    ("Pinnace", {"Ramgauge.Pinnace": ""}, EXAMPLE),
    ("Tamarack", {"Ramgauge.Tamarack": ""},
     "\n# " + STATUS +
     "\n\nMessage.Physical_Mem_Free: Physical-Mem Free (MByte)\nStatistic.Physical_Mem_Free: 2097"
     "\n\nMessage.SwapMemory_Free: SwapMemory Free (%)\nStatistic.SwapMemory_Free: 50"
     "\n\nMessage.Pages_In___Sec_: Pages-In [/Sec] (#)\nStatistic.Pages_In___Sec_: 12"
     "\n\nMessage.Pages_Out___Sec_: Pages-Out [/Sec] (#)\nStatistic.Pages_Out___Sec_: 0\n"),
    ("Bramble", {"Ramgauge.Bramble": ""},
     "\n# " + STATUS + "\n> Physical-Mem Free: 2097 MByte\n> SwapMemory Free: 50 %"
     "\n> Pages-In [/Sec]: 12 #\n> Pages-Out [/Sec]: 0 #\n"),
]

FIGURES = [
    # (name, sapsim settings, expected answer)
    ("free memory -1", {"free_mem": -1}, xml_answer(
        "(PRD) Memory=16.777 MB, Free=0 MB, Swap=4.194 MB, Free=50%, PageIn=12, PageOut=0 ",
        "0", None, "12", "0")),
    ("swap size -1", {"swap_size": -1, "swap_free": 7}, xml_answer(
        "(PRD) Memory=16.777 MB, Free=2.097 MB, Swap=0, PageIn=12, PageOut=0 ", "2097", "7",
        "12", "0")),
    ("swap size 0", {"swap_size": 0, "swap_free": 0}, xml_answer(
        "(PRD) Memory=16.777 MB, Free=2.097 MB, Swap=0, PageIn=12, PageOut=0 ", "2097", "0",
        "12", "0")),
    ("small values", {"phys_mem": 999, "free_mem": 12, "swap_size": 50, "swap_free": 40,
                      "in_pg_sec": 1234567, "out_pg_sec": -5}, xml_answer(
        "(PRD) Memory=0 MB, Free=0 MB, Swap=0 MB, Free=40%, PageIn=1.234.567, PageOut=-5 ",
        "0", "40", "1234567", "-5")),
    ("large values", {"phys_mem": 2147483647, "free_mem": 1999, "swap_size": 2000000000,
                      "swap_free": 1000000000}, xml_answer(
        "(PRD) Memory=2.147.483 MB, Free=1 MB, Swap=2.000.000 MB, Free=50%, PageIn=12, "
        "PageOut=0 ", "1", "50", "12", "0")),
    ("several table lines, the last counts", {"lines": 3}, EXAMPLE),
]

CASES = [
    scan("mode " + mode, answer, files=host_files, after={"Dev_Rfc.Trc": None})
    for mode, host_files, answer in MODES
] + [
    scan(name, answer, systems=system(**settings)) for name, settings, answer in FIGURES
] + [
    scan("of several host files the last one found wins", MODES[3][2],
         files={"Ramgauge.Kestrel": "", "Ramgauge.Tamarack": ""}),
    scan("Bramble with CH=2 prints one value", "50\n", args=["PRD", "ch=2"],
         files={"Ramgauge.Bramble": ""}),
    scan("Bramble with CH=9 prints the trailer alone", "\n", args=["PRD", "CH=9"],
         files={"Ramgauge.Bramble": ""}),
    scan("XML answer escapes the destination",
         xml_answer(STATUS.replace("(PRD)", "(P&amp;D)"), "2097", "50", "12", "0"),
         files={"PRD.P00": profile(Destination="P&D")}),
    scan("success deletes the trace file", EXAMPLE,
         files={"Dev_Rfc.Trc": TRACE_WITH_ERROR}, after={"Dev_Rfc.Trc": None}),
    scan("progress display on", PROGRESS % "(No Parameters)" + EXAMPLE + DONE, args=["PRD", "#"]),
    scan("progress display shows the options before #", PROGRESS % "ITEMS,x" + EXAMPLE + DONE,
         args=["PRD", "ITEMS,x#y"]),
    scan("progress display with @ first", PROGRESS % "(No Parameters)" + EXAMPLE + DONE,
         args=["PRD", "@any"]),

    # Failed measurements: the failure text, then what the trace file says.
    scan("result 1", failed("Error 1014: RFC-Failure raised ! - GET_MEM_ALL failed"), exit=2,
         systems=system(fault="failure"), after={"Dev_Rfc.Trc": lambda t: b"ERROR" in t}),
    scan("result 2 names the exception", failed(
        "Error 1012: Exception.: NOT_AUTHORIZED - Look for Trace-File"), exit=2,
         systems=system(fault="exception NOT_AUTHORIZED")),
    scan("result 2 never quotes the shared trace file", failed(
        "Error 1012: Exception.: NOT_AUTHORIZED - Look for Trace-File"), exit=2,
         systems=system(fault="exception NOT_AUTHORIZED"),
         files={"Dev_Rfc.Trc": TRACE_WITH_ERROR}, after={"Dev_Rfc.Trc": TRACE_WITH_ERROR}),
    scan("result 1 quotes its own line, not the older one", failed(
        "Error 1014: RFC-Failure raised ! - GET_MEM_ALL failed"), exit=2,
         systems=system(fault="failure"), files={"Dev_Rfc.Trc": TRACE_WITH_ERROR}),
    scan("result 3", failed("Error 1013: Sys-Exception raised ! - RSQL error 13"), exit=2,
         systems=system(fault="sys_exception RSQL error 13")),
    scan("another result code", failed(
        "Error 1015: Other Failure raised ! - call failed with code 7"), exit=2,
         systems=system(fault="code 7")),
    scan("empty table", failed(
        "Error 1019: No memory data received from GET_MEM_ALL ! - Look for Trace-File"), exit=2,
         systems=system(fault="empty_table")),
    scan("connection dropped during the call", failed(
        "Error 1014: RFC-Failure raised ! - connection lost from PRD"), exit=2,
         systems=system(fault="drop"),
         nw={"stdout": failed("Error 1014: RFC-Failure raised ! - connection lost from sapprd")}),
    scan("partner never answers within the receive timeout", failed(
        "Error 1014: RFC-Failure raised ! - timeout: no reply within 1 s from PRD"), exit=2,
         systems=system(fault="hang"),
         files={"SapRfc.PRD": "DEST=PRD\nASHOST=sapprd\nSYSNR=00\nGWHOST=127.0.0.1\n"
                              "GWSERV={port}\nRECEIVE_TIMEOUT=1\n",
                # The working folder's SapRfc.ini is another sensor's: never read.
                "SapRfc.ini": "DEST=PRD RECEIVE_TIMEOUT=100\n"},
         timeout=10, nw={"stdout": failed(
             "Error 1014: RFC-Failure raised ! - timeout: no reply within 1 s from sapprd")}),
    # The NetWeaver library calls no handler back: its result code says it.
    scan("reply that breaks the protocol ends in the fatal error", FATAL_PROTOCOL_XML, exit=1,
         systems=system(fault="garbage"), nw={"exit": 2, "stdout": failed(
             "Error 1014: RFC-Failure raised ! - reply from sapprd breaks the protocol")}),

    # Logon: the classic open only connects; the logon data are checked with
    # the first call, and a refusal is that call's failure, with its reason.
    # The NetWeaver library logs on as it opens: a refusal fails the open.
    scan("a wrong password is refused at the first call", failed(
        "Error 1014: RFC-Failure raised ! - logon refused by sapprd client 100 user MONITOR: "
        "name or password is incorrect"), exit=2,
         files={"PRD.P00": profile(Password="3,16tdJG0vwM6ZE5JNODKjfs")},
         check=shared_trace("PRD.P00", "logon refused by sapprd client 100 user MONITOR: "
                                       "name or password is incorrect"),
         nw=refused_at_open("name or password is incorrect")),
    scan("an unknown client is refused at the first call", failed(
        "Error 1014: RFC-Failure raised ! - logon refused by sapprd client 200 user MONITOR: "
        "client 200 unknown"), exit=2, files={"PRD.P00": profile(Client="200")},
         nw=refused_at_open("client 200 unknown", client="200")),
    scan("a system that refuses every logon", failed(
        "Error 1014: RFC-Failure raised ! - logon refused by sapprd client 100 user MONITOR: "
        "user is locked"), exit=2, systems=system(fault="refuse user is locked"),
         nw=refused_at_open("user is locked")),
    # Before the open a plain TCP connection tries the partner (,CONNECT=,
    # default 5 s): the library is not even called for a dead host.
    scan("nothing listening fails at once with its reason", failed(
        "Error 1011: RFC-Open for PRD failed ! - 127.0.0.1:{closed_port} not reachable "
        "(connection refused)"),
         exit=2, files={"PRD.P00": profile(Gwservice="{closed_port}")}, timeout=5,
         after={"Dev_Rfc.Trc": None}),
    scan("nothing listening, without the check: the library's reason", failed(
        "Error 1011: RFC-Open for PRD failed ! - partner 127.0.0.1:{closed_port} not reached: "
        "connection refused"), args=["PRD", ",CONNECT=0"],
         exit=2, files={"PRD.P00": profile(Gwservice="{closed_port}")}, timeout=5,
         check=shared_trace("PRD.P00", "not reached: connection refused")),
    scan("a host where nothing answers fails within ,CONNECT=", failed(
        "Error 1011: RFC-Open for PRD failed ! - 127.0.0.1:{silent_port} not reachable "
        "(timeout after 2 s)"), args=["PRD", ",CONNECT=2"],
         exit=2, files={"PRD.P00": profile(Gwservice="{silent_port}")}, max_seconds=3),
    scan("the check knows sapgwNN and the host's gateway of its system number", failed(
        "Error 1011: RFC-Open for PRD failed ! - 127.0.0.1:3399 not reachable "
        "(connection refused)"), exit=2,
         files={"PRD.P00": profile(Gwservice="sapgw99")}),
    scan("unknown host", failed(
        "Error 1011: RFC-Open for PRD failed ! - no-such-host.invalid:{port} not reachable "
        "(unknown host)"), exit=2,
         files={"PRD.P00": profile(Gwhost="no-such-host.invalid")}),
    scan("a host that serves no such system", failed(
        "Error 1011: RFC-Open for PRD failed ! - partner sapprd not reached: no system sapprd 07"),
         exit=2, files={"PRD.P00": profile(Sysnr="07")}),
    scan(",HOST= and ,NO= override the profile", EXAMPLE, args=["PRD", ",host=sapqas,NO=07"],
         files={"PRD.P00": profile(Hostname="elsewhere")},
         systems=system(host="sapqas", sysnr="07")),
    scan("empty ,HOST= keeps the profile's host", EXAMPLE, args=["PRD", ",HOST=,x"]),
] + [
    # The values are taken as typed, whatever the progress lines make of the options.
    scan(",HOST=/,NO= with options %r" % " ".join(args),
         PROGRESS.replace("sapprd", "elsewhere") % shown + EXAMPLE + DONE,
         args=["PRD"] + args, files={"PRD.P00": profile(Hostname="elsewhere")},
         systems=system(host=host, sysnr="07"))
    for args, shown, host in [
        (["#,HOST=sapqas,NO=07"], "(No Parameters)", "sapqas"),
        (["@,HOST=sapqas,NO=07"], "(No Parameters)", "sapqas"),
        (["#,NO=07,HOST=elsewhere"], "(No Parameters)", "elsewhere"),
        (["x#", ",HOST=sapQAS,NO=07"], "x", "sapqas"),
    ]
] + [
    scan("Bramble CH= converts like atoi: %r" % " ".join(args), "50\n", args=["PRD"] + args,
         files={"Ramgauge.Bramble": ""})
    for args in (["CH=", "2"], ["CH=+2"], ["ch=02"])
] + [
    scan("megabytes of -100 to -999 kilobytes are 0", xml_answer(
        "(PRD) Memory=0 MB, Free=0 MB, Swap=-1 MB, Free=0%, PageIn=12, PageOut=0 ",
        "0", "0", "12", "0"),
         systems=system(phys_mem=-123, free_mem=-999, swap_size=-1234, swap_free=0)),
    scan("destination file goes through a private copy", EXAMPLE,
         files={"PRD.P00": profile(Hostname="nowhere", Gwhost="nowhere", Gwservice="nope"),
                "SapRfc.PRD": "DEST=PRD\r\nTYPE=A\r\nASHOST=sapprd\r\nSYSNR=00\r\n"
                              "GWHOST=127.0.0.1\r\nGWSERV={port}\r\n",
                "SapRfc.ini": SAPRFC_INI_OF_ANOTHER},
         after={"SapRfc.ini": SAPRFC_INI_OF_ANOTHER},
         check=sapsim_log("logon PRD client=100 user=MONITOR lang=D ok\n"
                          "call PRD GET_MEM_ALL fault=none\n")),
    scan("destination file naming an unknown destination",
         failed("Error 1011: RFC-Open for PRD failed ! - destination PRD not found in SapRfc.ini"),
         exit=2,
         files={"SapRfc.PRD": "DEST=QAS\nASHOST=sapqas\n"}, after={"SapRfc.ini": None},
         check=trace_mentions("destination PRD not found in SapRfc.ini")),
    # The DEST name is matched exactly, on both roads alike.
    scan("destination file whose DEST is in another case than the profile's",
         failed("Error 1011: RFC-Open for PRD failed ! - destination PRD not found in SapRfc.ini"),
         exit=2, files={"SapRfc.PRD": "DEST=prd\r\nTYPE=A\r\nASHOST=sapprd\r\nSYSNR=00\r\n"
                                      "GWHOST=127.0.0.1\r\nGWSERV={port}\r\n"},
         after={"SapRfc.ini": None}, check=trace_mentions("destination PRD not found")),
] + [
    # The reachability check reads the entry as the library does: comments
    # skipped, quotes taken off.
    scan("destination file with %s: the check lets the scan through" % what, EXAMPLE,
         files={"PRD.P00": profile(Hostname="nowhere", Gwhost="nowhere", Gwservice="nope"),
                "SapRfc.PRD": text},
         after={"SapRfc.ini": None},
         check=sapsim_log("logon PRD client=100 user=MONITOR lang=D ok\n"
                          "call PRD GET_MEM_ALL fault=none\n"))
    for what, text in [
        ("a comment line", "DEST=PRD\r\nTYPE=A\r\nASHOST=sapprd\r\nSYSNR=00\r\n"
                           "GWHOST=127.0.0.1\r\nGWSERV={port}\r\n* GWSERV=1 was the old gateway\r\n"),
        ("a comment after a setting", "DEST=PRD\nTYPE=A\nASHOST=sapprd\nSYSNR=00\n"
                                      "GWHOST=127.0.0.1\nGWSERV={port}   # was GWSERV=1\n"),
        ("a quoted gateway host", "DEST=PRD\nTYPE=A\nASHOST=sapprd\nSYSNR=00\n"
                                  "GWHOST=\"127.0.0.1\"\nGWSERV={port}\n"),
        ("a quoted gateway", "DEST=PRD\nTYPE=A\nASHOST=sapprd\nSYSNR=00\n"
                             "GWHOST=\"127.0.0.1\"\nGWSERV=\"{port}\"\n"),
    ]
] + [
    scan("destination file with a quoted gateway service: the check tries it", failed(
        "Error 1011: RFC-Open for PRD failed ! - 127.0.0.1:{closed_port} not reachable "
        "(connection refused)"), exit=2,
         files={"SapRfc.PRD": "DEST=PRD\nTYPE=A\nASHOST=sapprd\nSYSNR=00\n"
                              "GWHOST=127.0.0.1\nGWSERV=\"{closed_port}\"\n"},
         after={"SapRfc.ini": None, "Dev_Rfc.Trc": None}),
] + [
    scan(",SYSLOG writes the trace log beside the profile", EXAMPLE, args=["PRD", ",syslog"],
         check=syslog_lines(*SYSLOG_SCAN),
         nw={"check": syslog_lines(NW_LOADED, *SYSLOG_SCAN)}),
    scan("a fatal error with ,SYSLOG leaves the abort line and the EoXput file",
         FATAL_PROTOCOL_XML, exit=1, nw=None,
         args=["PRD", ",SYSLOG"], systems=system(fault="garbage"),
         after={"Ramgauge.EoX": ""},
         check=syslog_lines(".*", ".*", ".*", ".*", r"\* Pgrm aborted\.\.\.")),
    # Choosing the library.
    scan(",RFCLIB= with no library's name gives 1010", error_answer(
        "Error 1010: ,RFCLIB=Nw7 names no RFC library; use ,RFCLIB=CLASSIC or ,RFCLIB=NW !"),
         exit=2, args=["PRD", ",RFCLIB=Nw7"]),
    scan(",RFCLIB=NW takes the NetWeaver library, in any case", EXAMPLE,
         args=["PRD", ",rfclib=nw ,syslog"], classic=None,
         check=syslog_lines(NW_LOADED, *SYSLOG_SCAN)),
    {"name": "scan: ,RFCLIB=NW without the NetWeaver library gives 1018", "args":
     ["PRD", ",RFCLIB=NW"], "files": PRD, "exit": 2, "nw": None, "check": answer_matches(
         r"Error 1018: no RFC library can be loaded: (lib)?sapnwrfc\.(so|dll) is not in .* nor on "
         r"the system's search path; put SAP's NetWeaver RFC library beside the sensor "
         r"program\.\.\.")},
    {"name": "scan: ,RFCLIB=CLASSIC without librfc32 gives 1018", "args":
     ["PRD", ",RFCLIB=CLASSIC"], "files": PRD, "exit": 2, "classic": None, "check": answer_matches(
         r"Error 1018: RFC library .*librfc32\.(so|dll) cannot be loaded; install it beside the "
         r"sensor program\.\.\.")},
    scan("mode R/2 has no NetWeaver counterpart: 1008", error_answer(
        "Error 1008: Mode R/2 of destination PRD needs the classic RFC library (librfc32); the "
        "NetWeaver RFC library reaches R/3 systems only !"), exit=2, classic=None,
         files={"PRD.P00": profile(Mode="R/2")}),
    # Files of the wrong bitness where the libraries should be: a 32-bit ELF
    # natively; on Windows a 32-bit librfc32.dll and a 64-bit sapnwrfc.dll,
    # one of which is of the other bitness than the sensor.
    {"name": "scan: a library of the wrong bitness is named as such", "args": ["PRD"],
     "files": dict(PRD, **{"librfc32.so": ELF32, "libsapnwrfc.so": ELF32,
                           "librfc32.dll": pe(0x14c), "sapnwrfc.dll": pe(0x8664)}),
     "isolated": True, "exit": 2, "check": wrong_bitness_named},
    # A library that is there, of the right bitness, but needs a file that
    # is not: the answer names that file.
    {"name": "scan: a library that needs a missing file names that file", "args": ["PRD"],
     "files": PRD, "isolated": True, "library_built": "needs_missing", "exit": 2,
     "check": answer_matches(
         r"Error 1018: no RFC library can be loaded: .*(?:rfc32|sapnwrfc)\.(?:so|dll) in \S+ "
         r"cannot be loaded: it needs ramgauge_missing_dep\.(?:so|dll), which is neither beside it "
         r"nor (?:in the system's folder|where the loader looks).*")},
    {"name": "scan: ,RFCLIB=CLASSIC names the missing file too", "args": ["PRD", ",RFCLIB=CLASSIC"],
     "files": PRD, "isolated": True, "library_built": "needs_missing", "exit": 2, "nw": None,
     "check": answer_matches(
         r"Error 1018: RFC library \S+librfc32\.(?:so|dll) cannot be loaded; install it beside the "
         r"sensor program\.\.\. \(librfc32\.(?:so|dll) in \S+ cannot be loaded: it needs "
         r"ramgauge_missing_dep\.(?:so|dll), which is neither beside it nor (?:in the system's "
         r"folder|where the loader looks)\)")},
] + [
    # The library is taken from known folders only: a stand-in in the working
    # folder, or in a folder on PATH, is not loaded (on Windows LoadLibrary
    # would search both for a bare name).
    {"name": "scan: an RFC library %s is not loaded" % where, "args": ["PRD"], "files": PRD,
     "program_files": {}, "program_alone": True, "library_in": [place], "exit": 2,
     "check": answer_matches(
         r"Error 1018: no RFC library can be loaded: librfc32\.(?:so|dll) is not in "
         r"(?P<case>.*[/\\])program[/\\]; (?:lib)?sapnwrfc\.(?:so|dll) is not in "
         r"(?P=case)program[/\\] nor on the "
         r"system's search path; put SAP's RFC library beside the sensor program\.\.\.")}
    for where, place in [("in the working folder", "work"), ("on PATH", "path")]
] + [
    {"name": "scan: missing RFC library gives 1018 naming both", "args": ["PRD"], "files": PRD,
     "isolated": True, "exit": 2, "check": lambda work, out: [] if re.fullmatch(
         r"<Prtg>\r?\n<Error>1</Error>\r?\n<Text>Error 1018: no RFC library can be loaded: "
         r"librfc32\.(so|dll) is not in (.*[/\\])case-\w+[/\\]; (lib)?sapnwrfc\.(so|dll) is not in \2"
         r"case-\w+[/\\] nor on the system's search path; put SAP's RFC library beside the "
         r"sensor program\.\.\.</Text>\r?\n</Prtg>\r?\n", out) else ["unexpected answer %r" % out]},
]
