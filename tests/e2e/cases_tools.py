"""ramgauge-profile: writing and checking logon profiles."""
import os

from fixtures import profile

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


CASES = [
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
