"""The tier's own tools and the Windows platform layer under Wine."""

from winetier import TOOLS_DIR, case


@case("harness: a .reg import reads back byte for byte through regdump")
def reg_round_trip(m):
    key = "SOFTWARE\\Zelvaro\\TierCheck"
    m.import_reg(f"""[HKEY_LOCAL_MACHINE\\{key}]
@="default"
"Text"="Disabled"
"Empty"=""
"Number"=dword:0000001a
"Blob"=hex:01,ff,00
"List"=hex(7):41,00,00,00,42,00,00,00,00,00

[HKEY_LOCAL_MACHINE\\{key}\\Sub Key]
"Unicode"="\u65e5\u672c"
""")
    sub = key + "\\Sub Key"
    # Wine keeps a key's values sorted by name (Windows keeps them in the order they
    # were written); regdump shows Wine's enumeration order.
    m.expect_eq([(v.path, v.name, v.type, v.data) for v in m.regdump(key) or []], [
        (key, "", 1, "default\0".encode("utf-16-le")),
        (key, "Blob", 3, bytes([1, 0xff, 0])),
        (key, "Empty", 1, b"\0\0"),
        (key, "List", 7, "A\0B\0\0".encode("utf-16-le")),
        (key, "Number", 4, bytes([0x1a, 0, 0, 0])),
        (key, "Text", 1, "Disabled\0".encode("utf-16-le")),
        (sub, "Unicode", 1, "\u65e5\u672c\0".encode("utf-16-le")),
    ], "values read back")
    m.expect_eq(m.reg_value(key, "number"), (4, bytes([0x1a, 0, 0, 0])), "one value")
    m.expect_eq(m.regdump(key + "\\Missing"), None, "a missing key")


@case("platform: the service dispatcher and control handler reach the program")
def service_trampolines(m):
    exe = TOOLS_DIR + "\\servicecheck.exe"
    m.write_file(exe, m.tier.windows_file("servicecheck.exe"))
    marker = TOOLS_DIR + "\\servicecheck.txt"

    def lines():
        data = m.read_file(marker)
        return data.decode("utf-8").splitlines() if data else []

    m.require(m.wine(["sc", "create", "ZeCheck", "binPath=", exe]).code == 0, "sc create failed")
    m.expect_eq(m.wine(["sc", "start", "ZeCheck"]).code, 0, "sc start")
    m.wait_for(lambda: "status 4 -> 1" in lines(), what="the service to run")
    m.expect_eq(m.wine(["sc", "stop", "ZeCheck"]).code, 0, "sc stop")
    m.wait_for(lambda: m.service_state("ZeCheck") == 1, what="the service to be reported stopped")
    m.wait_for(lambda: not m.processes("servicecheck.exe"), what="the service process to end")
    events = lines()
    m.expect_eq(events[:3], ["main argc=1 name=ZeCheck on other thread", "handler registered 1",
                             "status 4 -> 1"], "service start")
    # Windows runs the handler on the thread inside the dispatcher; Wine 8 runs it on a
    # thread of its own, and the platform's dispatcher waits for it before returning.
    # The handler registered with RegisterServiceCtrlHandlerExW gets its context back.
    m.expect(events[3:4] in (["control 1 on main thread, context 1"],
                             ["control 1 on other thread, context 1"]),
             f"stop control: {events[3:]!r}")
    # Both must happen. Their order is not checked: under Wine 8 the dispatcher's return
    # is still now and then marked before the handler's report line, although the
    # platform's dispatcher waits for running handler calls (not yet explained).
    m.expect_eq(sorted(events[4:]), ["dispatcher returned 1 error 0", "status 1 -> 1"],
                "events after the stop control")
