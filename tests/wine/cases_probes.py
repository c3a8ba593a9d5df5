"""Differential probes: the same probe under Wine and on the simulated machine."""

import os
import shutil
import subprocess

from winetier import case, reg_file_bytes, run_probe


@case("probe: GetLocaleInfoW answers for the default locales")
def locale_answers(m):
    for lc_all, country, language in [("en_US.UTF-8", "USA", "0409"),
                                      ("ja_JP.UTF-8", "JPN", "0411"),
                                      ("de_DE.UTF-8", "DEU", "0407")]:
        lines = run_probe(m, "locale_probe", lc_all=lc_all).decode("utf-8").splitlines()
        # Under Wine itself: the answers for the locale, with the terminator counted.
        for scope in ("system", "user"):
            for expected in [f'{scope} SABBREVCTRYNAME cch=16 -> 4 "{country}\\0"',
                             f'{scope} ILANGUAGE cch=16 -> 5 "{language}\\0"',
                             f"{scope} SABBREVCTRYNAME cch=2 -> 0 error=122"]:
                m.expect(expected in lines, f"{lc_all}: no line {expected!r} in {lines!r}")


@case("probe: a handle closed twice is closed once, then refused")
def close_twice(m):
    lines = run_probe(m, "close_probe").decode("utf-8").splitlines()
    for call in ["CloseHandle", "FindClose", "RegCloseKey", "CloseServiceHandle",
                 "SetupDiDestroyDeviceInfoList"]:
        m.expect(f"{call} first close -> 1" in lines, f"{call}: first close failed in {lines!r}")


NET_CLASS = "{4d36e972-e325-11ce-bfc1-08002be10318}"
# Three network devices: enabled, disabled, and without ConfigFlags.
DEVICES = [("PCI\\VEN_AAAA&DEV_0001\\1", "00000000"), ("PCI\\VEN_AAAA&DEV_0002\\1", "00000001"),
           ("PCI\\VEN_AAAA&DEV_0003\\1", None)]


@case("probe: a device's ConfigFlags and install parameters as the restart reads them")
def device_state(m):
    reg = "".join(f'[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\{device}]\n'
                  f'"ClassGUID"="{NET_CLASS}"\n"Driver"="{NET_CLASS}\\\\000{n}"\n'
                  + (f'"ConfigFlags"=dword:{flags}\n' if flags else "") + "\n"
                  for n, (device, flags) in enumerate(DEVICES, 1))
    lines = run_probe(m, "device_state_probe", reg=reg,
                      present=[device for device, _ in DEVICES]).decode("utf-8").splitlines()
    tail = "; install params ok flags=0; cbSize 12 error=1784"
    m.expect_eq(lines, [f"{DEVICES[0][0]} ConfigFlags ok type=4 value=0 size=4{tail}",
                        f"{DEVICES[1][0]} ConfigFlags ok type=4 value=1 size=4{tail}",
                        f"{DEVICES[2][0]} ConfigFlags error=13{tail}"], "probe output")


# What follows "h"=hex:01,02,\ in key A, and then a line "x"="1".
CONTINUATIONS = {
    "blank": "\n  03,04",
    "comment": "; a comment\n03",
    "value": '"y"="2"',
    "blank, key": "\n[HKEY_LOCAL_MACHINE\\Software\\ZeCont\\{n}\\B]",
    "key": "[HKEY_LOCAL_MACHINE\\Software\\ZeCont\\{n}\\B]",
    "end": None,
}


def _sim_values(m, body):
    """The values zemachine reads from the .reg body, as {(key, name): data}."""
    zemachine = m.tier.linux_file("zemachine")
    folder = os.path.join(m.directory, "sim-continuation")
    source = folder + ".reg"
    with open(source, "wb") as file:
        file.write(reg_file_bytes(body))
    subprocess.run([zemachine, "create", folder], capture_output=True, check=True)
    subprocess.run([zemachine, "--machine", folder, "import", source], capture_output=True,
                   check=True)
    exported = subprocess.run([zemachine, "--machine", folder, "export", "HKLM\\Software\\ZeCont"],
                              capture_output=True, check=True).stdout
    shutil.rmtree(folder)
    values, key = {}, None
    for line in exported[2:].decode("utf-16-le").splitlines():
        if line.startswith("["):
            key = line[len("[HKEY_LOCAL_MACHINE\\"):-1].lower()
        elif line.startswith('"'):
            name, data = line[1:].split('"=', 1)
            values[(key, name)] = (("\\".join(data[1:-1].split("\\\\")) + "\0").encode("utf-16-le")
                                   if data.startswith('"') else bytes.fromhex(
                                       data.split(":", 1)[1].replace(",", "")))
    return values


@case("probe: regedit and the machine's reader end a continued hex list alike")
def hex_continuations(m):
    body = ""
    for n, (label, between) in enumerate(CONTINUATIONS.items()):
        body += f'[HKEY_LOCAL_MACHINE\\Software\\ZeCont\\{n}\\A]\n"h"=hex:01,02,\\\n'
        if between is not None:
            body += between.format(n=n) + '\n"x"="1"\n\n'
    m.import_reg(body)
    wine = {(v.path.lower(), v.name): v.data for v in m.regdump("Software\\ZeCont") or []}
    sim = _sim_values(m, body)
    for n, label in enumerate(CONTINUATIONS):
        keys = (f"software\\zecont\\{n}\\a", f"software\\zecont\\{n}\\b")
        got = {k: v for k, v in wine.items() if k[0] in keys}
        want = {k: v for k, v in sim.items() if k[0] in keys}
        if label.endswith("key"):
            # Wine takes the key line into the list and loses the key with the value; the
            # machine's reader drops the value and keeps the key.
            m.expect_eq(got, {(keys[0], "x"): "1\0".encode("utf-16-le")}, f"{label}: Wine")
            m.expect_eq(want, {(keys[1], "x"): "1\0".encode("utf-16-le")}, f"{label}: sim")
        else:
            m.expect_eq(want, got, f"{label}: the machine's reader against regedit")
