"""PRTG's Script v2 sensor: the JSON mode, selected by Ramgauge.Json in the
profile's folder or beside the program. (Every XML case of the other tables
also runs as a JSON twin; see run_cases.py.) Answers end in exit code 0."""
import json
import re

from fixtures import profile, system, xml_answer

JSON_HOST = {"Ramgauge.Json": ""}
PRD = {"PRD.P00": profile()}
STATUS = "(PRD) Memory=16.777 MB, Free=2.097 MB, Swap=4.194 MB, Free=50%, PageIn=12, PageOut=0 "


def channel(cid, name, kind, value, unit=None, number="integer"):
    text = '{"id":%d,"name":"%s","type":"%s","kind":"%s"' % (cid, name, number, kind)
    if unit:
        text += ',"display_unit":"%s"' % unit
    return text + ',"value":%s}' % value


def answer(status, message, *channels):
    text = '{"version":2,"status":"%s","message":"%s"' % (status, message)
    if channels:
        text += ',"channels":[%s]' % ",".join(channels)
    return text + "}\n"


def memory(cid, name, kilobytes):
    return channel(cid, name, "size_bytes_memory", kilobytes * 1024)


def percent(cid, name, value):
    return channel(cid, name, "percent", value, number="float")


def pages(cid, name, value):
    return channel(cid, name, "custom", value, unit="pages/s")


def item_id(name):
    """FNV-1a of the channel name, into PRTG's ids 10 to 2147483647."""
    h = 2166136261
    for byte in name.encode("latin-1"):
        h = ((h ^ byte) * 16777619) & 0xFFFFFFFF
    return 10 + h % (2147483647 - 10 + 1)


EXAMPLE = answer("ok", STATUS, memory(10, "Physical-Mem Free", 2097152),
                 percent(11, "SwapMemory Free", "50.00"), pages(12, "Pages-In [/Sec]", 12),
                 pages(13, "Pages-Out [/Sec]", 0))


def case(name, stdout, args=("PRD",), files=None, **rest):
    rest.setdefault("systems", system())
    return dict(name="json: " + name, args=list(args), files=dict(JSON_HOST, **(files or PRD)),
                stdout=stdout, exit=rest.pop("exit", 0), **rest)


SYSTEMS = (system("PRD") +
           system("QAS", host="sapqas", sysnr="01", free_mem=1048576, swap_size=1000000,
                  swap_free=250000) +
           system("DEV", host="sapdev", sysnr="02", fault="refuse") +
           system("EXC", host="sapexc", sysnr="03", fault="exception NOT_AUTHORIZED"))
PROFILES = {
    "PRD.P00": profile(),
    "QAS.P00": profile(Destination="QAS", Hostname="sapqas", Sysnr="01"),
    "DEV.P00": profile(Destination="DEV", Hostname="sapdev", Sysnr="02"),
    "EXC.P00": profile(Destination="EXC", Hostname="sapexc", Sysnr="03"),
}


def item_case(name, entries, stdout, item="ITEM=Physical-Mem:Free"):
    """entries: one list line's text, or several lines' texts."""
    lines = [entries] if isinstance(entries, str) else entries
    files = dict(PROFILES, **{"Quadrant.Prf": "".join("# Gsng: " + "x" * 12 + line + "\r\n"
                                                      for line in lines)})
    return case(name, stdout, args=("PROD", item), files=files, systems=SYSTEMS)


def summary(systems, processed, failed, item="Physical-Mem Free"):
    return "(***) %s: NoSystems=%d, Processed=%d, Failed=%d " % (item, systems, processed, failed)


def library_missing(work, stdout):
    answer = json.loads(stdout)
    return [] if answer["status"] == "error" and re.fullmatch(
        r"Error 1018: no RFC library can be loaded: librfc32\.(so|dll) is not in .*; "
        r"(lib)?sapnwrfc\.(so|dll) is not in .* nor on the system's search path; put SAP's RFC "
        r"library beside the sensor program\.\.\.", answer["message"]) else [
            "unexpected answer %r" % stdout]


# Script v2 takes at most 50 channels: the first 50 systems that answer.
FIFTY_TWO = ["PRD.P00#" * 13] * 4
FIFTY_KEPT = [pages(item_id("PRD.P00") + k, "PRD.P00", 12) for k in range(50)]

