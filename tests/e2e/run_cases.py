#!/usr/bin/env python3
"""End-to-end cases: run the real sensor binary and compare its whole answer.

Each case runs in a fresh temporary directory with the files it names, gives
the program its arguments, and checks the exact stdout bytes and exit code.
Every case that PRTG would read in an XML mode also runs as a JSON twin
("json: ..."): the same arguments and files, with the host file Ramgauge.Json
beside the program (and beside any XML host file of the case). Its answer must
validate against PRTG's Script v2 schema (script_v2_schema.json) and carry the
XML answer's text and state, its channels in PRTG's units, with exit code 0.
The Windows build runs under Wine; its lines end in CRLF, and its working
directory lies on drive C: of the Wine prefix, so that rooted paths such as
"C:\\PRTG_Path.Txt" or "\\Program Files\\..." land inside that prefix.
"""
import argparse
import concurrent.futures
import errno
import importlib
import json
import os
import re
import resource
import shutil
import signal
import socket
import stat
import subprocess
import sys
import tempfile
import threading
import time
from xml.etree import ElementTree

import jsonschema  # Debian's python3-jsonschema

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import fixtures  # noqa: E402

CASE_MODULES = ["cases_startup", "cases_profile", "cases_scan", "cases_tools", "cases_items",
                "cases_library", "cases_probe", "cases_json", "cases_limits"]
SAPSIM = os.path.join(HERE, "..", "..", "sapsim", "sapsim.py")
SCHEMA = os.path.join(HERE, "script_v2_schema.json")
XML_HOST_FILES = ("Ramgauge.Kestrel", "Ramgauge.Pinnace")
FIXED_IDS = {"Physical-Mem Free": 10, "SwapMemory Free": 11, "Pages-In [/Sec]": 12,
             "Pages-Out [/Sec]": 13, "Physical-Mem Free %": 14}
TIME = "{TIME}"
# The Wine loader that runs the Windows build (the build's test settings name
# the one that fits its bitness).
WINE = os.environ.get("WINE", "wine")
# Time bounds count this many times where programs start slowly for a reason
# of the machine's, not the program's: the 32-bit suite under qemu-user.
TIME_FACTOR = float(os.environ.get("RAMGAUGE_TIME_FACTOR", "1"))
# Set where the programs run under qemu-user (the 32-bit suite on a machine
# that starts no 32-bit programs): cases that name a reason under
# "not_emulated" are left out there, and the runner says which and why.
EMULATED = os.environ.get("RAMGAUGE_EMULATED") == "1"


# The stand-in library of each back end, as SAP names its file.
LIBRARIES = {"classic": ("librfc32.so", "librfc32.dll"),
             "nw": ("libsapnwrfc.so", "sapnwrfc.dll")}
STAND_INS = tuple(name for pair in LIBRARIES.values() for name in pair)


