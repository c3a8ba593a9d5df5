"""/preview on Wine: on the machine of the country cases (cases/country), the preview
changes nothing (registry, files, no log file), logs to standard error what /debug
then logs, and lists exactly the registry changes /debug then makes."""

import json
import os
import re

from winetier import APP_INI, APP_LOG, case, exit_code

HERE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "cases", "country")
CLASS_KEY = r"SYSTEM\CurrentControlSet\Control\Class\{4D36E972-E325-11CE-BFC1-08002bE10318}"
SERVICE_KEY = r"SYSTEM\CurrentControlSet\Services\ZeRegionSvc"
STAMP = re.compile(r"\[\d+-\d+-\d+ \d+:\d+:\d+:\d+\] ")


def _read(*parts):
    with open(os.path.join(HERE, *parts), "rb") as file:
        return file.read()


def _prepare(m, run):
    driver_reg = _read("machine", "driver.reg").decode("utf-8")
    m.import_reg(driver_reg.split("\n", 1)[1])
    m.install({"ZeRegionSvc.ini": _read("machine", "ZeRegionSvc.ini"),
               "ZeCoInst.dat": _read(run, "ZeCoInst.dat")})
    m.write_file("C:\\windows\\system32\\ZC9ABC1234.ini", _read("machine", "ZC9ABC1234.ini"))
    return _read(run, "env").decode("utf-8").strip().partition("=")[2]


def _registry(m):
    """{(key, value name): (type, bytes)} of the driver key and the service key."""
    values = {}
    for key in (CLASS_KEY + r"\0007", SERVICE_KEY):
        for value in m.regdump(key) or []:
            values[(value.path.lower(), value.name.lower())] = (value.type, value.data)
    return values


def _applied(before, listed):
    """The registry dump with the preview's changes made."""
    after = dict(before)
    for key in listed["registry"]:
        path = key["key"].split("\\", 1)[1].lower()
        if key["change"] == "deleted":
            after = {k: v for k, v in after.items() if k[0] != path}
            continue
        for value in key["values"]:
            if value["after"] is None:
                after.pop((path, value["name"].lower()), None)
            else:
                after[(path, value["name"].lower())] = (
                    {"REG_SZ": 1, "REG_BINARY": 3, "REG_DWORD": 4, "REG_MULTI_SZ": 7}[
                        value["after"]["type"]], bytes.fromhex(value["after"]["bytes"]))
    if listed["startType"] is not None:
        after[(SERVICE_KEY.lower(), "start")] = (4, bytes.fromhex(listed["startType"]["after"]["bytes"]))
    return after


@case("preview: /preview json on Wine lists exactly what /debug changes, and changes nothing")
def preview_equals_debug(m):
    lc_all = _prepare(m, "jpn")
    before = _registry(m)
    settings = m.read_file(APP_INI)

    preview = m.run("/preview", "json", lc_all=lc_all)
    m.expect_eq(preview.code, exit_code(1), "exit code of /preview")
    m.expect_eq(_registry(m), before, "registry after /preview")
    m.expect_eq(m.read_file(APP_INI), settings, "settings file after /preview")
    m.expect_eq(m.read_file(APP_LOG), None, "log file after /preview")
    listed = json.loads(preview.stdout.decode("utf-8"))
    m.expect(listed["changes"], "the preview lists no change")
    shown_log = [entry for entry in STAMP.split(preview.stderr.decode("utf-8", "replace"))
                 if entry.startswith("[ZeRegionSvc]")]

    run = m.run("/debug", lc_all=lc_all)
    m.expect_eq(run.code, 0, "exit code of /debug")
    m.expect_eq(_registry(m), _applied(before, listed), "registry after /debug")
    logged = [line.replace("argv[1] = /debug", "argv[1] = /preview")
              for line in m.log_messages() or []]
    # What Wine adds on standard error after the last entry is not the program's.
    shown_log[-1:] = [shown_log[-1][:len(logged[-1])]] if shown_log and logged else shown_log[-1:]
    m.expect_eq(shown_log, logged, "log of /preview against the log of /debug")
    # The device changes /debug reports done are the ones listed (Wine's SetupAPI
    # refuses the install parameters, so there are none on Wine 8.0).
    done = [change for flag, change in (("0", "disable"), ("1", "enable"))
            if f"[ZeRegionSvc] EnableDevice({flag}): success!\r\n" in logged]
    m.expect_eq([device["change"] for device in listed["devices"]], done, "device changes")


@case("preview: with no Net ID /preview json prints JSON and exits 2; /instal is refused (87)")
def preview_fails_and_typo(m):
    m.install({"ZeCoInst.dat": _read("jpn", "ZeCoInst.dat")})  # no settings file: no Net ID
    preview = m.run("/preview", "json")
    m.expect_eq(preview.code, exit_code(2), "exit code of /preview json without a Net ID")
    listed = json.loads(preview.stdout.decode("utf-8"))
    m.expect_eq((listed["changes"], listed["failed"]), (False, True), "changes and failed")
    m.expect(listed["errors"] and listed["errors"][0].startswith("no adapter is recorded"),
             f"errors: {listed['errors']!r}")
    typo = m.run("/instal")
    m.expect_eq((typo.code, typo.stdout), (exit_code(87), b""), "/instal: exit code, output")
    m.expect(b"ZeRegionSvc: unknown command /instal.\r\n" in typo.stderr, "/instal: the reason")
    m.expect_eq(m.regdump(SERVICE_KEY), None, "service key after /instal")
