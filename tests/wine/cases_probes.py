"""Differential probes: the same probe under Wine and on the simulated machine."""

from winetier import case, run_probe


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
