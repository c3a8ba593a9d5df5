"""The service's real lifecycle through Wine's service manager, and the device lookup
against a device registered under Enum."""

from winetier import APP_EXE, APP_INI, case, exit_code

SERVICE_KEY = "SYSTEM\\CurrentControlSet\\Services\\ZeRegionSvc"
NET_CLASS = "{4d36e972-e325-11ce-bfc1-08002be10318}"
ADAPTER = "PCI\\VEN_14E4&DEV_43A0&SUBSYS_061114E4&REV_03\\4&2a3b&0&00e1"
HARDWARE_IDS = ["PCI\\VEN_14E4&DEV_43A0&SUBSYS_061114E4&REV_03",
                "PCI\\VEN_14E4&DEV_43A0&SUBSYS_061114E4", "PCI\\VEN_14E4&DEV_43A0"]


def _multi_sz(strings):
    data = "".join(s + "\0" for s in strings) + "\0"
    return ",".join(f"{b:02x}" for b in data.encode("utf-16-le"))


# The "Net" setup class and one adapter whose driver is instance 0007 of it.
ADAPTER_REG = f"""[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Class\\{NET_CLASS}]
"Class"="Net"

[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Class\\{NET_CLASS}\\0007]
"DriverDesc"="Zelvaro Wireless Adapter"

[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\{ADAPTER}]
"HardwareID"=hex(7):{_multi_sz(HARDWARE_IDS)}
"ClassGUID"="{NET_CLASS}"
"Driver"="{NET_CLASS}\\\\0007"
"ConfigFlags"=dword:00000000
"""

SETTINGS = ("[DriverKey]\r\nNetID=0007\r\n[Settings]\r\nRunTimes=5\r\n"
            "[Service]\r\nServiceDescription=Resets the Wi-Fi country\r\n")


def _sz(text):
    return (text + "\0").encode("utf-16-le")


def _dword(value):
    return value.to_bytes(4, "little")


def _settings(m):
    data = m.read_file(APP_INI)
    return data.decode("latin-1") if data else ""


@case("service: /install registers the service, and a second /install changes it in place")
def install(m):
    m.install(files={"ZeRegionSvc.ini": SETTINGS})
    m.expect_eq(m.run("/install").code, exit_code(0), "/install exit code")
    values = {v.name.lower(): (v.type, v.data) for v in m.regdump(SERVICE_KEY) or []
              if v.path.lower() == SERVICE_KEY.lower()}
    m.expect_eq(values.get("type"), (4, _dword(0x10)), "Type")
    m.expect_eq(values.get("start"), (4, _dword(2)), "Start")
    m.expect_eq(values.get("errorcontrol"), (4, _dword(0)), "ErrorControl")
    # Quoted, so that the path with its blank names this executable and nothing else.
    image_type, image = values.get("imagepath", (None, None))
    m.expect(image_type in (1, 2), f"ImagePath type {image_type}")
    m.expect_eq(image, _sz('"' + APP_EXE + '"'), "ImagePath")
    m.expect_eq(values.get("displayname"), (1, _sz("Zelvaro Country Reset Service")),
                "DisplayName")
    m.expect_eq(values.get("description"), (1, _sz("Resets the Wi-Fi country")), "Description")

    # Again, with another description: the service is changed in place.
    m.write_file(APP_INI, SETTINGS.replace("Resets the Wi-Fi country", "Second").encode())
    m.expect_eq(m.run("/install").code, exit_code(0), "second /install exit code")
    m.expect_log_sequence(m.log_messages(), [
        "[ZeRegionSvc] ZeInstallService\r\n",
        "[ZeRegionSvc] ZeInstallService\r\n",
        "[ZeRegionSvc] Service ZeRegionSvc exists, its configuration is updated\r\n",
    ])
    m.expect_eq(m.reg_value(SERVICE_KEY, "Description"), (1, _sz("Second")),
                "Description after the second /install")


@case("service: /start runs the reset in the service, /stop ends it, /uninstall removes it")
def lifecycle(m):
    m.import_reg(ADAPTER_REG)
    m.install(files={"ZeRegionSvc.ini": SETTINGS})
    m.require(m.run("/install").code == exit_code(0), "/install failed")

    m.expect_eq(m.run("/start").code, exit_code(0), "/start exit code")
    m.wait_for(lambda: "RunTimes=4" in _settings(m), what="the service to count its budget down")
    m.wait_for(lambda: m.service_state("ZeRegionSvc") == 4,
               what="the service to be reported running")
    m.expect(m.processes("ZeRegionSvc.exe"), "no service process while the service runs")

    m.expect_eq(m.run("/stop").code, exit_code(0), "/stop exit code")
    m.wait_for(lambda: m.service_state("ZeRegionSvc") == 1,
               what="the service to be reported stopped")
    m.wait_for(lambda: not m.processes("ZeRegionSvc.exe"), what="the service process to end")
    messages = m.log_messages()
    m.expect_log_sequence(messages, [
        "[ZeRegionSvc] ServiceMain\r\n",
        "[ZeRegionSvc] Net ID of ini = 0007\r\n",
        # Wine 8.0 does not implement SetupDiSetClassInstallParamsW: the disable
        # fails, and an adapter that was not disabled is not enabled.
        "[ZeRegionSvc] SetupDiSetClassInstallParams() return FALSE\r\n",
        "[ZeRegionSvc] ZeStopService\r\n",
        "[ZeRegionSvc] ServiceCtrlHandler: opcode=1\r\n",
        "[ZeRegionSvc] SERVICE_CONTROL_STOP\r\n",
    ], "service run")
    # The service process's _tmain returns 0 after the dispatcher: it logs its end.
    m.expect_eq(messages.count("[ZeRegionSvc] <-- _tmain()\r\n"), 4,
                "ends of _tmain (install, start, stop and the service process)")

    m.expect_eq(m.run("/stop").code, exit_code(-106), "second /stop exit code")
    m.expect_eq(m.run("/uninstall").code, exit_code(0), "/uninstall exit code")
    m.expect_log_sequence(m.log_messages(), [
        "[ZeRegionSvc] argv[1] = /uninstall\r\n",
        "[ZeRegionSvc] ZeStopService\r\n",
        "[ZeRegionSvc] ZE_SVC_ERR_CONTROL_SVC\r\n",
        "[ZeRegionSvc] ZeUninstallService\r\n",
        "[ZeRegionSvc] <-- _tmain()\r\n",
    ], "/uninstall")
    m.wait_for(lambda: m.regdump(SERVICE_KEY) is None, what="the service key to go")
    m.expect_eq(m.run("/start").code, exit_code(-103), "/start after /uninstall exit code")


