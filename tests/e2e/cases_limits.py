"""The limits file Ramgauge.Limits: PRTG's limit elements on the channels it
names, the free physical memory in per cent after the four channels, and in
the JSON mode the answer's state judged from the limits. (Every other table
runs without the file: their answers are those of a sensor without it.)

PRTG's element names and order are those of its manual, "Custom Sensors",
section "Advanced Script, HTTP Data, and REST Custom Sensors: Elements"
(paessler.com/manuals/prtg/custom_sensors): Channel, Value, Unit,
CustomUnit, ..., LimitMaxError, LimitMaxWarning, LimitMinWarning,
LimitMinError, LimitErrorMsg, LimitWarningMsg, LimitMode. The answer keeps
its own order of the first four, as every earlier answer did; the limits
follow in the manual's order."""
import os

from cases_json import answer, item_id, memory, pages, percent
from fixtures import error_answer, profile, system, xml_channel

LIMITS = ("; limits for the tests\r\n"
          "[Physical-Mem Free %]\r\n"
          "LowerWarning = 10\r\n"
          "LowerError   = 5\r\n"
          "WarningMessage = Little free memory\r\n"
          "ErrorMessage = Hardly any free memory\r\n"
          "\r\n"
          "[SwapMemory Free]\r\n"
          "LowerWarning = 20\r\n")
PERCENT_LIMITS = ("\n<LimitMinWarning>10</LimitMinWarning>\n<LimitMinError>5</LimitMinError>"
                  "\n<LimitErrorMsg>Hardly any free memory</LimitErrorMsg>"
                  "\n<LimitWarningMsg>Little free memory</LimitWarningMsg>\n<LimitMode>1</LimitMode>")
SWAP_LIMITS = "\n<LimitMinWarning>20</LimitMinWarning>\n<LimitMode>1</LimitMode>"
STATUS = "(PRD) Memory=16.777 MB, Free=2.097 MB, Swap=4.194 MB, Free=50%, PageIn=12, PageOut=0 "


def limited(name, value, unit, limits):
    """An XML result with limit elements after its value; unit "Percent" is
    PRTG's own percent unit."""
    if unit == "Percent":
        text = "\n<Result><Channel>%s</Channel>\n<Unit>Percent</Unit>" % name
        text += "\n<Value>%s</Value>%s</Result>\n" % (value, limits)
        return text
    return xml_channel(name, value, unit).replace("</Value></Result>",
                                                  "</Value>%s</Result>" % limits)


def full_answer(status, free, swap, percent_value):
    """swap or percent_value None: that channel left out."""
    channels = xml_channel("Physical-Mem Free", free, "MByte")
    if swap is not None:
        channels += limited("SwapMemory Free", swap, "PerCent", SWAP_LIMITS)
    channels += xml_channel("Pages-In [/Sec]", "12") + xml_channel("Pages-Out [/Sec]", "0")
    if percent_value is not None:
        channels += limited("Physical-Mem Free %", percent_value, "Percent", PERCENT_LIMITS)
    return "\n<Prtg>\n\n<Text>%s</Text>\n%s\n</Prtg>\n" % (status, channels)


PRD = {"PRD.P00": profile()}
WITH_LIMITS = dict(PRD, **{"Ramgauge.Limits": LIMITS})
PROFILES = {
    "PRD.P00": profile(),
    "QAS.P00": profile(Destination="QAS", Hostname="sapqas", Sysnr="01"),
}
# 12.5 % and 6.25 % free.
SYSTEMS = system("PRD") + system("QAS", host="sapqas", sysnr="01", phys_mem=8388608,
                                 free_mem=524288)


def case(name, stdout, files=WITH_LIMITS, args=("PRD",), **rest):
    rest.setdefault("systems", system())
    return dict(name="limits: " + name, args=list(args), files=files, stdout=stdout,
                exit=rest.pop("exit", 0), **rest)


def item_files(limits, *extra):
    files = dict(PROFILES, **{"Quadrant.Prf": "# Gsng: xxxxxxxxxxxxPRD.P00#QAS.P00#\r\n",
                              "Ramgauge.Limits": limits})
    for more in extra:
        files.update(more)
    return files


