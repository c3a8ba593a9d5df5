"""/check on Wine: the machine of the country cases (cases/country) checked with the
Windows build's own profile functions, file reads and registry; nothing changed."""

import os

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
