"""Finding the logon profile and reading it."""
from fixtures import SCRAMBLED_SECRET1, error_answer, profile

EXEXML_DIR = "PRTG Network Monitor\\Custom Sensors\\ExeXml\\"
INCOMPLETE = profile(Extcompany=None)      # found, then refused with 1003
NO_USER = profile(User=None)               # found, then refused with 1006
LONG_DIR = "C:\\Sensors\\" + "\\".join(["d" * 30] * 3) + "\\" + "e" * 10   # 114 characters


def e1002(shown):
    return error_answer("Error 1002: Profile %s is missing..." % shown)


def e1003(name="PRD.P00"):
    return error_answer("Error 1003: Invalid Parameter(s) at %s found..." % name)


def e1006(name="PRD.P00"):
    return error_answer("Error 1006: Username in Profile %s is missing..." % name)


PROFILE_ERRORS = [
    # (name, profile text, message)
    ("empty profile", "", e1006()),
    ("missing Extcompany", profile(Extcompany=None), e1003()),
    ("lower-case client label ignored", profile(Client=None) + "client.....: 100\r\n", e1003()),
    ("one-character user", profile(User="m"), e1003()),
    ("missing user", profile(User=None), e1006()),
    ("empty password value", profile(Password=""), error_answer(
        "Error 1007: Password in Profile PRD.P00 is missing...")),
    ("password with a trailing blank", profile(Password=SCRAMBLED_SECRET1 + " "), error_answer(
        "Error 1004: Invalid Password in Profile PRD.P00 found...")),
    ("password failing its check digit", profile(Password=SCRAMBLED_SECRET1[:-1] + "g"),
     error_answer("Error 1005: Wrong Password in Profile PRD.P00 found...")),
    ("destination longer than its field", profile(Destination="D" * 12), e1003()),
    ("user longer than its field", profile(User="U" * 48), e1003()),
    ("password error wins over missing user", profile(User=None, Password="x"), error_answer(
        "Error 1004: Invalid Password in Profile PRD.P00 found...")),
]

