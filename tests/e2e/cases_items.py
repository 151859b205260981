"""Item mode: one figure for each system of a list, then a summary."""
import re

from fixtures import error_answer, profile, system, xml_channel

QUAS = "Quadrant.Prf"
GLOBAL = "SAP Quadrant.Gbl"
SENSOR = 'Sensor="SAP Ramgauge"'
PARALLEL_SYSLOG = [b"1 RfcOpen called ", b"1 RfcCall called ", b"1 RfcReceive called "]


def syslog_set(log):
    """The lines of a trace log, sorted, a library's path left out."""
    return sorted(re.sub(rb" loaded .*", b" loaded", line)
                  for line in log.replace(b"\r\n", b"\n").splitlines())


ITEM_SYSLOG = (b"1 RfcOpen called \n1 RfcCall called \n1 RfcReceive called \n"
               b"2 RfcOpen called \n2 RfcCall called \n2 RfcReceive called \n")

SYSTEMS = (system("PRD") +
           system("QAS", host="sapqas", sysnr="01", phys_mem=8388608, free_mem=1048576,
                  swap_size=1000000, swap_free=250000, in_pg_sec=5, out_pg_sec=6) +
           system("DEV", host="sapdev", sysnr="02", fault="refuse") +
           system("EXC", host="sapexc", sysnr="03", fault="exception NOT_AUTHORIZED"))

PROFILES = {
    "PRD.P00": profile(),
    "QAS.P00": profile(Destination="QAS", Hostname="sapqas", Sysnr="01"),
    "DEV.P00": profile(Destination="DEV", Hostname="sapdev", Sysnr="02"),
    "EXC.P00": profile(Destination="EXC", Hostname="sapexc", Sysnr="03"),
    "BADPW.P00": profile(Destination="BAD", Hostname="sapbad", Sysnr="04",
                         Password=":+13q|f0fuf1U~X(G31duvvg"),
}


def gsng(data):
    return "# Gsng: " + "x" * 12 + data + "\r\n"


def header():
    return "\n<Prtg>\n\n"


def summary(item, systems, processed, failed, mode="xml"):
    text = "(***) %s: NoSystems=%d, Processed=%d, Failed=%d " % (item, systems, processed, failed)
    if mode == "xml":
        return "\n<Text>%s</Text>\n\n</Prtg>\n\n" % text.replace("&", "&amp;")
    return "\n# %s\n\n" % text


def items(name, args, stdout, files, systems=SYSTEMS, **case):
    all_files = dict(PROFILES)
    all_files.update(files)
    return dict(name="items: " + name, args=args, files=all_files, systems=systems,
                stdout=stdout, exit=case.pop("exit", 0), **case)


def no_logon_for(system_name):
    def check(work, _stdout):
        with open(work + "/sapsim.log") as f:
            log = f.read()
        return ["sapsim saw a logon for %s" % system_name] if ("logon %s " % system_name) in log \
            else []
    return check


ITEMS = [
    # (option word, channel written for PRD, for QAS)
    ("ITEM=Physical-Mem:Free", xml_channel("PRD.P00", "2097", "MByte"),
     xml_channel("QAS.P00", "1048", "MByte"), "Physical-Mem Free"),
    ("item=SwapMemory:Free", xml_channel("PRD.P00", "50", "PerCent"),
     xml_channel("QAS.P00", "25", "PerCent"), "SwapMemory Free"),
    ("ITEM=Pages-In:[/Sec]", xml_channel("PRD.P00", "12"), xml_channel("QAS.P00", "5"),
     "Pages-In [/Sec]"),
    ("ITEM=Pages-Out:[/Sec]", xml_channel("PRD.P00", "0"), xml_channel("QAS.P00", "6"),
     "Pages-Out [/Sec]"),
    ("ITEM=Free", "", "", "Free"),
]

SELECTORS = [
    # (flags on the sensor line, label of PRD, label of QAS)
    ("", "PRD.P00", "QAS.P00"),
    (",Profile", "PRD.P00", "QAS.P00"),
    (",Alias", "PRD", "QAS"),
    (",Host", "sapprd", "sapqas"),
    (",Alias,Sid", "PRD", "QAS"),
]


