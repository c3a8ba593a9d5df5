"""Start-up, paths and the diagnostic log, on Wine."""

from winetier import APP_DIR, APP_INI, APP_LOG, case, exit_code, parse_log


def start_lines(folder=APP_DIR, base="ZeRegionSvc"):
    """The first four messages of every run from the given folder."""
    return [
        f"[ZeRegionSvc] g_szZeRegionSvcIniPath = {folder}\\{base}.ini\r\n",
        f"[ZeRegionSvc] g_szZeCoInstDatPath = {folder}\\ZeCoInst.dat\r\n",
        f"[ZeRegionSvc] g_szZeRegionSvcLogPath = {folder}\\{base}.log\r\n",
        "[ZeRegionSvc] --> _tmain()\r\n",
    ]


END_LINE = "[ZeRegionSvc] <-- _tmain()\r\n"


@case("log: a first run creates the log as bare UTF-16LE entries in order")
def log_created(m):
    m.install()
    run = m.run("/help")
    data = m.log_bytes()
    m.require(data is not None, "no log file was written")
    m.expect_eq(data[:2], b"[\x00", "first code unit (no byte-order mark)")
    m.expect(len(data) % 2 == 0, f"odd log length {len(data)}")
    m.expect("\x00" not in data.decode("utf-16-le", "replace"), "the log holds a NUL code unit")
    entries = parse_log(data)
    m.expect_stamps(entries, run)
    messages = [entry.text for entry in entries]
    m.expect_eq(messages[:5], start_lines() + ["[ZeRegionSvc] argv[1] = /help\r\n"],
                "first messages")
    m.expect_eq(messages[-1:], [END_LINE], "last message")


@case("log: a run appends to an existing log and keeps its bytes")
def log_appends(m):
    m.install()
    old_entry = "[2020-1-5 9:3:7:45] [ZeRegionSvc] an earlier run\r\n".encode("utf-16-le")
    for name, old in [("empty file", b""), ("earlier entries", old_entry),
                      ("odd byte count", b"\x41\x00\x42")]:
        m.write_file(APP_LOG, old)
        run = m.run("/help")
        data = m.log_bytes()
        if not m.expect(data is not None and data.startswith(old),
                        f"{name}: the old bytes were not kept"):
            continue
        added = data[len(old):]
        m.expect_eq(added[:2], b"[\x00", f"{name}: first appended code unit")
        entries = parse_log(added)
        m.expect_stamps(entries, run, name)
        m.expect_eq([e.text for e in entries][:4], start_lines(), f"{name}: appended messages")


@case("settings: WriteLogFile and DebugMode choose the log file and the debugger stream")
def log_switches(m):
    m.install()
    help_run = start_lines() + ["[ZeRegionSvc] argv[1] = /help\r\n"]
    utf16_ini = b"\xff\xfe" + "[Settings]\r\nWriteLogFile=0\r\n".encode("utf-16-le")
    table = [
        # settings file, file log expected, debugger stream expected
        ("[Settings]\r\nWriteLogFile=0\r\nDebugMode=0\r\n", False, False),
        ("[Settings]\r\nWriteLogFile=0\r\nDebugMode=1\r\n", False, True),
        ("[Settings]\r\nWriteLogFile=2\r\n", True, False),
        ("[Settings]\r\nWriteLogFile=1\r\nDebugMode=7\r\n", True, True),
        ("[settings]\r\n  writelogfile = 0  \r\n", False, False),
        (utf16_ini, False, False),
        (None, True, False),
    ]
    for ini, file_log, debug in table:
        label = f"settings file {ini!r}"
        if ini is None:
            m.remove_file(APP_INI)
        else:
            m.write_file(APP_INI, ini)
        m.remove_file(APP_LOG)
        run = m.run("/help", debug_stream=True)
        messages = m.log_messages()
        if file_log:
            if m.expect(messages is not None, f"{label}: no log file"):
                m.expect_eq(messages[:5], help_run, f"{label}: log")
        else:
            m.expect(messages is None, f"{label}: a log file was written")
        if debug:
            m.expect_eq(run.debug[:5], help_run, f"{label}: debugger stream")
            m.expect_eq(run.debug[-1:], [END_LINE], f"{label}: last debugger message")
            if file_log and messages is not None:
                m.expect_eq(run.debug, messages, f"{label}: debugger stream against the log")
        else:
            m.expect_eq(run.debug, [], f"{label}: debugger stream")


@case("command line: no argument from a console fails to reach the service manager")
def console_without_argument(m):
    m.install()
    run = m.run()
    m.expect_eq(run.code, exit_code(-107), "exit code (low byte)")
    m.expect_eq(m.log_messages(), start_lines() + [
        "[ZeRegionSvc] StartServiceCtrlDispatcher() return FALSE, error = 1063\r\n",
        END_LINE,
    ], "log")


@case("command line: an argument that is no command is taken as a hardware ID")
def hardware_id_argument(m):
    m.install()
    # One argument each: a switch the program does not know, a hardware ID, text with a
    # blank and text outside ASCII (the wide argument vector must reach the log intact;
    # Wine converts the Unix argument with the Unix locale's character set, and C.UTF-8
    # is the UTF-8 locale every system has).
    for argument in ["/help", "PCI\\VEN_14C3&DEV_7961", "two words", "Ger\u00e4t-\u65e5\u672c"]:
        m.remove_file(APP_LOG)
        m.run(argument, "/install", lc_all="C.UTF-8")
        messages = m.log_messages() or []
        m.expect_eq(messages[:5], start_lines() + [f"[ZeRegionSvc] argv[1] = {argument}\r\n"],
                    f"{argument!r}: log")
        m.expect_eq(messages[-1:], [END_LINE], f"{argument!r}: last message")
    # The second argument is ignored: no service was installed.
    m.expect(m.regdump("SYSTEM\\CurrentControlSet\\Services\\ZeRegionSvc") is None,
             "a service was installed")


@case("paths: the settings file and the log are named after the executable")
def paths_follow_executable(m):
    for folder, exe_name, base in [(APP_DIR, "my.tool.exe", "my.tool"),
                                   ("C:\\Program Files\\Ze.lvaro Tools", "reset.exe", "reset")]:
        exe = f"{folder}\\{exe_name}"
        log = f"{folder}\\{base}.log"
        m.install(exe_path=exe)
        m.run("/help", exe_path=exe)
        messages = m.log_messages(log)
        if m.expect(messages is not None, f"{exe}: no log {log}"):
            m.expect_eq(messages[:4], start_lines(folder, base), f"{exe}: path lines")
        m.expect(not m.exists(f"{folder}\\ZeRegionSvc.log"), f"{exe}: wrote ZeRegionSvc.log")
        # The switches come from the settings file named after the executable too.
        before = m.read_file(log)
        m.write_file(f"{folder}\\{base}.ini", "[Settings]\r\nWriteLogFile=0\r\n")
        m.run("/help", exe_path=exe)
        m.expect_eq(m.read_file(log), before, f"{exe}: log after WriteLogFile=0 in {base}.ini")