def json_status(free_kb, free_text, percent_text):
    return ("(PRD) Memory=16.777 MB, Free=%s MB, Swap=4.194 MB, Free=50%%, PageIn=12, "
            "PageOut=0 " % free_text, [memory(10, "Physical-Mem Free", free_kb),
                                       percent(11, "SwapMemory Free", "50.00"),
                                       pages(12, "Pages-In [/Sec]", 12),
                                       pages(13, "Pages-Out [/Sec]", 0),
                                       percent(14, "Physical-Mem Free %", percent_text)])


# The limits the release archives carry.
with open(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "docs",
                       "Ramgauge.Limits"), "rb") as shipped_file:
    SHIPPED = shipped_file.read().decode("latin-1")
SHIPPED_ANSWER = (
    "\n<Prtg>\n\n<Text>%s</Text>\n" % STATUS +
    xml_channel("Physical-Mem Free", "2097", "MByte") +
    limited("SwapMemory Free", "50", "PerCent",
            "\n<LimitMinWarning>50</LimitMinWarning>\n<LimitMinError>10</LimitMinError>"
            "\n<LimitErrorMsg>Less than 10 % of the swap space is free (SAP: ST06)</LimitErrorMsg>"
            "\n<LimitWarningMsg>Less than half of the swap space is free (SAP: ST06)"
            "</LimitWarningMsg>\n<LimitMode>1</LimitMode>") +
    xml_channel("Pages-In [/Sec]", "12") + xml_channel("Pages-Out [/Sec]", "0") +
    limited("Physical-Mem Free %", "12", "Percent",
            "\n<LimitMinWarning>10</LimitMinWarning>\n<LimitMinError>5</LimitMinError>"
            "\n<LimitErrorMsg>Less than 5 % of the physical memory is free (SAP: ST06)"
            "</LimitErrorMsg>\n<LimitWarningMsg>Less than 10 % of the physical memory is free "
            "(SAP: ST06)</LimitWarningMsg>\n<LimitMode>1</LimitMode>") +
    "\n</Prtg>\n")

JSON = {"Ramgauge.Json": ""}
GLOBAL_FILE = ('# GSNG: MEMORY      PRD.P00#QAS.P00#\r\n'
               '# GSNX: MEMORY      x,Sensor="SAP Ramgauge",Item=Physical-Mem:Free:%\r\n')
WARNING_STATUS, WARNING_CHANNELS = json_status(1500000, "1.500", "8.94")
ERROR_STATUS, ERROR_CHANNELS = json_status(500000, "500", "2.98")
OK_STATUS, OK_CHANNELS = json_status(2097152, "2.097", "12.50")

