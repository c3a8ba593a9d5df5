"""The Event Log on Wine: the message table in the built executable formats every
message with its inserts, /install and /uninstall add and remove the event source's
registration, and a real /debug reports the events the Linux build reports on the
same machine (read from Wine's eventlog debug channel, where Wine's ReportEventW
writes each insert)."""

import os
import re
import shutil
import subprocess

from winetier import APP_EXE, TOOLS_DIR, case

HERE = os.path.dirname(os.path.abspath(__file__))
MESSAGES = os.path.join(HERE, "..", "..", "src", "main", "messages.mc")
DEMO = os.path.join(HERE, "..", "..", "examples", "demo-machine")
SOURCE_KEY = r"SYSTEM\CurrentControlSet\Services\EventLog\Application\ZeRegionSvc"
SEVERITY_BITS = {"Informational": 1, "Warning": 2, "Error": 3}
TYPE_NAMES = {1: "Error", 2: "Warning", 4: "Information", 0: "Success"}


def message_table():
    """{full message ID: text} of messages.mc, each text as FormatMessageW gives it
    with the inserts "<n>"."""
    table = {}
    with open(MESSAGES, encoding="utf-8") as file:
        blocks = re.findall(r"MessageId=(\d+)\s+Severity=(\w+)\s+SymbolicName=\w+\s+"
                            r"Language=English\n(.*?)\n\.\n", file.read(), re.S)
    for number, severity, text in blocks:
        full = (SEVERITY_BITS[severity] << 30) | int(number)
        table[full] = re.sub(r"%(\d)", r"<\1>", text).replace("\n", "\r\n") + "\r\n"
    return table


@case("eventlog: the executable's message table formats every event with its inserts")
def message_table_formats(m):
    table = message_table()
    m.require(len(table) == 10, f"messages.mc holds {len(table)} messages")
    m.install()
    m.write_file(TOOLS_DIR + "\\msgformat.exe", m.tier.windows_file("msgformat.exe"))
    run = m.wine([TOOLS_DIR + "\\msgformat.exe", APP_EXE] + [str(i) for i in table])
    m.expect_eq(run.code, 0, "exit code of msgformat")
    shown = {}
    for line in run.stdout.decode("utf-8").splitlines():
        number, _, text = line.partition("|")
        shown[int(number)] = text.replace("\\r", "\r").replace("\\n", "\n")
    m.expect_eq(shown, table, "the messages FormatMessageW gives")


def _utf16z(text):
    return (text + "\0").encode("utf-16-le")


@case("eventlog: /install registers the event source with the executable, /uninstall "
      "removes it")
def install_registers_source(m):
    m.install()
    m.expect_eq(m.run("/install").code, 0, "exit code of /install")
    m.expect_eq(m.reg_value(SOURCE_KEY, "EventMessageFile"), (2, _utf16z(APP_EXE)),
                "EventMessageFile")
    m.expect_eq(m.reg_value(SOURCE_KEY, "TypesSupported"), (4, bytes([7, 0, 0, 0])),
                "TypesSupported")
    m.expect_eq(m.run("/uninstall").code, 0, "exit code of /uninstall")
    m.expect_eq(m.regdump(SOURCE_KEY), None, "the source's key after /uninstall")


_WINE_STRING_ESCAPES = {"n": "\n", "r": "\r", "t": "\t", '"': '"', "\\": "\\"}


def _wine_string(body):
    """A string as Wine's debugstr_w shows it: C escapes, \\xxxx for other characters."""
    out, i = [], 0
    while i < len(body):
        if body[i] == "\\" and i + 1 < len(body):
            if body[i + 1] in _WINE_STRING_ESCAPES:
                out.append(_WINE_STRING_ESCAPES[body[i + 1]])
                i += 2
            else:
                out.append(chr(int(body[i + 1:i + 5], 16)))
                i += 5
            continue
        out.append(body[i])
        i += 1
    return "".join(out)


def wine_events(stderr):
    """[(type name, shown ID, [inserts])] from Wine's advapi and eventlog channels."""
    events = []
    for line in stderr.decode("utf-8", "replace").splitlines():
        head = re.search(r":fixme:advapi:ReportEventW \(\w+,0x(\w+),0x\w+,0x(\w+),", line)
        if head:
            events.append((TYPE_NAMES.get(int(head.group(1), 16)), int(head.group(2), 16) & 0xFFFF,
                           []))
            continue
        insert = re.search(r":(?:trace|warn|err):eventlog:ReportEventW L\"(.*)\"$", line)
        if insert and events:
            events[-1][2].append(_wine_string(insert.group(1)))
    return events


def sim_events(text):
    """The same from the simulated machine's events.txt."""
    events = []
    for line in text.splitlines():
        source, kind, number, rest = (line.split(" ", 3) + [""])[:4]
        inserts = [re.sub(r"\\(.)", r"\1", s) for s in re.findall(r'"((?:[^"\\]|\\.)*)"', rest)]
        events.append((kind, int(number), inserts))
    return events


def _demo(*parts):
    with open(os.path.join(DEMO, *parts), "rb") as file:
        return file.read()


@case("eventlog: a real /debug reports on Wine the events the Linux build reports on the "
      "same machine")
def debug_events_match_simulation(m):
    program = m.tier.linux_file("ZeRegionSvc")
    m.require(program is not None, "the Linux build's ZeRegionSvc")
    m.import_reg(_demo("registry.reg").decode("utf-16").split("\n", 1)[1])
    m.install({"ZeRegionSvc.ini": _demo("C", "Program Files", "Zelvaro", "ZeRegionSvc.ini"),
               "ZeCoInst.dat": _demo("C", "Program Files", "Zelvaro", "ZeCoInst.dat")})
    m.write_file("C:\\windows\\inf\\oem3.inf", _demo("C", "windows", "inf", "oem3.inf"))
    m.write_file("C:\\windows\\system32\\ZC00121D6A.ini",
                 _demo("C", "windows", "system32", "ZC00121D6A.ini"))
    run = m.run("/debug", lc_all="ja_JP.UTF-8",
                winedebug="-all,fixme+advapi,trace+eventlog,warn+eventlog,err+eventlog")
    m.expect_eq(run.code, 0, "exit code of /debug")
    on_wine = wine_events(run.stderr)
    m.require(any(number == 1000 for _, number, _ in on_wine),
              f"the reset's event on Wine's eventlog channel: {on_wine!r}")

    machine = os.path.join(m.directory, "linux-demo")
    shutil.copytree(DEMO, machine)
    linux = subprocess.run([program, "/debug"], capture_output=True,
                           env=dict(os.environ, ZEREGION_MACHINE=machine))
    m.expect_eq(linux.returncode, 0, "exit code of the Linux build's /debug")
    with open(os.path.join(machine, "events.txt"), encoding="utf-8") as file:
        simulated = sim_events(file.read())
    # Wine's class installer cannot change a device's state, so on Wine the adapter
    # is not restarted; the reset's other inserts and every other event agree.
    m.expect_eq(on_wine, [(kind, number, inserts[:3] + ["not restarted"]
                           if number == 1000 else inserts)
                          for kind, number, inserts in simulated],
                "the events of /debug")
