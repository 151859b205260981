"""The RFC library's own failures: what the sensor does when the library
refuses its call description or one of its local operations fails. sapsim
asks the stand-in library for the misbehaviour in its logon reply."""
from fixtures import error_answer, profile, system

TAMARACK = {"PRD.P00": profile(), "Ramgauge.Tamarack": ""}


def picture(operation, key, status, message):
    """The console picture of a fatal RFC error, without ,SYSLOG."""
    return ("RFC error\n"
            "operation/code  : %s\n"
            "key             : %s\n"
            "status          : %s\n"
            "message         : %s\n"
            "internal status : CPIC-CALL: %s\n"
            "\n"
            "* Programm aborted...\n"
            "* Error at EoXput-File...\n" % (operation, key, status, message, status))


FATAL = [
    # (library fault, operation the sensor names, key, library operation, message)
    ("install", "RfcInstallStructure", "RFC_ERROR_MEMORY_INSUFFICIENT", "RfcInstallStructure",
     "no memory for the type description of MEM_ALL"),
    ("create", "ItCreate TF_MEM_ALL", "RFC_ERROR_MEMORY_INSUFFICIENT", "ItCreate",
     "no memory for table TF_MEM_ALL"),
    ("get_line", "ItGetLine TF_MEM_ALL", "RFC_ERROR_MEMORY_INSUFFICIENT", "ItGetLine",
     "line 1 of table TF_MEM_ALL is not paged in"),
    ("delete", "ItDelete TF_MEM_ALL", "RFC_ERROR_PROGRAM", "ItDelete",
     "table TF_MEM_ALL is still in use"),
    ("structure", "RfcInstallStructure", "RFC_ERROR_PROGRAM", "RfcInstallStructure",
     "MEM_ALL IN_PG_SEC: type 8 length 2 offset 0, expected type 8 length 4 offset 8"),
]

REFUSED_CALLS = [
    # (library fault, text of the failed measurement, and through the NetWeaver
    # library, which checks the function description the sensor builds; None
    # where the fault is the classic library's own)
    ("type_handle", "Error 1014: RFC-Failure raised ! - table TF_MEM_ALL: type 101 is not MEM_ALL",
     None),
    ("exporting", "Error 1014: RFC-Failure raised ! - "
                  "exporting LOCAL_REMOTE: type 0 length 5, expected type 0 length 6",
     "Error 1014: RFC-Failure raised ! - LOCAL_REMOTE: type 0 direction 1 length 5/12, "
     "expected type 0 direction 1 length 6/12"),
    ("importing", "Error 1014: RFC-Failure raised ! - "
                  "importing NORMCOLLINT: type 0 length 4, expected type 8 length 4",
     "Error 1014: RFC-Failure raised ! - NORMCOLLINT: type 0 direction 2 length 4/4, "
     "expected type 8 direction 2 length 4/4"),
    ("export_value", "Error 1014: RFC-Failure raised ! - "
                     "GET_MEM_ALL: LOCAL_REMOTE is 'LOCALX', not LOCAL or REMOTE",
     "Error 1014: RFC-Failure raised ! - "
     "GET_MEM_ALL: LOCAL_REMOTE is 'LOCALX', not LOCAL or REMOTE"),
    ("structure", None, "Error 1014: RFC-Failure raised ! - MEM_ALL IN_PG_SEC: type 8 length 2 "
                        "offset 8, expected type 8 length 4 offset 8"),
]

CASES = [
    # The classic library's own operations; on the NetWeaver road the sensor
    # does them itself.
    {"name": "library: %s fails, the fatal picture names %s" % (fault, operation),
     "args": ["PRD"], "files": TAMARACK, "systems": system(library_fault=fault),
     "stdout": picture(operation, key, status, message), "exit": 1, "nw": None}
    for fault, operation, key, status, message in FATAL
] + [
    {"name": "library: a wrong call description (%s) is refused" % fault, "args": ["PRD"],
     "files": {"PRD.P00": profile()}, "systems": system(library_fault=fault),
     "stdout": error_answer(text), "exit": 2,
     "nw": {"stdout": error_answer(nw_text)} if nw_text else None}
    for fault, text, nw_text in REFUSED_CALLS if text
] + [
    # The classic library takes the structure apart from the call (above).
    {"name": "library: a wrong structure description is refused", "args": ["PRD"],
     "files": {"PRD.P00": profile()}, "systems": system(library_fault="structure"),
     "stdout": error_answer(nw_text), "exit": 2, "classic": None}
    for fault, text, nw_text in REFUSED_CALLS if not text
]
