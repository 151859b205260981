"""What a PRTG probe does to the sensor: destination files beside other
sensors, answers PRTG must always be able to read, and a deadline."""
import os
import re

from cases_items import QUAS, gsng, header, summary
from cases_scan import (EXAMPLE, FATAL_PROTOCOL, FATAL_PROTOCOL_XML, PRD, STATUS, failed, scan,
                        sapsim_log, trace_header)
from fixtures import error_answer, profile, system, xml_answer, xml_channel

DESTINATION_FILE = ("DEST=PRD\r\nTYPE=A\r\nASHOST=sapprd\r\nSYSNR=00\r\n"
                    "GWHOST=127.0.0.1\r\nGWSERV={port}\r\n")
SAPRFC_LINE = "* SapRfc.Ini.......: PRD<\n"
PROGRESS = ("* {TIME} SAP Ramgauge Vers 4.3 / 29.08.22\n"
            "* {TIME} PRD.P00, nowhere, PRD, 00, 100 State=Processing\n"
            "* {TIME} Ramgauge - (No Parameters) State=Executing\n")
DONE = "\n* {TIME} SAP Ramgauge now processed...\n"
TAMARACK_ANSWER = (
    "\n# " + STATUS +
    "\n\nMessage.Physical_Mem_Free: Physical-Mem Free (MByte)\nStatistic.Physical_Mem_Free: 2097"
    "\n\nMessage.SwapMemory_Free: SwapMemory Free (%)\nStatistic.SwapMemory_Free: 50"
    "\n\nMessage.Pages_In___Sec_: Pages-In [/Sec] (#)\nStatistic.Pages_In___Sec_: 12"
    "\n\nMessage.Pages_Out___Sec_: Pages-Out [/Sec] (#)\nStatistic.Pages_Out___Sec_: 0\n")
BRAMBLE_ANSWER = ("\n# " + STATUS + "\n> Physical-Mem Free: 2097 MByte\n> SwapMemory Free: 50 %"
                  "\n> Pages-In [/Sec]: 12 #\n> Pages-Out [/Sec]: 0 #\n")


def via_destination_file(name, stdout, args=("PRD",), host_file=None, files_extra=None, **case):
    files = {"PRD.P00": profile(Hostname="nowhere", Gwhost="nowhere", Gwservice="nope"),
             "SapRfc.PRD": DESTINATION_FILE}
    files.update(files_extra or {})
    if host_file:
        files[host_file] = ""
    return scan("destination file: " + name, stdout, args=args, files=files,
                after={"SapRfc.ini": None}, **case)


def without_stdout(case):
    """A case whose answer is checked by its check function alone."""
    return {key: value for key, value in case.items() if key != "stdout"}


SAPRFC_LINE_BY_MODE = [
    # (mode, host file, answer, the line without the progress display)
    ("EXEXML", None, EXAMPLE, False),
    ("Kestrel", "Ramgauge.Kestrel", EXAMPLE, False),
    ("Pinnace", "Ramgauge.Pinnace", EXAMPLE, False),
    ("Tamarack", "Ramgauge.Tamarack", TAMARACK_ANSWER, True),
    ("Bramble", "Ramgauge.Bramble", BRAMBLE_ANSWER, True),
]

FATAL_BY_MODE = [
    ("EXEXML", None), ("Kestrel", "Ramgauge.Kestrel"), ("Pinnace", "Ramgauge.Pinnace"),
]

# Bytes that PRTG's XML parser must never see raw.
ODD_BYTES = [
    # (name, sapsim settings, profile changes, answer)
    ("a Latin-1 error text from SAP", {"fault": "failure Kennwort ung\\xfcltig"}, {},
     error_answer("Error 1014: RFC-Failure raised ! - Kennwort ung&#252;ltig"), 2),
    ("a control byte in an exception name", {"fault": "exception NOT\\x01AUTHORIZED"}, {},
     error_answer("Error 1012: Exception.: NOT?AUTHORIZED - Look for Trace-File"), 2),
    ("a NUL byte in an exception name", {"fault": "exception NOT\\x00AUTHORIZED"}, {},
     error_answer("Error 1012: Exception.: NOT - Look for Trace-File"), 2),
    ("a NUL byte in a profile value", {}, {"Destination": "PRD\0junk"}, EXAMPLE, 0),
    ("Latin-1 and control bytes in a profile value", {}, {"Destination": "PR\xdc\x07"},
     xml_answer(STATUS.replace("(PRD)", "(PR&#220;?)"), "2097", "50", "12", "0"), 0),
]