CASES = [
    {"name": "profile: " + name, "args": ["PRD", "@"], "files": {"PRD.P00": text},
     "stdout": message, "exit": 2}
    for name, text, message in PROFILE_ERRORS
] + [
    {"name": "profile: LF line ends read like CRLF", "args": ["PRD", "@"],
     "files": {"PRD.P00": profile(eol="\n", Extcompany=None)}, "stdout": e1003(), "exit": 2},
    {"name": "profile name keeps its extension", "args": ["prd.p01", "@"],
     "files": {"prd.p01": INCOMPLETE}, "stdout": e1003("prd.p01"), "exit": 2},
    {"name": "profile: a directory of the profile's name counts as missing", "args": ["PRD"],
     "dirs": ["PRD.P00"], "stdout": e1002("PRD.P00"), "exit": 2},
    # A profile that lies there but cannot be read is not "missing".
    {"name": "profile: present but unreadable, with @", "args": ["PRD", "@"],
     "unreadable": ["PRD.P00"], "stdout": error_answer(
         "Error 1002: Profile PRD.P00 cannot be read..."), "exit": 2},
    {"name": "profile: present but unreadable, host file names the path", "args": ["sub\\PRD"],
     "files": {"sub/Ramgauge.Pinnace": ""}, "unreadable": ["sub/PRD.P00"],
     "stdout": error_answer("Error 1002: Profile sub\\PRD.P00 cannot be read..."), "exit": 2},
    {"name": "profile: present but unreadable in the PRTG search", "args": ["PRD"],
     "unreadable": ["PRD.P00"], "stdout": error_answer(
         "Error 1002: Profile PRD.P00 cannot be read..."), "exit": 2},
    {"name": "short extension gets .P00", "args": ["x.ab", "@"],
     "stdout": e1002("x.ab.P00"), "exit": 2},

    # Host files: the directory of argument 1 is used, and the message names the path.
    {"name": "host file found, profile missing names the path", "args": ["sub\\PRD"],
     "files": {"sub/Ramgauge.Bramble": ""}, "stdout": e1002("sub\\PRD.P00"), "exit": 2},
    {"name": "host file found, profile read from its directory", "args": ["sub\\PRD"],
     "files": {"sub/Ramgauge.Kestrel": "", "sub/Ramgauge.Pinnace": "", "sub/PRD.P00": INCOMPLETE,
               "PRD.P00": NO_USER},
     "stdout": e1003(), "exit": 2},
    {"name": "without a host file the directory of argument 1 is not used", "args": ["sub\\PRD"],
     "files": {"sub/PRD.P00": INCOMPLETE}, "stdout": e1002("PRD.P00"), "exit": 2},
    {"name": "@ takes the profile from the directory of argument 1", "args": ["sub\\PRD", "@"],
     "files": {"sub/PRD.P00": INCOMPLETE, "PRD.P00": NO_USER}, "stdout": e1003(), "exit": 2},
    {"name": "@ with the profile missing names the path", "args": ["sub\\PRD", "x@"],
     "stdout": e1002("sub\\PRD.P00"), "exit": 2},
    {"name": "no path file: current directory first", "args": ["PRD"],
     "files": {"PRD.P00": INCOMPLETE}, "stdout": e1003(), "exit": 2},

    # The PRTG search on drive C: (Windows build only).
    {"name": "prtg: path file, last qualifying line wins", "args": ["PRD"],
     "rooted": {"C:\\PRTG_Path.Txt": "# comment\r\nC:\\Program Files\r\nC:\\Apps\r\nnot a dir\r\n",
                "C:\\Apps\\" + EXEXML_DIR + "PRD.P00": INCOMPLETE,
                "C:\\Program Files\\" + EXEXML_DIR + "PRD.P00": NO_USER},
     "stdout": e1003(), "exit": 2},
    {"name": "prtg: a long path file line is used whole, never a piece of it", "args": ["PRD"],
     "rooted": {"C:\\PRTG_Path.Txt": LONG_DIR + "\r\n",
                LONG_DIR + "\\PRD.P00": INCOMPLETE, LONG_DIR[:99] + "\\PRD.P00": NO_USER},
     "stdout": e1003(), "exit": 2},
    {"name": "prtg: a path file line over 259 characters is refused", "args": ["PRD"],
     "rooted": {"C:\\PRTG_Path.Txt": "C:\\" + "d" * 257 + "\r\n"}, "stdout": error_answer(
         "Error 1016: A line in C:\\PRTG_Path.Txt is longer than 259 characters..."), "exit": 2},
    {"name": "prtg: a path file line that names no directory is ignored at any length",
     "args": ["PRD"],
     "rooted": {"C:\\PRTG_Path.Txt": "C:\\Apps\r\n# " + "c" * 300 + "\r\nnot a dir " + "x" * 500,
                "C:\\Apps\\" + EXEXML_DIR + "PRD.P00": INCOMPLETE},
     "stdout": e1003(), "exit": 2},
    {"name": "prtg: second sub-directory probe", "args": ["PRD"],
     "rooted": {"C:\\PRTG_Path.Txt": "C:\\PRTG\r\n",
                "C:\\PRTG\\Custom Sensors\\ExeXml\\PRD.P00": INCOMPLETE,
                "C:\\PRTG\\PRD.P00": NO_USER},
     "stdout": e1003(), "exit": 2},
    {"name": "prtg: path file naming the ExeXml directory itself", "args": ["PRD"],
     "rooted": {"C:\\PRTG_Path.Txt": "C:\\Apps\\" + EXEXML_DIR + "\n",
                "C:\\Apps\\" + EXEXML_DIR + "PRD.P00": INCOMPLETE},
     "stdout": e1003(), "exit": 2},
    {"name": "prtg: path file, profile missing names the file alone", "args": ["PRD"],
     "rooted": {"C:\\PRTG_Path.Txt": "C:\\Apps\r\n"}, "files": {"PRD.P00": INCOMPLETE},
     "stdout": e1002("PRD.P00"), "exit": 2},
    {"name": "prtg: path file without a qualifying line searches from the root", "args": ["PRD"],
     "rooted": {"C:\\PRTG_Path.Txt": "nothing here\r\n",
                "C:\\" + EXEXML_DIR + "PRD.P00": INCOMPLETE},
     "stdout": e1003(), "exit": 2},
    {"name": "prtg: fixed directories rooted at the current drive", "args": ["PRD"],
     "rooted": {"C:\\Program Files (x86)\\" + EXEXML_DIR + "PRD.P00": INCOMPLETE},
     "stdout": e1003(), "exit": 2},
    {"name": "prtg: first fixed directory wins", "args": ["PRD"],
     "rooted": {"C:\\Programme\\" + EXEXML_DIR + "PRD.P00": INCOMPLETE,
                "C:\\Program Files\\" + EXEXML_DIR + "PRD.P00": NO_USER},
     "stdout": e1003(), "exit": 2},
    {"name": "prtg: host file in a rooted directory", "args": ["C:\\Sensors\\PROD"],
     "rooted": {"C:\\Sensors\\Ramgauge.Tamarack": ""},
     "stdout": e1002("C:\\Sensors\\PROD.P00"), "exit": 2},
]
