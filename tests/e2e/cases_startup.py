"""Start-up: the command line and its limits."""
from fixtures import error_answer

CASES = [
    {"name": "no arguments gives error 1001", "args": [],
     "stdout": error_answer("Error 1001: Parameter for Profile-Name is missing !"), "exit": 2},
    {"name": "profile name of 64 characters is refused", "args": ["P" * 64],
     "stdout": error_answer("Error 1016: Profile-Name %s is longer than 63 characters..."
                            % ("P" * 64)), "exit": 2},
    {"name": "profile name of 63 characters is taken", "args": ["P" * 63, "@"],
     "stdout": error_answer("Error 1002: Profile %s.P00 is missing..." % ("P" * 63)),
     "exit": 2},
    {"name": "options of 128 characters after joining are refused",
     "args": ["PRD", "a" * 64, "b" * 63],
     "stdout": error_answer("Error 1016: Options %s %s are longer than 127 characters..."
                            % ("a" * 64, "b" * 63)), "exit": 2},
    {"name": "error text is escaped for XML", "args": ["A&B<C>", "@"],
     "stdout": error_answer("Error 1002: Profile A&amp;B&lt;C&gt;.P00 is missing..."), "exit": 2},
]


def usage_check(work, stdout):
    lines = stdout.replace("\r\n", "\n").splitlines()
    return [] if lines and lines[0] == "Usage: ramgauge PROFILE [OPTIONS [OPTIONS]]" \
        and "Exit codes: 0 answer printed, 1 fatal RFC error, 2 numbered error or" in lines \
        else ["unexpected usage %r" % stdout]


CASES += [
    {"name": "--version prints the version", "args": ["--version"],
     "stdout": "Ramgauge 4.3.0\n"},
] + [
    {"name": "%s prints the usage" % word, "args": [word], "check": usage_check}
    for word in ["--help", "-h", "/?"]
] + [
    {"name": "%s as a profile name is an ordinary name" % word, "args": [word, "@"],
     "stdout": error_answer("Error 1002: Profile %s.P00 is missing..." % word), "exit": 2}
    for word in ["--helpx", "-H", "--VERSION", "version"]
] + [
    {"name": "--help after a profile name is an option word", "args": ["PRD", "--help"],
     "stdout": error_answer("Error 1002: Profile PRD.P00 is missing..."), "exit": 2},
]