def sensor_file(flags="", sensor="MEMORY", options="x", item="Pages-In:[/Sec]"):
    return ("# a comment\r\n"
            "# GSNG: %-10s  PRD.P00#\r\n"
            "# gsnx: %-10s %s,%s,Item=%s%s\r\n"
            "# GSNX: %-10s  x,%s,Item=Pages-Out:[/Sec],Sid\r\n"
            "# GSNG: other       DEV.P00#\r\n"
            "# Gsng: %-10s  QAS.P00#\r\n"
            % (sensor, sensor, options, SENSOR, item, flags, sensor, SENSOR, sensor))


CASES = [
    items("%s reports one channel per system" % option, ["PROD", option],
          header() + prd + qas + summary(item, 2, 2, 0),
          {QUAS: gsng("PRD.P00#") + "# GSNG: xxxxxxxxxxxxDEV.P00#\r\n" + gsng("QAS.P00")})
    for option, prd, qas, item in ITEMS
] + [
    items("global file, label flags %r" % (flags or "none"), ["GLOBAL", "memory"],
          header() + xml_channel(prd, "12") + xml_channel(qas, "5") +
          summary("Pages-In [/Sec]", 2, 2, 0),
          {GLOBAL: sensor_file(flags)})
    for flags, prd, qas in SELECTORS
] + [
    items("global file name with a directory and @", ["sub\\global.p00", "MEMORY-PRD1 @"],
          "* {TIME} SAP Ramgauge Vers 4.3 / 29.08.22\n"
          "* {TIME} x State=Executing\n" + header() +
          xml_channel("PRD.P00", "12") + "\n* {TIME} PRD.P00, sapprd, PRD, 00, 100 State=Processed\n" +
          xml_channel("QAS.P00", "5") + "\n* {TIME} QAS.P00, sapqas, QAS, 01, 100 State=Processed\n" +
          summary("Pages-In [/Sec]", 2, 2, 0) + "\n* {TIME} SAP Ramgauge now processed...\n",
          {"sub/" + GLOBAL: sensor_file(sensor="MEMORY-PRD"), "sub/PRD.P00": PROFILES["PRD.P00"],
           "sub/QAS.P00": PROFILES["QAS.P00"]}),
    items("sensor options with CH= select a channel in Bramble mode", ["GLOBAL", "memory"],
          "\n" + "12" + "\n\n",
          {GLOBAL: sensor_file(options="CH=1"), "Ramgauge.Bramble": ""}),
    items("sensor options with ,SYSLOG open the trace log", ["GLOBAL", "memory"],
          header() + xml_channel("PRD.P00", "12") + xml_channel("QAS.P00", "5") +
          summary("Pages-In [/Sec]", 2, 2, 0),
          {GLOBAL: sensor_file(options="x,SYSLOG,PARALLEL=1")},
          after={"Ramgauge.Log": lambda log: log.replace(b"\r\n", b"\n") == ITEM_SYSLOG},
          nw={"after": {"Ramgauge.Log": lambda log: re.fullmatch(
              rb"0 NetWeaver RFC library loaded .*sapnwrfc\.(so|dll)\n" + re.escape(ITEM_SYSLOG),
              log.replace(b"\r\n", b"\n")) is not None}}),
    # In parallel each system's library is a child's own: the lines of the
    # systems may mix, and each child's library counts its own handles.
    items("sensor options with ,SYSLOG in parallel", ["GLOBAL", "memory"],
          header() + xml_channel("PRD.P00", "12") + xml_channel("QAS.P00", "5") +
          summary("Pages-In [/Sec]", 2, 2, 0),
          {GLOBAL: sensor_file(options="x,SYSLOG,PARALLEL=2")}, parallel=True,
          after={"Ramgauge.Log": lambda log: syslog_set(log) == sorted(2 * PARALLEL_SYSLOG)},
          # Through the NetWeaver library the parent and each child say so.
          nw={"after": {"Ramgauge.Log": lambda log: syslog_set(log) == sorted(
              2 * PARALLEL_SYSLOG + 3 * [b"0 NetWeaver RFC library loaded"])}}),
    items("mixed outcomes with progress display", ["PROD", "ITEM=Physical-Mem:Free #"],
          "* {TIME} SAP Ramgauge Vers 4.3 / 29.08.22\n"
          "* {TIME} ITEM=Physical-Mem Free # State=Executing\n" + header() +
          xml_channel("PRD.P00", "2097", "MByte") +
          "\n* {TIME} PRD.P00, sapprd, PRD, 00, 100 State=Processed\n"
          "\n* {TIME} DEV.P00, sapdev, DEV, 02, 100 State=Rfc Failure\n"
          "\n* {TIME} EXC.P00, sapexc, EXC, 03, 100 State=Rfc Failure\n"
          "\n* {TIME} BADPW.P00, sapbad, BAD, 04, 100 State=Rfc Failure\n" +
          xml_channel("QAS.P00", "1048", "MByte") +
          "\n* {TIME} QAS.P00, sapqas, QAS, 01, 100 State=Processed\n" +
          summary("Physical-Mem Free", 6, 2, 3) + "\n* {TIME} SAP Ramgauge now processed...\n",
          {QUAS: gsng("PRD.P00#DEV.P00#MISSING.P00#EXC.P00#BADPW.P00#QAS.P00#")},
          check=no_logon_for("-")),  # the wrong password never reached a logon
    items("a faulty profile gets no logon attempt", ["PROD", "ITEM=Physical-Mem:Free"],
          header() + xml_channel("PRD.P00", "2097", "MByte") +
          summary("Physical-Mem Free", 2, 1, 1),
          {QUAS: gsng("PRD.P00#QAS.P00#"),
           "QAS.P00": profile(Destination="QAS", Hostname="sapqas", Sysnr="01", Client="1")},
          check=no_logon_for("QAS")),
    items("all systems failing still ends with 0", ["PROD", "ITEM=Physical-Mem:Free"],
          header() + summary("Physical-Mem Free", 3, 0, 2),
          {QUAS: gsng("DEV.P00#EXC.P00#NONE.P00#")}),
    items("the last failure text never reaches the summary", ["PROD", "ITEM=Pages-In:[/Sec]"],
          header() + summary("Pages-In [/Sec]", 1, 0, 1), {QUAS: gsng("EXC.P00#")}),
    items("Tamarack writes ten channels across all systems", ["PROD", "ITEM=Pages-In:[/Sec]"],
          "\n" + "".join("\n\nMessage.PRD_P00: PRD.P00 (#)\nStatistic.PRD_P00: 12"
                         for _ in range(10)) + summary("Pages-In [/Sec]", 12, 12, 0, "text"),
          {QUAS: gsng("PRD.P00#" * 12), "Ramgauge.Tamarack": ""}),
    items("error 1025: no server line", ["PROD", "ITEM=Free"],
          error_answer("Error 1025: Global Server Listing missing..."),
          {QUAS: "# GSNG: xxxxxxxxxxxxPRD.P00#\r\n"}, exit=2),
    items("error 1026: empty item name", ["PROD", "ITEM=,x"],
          error_answer("Error 1026: Global Item Idenification missing..."),
          {QUAS: gsng("PRD.P00#")}, exit=2),
    items("error 1026: sensor line without Item=", ["GLOBAL", "memory"],
          error_answer("Error 1026: Global Item Idenification missing..."),
          {GLOBAL: "# GSNX: memory     x,%s\r\n# GSNG: memory      PRD.P00#\r\n" % SENSOR}, exit=2),
    items("error 1029: sensor line for another program", ["GLOBAL", "memory"],
          error_answer("Error 1029: Invalid Sensor-Allocation..."),
          {GLOBAL: sensor_file().replace(SENSOR, 'Sensor="SAP Other"', 1)}, exit=2),
    items("error 1030: no sensor line", ["GLOBAL", "Memory"],
          error_answer("Error 1030: Global Sensor Memory not found..."),
          {GLOBAL: "# GSNG: memory      PRD.P00#\r\n"}, exit=2),
    items("error 1002: no global sensor file", ["GLOBAL", "Memory", "@"],
          error_answer("Error 1002: Profile SAP Quadrant.Gbl is missing..."), {}, exit=2),
    items("error 1016: system list over 2047 characters", ["PROD", "ITEM=Free"],
          error_answer("Error 1016: Global Server Listing is longer than 2047 characters..."),
          {QUAS: gsng("ABCDEFGHIJ.P00#" * 11) * 13}, exit=2),
    items("error 1016: sensor line over 127 characters of data", ["GLOBAL", "memory"],
          error_answer("Error 1016: Global Sensor line is longer than 146 characters..."),
          {GLOBAL: sensor_file(options="x" * 120)}, exit=2),
    # A list line longer than one read is refused, never split: a split list
    # drops a system and can build a bogus entry from the cut.
    items("error 1016: item profile list line over 199 characters", ["PROD", "ITEM=Free"],
          error_answer("Error 1016: A line in Quadrant.Prf is longer than 199 characters..."),
          {QUAS: gsng("S%02dDEMO.P00#" * 23 % tuple(range(23)))}, exit=2),
    items("error 1016: global file list line over 199 characters", ["GLOBAL", "memory"],
          error_answer("Error 1016: A line in SAP Quadrant.Gbl is longer than 199 characters..."),
          {GLOBAL: sensor_file() + "# GSNG: memory      " + "PRD.P00#" * 23 + "\r\n"}, exit=2),
    items("an over-long line of no list is skipped whole", ["GLOBAL", "memory"],
          header() + xml_channel("PRD.P00", "12") + xml_channel("QAS.P00", "5") +
          summary("Pages-In [/Sec]", 2, 2, 0),
          {GLOBAL: "#" + " " * 198 + "# GSNG: memory      DEV.P00#\r\n" +
           "# GSNG: other       " + "DEV.P00#" * 30 + "\r\n" + sensor_file()}),
]

