"""ramgauge-profile: writing and checking logon profiles."""
import os
import re
from xml.etree import ElementTree

from cases_scan import ELF32, pe
from fixtures import profile, system

CREATE = ["create", "NEW.P00", "--extcompany", "ACME Corp", "--destination", "PRD",
          "--client", "100", "--user", "monitor", "--language", "E", "--mode", "R/3",
          "--hostname", "sapprd", "--sysnr", "00", "--gwhost", "sapprd",
          "--gwservice", "sapgw00"]


def created_profile(work, _stdout):
    with open(work + "/NEW.P00", "rb") as f:
        lines = f.read().decode().splitlines()
    labels = [line[:12] for line in lines]
    problems = []
    if labels != ["Extcompany.:", "Destination:", "Client.....:", "User.......:",
                  "Password...:", "Language...:", "Mode.......:", "Hostname...:",
                  "Sysnr......:", "Gwhost.....:", "Gwservice..:"]:
        problems.append("labels %r" % labels)
    password = [line[13:] for line in lines if line.startswith("Password...:")]
    if not password or len(password[0]) != 24 or "secret1" in "".join(lines):
        problems.append("password line %r" % password)
    if "User.......: MONITOR" not in lines:
        problems.append("user not upper-cased")
    return problems


def with_options(*changes):
    """CREATE with some options given as --opt=value instead."""
    args = list(CREATE)
    for change in changes:
        name = change.split("=")[0]
        at = args.index(name)
        args[at:at + 2] = [change]
    return args


def only_files(*names):
    def check(work, _stdout):
        left = sorted(set(os.listdir(work)) - {"sapsim.ini", "sapsim.log", "tmp"})
        return [] if left == sorted(names) else ["the folder holds %r" % left]
    return check


def tool(name, args, stdout=None, exit=0, **case):
    case.update(name="tool: " + name, exe="ramgauge-profile", args=args, exit=exit)
    if stdout is not None:
        case["stdout"] = stdout
    return case


SCAN_STEPS = ["profile", "output", "limits", "profile entries", "RFC library", "partner",
              "connection", "logon", "GET_MEM_ALL", "answer"]


def test_lines(failing=None, detail=None):
    """The test verb's step lines: every step of a scan OK up to failing,
    which fails with a detail matching the pattern detail (and a line of
    what to do); with failing None, every step OK and the sensor's whole
    answer after them. The password is never shown."""
    def check(_work, out):
        lines = out.splitlines()
        steps = [re.match(r"(OK|FAIL)  +([^:]+): (.*)", line) for line in lines]
        steps = [m.groups() for m in steps if m]
        want = SCAN_STEPS[:SCAN_STEPS.index(failing) + 1] if failing else SCAN_STEPS
        problems = []
        if [name for _, name, _ in steps] != want:
            problems.append("steps %r, expected %r: %r" % ([n for _, n, _ in steps], want, out))
        elif failing:
            state, _, text = steps[-1]
            if state != "FAIL" or not re.search(detail, text):
                problems.append("the last step is %r %r, expected FAIL %r" % (state, text, detail))
            if not any(line.startswith("      what to do: ") for line in lines):
                problems.append("no line says what to do")
        else:
            if any(state != "OK" for state, _, _ in steps):
                problems.append("a step is not OK")
            answer = "\n".join(lines[lines.index(next(l for l in lines if "answer:" in l)) + 1:])
            try:
                root = ElementTree.fromstring(answer)
                if len(root.findall("Result")) != 4:
                    problems.append("the answer has not the four channels: %r" % answer)
            except ElementTree.ParseError as error:
                problems.append("the answer is no XML (%s): %r" % (error, answer))
        if "secret1" in out:
            problems.append("the password is shown")
        return problems
    return check


TEST_SYSTEMS = system() + system("EXC", host="sapexc", sysnr="03",
                                 fault="exception NOT_AUTHORIZED")