class Target:
    def __init__(self, program, wine, library="classic"):
        self.program = os.path.abspath(program)
        self.wine = wine
        self.library = library
        self.bin_dir = os.path.dirname(self.program)
        # Libraries built for the tests alone (tests/libraries), of the
        # program's bitness.
        self.test_libraries = os.path.join(os.path.dirname(self.bin_dir), "tests", "libraries")
        if wine:
            prefix = os.environ.get("WINEPREFIX")
            if not prefix:
                sys.exit("run_cases.py: --wine needs WINEPREFIX")
            self.drive_c = os.path.join(prefix, "drive_c")
            self.work_root = tempfile.mkdtemp(prefix="e2e-", dir=self.drive_c)
        else:
            self.drive_c = None
            self.work_root = tempfile.mkdtemp(prefix="ramgauge-e2e-")
        # The back end is chosen by what lies beside the program: the
        # programs go to a folder of their own with that stand-in alone.
        bin_dir = os.path.join(self.work_root, "bin")
        os.makedirs(bin_dir)
        exe = ".exe" if wine else ""
        names = ["ramgauge" + exe, "ramgauge-profile" + exe, LIBRARIES[library][wine]]
        for name in names:
            shutil.copy(os.path.join(self.bin_dir, name), bin_dir)
        self.program = os.path.join(bin_dir, os.path.basename(self.program))
        self.bin_dir = bin_dir

    def command(self, exe, args):
        if exe and self.wine:
            exe += ".exe"
        path = os.path.join(self.bin_dir, exe) if exe else self.program
        if self.wine:
            return [WINE, path] + list(args)
        return [path] + list(args)

    def json_program(self):
        """The program in a folder of its own with the stand-in library and the
        host file Ramgauge.Json beside it, as a Script v2 sensor keeps it."""
        folder = os.path.join(self.work_root, "json-bin")
        if not os.path.isdir(folder):
            os.makedirs(folder)
            for name in os.listdir(self.bin_dir):
                if name.startswith(STAND_INS):
                    shutil.copy(os.path.join(self.bin_dir, name), folder)
            shutil.copy(self.program, folder)
            write_file(os.path.join(folder, "Ramgauge.Json"), "")
        return os.path.join(folder, os.path.basename(self.program))

    def rooted_path(self, windows_path):
        # "C:\\x\\y" inside the Wine prefix's drive C:.
        assert windows_path[:3].upper() == "C:\\", windows_path
        return os.path.join(self.drive_c, *windows_path[3:].split("\\"))


BANNER = "SAP Ramgauge Vers 4.3 / 29.08.22\n"


def expected_bytes(text, wine, library="classic"):
    if library == "nw":
        # A run through the NetWeaver library says so in its progress lines.
        text = text.replace(BANNER, BANNER[:-1] + " (NetWeaver RFC)\n")
    return text.replace("\n", "\r\n") if wine else text


def for_library(case, library):
    """The case as it runs through one back end: a case may name what
    differs with the NetWeaver library under "nw"; None under "nw" or
    "classic" means it does not apply to that library."""
    if library == "classic":
        return None if "classic" in case and case["classic"] is None else case
    if "nw" not in case:
        return case
    if case["nw"] is None:
        return None
    return dict(case, **case["nw"])


def matches(expected, actual):
    if TIME not in expected:
        return expected == actual
    pattern = "\\d\\d:\\d\\d:\\d\\d".join(re.escape(p) for p in expected.split(TIME))
    return re.fullmatch(pattern, actual, re.S) is not None


def write_file(path, content):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(content.encode("latin-1") if isinstance(content, str) else content)


# The user's own folder of run folders, which stays in the temporary folder.
USER_FOLDER = re.compile(r"ramgauge-(\d+|S-[\d-]+)")


def left_in(tmp, uid=None):
    """What runs left behind in a temporary folder: anything but the user's
    folder of run folders (a real folder of the user's alone: uid, by default
    this process's), and anything in that folder."""
    uid = os.geteuid() if uid is None else uid
    left = []
    for name in os.listdir(tmp):
        path = os.path.join(tmp, name)
        info = os.lstat(path)
        if USER_FOLDER.fullmatch(name) and stat.S_ISDIR(info.st_mode) and \
                info.st_uid == uid and info.st_mode & 0o077 == 0:
            left += [os.path.join(name, n) for n in os.listdir(path)]
        else:
            left.append(name)
    return left


def run_folders_left(target):
    """Run folders anywhere in the Wine prefix's drive C: (none may stay)."""
    return [os.path.join(d, n) for d, dirs, names in os.walk(target.drive_c)
            for n in dirs + names if re.fullmatch(r"ramgauge-\d+-.*", n)]


def sweep_scan(target):
    """One scan that fails at once (a closed port), so that its run sweeps
    the run folders of runs that are gone."""
    work = tempfile.mkdtemp(prefix="sweep-", dir=target.work_root)
    write_file(os.path.join(work, "SWEEP.P00"),
               fixtures.profile(Hostname="127.0.0.1", Gwservice="1"))
    subprocess.run(target.command(None, ["SWEEP"]), cwd=work, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, timeout=120)


