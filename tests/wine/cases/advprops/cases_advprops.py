"""Advanced property texts from the adapter's OEM INF, on Wine.

Inputs beside this file: driver.reg (the driver key 0007 with InfPath and NDI\\params),
oem3.inf (UTF-16LE with BOM, [Strings] and Japanese [Strings.0411]), oem3-no-psmode.inf
(the same without the PSMode token) and expected.json (the texts NDI\\params must hold
afterwards, per case).
"""

import json
import os

from winetier import case

HERE = os.path.dirname(os.path.abspath(__file__))
CLASS_KEY = r"SYSTEM\CurrentControlSet\Control\Class\{4D36E972-E325-11CE-BFC1-08002bE10318}"
PARAMS = CLASS_KEY + r"\0007\NDI\params"
INF = r"C:\windows\inf\oem3.inf"


def _data(name):
    with open(os.path.join(HERE, name), "rb") as file:
        return file.read()


def _expected(name):
    return json.loads(_data("expected.json").decode("utf-8"))[name]


def _line(text):
    return "[ZeRegionSvc] " + text + "\r\n"


def _params_line(routine, name):
    return _line(f"{routine}, advance subkey path = {PARAMS}\\{name}, advance subkey name = {name}")


def _prepare(m, inf_name):
    m.install({"ZeRegionSvc.ini": "[DriverKey]\r\nNetID=0007\r\n"})
    reg_text = _data("driver.reg").decode("utf-16")
    m.import_reg(reg_text.split("\r\n", 1)[1])  # without its header line
    m.write_file(INF, _data(inf_name))


def _expect_texts(m, expected, what):
    """Every ParamDesc and enum value named in expected holds exactly that text as a
    REG_SZ (with the terminator the registry stores after it)."""
    stored = {(v.path.lower(), v.name): v for v in m.regdump(PARAMS) or []}
    for prop, texts in expected.items():
        wanted = [(PARAMS + "\\" + prop, "ParamDesc", texts["ParamDesc"])]
        wanted += [(PARAMS + "\\" + prop + "\\enum", name, text)
                   for name, text in texts.get("enum", {}).items()]
        for key, name, text in wanted:
            value = stored.get((key.lower(), name))
            if not m.expect(value is not None, f"{what}: {key} {name} is missing"):
                continue
            m.expect_eq((value.type, value.data.decode("utf-16-le")), (1, text + "\0"),
                        f"{what}: {prop} {name}")


def _run_debug(m, inf_name, lc_all):
    _prepare(m, inf_name)
    run = m.run("/debug", lc_all=lc_all)
    m.expect_eq(run.code, 0, "exit code of /debug")
    return m.log_messages() or []


def _expect_walk_start(m, messages, lines):
    m.expect_log_sequence(messages, [
        _line("ResetDriverAdvanceKey, Net ID = 0007"),
        _line(f"g_szOemInfPath = {INF}"),
    ] + lines)


@case("advprops: /debug in Japanese writes the [Strings.0411] texts of a UTF-16 INF")
def advprops_japanese(m):
    messages = _run_debug(m, "oem3.inf", "ja_JP.UTF-8")
    _expect_walk_start(m, messages, [
        _params_line("ResetDriverAdvanceParamDesc", "CountryRegion"),
        _line("Write Registry Data=国/地域 (2.4GHz)"),
        _params_line("ResetDriverAdvanceEnum", "CountryRegion"),
        _line("Write Registry Data=0: チャンネル 1-11"),
        _params_line("ResetDriverAdvanceParamDesc", "Speed"),
        _line("Advance subkey name not match in array"),
        _params_line("ResetDriverAdvanceParamDesc", "SSID"),
        _line("Write Registry Data=SSID (ネットワーク名)"),
    ])
    _expect_texts(m, _expected("ja_JP.UTF-8"), "Japanese")


@case("advprops: /debug in U.S. English writes the [Strings] texts")
def advprops_english(m):
    messages = _run_debug(m, "oem3.inf", "en_US.UTF-8")
    _expect_walk_start(m, messages, [_line("Write Registry Data=Country Region (2.4GHz)")])
    _expect_texts(m, _expected("en_US.UTF-8"), "U.S. English")


@case("advprops: a property whose token the INF lacks ends the walk")
def advprops_walk_ends(m):
    messages = _run_debug(m, "oem3-no-psmode.inf", "en_US.UTF-8")
    _expect_walk_start(m, messages, [
        _params_line("ResetDriverAdvanceEnum", "CountryRegion"),
        _line("Write Registry Data=7: Channel 5-13"),
        _params_line("ResetDriverAdvanceParamDesc", "PSMode"),
        _line("Advance ParamDesc value not found in inf file"),
    ])
    m.expect(_params_line("ResetDriverAdvanceParamDesc", "Radio") not in messages,
             "the walk went on after PSMode")
    _expect_texts(m, _expected("ends_at_PSMode"), "walk ended at PSMode")