TEST_CASES = [
    tool("test: every step of a healthy scan is OK", ["test", "PRD"], exit=0,
         files={"PRD.P00": profile()}, systems=TEST_SYSTEMS, check=test_lines()),
    tool("test: the library line names the file the loader took", ["test", "PRD"], exit=0,
         files={"PRD.P00": profile()}, systems=TEST_SYSTEMS,
         check=lambda work, out: [] if re.search(
             r"OK +RFC library: \S*[/\\](lib)?(rfc32|sapnwrfc)\.(so|dll) \(", out)
         else ["no library path in %r" % out]),
    tool("test: the NetWeaver library's version", ["test", "PRD"], exit=0,
         files={"PRD.P00": profile()}, systems=TEST_SYSTEMS, classic=None,
         check=lambda work, out: [] if re.search(
             r"OK +RFC library: \S+ \(SAP's NetWeaver RFC library, version 7500\.0 patch 0 "
             r"\(Ramgauge stand-in \(talks to sapsim only\)\)\)", out)
         else ["no version in %r" % out]),
    tool("test: a missing profile, and where it was looked for", ["test", "NONE"], exit=1,
         files={"PRD.P00": profile()},
         check=test_lines("profile", r"^Error 1002: Profile NONE\.P00 is missing\.\.\. \(looked "
                                     r"for at: NONE\.P00 \(the working folder\)")),
    tool("test: a refused profile", ["test", "PRD"], exit=1,
         files={"PRD.P00": profile(Client="1")}, check=test_lines("profile entries", "Error 10")),
    tool("test: no RFC library", ["test", "PRD"], exit=1, files={"PRD.P00": profile()},
         program_files={}, program_alone=True,
         check=test_lines("RFC library", r"^Error 1018: no RFC library can be loaded")),
    tool("test: a library of the other width", ["test", "PRD"], exit=1,
         files={"PRD.P00": profile(), "librfc32.so": ELF32, "libsapnwrfc.so": ELF32,
                "librfc32.dll": pe(0x14c), "sapnwrfc.dll": pe(0x8664)}, isolated=True,
         check=test_lines("RFC library", r"is a (32|64)-bit library, the sensor a (64|32)-bit "
                                         r"program")),
    tool("test: a library that needs a missing file", ["test", "PRD"], exit=1,
         files={"PRD.P00": profile()}, isolated=True, library_built="needs_missing",
         check=test_lines("RFC library", r"it needs ramgauge_missing_dep\.(so|dll).*\(missing: "
                                         r"(lib)?(rfc32|sapnwrfc)\.(so|dll) needs "
                                         r"ramgauge_missing_dep\.(so|dll)\)")),
    tool("test: an unknown host", ["test", "PRD"], exit=1,
         files={"PRD.P00": profile(Gwhost="no-such-host.invalid")}, systems=TEST_SYSTEMS,
         check=test_lines("partner", r"no-such-host\.invalid:\d+ \(from the profile\) not "
                                     r"reachable \(unknown host\)")),
    tool("test: a closed port", ["test", "PRD"], exit=1,
         files={"PRD.P00": profile(Gwservice="{closed_port}")}, systems=TEST_SYSTEMS,
         check=test_lines("partner", r"not reachable \(connection refused\)")),
    tool("test: a silent partner, within ,CONNECT=", ["test", "PRD", ",CONNECT=1"], exit=1,
         files={"PRD.P00": profile(Gwservice="{silent_port}")}, systems=TEST_SYSTEMS,
         max_seconds=4, check=test_lines("partner", r"not reachable \(timeout after 1 s\)")),
    tool("test: a refused logon", ["test", "PRD"], exit=1,
         files={"PRD.P00": profile(User="NOBODY")}, systems=TEST_SYSTEMS,
         check=test_lines("logon", r"Error 101[14]: .*name or password is incorrect")),
    tool("test: a host that serves no such system", ["test", "PRD"], exit=1,
         files={"PRD.P00": profile(Sysnr="07")}, systems=TEST_SYSTEMS,
         check=test_lines("connection", r"^Error 1011: RFC-Open for PRD failed - partner sapprd "
                                        r"not reached: no system sapprd 07")),
    tool("test: the call refused for lack of authorization", ["test", "EXC"], exit=1,
         files={"EXC.P00": profile(Destination="EXC", Hostname="sapexc", Sysnr="03")},
         systems=TEST_SYSTEMS,
         check=test_lines("GET_MEM_ALL", r"Error 1012: Exception\.: NOT_AUTHORIZED")),
    tool("test: another exception of the call", ["test", "SYS"], exit=1,
         files={"SYS.P00": profile(Destination="SYS", Hostname="sapsys", Sysnr="05")},
         systems=system("SYS", host="sapsys", sysnr="05", fault="exception SYSTEM_FAILURE"),
         check=test_lines("GET_MEM_ALL", r"Error 1012: Exception\.: SYSTEM_FAILURE")),
    tool("test: wrong usage", ["test"], exit=2),
]