def trace_mentions(*words):
    def check(work, _stdout):
        with open(work + "/Dev_Rfc.Trc", "rb") as f:
            trace = f.read().decode("latin-1")
        return ["Dev_Rfc.Trc lacks %r" % w for w in words if w not in trace]
    return check


def sapsim_saw(*lines):
    def check(work, _stdout):
        with open(work + "/sapsim.log") as f:
            log = f.read().splitlines()
        return [] if log == list(lines) else ["sapsim.log is %r" % log]
    return check


LINE_199 = "x" * 12 + "P" * 174 + ".P00#"   # with "# Gsng: " 199 characters

CASES += [
    items("a list line of 199 characters is read whole", ["PROD", "ITEM=Pages-In:[/Sec]"],
          header() + xml_channel("PRD.P00", "12") + summary("Pages-In [/Sec]", 2, 1, 0),
          {QUAS: "# Gsng: " + LINE_199 + "\r\n" + gsng("PRD.P00#")}),
    items("a password is never carried over to the next system",
          ["PROD", "ITEM=Pages-In:[/Sec]"],
          header() + xml_channel("PRD.P00", "12") + summary("Pages-In [/Sec]", 2, 1, 1),
          {QUAS: gsng("PRD.P00#QAS.P00#"),
           "QAS.P00": profile(Destination="QAS", Hostname="sapqas", Sysnr="01", Password=None)},
          check=no_logon_for("QAS")),
    items("other labels still carry over", ["PROD", "ITEM=Pages-In:[/Sec]"],
          header() + xml_channel("PRD.P00", "12") + xml_channel("QAS.P00", "5") +
          summary("Pages-In [/Sec]", 2, 2, 0),
          {QUAS: gsng("PRD.P00#QAS.P00#"),
           "QAS.P00": profile(Destination="QAS", Hostname="sapqas", Sysnr="01", Client=None,
                              Language=None)}),
    items(",HOST= keeps its case as typed", ["PROD", "ITEM=Pages-In:[/Sec] @,HOST=sapdev,NO=02"],
          "* {TIME} SAP Ramgauge Vers 4.3 / 29.08.22\n"
          "* {TIME} ITEM=Pages-In [/Sec] State=Executing\n" + header() +
          "\n* {TIME} PRD.P00, sapprd, PRD, 00, 100 State=Rfc Failure\n" +
          summary("Pages-In [/Sec]", 1, 0, 1) + "\n* {TIME} SAP Ramgauge now processed...\n",
          {QUAS: gsng("PRD.P00#")},
          check=trace_mentions("logon refused by sapdev client 100")),
    items("a list entry naming a directory is skipped", ["PROD", "ITEM=Pages-In:[/Sec]"],
          header() + xml_channel("PRD.P00", "12") + summary("Pages-In [/Sec]", 2, 1, 0),
          {QUAS: gsng("PRD.P00#SUB.P00#")}, dirs=["SUB.P00"],
          check=sapsim_saw("logon PRD client=100 user=MONITOR lang=E ok",
                           "call PRD GET_MEM_ALL fault=none")),
]

