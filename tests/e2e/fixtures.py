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
    ("Gwhost.....:", "127.0.0.1"),
    ("Gwservice..:", "{port}"),      # the port sapsim reports
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


def system(name="PRD", host="sapprd", sysnr="00", **settings):
    """One sapsim system; by default it answers with the figures
    16777216 / 2097152 / 4194304 / 2097152 / 12 / 0 and accepts MONITOR."""
    values = {"clients": "100", "users": "MONITOR:secret1", "phys_mem": "16777216",
              "free_mem": "2097152", "swap_size": "4194304", "swap_free": "2097152",
              "in_pg_sec": "12", "out_pg_sec": "0"}
    values.update({k: str(v) for k, v in settings.items()})
    lines = ["[%s]" % name, "host = " + host, "sysnr = " + sysnr]
    lines += ["%s = %s" % kv for kv in values.items()]
    return "\n".join(lines) + "\n"


def xml_channel(name, value, unit=""):
    text = "\n<Result><Channel>%s</Channel>" % name
    if unit:
        text += "\n<Unit>Custom</Unit>\n<CustomUnit>%s</CustomUnit>" % unit
    return text + "\n<Value>%s</Value></Result>\n" % value


def xml_answer(status, free, percent, page_in, page_out):
    """The full XML answer; percent None leaves out the swap channel."""
    channels = xml_channel("Physical-Mem Free", free, "MByte")
    if percent is not None:
        channels += xml_channel("SwapMemory Free", percent, "PerCent")
    channels += xml_channel("Pages-In [/Sec]", page_in) + xml_channel("Pages-Out [/Sec]", page_out)
    return "\n<Prtg>\n\n<Text>%s</Text>\n%s\n</Prtg>\n" % (status, channels)