CASES = TEST_CASES + [
    tool("create writes all eleven lines with the password scrambled", CREATE,
         "NEW.P00 written\n", stdin="secret1\n", check=created_profile),
    tool("create never overwrites without --force", CREATE, "", exit=2, stdin="secret1\n",
         files={"NEW.P00": "keep me"}, after={"NEW.P00": "keep me"}),
    tool("create --force replaces the file", CREATE + ["--force"], "NEW.P00 written\n",
         stdin="secret1\n", files={"NEW.P00": "old"}, check=created_profile),
    tool("create --force keeps the old profile when the write fails", CREATE + ["--force"], "",
         exit=2, stdin="secret1\n", files={"NEW.P00": profile()}, file_size_limit=0,
         after={"NEW.P00": profile()}, check=only_files("NEW.P00")),
    tool("create refuses what the sensor would refuse", CREATE[:6] + ["--client", "10"] + CREATE[8:],
         "", exit=2, stdin="secret1\n", after={"NEW.P00": None}),
    tool("create refuses a password over 20 characters", CREATE, "", exit=2,
         stdin="x" * 21 + "\n", after={"NEW.P00": None}),
    tool("check accepts a complete profile", ["check", "PRD.P00"],
         "Password...: unscrambles to 7 characters\nPRD.P00: accepted\n",
         files={"PRD.P00": profile()}),
    tool("check reports every fault", ["check", "PRD.P00"],
         "Password...: does not unscramble (Error 1005: Wrong Password in Profile PRD.P00 "
         "found...)\nExtcompany.: is missing or empty\nDestination: is longer than 11 "
         "characters\nClient.....: is shorter than 3 characters\nPRD.P00: refused\n",
         exit=1, files={"PRD.P00": profile(Extcompany=None, Client="10", Destination="D" * 12,
                                           Password=":+13q|f0fuf1U~X(G31duvvg")}),
    tool("check on a missing file", ["check", "NONE.P00"], "",
         stderr="ramgauge-profile: Error 1002: Profile NONE.P00 is missing...\n", exit=1),
    tool("check adds .P00 as the sensor does", ["check", "PRD"],
         "Password...: unscrambles to 7 characters\nPRD.P00: accepted\n",
         files={"PRD.P00": profile()}),
    tool("check finds the profile beside a host file as the sensor does", ["check", "sub\\PRD"],
         "Password...: unscrambles to 7 characters\nsub\\PRD.P00: accepted\n",
         files={"sub/PRD.P00": profile(), "sub/Ramgauge.Bramble": ""}),
    tool("check refuses a list of systems", ["check", "GLOBAL"], "", exit=2,
         files={"SAP Quadrant.Gbl": ""},
         stderr="ramgauge-profile: GLOBAL names a list of systems, not a logon profile; "
                "check each profile of the list\n"),
    tool("scramble refuses an empty password", ["scramble"], "", exit=2, stdin="\n",
         stderr="ramgauge-profile: the password is empty; the sensor refuses a profile without "
                "one\n"),
    tool("create refuses an empty password", CREATE, "", exit=2, stdin="\n",
         after={"NEW.P00": None}),
    tool("create takes --opt=value", with_options("--client=100", "--mode=R/2"),
         "NEW.P00 written\n", stdin="secret1\n", check=created_profile),
    tool("create writes the profile for its owner only", CREATE, "NEW.P00 written\n",
         stdin="secret1\n", native_only=True,
         check=lambda work, _: [] if os.stat(work + "/NEW.P00").st_mode & 0o777 == 0o600
         else ["mode %o" % (os.stat(work + "/NEW.P00").st_mode & 0o777)]),
] + [
    tool("create refuses %s" % what, with_options(option), "", exit=2, stdin="secret1\n",
         stderr="ramgauge-profile: the sensor would refuse this profile:\n" + fault + "\n",
         after={"NEW.P00": None})
    for what, option, fault in [
        ("client abc", "--client=abc", "Client.....: must be 3 digits"),
        ("system number ab", "--sysnr=ab", "Sysnr......: must be 2 digits"),
        ("mode xyz", "--mode=xyz", "Mode.......: must be R/3 or R/2"),
        ("language E1", "--language=E1",
         "Language...: must be a language key of 1 or 2 letters (E, D, EN)"),
        ("gateway service nonsense", "--gwservice=nonsense",
         "Gwservice..: must be sapgwNN or a port number"),
        ("gateway service sapgw1", "--gwservice=sapgw1",
         "Gwservice..: must be sapgwNN or a port number"),
        ("port 70000", "--gwservice=70000", "Gwservice..: must be sapgwNN or a port number"),
    ]
] + [
    # Values that cannot be written: a control character would end the line
    # (or add one the sensor reads), a double quote breaks SAP's connect string.
    tool("create refuses %s" % what, with_options(option), "", exit=2, stdin="secret1\n",
         stderr="ramgauge-profile: these values cannot be written:\n" + fault + "\n",
         after={"NEW.P00": None})
    for what, option, fault in [
        ("a newline in --extcompany", "--extcompany=ACME\nPassword...: x",
         "Extcompany.: holds a control character (0x0A); a value is one line of text"),
        ("a tab in --user", "--user=mon\titor",
         "User.......: holds a control character (0x09); a value is one line of text"),
        ("DEL in --mode", "--mode=R/3\x7f",
         "Mode.......: holds a control character (0x7F); a value is one line of text"),
        ("a double quote in --hostname", '--hostname=sap"prd',
         "Hostname...: holds a double quote (\"); SAP's connect string can quote a value with "
         "blanks but cannot carry a double quote"),
        ("a double quote in --gwservice", '--gwservice="3300"',
         "Gwservice..: holds a double quote (\"); SAP's connect string can quote a value with "
         "blanks but cannot carry a double quote"),
    ]
] + [
    tool("create refuses a double quote in the password", CREATE, "", exit=2,
         stdin='sec"ret\n', after={"NEW.P00": None},
         stderr="ramgauge-profile: the password holds a double quote (\"); SAP's connect string "
                "can quote a value with blanks but cannot carry a double quote\n"),
    tool("create keeps a double quote in --extcompany", with_options('--extcompany=ACME "Corp"'),
         "NEW.P00 written\n", stdin="secret1\n", check=created_profile),
    tool("create adds .P00 to a name without an extension, as check does",
         ["create", "NEW"] + CREATE[2:], "NEW.P00 written\n", stdin="secret1\n",
         check=created_profile),
    tool("create keeps an extension", ["create", "NEW.P01"] + CREATE[2:], "NEW.P01 written\n",
         stdin="secret1\n", after={"NEW.P01": lambda got: got.startswith(b"Extcompany.: ")}),
] + [
    tool("scramble reads the password from standard input", ["scramble"], stdin="pw\n",
         check=lambda work, out: [] if len(out.strip()) == 24 and " " not in out.strip()
         else ["scrambled %r" % out]),
    tool("unknown command", ["frobnicate"], "", exit=2),
]
