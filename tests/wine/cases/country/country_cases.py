"""The country settings reset on Wine: "/debug" on a machine with a full driver key, a
country data file and a platform settings file; the driver key afterwards is compared
value by value (name, type, stored bytes) with expected.txt, and the log with
expected-log.txt. Loaded by the tier through a cases_*.py module that imports it."""

import os

from winetier import case

HERE = os.path.dirname(os.path.abspath(__file__))
PLATFORM_FILE = "C:\\windows\\system32\\ZC9ABC1234.ini"
REG_TYPES = {"REG_SZ": 1, "REG_EXPAND_SZ": 2, "REG_BINARY": 3, "REG_DWORD": 4,
             "REG_MULTI_SZ": 7}


def _read(*parts):
    with open(os.path.join(HERE, *parts), "rb") as file:
        return file.read()


def _expected_keys(run):
    """{key path: {value name: (type, bytes)}, or None for a key that must not exist}."""
    keys = {}
    current = None
    for line in _read(run, "expected.txt").decode("utf-8").splitlines():
        if not line or line.startswith("#"):
            continue
        if line.startswith("["):
            absent = line.startswith("[-")
            current = line[2:-1] if absent else line[1:-1]
            keys[current] = None if absent else {}
            continue
        name, rest = line[1:].split('" ', 1)
        type_name, _, data = rest.partition(" ")
        keys[current][name] = (REG_TYPES[type_name], bytes.fromhex(data.replace(" ", "")))
    return keys


def _expected_log(run):
    lines = _read(run, "expected-log.txt").decode("utf-8").splitlines()
    # Every message ends in CR LF but the ad-hoc N removal's, which ends in LF.
    return [line + ("\n" if "RemoveAdHocNMode: " in line else "\r\n") for line in lines]


def _run(m, run):
    lc_all = _read(run, "env").decode("utf-8").strip().partition("=")[2]
    driver_reg = _read("machine", "driver.reg").decode("utf-8")
    m.import_reg(driver_reg.split("\n", 1)[1])
    m.install({"ZeRegionSvc.ini": _read("machine", "ZeRegionSvc.ini"),
               "ZeCoInst.dat": _read(run, "ZeCoInst.dat")})
    m.write_file(PLATFORM_FILE, _read("machine", "ZC9ABC1234.ini"))

    result = m.run("/debug", lc_all=lc_all)
    m.expect_eq(result.code, 0, "exit code")

    for path, expected in _expected_keys(run).items():
        values = m.regdump(path)
        if expected is None:
            m.expect_eq(values, None, f"{path} left in place")
            continue
        if not m.expect(values is not None, f"{path} missing"):
            continue
        actual = {v.name: (v.type, v.data) for v in values if v.path.lower() == path.lower()}
        m.expect_eq(actual, expected, f"values of {path}")

    messages = m.log_messages()
    if m.expect(messages is not None, "no log file"):
        m.expect_log_sequence(messages, _expected_log(run))


@case("country: /debug on a Japanese system writes the JPN values, removes ad-hoc N")
def country_jpn(m):
    _run(m, "jpn")


@case("country: a WindowsCountry override wins over the US locale")
def country_override(m):
    _run(m, "override")
