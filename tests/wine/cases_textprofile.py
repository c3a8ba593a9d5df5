"""Differential probes of the text helpers and the profile functions."""

from winetier import case, run_probe, run_probe_both


@case("probe: wvsprintfW, swscanf and _wtoi against the text helpers")
def text_routines(m):
    lines = run_probe(m, "text_probe").decode("utf-8").splitlines()
    # Under Wine itself: answers the program relies on.
    for expected in ['fmt "%02X" 26 -> 2 "1A"',
                     'fmt "%s" NULL -> 6 "(null)"',
                     'long "a..." 1023 -> 1024 len=1023 last=aaaaaaaaaaaaaaaaaaaa',
                     'scan "10,12" "%02d,%02d,%02d,%02d" -> 2 [A C 7777 7777]',
                     'scan "123456789" "%08X" -> 1 [12345678 7777 7777 7777]',
                     'wtoi "2147483648" -> 2147483647']:
        m.expect(expected in lines, f"no line {expected!r} under Wine")


@case("probe: profile functions (lookups, lists, integers, writes, encodings)")
def profile_functions(m):
    # The probe makes its own files in C:\probe; a bare file name lives in C:\windows.
    folders = {"C:\\probe\\folder.txt": "", "C:\\windows\\folder.txt": ""}
    lines = run_probe(m, "profile_probe", files=folders).decode("utf-8").splitlines()
    for expected in ['get ["Sec"] "Key" def="def" n=200 -> 5 err=0 "Value\\0"',
                     'get ["Sec"] "Empty" def="def" n=200 -> 0 err=0 "\\0"',
                     'get ["Sec"] "Missing" def="def  " n=200 -> 3 err=0 "def\\0"',
                     'int ["Int"] "E" -> 0',
                     'int ["Int"] "F" -> 77',
                     'write ["Sec"] "Key" = "v" -> 1']:
        m.expect(expected in lines, f"no line {expected!r} under Wine")


@case("probe: a UTF-8 byte-order mark: Wine reads UTF-8, the simulation ANSI as Windows does")
def utf8_mark(m):
    # Windows' profile functions know only the UTF-16LE mark: a UTF-8 mark's bytes start
    # line 1 as ANSI text, so [S] there is no section. Wine reads the file as UTF-8.
    folders = {"C:\\probe\\folder.txt": ""}
    wine, sim = run_probe_both(m, "profile_probe", ["utf8-mark"], files=folders)
    wine_lines = wine.decode("utf-8").splitlines()
    m.expect_eq(wine_lines, ['get ["S"] "K" def="d" n=200 -> 1 err=0 "v\\0"',
                             'get ["T"] "K" def="d" n=200 -> 1 err=0 "\u00e9\\0"',
                             'names n=100 -> 4 err=0 "S\\0T\\0\\0"'], "Wine's answer")
    if sim is not None:
        m.expect_eq(sim.decode("utf-8").splitlines(),
                    ['get ["S"] "K" def="d" n=200 -> 1 err=0 "d\\0"',
                     'get ["T"] "K" def="d" n=200 -> 2 err=0 "\u00c3\u00a9\\0"',
                     'names n=100 -> 2 err=0 "T\\0\\0"'], "the simulation's (Windows') answer")