FIFTY = (system("PRD") + system("HANG", host="saphang", sysnr="09", fault="hang"))


def fifty_systems():
    """Fifty systems: ten with nothing listening, one that logs on and never
    answers (it waits out the default receive timeout), the rest answer."""
    files, answers = {}, ""
    for n in range(50):
        name = "S%02d.P00" % n
        if n % 5 == 1:
            files[name] = profile(Gwservice="{closed_port}")
        elif n == 25:
            files[name] = profile(Destination="HNG", Hostname="saphang", Sysnr="09")
        else:
            files[name] = profile()
            answers += xml_channel(name, "0")
    files[QUAS] = "".join(gsng("S%02d.P00#" % n) for n in range(50))
    return files, answers


FIFTY_FILES, FIFTY_ANSWERS = fifty_systems()
CASES.append(
    items("fifty systems with dead and hung ones finish within PRTG's timeout",
          ["PROD", "ITEM=Pages-Out:[/Sec]"],
          header() + FIFTY_ANSWERS + summary("Pages-Out [/Sec]", 50, 39, 11), FIFTY_FILES,
          systems=FIFTY, timeout=45))


def hundred_systems():
    """A hundred systems: four where nothing listens, three powered off (no
    answer to the handshake), three whose peer drops the connection, three
    that log on and never answer the call; the rest answer."""
    files, answers = {}, ""
    for n in range(100):
        name = "S%02d.P00" % n
        if n in (3, 31, 62, 90):
            files[name] = profile(Gwservice="{closed_port}")
        elif n in (7, 44, 77):
            files[name] = profile(Gwservice="{silent_port}")
        elif n in (12, 55, 98):
            files[name] = profile(Destination="DRP", Hostname="sapdrop", Sysnr="08")
        elif n in (20, 50, 80):
            files[name] = profile(Destination="HNG", Hostname="saphang", Sysnr="09")
        else:
            files[name] = profile()
            answers += xml_channel(name, "0")
    files[QUAS] = "".join(gsng("S%02d.P00#" % n) for n in range(100))
    return files, answers