CASES = [
    # The worked example's figures: 2 GB free of 16 GB is 12 %.
    case("the worked example with limit elements and the percentage",
         full_answer(STATUS, "2097", "50", "12")),
    case("the shipped limits beside the program", SHIPPED_ANSWER, files=PRD,
         program_files={"Ramgauge.Limits": SHIPPED}),
    # The text modes get the percentage, as the fifth channel, without limits.
    case("Tamarack: the percentage without limits",
         "\n# " + STATUS +
         "\n\nMessage.Physical_Mem_Free: Physical-Mem Free (MByte)\nStatistic.Physical_Mem_Free: 2097"
         "\n\nMessage.SwapMemory_Free: SwapMemory Free (%)\nStatistic.SwapMemory_Free: 50"
         "\n\nMessage.Pages_In___Sec_: Pages-In [/Sec] (#)\nStatistic.Pages_In___Sec_: 12"
         "\n\nMessage.Pages_Out___Sec_: Pages-Out [/Sec] (#)\nStatistic.Pages_Out___Sec_: 0"
         "\n\nMessage.Physical_Mem_Free_%: Physical-Mem Free % (%)"
         "\nStatistic.Physical_Mem_Free_%: 12\n",
         files=dict(WITH_LIMITS, **{"Ramgauge.Tamarack": ""})),
    case("Bramble: CH=5 chooses the percentage", "12\n", args=("PRD", "CH=5"),
         files=dict(WITH_LIMITS, **{"Ramgauge.Bramble": ""})),
    case("the limits file beside the program counts where the profile's folder has none",
         full_answer(STATUS, "2097", "50", "12"), files=PRD,
         program_files={"Ramgauge.Limits": LIMITS}),
    # No physical memory figure: no percentage, never a division by 0.
    case("SAP reports physical memory 0: no percentage channel",
         full_answer(STATUS.replace("16.777", "0"), "2097", "50", None),
         systems=system(phys_mem=0)),
    case("SAP reports free memory -1: no percentage channel",
         full_answer(STATUS.replace("Free=2.097", "Free=0"), "0", None, None),
         systems=system(free_mem=-1)),
    case("a line the sensor cannot read is a numbered error naming the file and line",
         error_answer('Error 1031: Line 3 of Ramgauge.Limits cannot be read: unknown key '
                      '"LowWarning" (UpperError, UpperWarning, LowerWarning, LowerError, '
                      'ErrorMessage, WarningMessage) !'),
         files=dict(PRD, **{"Ramgauge.Limits": "; x\r\n[SwapMemory Free]\r\nLowWarning=5\r\n"}),
         exit=2),
    case("a number that is no whole number",
         error_answer("Error 1031: Line 2 of Ramgauge.Limits cannot be read: LowerError must be "
                      'a whole number, not "5 %" !'),
         files=dict(PRD, **{"Ramgauge.Limits": "[Physical-Mem Free %]\nLowerError = 5 %\n"}),
         exit=2),
    # Item mode: the item's section for every system, a system's own
    # section (its label) before it. Its twins: one after the other, JSON.
    case("item mode: the item's limits, and a system's own",
         "\n<Prtg>\n\n" +
         limited("PRD.P00", "12", "Percent", PERCENT_LIMITS) +
         limited("QAS.P00", "6", "Percent",
                 "\n<LimitMinError>5</LimitMinError>\n<LimitMode>1</LimitMode>") +
         "\n<Text>(***) Physical-Mem Free Percent: NoSystems=2, Processed=2, Failed=0 </Text>"
         "\n\n</Prtg>\n\n",
         files=item_files(LIMITS + "[QAS.P00]\r\nLowerError=5\r\n"),
         args=("PROD", "ITEM=Physical-Mem:Free:Percent"), systems=SYSTEMS),
    case("item mode: without the limits file there is no percentage item",
         "\n<Prtg>\n\n\n<Text>(***) Physical-Mem Free Percent: NoSystems=2, Processed=2, "
         "Failed=0 </Text>\n\n</Prtg>\n\n",
         files=dict(PROFILES, **{"Quadrant.Prf": "# Gsng: xxxxxxxxxxxxPRD.P00#QAS.P00#\r\n"}),
         args=("PROD", "ITEM=Physical-Mem:Free:Percent"), systems=SYSTEMS),

    # JSON: Script v2 answers carry no limits; the sensor judges.
    case("json: within the limits the answer is ok",
         answer("ok", OK_STATUS, *OK_CHANNELS), files=dict(WITH_LIMITS, **JSON)),
    case("json: a warning limit broken",
         answer("warning", "Physical-Mem Free %: 8 % is below the warning limit of 10 % "
                "(Little free memory) - " + WARNING_STATUS, *WARNING_CHANNELS),
         files=dict(WITH_LIMITS, **JSON), systems=system(free_mem=1500000)),
    case("json: an error limit broken",
         answer("error", "Physical-Mem Free %: 2 % is below the error limit of 5 % "
                "(Hardly any free memory) - " + ERROR_STATUS, *ERROR_CHANNELS),
         files=dict(WITH_LIMITS, **JSON), systems=system(free_mem=500000)),
    # A global sensor's line may name the item with "%".
    case("json: item mode, a broken limit makes the state warning",
         answer("warning", "QAS.P00: 6 % is below the warning limit of 10 % (Little free "
                "memory) - (***) Physical-Mem Free %: NoSystems=2, Processed=2, Failed=0 ",
                percent(item_id("PRD.P00"), "PRD.P00", "12.50"),
                percent(item_id("QAS.P00"), "QAS.P00", "6.25")) + "\n",
         files=item_files(LIMITS, JSON, {"SAP Quadrant.Gbl": GLOBAL_FILE}),
         args=("GLOBAL", "memory"), systems=SYSTEMS),
]
