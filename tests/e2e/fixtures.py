"""Small files shared by the end-to-end cases."""

# Scrambled with "ramgauge-profile scramble"; the clear text is in the name.
SCRAMBLED_SECRET1 = ":+13q|f0fuf1U~X(G31duvvf"
SCRAMBLED_PW = "3,16tdJG0vwM6ZE5JNODKjfs"

FIELDS = [
    ("Extcompany.:", "ACME Corp"),
    ("Destination:", "PRD"),
    ("Client.....:", "100"),
    ("User.......:", "monitor"),
    ("Password...:", SCRAMBLED_SECRET1),
    ("Language...:", "E"),
    ("Mode.......:", "R/3"),
    ("Hostname...:", "sapprd"),
    ("Sysnr......:", "00"),
    ("Gwhost.....:", "sapprd"),
    ("Gwservice..:", "sapgw00"),
]


def profile(eol="\r\n", **changes):
    """A logon profile; a change names a label's first word (Client=...,
    Password=...); the value None leaves that line out."""
    lines = []
    for label, value in FIELDS:
        key = label.split(".")[0].rstrip(":")
        if key in changes:
            value = changes[key]
            if value is None:
                continue
        lines.append("%s %s" % (label, value))
    return "".join(line + eol for line in lines)


def error_answer(message):
    return "<Prtg>\n<Error>1</Error>\n<Text>%s</Text>\n</Prtg>\n" % message