TWENTY_WITH_FIVE_HUNG = {QUAS: gsng("".join("S%02d.P00#" % n for n in range(20)))}
for n in range(20):
    TWENTY_WITH_FIVE_HUNG["S%02d.P00" % n] = (
        profile(Destination="HNG", Hostname="saphang", Sysnr="09") if n % 4 == 2 else profile())

CASES = [
    via_destination_file("logs on to the file's system; SapRfc.ini is never written", EXAMPLE,
                         check=sapsim_log("logon PRD client=100 user=MONITOR lang=D ok\n"
                                          "call PRD GET_MEM_ALL fault=none\n")),
] + [
    via_destination_file("%s answer %s the SapRfc line" % (mode, "with" if shown else "without"),
                         (SAPRFC_LINE if shown else "") + answer, host_file=host_file)
    for mode, host_file, answer, shown in SAPRFC_LINE_BY_MODE
] + [
    via_destination_file("%s with the progress display shows the SapRfc line" % mode,
                         PROGRESS + SAPRFC_LINE + answer + DONE, args=("PRD", "#"),
                         host_file=host_file)
    for mode, host_file, answer, _ in SAPRFC_LINE_BY_MODE[:2]
] + [
    via_destination_file("a receive timeout of 100 s still answers within ,TIMEOUT=",
                         error_answer("Error 1020: No answer from PRD within 2 seconds !"),
                         args=("PRD", ",TIMEOUT=2"), exit=2, systems=system(fault="hang"),
                         max_seconds=6),
] + [
    dict(via_destination_file("no temporary folder gives 1027 before any logon",
                              error_answer("Error 1027: No folder for the RFC library can be "
                                           "created in {work}/no-such-folder/ !"), exit=2,
                              check=lambda work, _: ["sapsim saw a logon"] if os.path.exists(
                                  os.path.join(work, "sapsim.log")) else []),
         no_temporary_folder=True, native_only=True),
    via_destination_file("a password with a blank is passed in double quotes", EXAMPLE,
                         files_extra={"PRD.P00": profile(
                             Hostname="nowhere", Gwhost="nowhere", Gwservice="nope",
                             Password="3)1<pbvvXYzQX)Emv;g35f!z")},
                         systems=system(users="MONITOR:sec\\x20ret1")),
    via_destination_file("a password with a double quote cannot be passed", error_answer(
        "Error 1022: Password of PRD.P00 holds a double quote, which the RFC library cannot "
        "take !"), exit=2, files_extra={"PRD.P00": profile(
            Hostname="nowhere", Gwhost="nowhere", Gwservice="nope",
            Password="7&1<q=sw@HqwE;lW6sDU.g`a")}),
] + [
    scan("fatal error in %s mode is an XML answer" % mode, error_answer(
        "Error 1017: RFC error at RfcReceive: RFC_ERROR_PROTOCOL - reply from PRD breaks the "
        "protocol"), exit=1, systems=system(fault="garbage"), nw=None,
         files={host_file: ""} if host_file else {})
    for mode, host_file in FATAL_BY_MODE
] + [
    scan("fatal error in %s mode keeps the console picture" % mode, FATAL_PROTOCOL, exit=1,
         systems=system(fault="garbage"), files={host_file: ""}, nw=None)
    for mode, host_file in [("Tamarack", "Ramgauge.Tamarack"), ("Bramble", "Ramgauge.Bramble")]
] + [
    scan("fatal error in item mode closes the document", header() +
         xml_channel("PRD.P00", "12") + "<Error>1</Error>\n<Text>Error 1017: RFC error at "
         "RfcReceive: RFC_ERROR_PROTOCOL - reply from BAD breaks the protocol</Text>\n</Prtg>\n",
         args=["PROD", "ITEM=Pages-In:[/Sec]"], exit=1, nw=None,
         systems=system() + system("BAD", host="sapbad", sysnr="04", fault="garbage"),
         files={QUAS: gsng("PRD.P00#BAD.P00#PRD.P00#"),
                "BAD.P00": profile(Destination="BAD", Hostname="sapbad", Sysnr="04")}),
] + [
    scan("odd bytes: " + name, answer, exit=code, systems=system(**settings),
         files={"PRD.P00": profile(**changes)})
    for name, settings, changes, answer, code in ODD_BYTES
] + [
    # Nothing reads the shared trace to build an answer any more: a success
    # deletes it however fresh it is.
    scan("success deletes a trace file written just now", EXAMPLE,
         files={"Dev_Rfc.Trc": "\n**** ERROR file opened\nERROR       fresh\n"},
         fresh=["Dev_Rfc.Trc"], after={"Dev_Rfc.Trc": None}),
    scan("a failure appends its own lines to the shared trace", error_answer(
        "Error 1014: RFC-Failure raised ! - GET_MEM_ALL failed"), exit=2,
         systems=system(fault="failure"),
         files={"Dev_Rfc.Trc": "older\n"},
         after={"Dev_Rfc.Trc": lambda t: re.fullmatch(
             "older\n" + trace_header("PRD.P00") + r"\r?\n\*\*\*\* ERROR file opened .*\r?\n"
             r"librfc ======> RfcReceive: GET_MEM_ALL failed\r?\n"
             r"ERROR       GET_MEM_ALL failed\r?\n", t.decode("latin-1")) is not None},
         # Through the NetWeaver library the sensor writes the error record.
         nw={"after": {"Dev_Rfc.Trc": lambda t: re.fullmatch(
             "older\n" + trace_header("PRD.P00") + r"\r?\n\*\*\*\* ERROR file opened .*\r?\n"
             r"sapnwrfc ======> RfcInvoke: RFC_COMMUNICATION_FAILURE\r?\n"
             r"ERROR       GET_MEM_ALL failed\r?\n", t.decode("latin-1")) is not None}}),
    scan("a shared trace of 1 MB is kept as Dev_Rfc.Trc.old", error_answer(
        "Error 1014: RFC-Failure raised ! - GET_MEM_ALL failed"), exit=2,
         systems=system(fault="failure"),
         files={"Dev_Rfc.Trc": "x" * (1024 * 1024 - 10), "Dev_Rfc.Trc.old": "oldest\n"},
         after={"Dev_Rfc.Trc": lambda t: re.match(trace_header("PRD.P00"), t.decode()) and
                len(t) < 1000,
                "Dev_Rfc.Trc.old": "x" * (1024 * 1024 - 10)}),
] + [
    scan("an endless reply is cut off", error_answer(
        "Error 1014: RFC-Failure raised ! - reply too long (over 100000 lines or 16 MB) from PRD"),
         exit=2, systems=system(fault="endless"), max_seconds=20, nw={"stdout": error_answer(
             "Error 1014: RFC-Failure raised ! - reply too long (over 100000 lines or 16 MB) "
             "from sapprd")}),
] + [
    scan(",TIMEOUT= against %s" % what,
         error_answer("Error 1020: No answer from PRD within 2 seconds !"), exit=2,
         args=["PRD", ",timeout=2"], systems=system(fault=fault), max_seconds=4)
    for what, fault in [("a hung call", "hang"), ("a peer that never answers the logon",
                                                  "hang_logon")]
] + [
    scan(",TIMEOUT= with leading zeros", error_answer(
        "Error 1020: No answer from PRD within 2 seconds !"), exit=2,
         args=["PRD", ",TIMEOUT=0002"], systems=system(fault="hang"), max_seconds=4),
    # The command line is what the administrator types into PRTG's field: it
    # counts in the global route unless the sensor line sets its own.
    scan("global route: the command line's ,TIMEOUT= counts without the sensor's own",
         header() + summary("Pages-In [/Sec]", 1, 0, 1).replace(
             "Failed=1 ", "Failed=1, Timeout after 2 seconds "),
         args=["GLOBAL", "memory", ",TIMEOUT=2"], systems=system(fault="hang"),
         files={"SAP Quadrant.Gbl": "# GSNG: memory      PRD.P00#\r\n"
                                    '# GSNX: memory      x,Sensor="SAP Ramgauge",'
                                    "Item=Pages-In:[/Sec]\r\n"},
         max_seconds=4),
    scan("global route: the sensor line's ,TIMEOUT= wins",
         header() + summary("Pages-In [/Sec]", 1, 0, 1).replace(
             "Failed=1 ", "Failed=1, Timeout after 1 seconds "),
         args=["GLOBAL", "memory", ",TIMEOUT=30"], systems=system(fault="hang"),
         files={"SAP Quadrant.Gbl": "# GSNG: memory      PRD.P00#\r\n"
                                    '# GSNX: memory      x,TIMEOUT=1,Sensor="SAP Ramgauge",'
                                    "Item=Pages-In:[/Sec]\r\n"},
         max_seconds=3),
] + [
    # A reply that does not fit what the caller described is no answer.
    scan("a reply that breaks the protocol: %s" % what, error_answer(
        "Error 1017: RFC error at RfcReceive: RFC_ERROR_PROTOCOL - reply from PRD breaks the "
        "protocol"), exit=1, systems=system(fault=fault),
         nw={"exit": 2, "stdout": error_answer("Error 1014: RFC-Failure raised ! - " + nw_text)})
    for what, fault, nw_text in [
        ("a table row shorter than its record", "short_row",
         "TF_MEM_ALL from sapprd does not fit its field"),
        ("a result code too large for an int", "long_code",
         "reply from sapprd breaks the protocol")]
] + [
    scan("a profile over 1 MB is refused", error_answer(
        "Error 1023: File PRD.P00 is larger than 1048576 bytes !"), exit=2,
         files={"PRD.P00": profile() + "#" * (1024 * 1024)}),
    without_stdout(via_destination_file("a destination file over 1 MB is refused", None, exit=2,
                              files_extra={"SapRfc.PRD": DESTINATION_FILE + " " * (1024 * 1024)},
                              check=lambda work, out: [] if re.fullmatch(
                                  r"<Prtg>\r?\n<Error>1</Error>\r?\n<Text>Error 1023: File "
                                  r".*SapRfc\.PRD is larger than 1048576 bytes !</Text>\r?\n"
                                  r"</Prtg>\r?\n", out) else ["unexpected answer %r" % out])),
] + [
    scan("invalid ,TIMEOUT=%s" % value,
         error_answer("Error 1021: Invalid value for ,TIMEOUT= (1 to 900 seconds) !"), exit=2,
         args=["PRD", ",TIMEOUT=" + value])
    for value in ["0", "901", "abc", "", "2.5", "-1"]
] + [
    scan(",TIMEOUT= in item mode counts the systems left as failed",
         header() + xml_channel("PRD.P00", "12") + summary(
             "Pages-In [/Sec]", 4, 1, 3).replace("Failed=3 ", "Failed=3, Timeout after 2 seconds "),
         args=["PROD", "ITEM=Pages-In:[/Sec],TIMEOUT=2,PARALLEL=1"],
         systems=system() + system("HNG", host="saphang", sysnr="09", fault="hang"),
         files={QUAS: gsng("PRD.P00#HNG.P00#PRD.P00#MISSING.P00#"),
                "HNG.P00": profile(Destination="HNG", Hostname="saphang", Sysnr="09")},
         max_seconds=4),
    scan("twenty systems, five hung, answer within ,TIMEOUT=10 one after the other",
         header() + xml_channel("S00.P00", "12") + xml_channel("S01.P00", "12") + summary(
             "Pages-In [/Sec]", 20, 2, 18).replace("Failed=18 ",
                                                   "Failed=18, Timeout after 10 seconds "),
         args=["PROD", "ITEM=Pages-In:[/Sec]", ",TIMEOUT=10,PARALLEL=1"],
         systems=system() + system("HNG", host="saphang", sysnr="09", fault="hang"),
         files=TWENTY_WITH_FIVE_HUNG, max_seconds=11),
    # In parallel the hung systems hold five of eight places: every healthy
    # system is reported by the deadline, in list order.
    scan("twenty systems, five hung, in parallel: every healthy one reported",
         header() + "".join(xml_channel("S%02d.P00" % n, "12") for n in range(20) if n % 4 != 2) +
         summary("Pages-In [/Sec]", 20, 15, 5).replace("Failed=5 ",
                                                       "Failed=5, Timeout after 10 seconds "),
         args=["PROD", "ITEM=Pages-In:[/Sec]", ",TIMEOUT=10"], parallel=True,
         systems=system() + system("HNG", host="saphang", sysnr="09", fault="hang"),
         files=TWENTY_WITH_FIVE_HUNG, max_seconds=11,
         not_emulated="32-bit children start in 1 to 2 s each under qemu-user, so fewer "
                      "systems are done by the deadline, and a killed child there may "
                      "not die; the native and 64-bit suites run it"),
]