CASES = [
    case("the worked example", EXAMPLE),
    case("the worked example beside a Kestrel host file: the last host file wins", EXAMPLE,
         files=dict(PRD, **{"Ramgauge.Kestrel": ""})),
    # Figures the system did not give are left out, not reported as 0.
    case("free memory -1 leaves its channel out",
         answer("ok", "(PRD) Memory=16.777 MB, Free=0 MB, Swap=4.194 MB, Free=50%, "
                "PageIn=12, PageOut=0 ", percent(11, "SwapMemory Free", "50.00"),
                pages(12, "Pages-In [/Sec]", 12), pages(13, "Pages-Out [/Sec]", 0)),
         systems=system(free_mem=-1)),
    case("swap size -1 leaves free swap out",
         answer("ok", "(PRD) Memory=16.777 MB, Free=2.097 MB, Swap=0, PageIn=12, PageOut=0 ",
                memory(10, "Physical-Mem Free", 2097152), pages(12, "Pages-In [/Sec]", 12),
                pages(13, "Pages-Out [/Sec]", 0)),
         systems=system(swap_size=-1)),
    case("negative paging figures are left out, free swap is exact",
         answer("ok", "(PRD) Memory=16.777 MB, Free=2.097 MB, Swap=1.000 MB, Free=33%, "
                "PageIn=-1, PageOut=-5 ", memory(10, "Physical-Mem Free", 2097152),
                percent(11, "SwapMemory Free", "33.33")),
         systems=system(swap_size=1000000, swap_free=333333, in_pg_sec=-1, out_pg_sec=-5)),

    item_case("item mode, every system answers: ok", "PRD.P00#QAS.P00#",
              answer("ok", summary(2, 2, 0),
                     memory(item_id("PRD.P00"), "PRD.P00", 2097152),
                     memory(item_id("QAS.P00"), "QAS.P00", 1048576)) + "\n"),
    item_case("item mode, 1 of 3 failed: warning", "PRD.P00#DEV.P00#QAS.P00#",
              answer("warning", summary(3, 2, 1),
                     memory(item_id("PRD.P00"), "PRD.P00", 2097152),
                     memory(item_id("QAS.P00"), "QAS.P00", 1048576)) + "\n"),
    item_case("item mode, all failed: error", "DEV.P00#EXC.P00#NONE.P00#",
              answer("error", summary(3, 0, 2)) + "\n"),
    item_case("item mode, a name twice gets the next id", "PRD.P00#PRD.P00#",
              answer("ok", summary(2, 2, 0, "Pages-In [/Sec]"),
                     pages(item_id("PRD.P00"), "PRD.P00", 12),
                     pages(item_id("PRD.P00") + 1, "PRD.P00", 12)) + "\n",
              item="ITEM=Pages-In:[/Sec]"),

    case("a numbered error", answer("error", "Error 1002: Profile PRD.P00 is missing..."),
         files={"OTHER.P00": profile()}),
    case("a numbered error before the profile is located",
         answer("error", "Error 1001: Parameter for Profile-Name is missing !"), args=()),
    case("a failed measurement",
         answer("error", "Error 1012: Exception.: NOT_AUTHORIZED - Look for Trace-File"),
         systems=system(fault="exception NOT_AUTHORIZED")),
    case("the deadline",
         answer("error", "Error 1020: No answer from PRD within 1 seconds !"),
         args=("PRD", ",TIMEOUT=1"), systems=system(fault="hang"), max_seconds=5),

    # A Script v2 sensor runs the program from its own folder, wherever the
    # working directory is; the host file beside the program selects JSON.
    dict(name="json: a profile beside the program, working directory elsewhere",
         args=["PRD"], files={}, program_files=dict(PRD, **JSON_HOST), systems=system(),
         stdout=EXAMPLE),
    dict(name="json: an EXE/XML sensor finds its profile beside the program too",
         args=["PRD"], files={}, program_files=PRD, systems=system(),
         stdout=xml_answer(STATUS, "2097", "50", "12", "0")),
    dict(name="json: the working directory is searched before the program's folder",
         args=["PRD"], files={"PRD.P00": profile(Destination="CWD")},
         program_files=dict(PRD, **JSON_HOST), systems=system(),
         stdout=EXAMPLE.replace("(PRD)", "(CWD)")),
    item_case("item mode keeps 50 channels and says so", FIFTY_TWO,
              answer("ok", summary(52, 52, 0, "Pages-In [/Sec]") +
                     "(2 more channels left out: at most 50) ", *FIFTY_KEPT) + "\n",
              item="ITEM=Pages-In:[/Sec]"),
    dict(name="json: missing RFC library gives 1018", args=["PRD"], files={},
         program_files=dict(PRD, **JSON_HOST), program_alone=True, check=library_missing),
    dict(name="json: the host file beside the program answers a missing profile",
         args=["PRD"], files={}, program_files=JSON_HOST,
         stdout=answer("error", "Error 1002: Profile PRD.P00 is missing...")),
]