HUNDRED_FILES, HUNDRED_ANSWERS = hundred_systems()
CASES.append(
    # In parallel (the default, 8 at once) every healthy system is reported
    # within 1.5 x (,CONNECT= 5 s + the hung systems' receive wait of 20 s).
    items("a hundred systems with dead and hung ones: every healthy one reported",
          ["PROD", "ITEM=Pages-Out:[/Sec]"],
          header() + HUNDRED_ANSWERS + summary("Pages-Out [/Sec]", 100, 87, 13), HUNDRED_FILES,
          systems=FIFTY + system("DRP", host="sapdrop", sysnr="08", fault="hangup"),
          parallel=True, max_seconds=37.5, timeout=60))


def twenty_with_a_fatal_fifth():
    files = {QUAS: "".join(gsng("S%02d.P00#" % n) for n in range(20))}
    for n in range(20):
        files["S%02d.P00" % n] = (profile(Destination="BAD", Hostname="sapbad", Sysnr="04")
                                  if n == 4 else profile())
    return files


CASES.append(
    # The same answer in parallel as one after the other: the systems before
    # the fatal one, then its answer; the children still running are ended.
    items("a fatal error in system 5 of 20 ends the run",
          ["PROD", "ITEM=Pages-In:[/Sec]"],
          header() + "".join(xml_channel("S%02d.P00" % n, "12") for n in range(4)) +
          "<Error>1</Error>\n<Text>Error 1017: RFC error at RfcReceive: RFC_ERROR_PROTOCOL - "
          "reply from BAD breaks the protocol</Text>\n</Prtg>\n",
          twenty_with_a_fatal_fifth(),
          systems=system() + system("BAD", host="sapbad", sysnr="04", fault="garbage"), exit=1,
          # No fatal error on the NetWeaver road: that system just fails.
          nw=None))

CASES += [
    items("invalid ,PARALLEL=%s" % value, ["PROD", "ITEM=Pages-In:[/Sec],PARALLEL=" + value],
          error_answer("Error 1028: Invalid value for ,PARALLEL= (1 to 64) !"), {}, exit=2)
    for value in ["0", "65", "x", ""]
] + [
    items(",PARALLEL= takes leading zeros", ["PROD", "ITEM=Pages-In:[/Sec],PARALLEL=0064"],
          header() + xml_channel("PRD.P00", "12") + summary("Pages-In [/Sec]", 1, 1, 0),
          {QUAS: gsng("PRD.P00#")}, parallel=True),
] + [
    items("invalid ,CONNECT=%s" % value, ["PROD", "ITEM=Pages-In:[/Sec],CONNECT=" + value],
          error_answer("Error 1009: Invalid value for ,CONNECT= (0 to 60 seconds) !"), {}, exit=2)
    for value in ["61", "-1", "1.5"]
]