# Another local user plants links and FIFOs where the sensor's shared files
# belong in the working folder: the sensor leaves them alone, answers as it
# would without them, and never blocks on them.
UNKNOWN_CLIENT = failed("Error 1014: RFC-Failure raised ! - logon refused by sapprd client 200 "
                        "user MONITOR: client 200 unknown")
UNKNOWN_CLIENT_NW = {"stdout": failed("Error 1011: RFC-Open for PRD failed ! - logon refused by "
                                      "sapprd client 200 user MONITOR: client 200 unknown")}
VICTIM = {"other/victim": "kept"}


def owner_only(*names):
    def check(work, _stdout):
        return ["%s has mode %o" % (n, os.stat(os.path.join(work, n)).st_mode & 0o777)
                for n in names if os.stat(os.path.join(work, n)).st_mode & 0o077]
    return check


CASES += [
    scan("a failing scan leaves alone a link planted as Dev_Rfc.Trc", UNKNOWN_CLIENT, exit=2,
         files=dict(VICTIM, **{"PRD.P00": profile(Client="200")}),
         links={"Dev_Rfc.Trc": "other/victim"}, after=VICTIM, native_only=True,
         nw=UNKNOWN_CLIENT_NW),
    scan("a ,SYSLOG scan leaves alone a link planted as Ramgauge.Log", EXAMPLE,
         args=["PRD", ",SYSLOG"], files=VICTIM, links={"Ramgauge.Log": "other/victim"},
         after=VICTIM, native_only=True),
    scan("a fatal error leaves alone links planted as Ramgauge.EoX and Dev_Rfc.Trc",
         FATAL_PROTOCOL_XML, exit=1, args=["PRD", ",SYSLOG"], systems=system(fault="garbage"),
         files=VICTIM, links={"Ramgauge.EoX": "other/victim", "Dev_Rfc.Trc": "other/victim"},
         after=VICTIM, native_only=True, nw=None),
    # The failure's own answer, not the deadline's: nothing waited for the
    # FIFO. (The bound leaves room for Wine starting a program anew.)
    scan("a FIFO named Dev_Rfc.Trc holds up no answer", UNKNOWN_CLIENT, exit=2,
         args=["PRD", ",TIMEOUT=2"], files={"PRD.P00": profile(Client="200")},
         fifos=["Dev_Rfc.Trc"], max_seconds=4, timeout=10, nw=UNKNOWN_CLIENT_NW),
    scan("new shared files are their owner's alone", UNKNOWN_CLIENT, exit=2,
         args=["PRD", ",SYSLOG"], files={"PRD.P00": profile(Client="200")},
         check=owner_only("Dev_Rfc.Trc", "Ramgauge.Log"), native_only=True,
         nw=UNKNOWN_CLIENT_NW),
]