@case("device: a hardware ID records the Net ID of the adapter registered under Enum")
def record_net_id(m):
    m.import_reg(ADAPTER_REG)
    m.install(files={"ZeRegionSvc.ini": "[Settings]\r\nRunTimes=5\r\n"})
    m.expect_eq(m.run("pci\\ven_14e4&dev_43a0").code, exit_code(0), "exit code")
    m.expect("NetID=0007" in _settings(m), f"settings file: {_settings(m)!r}")
    m.expect_log_sequence(m.log_messages(), ["[ZeRegionSvc] Write Net ID = 0007 to ini\r\n"])

    # A later entry of the ID list, or an ID that no adapter has: nothing is recorded.
    before = m.read_file(APP_INI)
    for argument in ("PCI\\VEN_14E4&DEV_43A0&SUBSYS_061114E4&REV_04", "USB\\VID_0BDA"):
        m.expect_eq(m.run(argument).code, exit_code(-999), f"{argument} exit code")
    m.expect_eq(m.read_file(APP_INI), before, "settings file after failed lookups")
    m.expect_eq(m.log_messages().count("[ZeRegionSvc] Device not found by HW ID!\r\n"), 2,
                "not-found lines")


@case("device: without a Net setup class the lookup fails instead of using no class")
def no_net_class(m):
    m.install(files={"ZeRegionSvc.ini": "[DriverKey]\r\nNetID=0003\r\n"})
    before = m.read_file(APP_INI)
    m.expect_eq(m.run("PCI\\VEN_14E4").code, exit_code(-999), "exit code")
    m.expect_eq(m.read_file(APP_INI), before, "settings file")
    m.expect_log_sequence(m.log_messages(), [
        "[ZeRegionSvc] SetupDiClassGuidsFromName() return FALSE\r\n",
        "[ZeRegionSvc] Net ID not recorded, the settings file keeps its Net ID\r\n",
    ])



ENUM_KEY = f"SYSTEM\\CurrentControlSet\\Enum\\{ADAPTER}"


@case("device: /debug reads the adapter's state; one disabled beforehand is left disabled")
def disabled_adapter(m):
    m.import_reg(ADAPTER_REG.replace('"ConfigFlags"=dword:00000000',
                                     '"ConfigFlags"=dword:00000001'))
    m.install(files={"ZeRegionSvc.ini": SETTINGS})
    before = m.read_file(APP_INI)
    m.expect_eq(m.run("/debug").code, exit_code(0), "exit code")
    messages = m.log_messages()
    m.expect_log_sequence(messages, ["[ZeRegionSvc] The adapter is disabled and is left disabled\r\n"])
    m.expect("[ZeRegionSvc] SetupDiSetClassInstallParams() return FALSE\r\n" not in messages,
             "a restart was tried")
    m.expect_eq(m.reg_value(ENUM_KEY, "ConfigFlags"), (4, _dword(1)), "ConfigFlags")
    m.expect_eq(m.read_file(APP_INI), before, "settings file")


@case("device: a restart record of an adapter found enabled is cleared by the next /debug")
def restart_record_cleared(m):
    m.import_reg(ADAPTER_REG)
    m.install(files={"ZeRegionSvc.ini": SETTINGS + "[Restart]\r\n0007=disabling\r\n"})
    m.expect_eq(m.run("/debug").code, exit_code(0), "exit code")
    m.expect_log_sequence(m.log_messages(), [
        "[ZeRegionSvc] Restart record of adapter 0007 cleared: it is enabled\r\n",
        # Wine 8.0 does not implement SetupDiSetClassInstallParamsW: no restart, and the
        # record written before the disable is cleared again.
        "[ZeRegionSvc] SetupDiSetClassInstallParams() return FALSE\r\n",
    ])
    m.expect("[Restart]" not in _settings(m), f"settings file: {_settings(m)!r}")
    m.expect("NetID=0007" in _settings(m), f"settings file: {_settings(m)!r}")
    # The record reached the disk before the disable: Wine flushes the settings file.
    m.expect("[ZeRegionSvc] Flush restart record to disk failed\r\n" not in m.log_messages(),
             "the record's flush failed")
