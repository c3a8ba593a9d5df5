"""/check on Wine: the machine of the country cases (cases/country) checked with the
Windows build's own profile functions, file reads and registry; nothing changed. And
the regulatory audit of the demo machine, compared byte for byte with the Linux
build's on the same machine."""

import os
import shutil
import subprocess

from winetier import APP_LOG, case, exit_code

HERE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "cases", "country")
DRIVER_KEY = r"SYSTEM\CurrentControlSet\Control\Class\{4D36E972-E325-11CE-BFC1-08002bE10318}\0007"


def _read(*parts):
    with open(os.path.join(HERE, *parts), "rb") as file:
        return file.read()


@case("check: /check on Wine reports the data file's faults with their lines, and a table")
def check_on_wine(m):
    m.import_reg(_read("machine", "driver.reg").decode("utf-8").split("\n", 1)[1])
    data = _read("jpn", "ZeCoInst.dat").replace(b"\r\n", b"\n").replace(b"\n", b"\r\n")
    m.install({"ZeRegionSvc.ini": _read("machine", "ZeRegionSvc.ini"),
               "ZeCoInst.dat": data.replace(b"[CountryTxPwr5G]\r\n",
                                            b"[CountryTxPwr5G]\r\nXYZ=1,2\r\n")})
    m.write_file("C:\\windows\\system32\\ZC9ABC1234.ini", _read("machine", "ZC9ABC1234.ini"))
    before = m.regdump(DRIVER_KEY)
    line = data[:data.index(b"[CountryTxPwr5G]")].count(b"\r\n") + 2

    run = m.run("/check", lc_all="ja_JP.UTF-8")
    shown = run.stdout.decode("utf-8")
    m.expect_eq(run.code, exit_code(1), "exit code of /check")
    m.expect(f"ZeCoInst.dat:{line}: [CountryTxPwr5G] XYZ=1,2 is not four numbers" in shown,
             f"the bad entry with its line in:\n{shown}")
    m.expect("What the country reset would write on this adapter" in shown and "\r\nJPN " in shown,
             f"the country table in:\n{shown}")
    m.expect_eq(m.regdump(DRIVER_KEY), before, "driver key after /check")

    missing = m.run("/check", "C:\\nothing.dat")
    m.expect_eq(missing.code, exit_code(1), "exit code for a missing file")
    m.expect("error: C:\\nothing.dat: does not exist" in missing.stdout.decode("utf-8"),
             "a missing file is named")
    m.expect(m.read_file(APP_LOG) is not None, "the log of /check")


DEMO = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "examples",
                    "demo-machine")
REGDB = "/lib/firmware/regulatory.db"


def _demo(*parts):
    with open(os.path.join(DEMO, *parts), "rb") as file:
        return file.read()


def _linux_check(m, arguments):
    """What the Linux build shows for the same command on a copy of the demo machine."""
    program = m.tier.linux_file("ZeRegionSvc")
    m.require(program is not None, "the Linux build's ZeRegionSvc")
    machine = os.path.join(m.directory, "linux-demo")
    shutil.copytree(DEMO, machine)
    os.makedirs(os.path.join(machine, "C", "regdb"))
    shutil.copy(REGDB, os.path.join(machine, "C", "regdb", "regulatory.db"))
    run = subprocess.run([program] + arguments, capture_output=True,
                         env=dict(os.environ, ZEREGION_MACHINE=machine))
    with open(os.path.join(machine, "C", "map.svg"), "rb") as file:
        return run.returncode, run.stdout, file.read()


@case("check: /check /regdb on Wine audits the demo machine against wireless-regdb's "
      "database as the Linux build does, and writes the same channel map")
def check_regdb_on_wine(m):
    registry = _demo("registry.reg").decode("utf-16")
    m.import_reg(registry.split("\n", 1)[1])
    m.install({"ZeRegionSvc.ini": _demo("C", "Program Files", "Zelvaro", "ZeRegionSvc.ini"),
               "ZeCoInst.dat": _demo("C", "Program Files", "Zelvaro", "ZeCoInst.dat")})
    m.write_file("C:\\windows\\inf\\oem3.inf", _demo("C", "windows", "inf", "oem3.inf"))
    m.write_file("C:\\windows\\system32\\ZC00121D6A.ini",
                 _demo("C", "windows", "system32", "ZC00121D6A.ini"))
    with open(REGDB, "rb") as file:
        m.write_file("C:\\regdb\\regulatory.db", file.read())
    arguments = ["/check", "/regdb", "C:\\regdb\\regulatory.db", "/map", "C:\\map.svg"]
    before = m.regdump(DRIVER_KEY)

    run = m.run(*arguments, lc_all="ja_JP.UTF-8")
    shown = run.stdout.decode("utf-8")
    m.expect_eq(run.code, exit_code(1), "exit code of /check /regdb")
    m.expect("ZeCoInst.dat:16: [RegionChannel5G] JPN: region 9: channel 149 (5745 MHz) lies "
             "outside the ranges JP allows\r\n" in shown, f"JPN's channel 149 in:\n{shown}")
    m.expect_eq(m.regdump(DRIVER_KEY), before, "driver key after /check /regdb")
    code, linux_shown, linux_map = _linux_check(m, arguments)
    m.expect_eq(code, 1, "exit code of the Linux build")
    m.expect_eq(shown, linux_shown.decode("utf-8"), "the output of the Linux build")
    m.expect_eq(m.read_file("C:\\map.svg"), linux_map, "the Linux build's channel map")