def start_sapsim(work, systems):
    """Starts sapsim for one case; returns the process and its port."""
    config = os.path.join(work, "sapsim.ini")
    write_file(config, systems)
    proc = subprocess.Popen([sys.executable, SAPSIM, config, "--lifetime", "120",
                             "--log", os.path.join(work, "sapsim.log")],
                            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    port = proc.stdout.readline().decode().strip()
    if not port.isdigit():
        proc.kill()
        raise RuntimeError("sapsim did not start")
    return proc, port


def silent_listener():
    """A loopback port where a connection is never answered, as a powered-off
    host: a listener whose queue is full and never accepted, so that the
    system drops every further handshake. Returns its sockets and port."""
    server = socket.socket()
    server.bind(("127.0.0.1", 0))
    server.listen(0)
    port = server.getsockname()[1]
    sockets = [server]
    for _ in range(3):
        filler = socket.socket()
        filler.setblocking(False)
        try:
            filler.connect(("127.0.0.1", port))
        except BlockingIOError:
            pass
        sockets.append(filler)
    time.sleep(0.1)
    return sockets, port


# A file that lies there but that even root may not read.
ROOT_UNREADABLE = "/proc/sys/vm/drop_caches"


def make_unreadable(path):
    """A file that is present but cannot be opened for reading: mode 0, or,
    for root, whom modes do not stop, a link to a write-only kernel file."""
    if os.geteuid() == 0:
        os.symlink(ROOT_UNREADABLE, path)
    else:
        write_file(path, "")
        os.chmod(path, 0)


def answers_in_xml(case):
    """Whether stdout must be one XML document: the sensor in an XML mode,
    without progress lines."""
    if case.get("exe") or "stdout" not in case:
        return False
    if case.get("args", [""])[:1] in (["--version"], ["--help"], ["-h"], ["/?"]):
        return False
    if any(m in " ".join(case.get("args", [])) for m in "#@$%"):
        return False
    files = list(case.get("files", {})) + list(case.get("rooted", {}))
    return not any(f.endswith(("Ramgauge.Tamarack", "Ramgauge.Bramble")) for f in files) \
        and not answers_in_json(case)


def answers_in_json(case):
    """Whether the case selects the JSON mode itself."""
    files = (list(case.get("files", {})) + list(case.get("rooted", {})) +
             list(case.get("program_files", {})))
    return "stdout" in case and any(f.endswith("Ramgauge.Json") for f in files)


def xml_problems(stdout):
    """PRTG's view: one well-formed document of pure ASCII."""
    try:
        stdout.encode("ascii")
    except UnicodeEncodeError:
        return ["the answer is not pure ASCII: %r" % stdout]
    try:
        root = ElementTree.fromstring(stdout)
    except ElementTree.ParseError as error:
        return ["the answer is not well-formed XML (%s): %r" % (error, stdout)]
    return [] if root.tag == "Prtg" else ["the root element is %s" % root.tag]


def json_twin(case):
    """The JSON twin of a case that answers in an XML mode."""
    twin = dict(case, name="json: " + case["name"], json_of=case["stdout"], exit=0,
                json_beside_program=True)
    del twin["stdout"]
    for key in ("files", "rooted"):
        sep = "/" if key == "files" else "\\"
        placed = dict(case.get(key, {}))
        for name in list(placed):
            if name.endswith(XML_HOST_FILES):
                placed[name.rsplit(sep, 1)[0] + sep + "Ramgauge.Json" if sep in name
                       else "Ramgauge.Json"] = ""
        if placed:
            twin[key] = placed
    if "program_files" in case:
        twin["program_files"] = dict(case["program_files"], **{"Ramgauge.Json": ""})
    return twin


def json_problems(stdout, xml_expected, validator):
    """The JSON answer against the schema and against the XML answer of the
    same case: the same text and state, the same channels in PRTG's units."""
    try:
        stdout.encode("ascii")
    except UnicodeEncodeError:
        return ["the answer is not pure ASCII: %r" % stdout]
    try:
        answer = json.loads(stdout)
    except ValueError as error:
        return ["the answer is not JSON (%s): %r" % (error, stdout)]
    problems = ["schema: %s at %s" % (e.message, list(e.absolute_path))
                for e in validator.iter_errors(answer)]
    if problems or xml_expected is None:
        return problems
    root = ElementTree.fromstring(xml_expected)
    text = root.findtext("Text") or ""
    results = [(r.findtext("Channel") or "", r.findtext("Value") or "",
                r.findtext("CustomUnit") or r.findtext("Unit") or "")
               for r in root.findall("Result")]
    counts = re.search(r"Processed=(\d+), Failed=(\d+)", text)
    if root.findtext("Error") == "1":
        status = "error"
    elif text.startswith("(***) ") and counts:
        processed, failed = int(counts.group(1)), int(counts.group(2))
        status = "ok" if failed == 0 else "warning" if processed else "error"
    else:
        status = "ok"
    if len(results) > 50:
        text += "(%d more channels left out: at most 50) " % (len(results) - 50)
    if answer["status"] != status:
        problems.append("status %r, expected %r" % (answer["status"], status))
    if answer.get("message") != text[:2000]:
        problems.append("message %r, expected %r" % (answer.get("message"), text[:2000]))
    channels = list(answer.get("channels", []))
    ids = [c["id"] for c in channels]
    if len(set(ids)) != len(ids):
        problems.append("channel ids repeat: %r" % ids)
    # Channels of an error answer are those an item run measured before it.
    item = text.startswith("(***) ") or status == "error"
    for name, value, unit in results[:50]:
        found = next((c for c in channels if c["name"] == name), None)
        if found:
            channels.remove(found)
            if not item and found["id"] != FIXED_IDS.get(name):
                problems.append("channel %s has the id %s" % (name, found["id"]))
        if unit == "MByte":
            # Kilobytes as bytes; the XML cuts three decimal digits of them.
            if found is None and value != "0":
                problems.append("channel %s missing" % name)
            elif found and (found["kind"] != "size_bytes_memory"
                            or str(found["value"] // 1024 // 1000) != value):
                problems.append("channel %s is %r, XML %s MByte" % (name, found, value))
        elif unit in ("PerCent", "Percent"):
            if found and found["kind"] != "percent":
                problems.append("channel %s is %r" % (name, found))
        elif int(value) >= 0 and (found is None or found["value"] != int(value)
                                  or found.get("display_unit") != "pages/s"):
            problems.append("channel %s is %r, XML %s" % (name, found, value))
        elif int(value) < 0 and found:
            problems.append("channel %s reports a negative figure: %r" % (name, found))
    # Free swap may stand where the XML leaves it out (it does so by free memory).
    problems.extend("channel %r is not in the XML answer" % c for c in channels
                    if c["kind"] != "percent")
    return problems


def fill(content, values):
    if isinstance(content, str):
        for key, value in values.items():
            content = content.replace("{%s}" % key, value)
    return content


def run_case(target, case, context):
    work = tempfile.mkdtemp(prefix="case-", dir=target.work_root)
    created = []
    sapsim = None
    try:
        values = {}
        if "systems" in case:
            sapsim, values["port"] = start_sapsim(work, case["systems"])
        values["closed_port"] = str(context["closed_port"])
        values["silent_port"] = str(context["silent_port"])
        values["work"] = work
        for name, content in case.get("files", {}).items():
            write_file(os.path.join(work, *name.split("/")), fill(content, values))
        for name in case.get("dirs", []):
            os.makedirs(os.path.join(work, *name.split("/")))
        # What another local user plants: links (to paths in the case's
        # folder) and FIFOs.
        for name, points_to in case.get("links", {}).items():
            os.symlink(os.path.join(work, *points_to.split("/")),
                       os.path.join(work, *name.split("/")))
        for name in case.get("fifos", []):
            os.mkfifo(os.path.join(work, *name.split("/")))
        # What a case places was written long ago: a sensor never takes it
        # for a file that another sensor is writing right now.
        for root, _, names in os.walk(work):
            for name in names:
                if name not in ("sapsim.ini", "sapsim.log") + tuple(case.get("fresh", ())):
                    os.utime(os.path.join(root, name), (time.time() - 3600,) * 2)
        for name in case.get("unreadable", []):
            make_unreadable(os.path.join(work, *name.split("/")))
        # Natively the temporary folder is the case's own, so that what a run
        # leaves there is seen. Wine keeps its own (checked after all cases)
        # and needs TMPDIR as it is for its server.
        tmp = os.path.join(work, "tmp")
        os.makedirs(tmp)
        env = dict(os.environ) if target.wine else dict(os.environ, TMPDIR=tmp)
        if case.get("no_temporary_folder"):
            env["TMPDIR"] = os.path.join(work, "no-such-folder")
        for name, content in case.get("rooted", {}).items():
            path = target.rooted_path(name)
            created.append(path)
            write_file(path, fill(content, values))
        command = target.command(case.get("exe"), [fill(a, values) for a in case.get("args", [])])
        # The program the case starts (the sensor, or the tool "exe" names).
        started = target.command(case.get("exe"), [])[-1]
        if case.get("json_beside_program"):
            command[-1 - len(case.get("args", []))] = target.json_program()
        if "program_files" in case:
            # The program in a folder of its own, with these files beside it.
            folder = os.path.join(work, "program")
            os.makedirs(folder)
            for name in os.listdir(target.bin_dir):
                if name.startswith(STAND_INS) and not case.get("program_alone"):
                    shutil.copy(os.path.join(target.bin_dir, name), folder)
            shutil.copy(started, folder)
            for name, content in case["program_files"].items():
                write_file(os.path.join(folder, name), fill(content, values))
            command[-1 - len(case.get("args", []))] = os.path.join(
                folder, os.path.basename(started))
        for place in case.get("library_in", ()):
            # The back end's stand-in in the working folder ("work") or in a
            # folder named on the search path ("path"), not beside the program.
            folder = work if place == "work" else os.path.join(work, "on-path")
            os.makedirs(folder, exist_ok=True)
            shutil.copy(os.path.join(target.bin_dir, LIBRARIES[target.library][target.wine]),
                        folder)
            if place == "path" and target.wine:
                env["WINEPATH"] = "C:\\" + os.path.relpath(folder, target.drive_c).replace(
                    "/", "\\")
            elif place == "path":
                env["PATH"] = folder + os.pathsep + env.get("PATH", "")
        if case.get("isolated"):
            # The program alone, without the RFC library beside it, or with
            # a library built for the tests in its place.
            alone = os.path.join(work, os.path.basename(started))
            shutil.copy(started, alone)
            if case.get("library_built"):
                shutil.copy(os.path.join(target.test_libraries, case["library_built"] +
                                         (".dll" if target.wine else ".so")),
                            os.path.join(work, LIBRARIES[target.library][target.wine]))
            command[-1 - len(case.get("args", []))] = alone
        stdin = case.get("stdin")
        preexec = None
        if "file_size_limit" in case:
            def preexec(limit=case["file_size_limit"]):
                # Writes beyond the limit then fail with EFBIG instead of a signal.
                signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
                resource.setrlimit(resource.RLIMIT_FSIZE, (limit, limit))
        for attempt in range(3):
            started = time.monotonic()
            try:
                proc = subprocess.run(command, cwd=work, preexec_fn=preexec, env=env,
                                      input=stdin.encode() if stdin is not None else None,
                                      stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                      timeout=case.get("timeout", 60))
                break
            except OSError as error:
                # A program just copied can still be open for writing in a
                # child that another case's thread forked meanwhile.
                if error.errno != errno.ETXTBSY or attempt == 2:
                    raise
                time.sleep(0.1)
        elapsed = time.monotonic() - started
        actual = proc.stdout.decode("latin-1")
        problems = []
        if "max_seconds" in case and elapsed > case["max_seconds"] * TIME_FACTOR:
            problems.append("took %.1f s, at most %s expected" % (
                elapsed, case["max_seconds"] * TIME_FACTOR))
        if left_in(tmp):
            problems.append("left in the temporary folder: %r" % left_in(tmp))
        if answers_in_xml(case):
            problems.extend(xml_problems(actual))
        if answers_in_json(case):
            problems.extend(json_problems(actual, None, context["validator"]))
        if "json_of" in case:
            problems.extend(json_problems(actual, fill(case["json_of"], values),
                                          context["validator"]))
        if "stdout" in case:
            want = expected_bytes(fill(case["stdout"], values), target.wine, target.library)
            if not matches(want, actual):
                problems.append("stdout differs\n--- expected\n%r\n--- actual\n%r" % (want, actual))
        if "stderr" in case:
            want = expected_bytes(fill(case["stderr"], values), target.wine, target.library)
            errors = proc.stderr.decode("latin-1")
            if errors != want:
                problems.append("stderr differs\n--- expected\n%r\n--- actual\n%r" % (want, errors))
        if proc.returncode != case.get("exit", 0):
            problems.append("exit code %d, expected %d" % (proc.returncode, case.get("exit", 0)))
        for name, want in case.get("after", {}).items():
            path = os.path.join(work, *name.split("/"))
            if want is None and os.path.exists(path):
                problems.append("%s should be gone" % name)
            elif want is not None:
                if not os.path.exists(path):
                    problems.append("%s is missing" % name)
                else:
                    with open(path, "rb") as f:
                        got = f.read()
                    want_bytes = want.encode("latin-1") if isinstance(want, str) else want
                    if callable(want):
                        if not want(got):
                            problems.append("%s has unexpected content %r" % (name, got))
                    elif got != want_bytes:
                        problems.append("%s is %r, expected %r" % (name, got, want_bytes))
        check = case.get("check")
        if check:
            problems.extend(check(work, actual))
        return problems
    finally:
        if sapsim:
            sapsim.kill()
            sapsim.wait()
        for path in created:
            if os.path.exists(path):
                os.remove(path)
        shutil.rmtree(work, ignore_errors=True)


def shown_options(options):
    """The options as the item run's Executing line shows them."""
    options = options.replace(":", " ")
    cut = options.find(" @")
    return options if cut < 0 else options[:cut]


def sequential_twin(case):
    """An item-mode case again with ,PARALLEL=1: by default an item run scans
    its systems in parallel, and one after the other it must answer the
    same. None for cases that are not item runs, that choose their own
    ,PARALLEL= or are about the parallel run, or whose answer depends on
    timing (,TIMEOUT=)."""
    args = case.get("args", [])
    words = " ".join(args[1:])
    item_run = "ITEM=" in words.upper() or (args[:1] and args[0].upper() == "GLOBAL")
    if (case.get("exe") or not item_run or case.get("parallel") or "PARALLEL=" in words.upper() or
            "TIMEOUT=" in words.upper() or len(words) + 12 > 127):
        return None
    if len(args) <= 2:
        twin_args = list(args) + [",PARALLEL=1"]
    else:
        twin_args = args[:2] + [args[2] + ",PARALLEL=1"]
    twin = dict(case, name=case["name"] + " [one after the other]", args=twin_args)
    if "stdout" in case:
        before, after = " ".join(args[1:]), " ".join(twin_args[1:])
        twin["stdout"] = case["stdout"].replace(
            "* {TIME} %s State=Executing" % shown_options(before),
            "* {TIME} %s State=Executing" % shown_options(after))
    return twin


def load_cases(modules, library="classic"):
    """The cases of the tables as they run through one back end, each with
    its twins."""
    cases = []
    for name in modules:
        module = importlib.import_module(name)
        for case in module.CASES:
            case = for_library(case, library)
            if case is None:
                continue
            cases.append(case)
            # JSON item runs hold their channels for one object and scan one
            # system after the other: cases of the parallel run have no twin.
            if answers_in_xml(case) and not case.get("isolated") and not case.get("parallel"):
                cases.append(json_twin(case))
            twin = sequential_twin(case)
            if twin:
                cases.append(twin)
    return cases


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--program", required=True, help="the ramgauge binary")
    parser.add_argument("--wine", action="store_true", help="run the program under Wine")
    parser.add_argument("--library", choices=sorted(LIBRARIES), default="classic",
                        help="the back end: which stand-in library lies beside the program")
    parser.add_argument("--jobs", type=int, default=4)
    parser.add_argument("-k", dest="only", help="run only cases whose name contains this")
    parser.add_argument("--module", action="append",
                        help="run only the cases of this table (cases_scan, ...); repeatable")
    opts = parser.parse_args()

    target = Target(opts.program, opts.wine, opts.library)
    # A loopback port with nothing listening, for "partner not reached".
    probe = socket.socket()
    probe.bind(("127.0.0.1", 0))
    with open(SCHEMA) as f:
        validator = jsonschema.Draft7Validator(json.load(f))
    context = {"wine": opts.wine, "target": target, "closed_port": probe.getsockname()[1],
               "validator": validator}
    probe.close()
    silent, context["silent_port"] = silent_listener()
    cases = load_cases(CASE_MODULES, opts.library)
    names = [c["name"] for c in cases]
    if opts.module:
        unknown = set(opts.module) - set(CASE_MODULES)
        if unknown:
            sys.exit("unknown case tables: %s" % ", ".join(sorted(unknown)))
        cases = load_cases(opts.module, opts.library)
    duplicates = {n for n in names if names.count(n) > 1}
    if duplicates:
        sys.exit("duplicate case names: %s" % ", ".join(sorted(duplicates)))
    if opts.only:
        cases = [c for c in cases if opts.only in c["name"]]

    runnable, skipped = [], 0
    for case in cases:
        windows_only = case.get("windows_only") or bool(case.get("rooted"))
        if (windows_only and not opts.wine) or (case.get("native_only") and opts.wine):
            skipped += 1
        elif EMULATED and case.get("not_emulated"):
            print("skip %s (under emulation: %s)" % (case["name"], case["not_emulated"]))
            skipped += 1
        else:
            runnable.append(case)
    # Cases that place files on drive C: share it, so they run one at a time.
    shared = [c for c in runnable if c.get("rooted") or c.get("serial")]
    parallel = [c for c in runnable if c not in shared]

    target.json_program()
    failed = 0
    lock = threading.Lock()

    def one(case):
        nonlocal failed
        for attempt in range(3):
            try:
                problems = run_case(target, case, context)
            except Exception as error:  # a harness fault is a failure of that case
                problems = ["%s: %s" % (type(error).__name__, error)]
            # Wine's server gives a process whose threads have all ended a
            # second or less to be gone, then sends SIGKILL: on a busy machine
            # a run that ends with a thread still blocked (the deadline
            # cases) then exits by that signal after its answer. Nothing in
            # these tests sends the program SIGKILL, so such a run is run
            # again; any other failure counts at once.
            if not (opts.wine and any(p.startswith("exit code -9,") for p in problems)):
                break
            with lock:
                print("again %s (Wine killed the process as it ended)" % case["name"], flush=True)
        with lock:
            if problems:
                failed += 1
                print("FAIL %s\n  %s" % (case["name"], "\n  ".join(problems)), flush=True)
            else:
                print("ok   %s" % case["name"], flush=True)

    with concurrent.futures.ThreadPoolExecutor(max_workers=opts.jobs) as pool:
        list(pool.map(one, parallel))
    for case in shared:
        one(case)
    if opts.wine:
        # No run may leave its folder (or anything of its own) behind.
        left = run_folders_left(target)
        if left and EMULATED:
            # Under qemu-user a run killed at its deadline may outlast the
            # brief removal it is given; then the next run's sweep must
            # take the folder.
            sweep_scan(target)
            print("note: under emulation %d run folder(s) outlasted their run: %r; the next run"
                  " swept %s" % (len(left), left,
                                 "them" if not run_folders_left(target) else "not all"))
            left = run_folders_left(target)
        if left:
            failed += 1
            print("FAIL run folders left behind: %r" % left)
    shutil.rmtree(target.work_root, ignore_errors=True)
    passed = len(runnable) - failed
    print("%d passed, %d failed, %d skipped" % (passed, failed, skipped))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
