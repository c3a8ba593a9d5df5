"""The Windows Installer package under Wine's msiexec: silent install, upgrade,
repair, uninstall and refused input. Packages are built once per tier from the tier's
executable with packaging/build_msi.py, as the package target builds them."""

import os
import re
import struct
import subprocess
import threading

from cases.service.cases_service import ADAPTER_REG, SERVICE_KEY, _dword, _sz
from winetier import APP_DIR, APP_EXE, APP_INI, APP_LOG, TOOLS_DIR, CaseFailure, case

SOURCE_DIR = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", "..", "..", ".."))
COUNTRY_DATA = os.path.join(SOURCE_DIR, "examples", "demo-machine", "C", "Program Files",
                            "Zelvaro", "ZeCoInst.dat")
REMEMBERED_DIR_KEY = "Software\\Zelvaro\\ZeRegionSvc"
UNINSTALL_KEY = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall"
HWID = "pci\\ven_14e4&dev_43a0"
MSI_LOG = TOOLS_DIR + "\\msi.log"
ERROR_SUCCESS = 0

_packages = {}
_packages_lock = threading.Lock()


def project_version(tier):
    with open(os.path.join(tier.windows_dir, "generated", "ze_version.h")) as file:
        return re.search(r'#define ZE_VERSION_TEXT "([0-9.]+)"', file.read()).group(1)


def older_version(version):
    """A version below the given one, as an earlier release would carry."""
    major, minor, patch = (int(part) for part in version.split("."))
    if patch:
        return f"{major}.{minor}.{patch - 1}"
    if minor:
        return f"{major}.{minor - 1}.0"
    return f"{major - 1}.0.0"


def stamped_executable(tier, version, build):
    """The tier's executable as another build of `version` would be: its version
    resource and manifest carry that version (written over the project's, which must
    have as many characters), and a named build has its name appended to the file, so
    that its bytes differ from every other build's."""
    with open(os.path.join(tier.windows_dir, "ZeRegionSvc.exe"), "rb") as file:
        data = bytearray(file.read())
    current = project_version(tier)
    if version != current:
        if len(version) != len(current):
            raise CaseFailure(f"version {version} cannot be stamped over {current}")
        major, minor, patch = (int(part) for part in version.split("."))
        fixed = data.find(struct.pack("<II", 0xFEEF04BD, 0x00010000))
        # dwFileVersionMS/LS, then dwProductVersionMS/LS.
        struct.pack_into("<IIII", data, fixed + 8, major << 16 | minor, patch << 16,
                         major << 16 | minor, patch << 16)
        for old, new in ((f"{current}.0\0".encode("utf-16-le"), f"{version}.0\0".encode("utf-16-le")),
                         (f'version="{current}.0"'.encode(), f'version="{version}.0"'.encode())):
            data = data.replace(old, new)
    return bytes(data) + build.encode()


def package(m, version=None, build=""):
    """Copies the package of the tier's executable at version (default: the project's)
    to the machine and returns its Windows path. Each build name is a build of its own,
    with a product code and an executable of its own, as two builds of one release would
    have (packed_exe gives that executable)."""
    version = version or project_version(m.tier)
    key = f"{version}{build}"
    with _packages_lock:
        if key not in _packages:
            exe = os.path.join(m.tier.workdir, f"ZeRegionSvc-{key}", "ZeRegionSvc.exe")
            os.makedirs(os.path.dirname(exe), exist_ok=True)
            with open(exe, "wb") as file:
                file.write(stamped_executable(m.tier, version, build))
            path = os.path.join(m.tier.workdir, f"ZeRegionSvc-{key}-x64.msi")
            run = subprocess.run(
                ["python3", os.path.join(SOURCE_DIR, "packaging", "build_msi.py"),
                 "--exe", exe, "--country-data", COUNTRY_DATA, "--output", path],
                capture_output=True, text=True, timeout=120)
            if run.returncode != 0:
                raise CaseFailure(f"building the {version} package failed: {run.stderr}")
            with open(path, "rb") as file, open(exe, "rb") as packed:
                _packages[key] = (file.read(), packed.read())
    windows_path = f"{TOOLS_DIR}\\ZeRegionSvc-{key}-x64.msi"
    m.write_file(windows_path, _packages[key][0])
    return windows_path


def packed_exe(m, version=None, build=""):
    """The executable that package() packed for the same version and build."""
    return _packages[f"{version or project_version(m.tier)}{build}"][1]


def msiexec(m, *arguments, lc_all="en_US.UTF-8"):
    """Runs msiexec silently with a verbose log; returns (exit code, log text)."""
    m.remove_file(MSI_LOG)
    run = m.wine(["msiexec", *arguments, "/qn", "/l*v", MSI_LOG], lc_all=lc_all, timeout=240)
    log = (m.read_file(MSI_LOG) or b"").decode("utf-8", "replace")
    # Wine's msiexec reports the Windows Installer error as its exit code (1603 -> 67).
    return run.code, log


def settings(m, ini=APP_INI):
    data = m.read_file(ini)
    return data.decode("latin-1") if data is not None else None


def service_values(m):
    return {v.name.lower(): (v.type, v.data) for v in m.regdump(SERVICE_KEY) or []
            if v.path.lower() == SERVICE_KEY.lower()}


def installed_products(m):
    """Display names of the products registered for Add/Remove Programs."""
    return [v.data.decode("utf-16-le").rstrip("\0") for v in m.regdump(UNINSTALL_KEY) or []
            if v.name == "DisplayName" and v.data.decode("utf-16-le").startswith("ZeRegionSvc")]


def expect_registered(m, exe=APP_EXE, display_name="Zelvaro Country Reset Service"):
    values = service_values(m)
    image_type, image = values.get("imagepath", (None, None))
    m.expect(image_type in (1, 2), f"ImagePath type {image_type}")
    m.expect_eq(image, _sz('"' + exe + '"'), "ImagePath, quoted as /install writes it")
    m.expect_eq(values.get("start"), (4, _dword(2)), "Start (automatic)")
    m.expect_eq(values.get("type"), (4, _dword(0x10)), "Type")
    m.expect_eq(values.get("displayname"), (1, _sz(display_name)), "DisplayName")


def expect_nothing_installed(m, folder=APP_DIR, what="after a failed install"):
    for name in ("ZeRegionSvc.exe", "ZeCoInst.dat", "ZeRegionSvc.ini"):
        m.expect(not m.exists(f"{folder}\\{name}"), f"{what}: {name} left behind")
    m.expect_eq(m.regdump(SERVICE_KEY), None, f"{what}: service key")
    m.expect_eq(m.regdump(REMEMBERED_DIR_KEY), None, f"{what}: remembered folder")
    m.expect_eq(installed_products(m), [], f"{what}: registered products")


@case("msi: silent install with HWID registers, records and starts; uninstall removes it")
def install_and_uninstall(m):
    m.import_reg(ADAPTER_REG)
    msi = package(m)
    code, log = msiexec(m, "/i", msi, f"HWID={HWID}")
    m.require(code == ERROR_SUCCESS, f"install exit code {code}; log:\n{log[-3000:]}")
    m.expect(m.exists(APP_EXE) and m.exists(APP_DIR + "\\ZeCoInst.dat"), "installed files")
    expect_registered(m)
    m.expect("NetID=0007" in settings(m), f"settings file: {settings(m)!r}")
    # The service was started at install: one reset counted the budget down.
    m.wait_for(lambda: "RunTimes=4" in settings(m), what="the first reset's countdown")
    m.wait_for(lambda: m.service_state("ZeRegionSvc") == 4, what="the service to run")
    m.expect_eq(installed_products(m), ["ZeRegionSvc"], "registered products")

    code, log = msiexec(m, "/x", msi)
    m.require(code == ERROR_SUCCESS, f"uninstall exit code {code}; log:\n{log[-3000:]}")
    m.wait_for(lambda: not m.processes("ZeRegionSvc.exe"), what="the service process to end")
    m.wait_for(lambda: m.regdump(SERVICE_KEY) is None, what="the service key to go")
    expect_nothing_installed(m, what="after uninstall")
    m.expect(m.exists(APP_LOG), "the log stays after uninstall")
    m.expect_log_sequence(m.log_messages(), [
        "[ZeRegionSvc] argv[1] = /uninstall\r\n",
        "[ZeRegionSvc] ZeUninstallService\r\n",
    ], "uninstall")


@case("msi: an upgrade keeps the machine's settings")
def upgrade(m):
    m.import_reg(ADAPTER_REG)
    old, new = package(m, older_version(project_version(m.tier))), package(m)
    code, log = msiexec(m, "/i", old, f"HWID={HWID}")
    m.require(code == ERROR_SUCCESS, f"old install exit code {code}; log:\n{log[-3000:]}")
    m.wait_for(lambda: "RunTimes=4" in settings(m), what="the first reset's countdown")
    m.write_file(APP_INI, settings(m).replace("Zelvaro Country Reset Service", "Fleet Wi-Fi"))

    code, log = msiexec(m, "/i", new)
    m.require(code == ERROR_SUCCESS, f"upgrade exit code {code}; log:\n{log[-3000:]}")
    m.expect_eq(installed_products(m), ["ZeRegionSvc"], "registered products after the upgrade")
    # Started again by the upgrade: the kept budget counts on from 4.
    m.wait_for(lambda: "RunTimes=3" in settings(m), what="the countdown to go on from 4")
    m.expect("NetID=0007" in settings(m), f"Net ID after the upgrade: {settings(m)!r}")
    m.expect(m.read_file(APP_EXE) == packed_exe(m), "the upgrade left the old executable")
    expect_registered(m, display_name="Fleet Wi-Fi")


@case("msi: an older version, or another build of the same version, is refused")
def downgrade_and_rebuild(m):
    # On a first install: Wine's removal of a replaced product drops the upgrade code's
    # registration, after which Wine finds no related product at all.
    m.import_reg(ADAPTER_REG)
    old, new = package(m, older_version(project_version(m.tier))), package(m)
    code, log = msiexec(m, "/i", new, f"HWID={HWID}", "START=0")
    m.require(code == ERROR_SUCCESS, f"install exit code {code}; log:\n{log[-3000:]}")
    before = settings(m)
    code, log = msiexec(m, "/i", old)
    m.expect(code != ERROR_SUCCESS, "a downgrade succeeded")
    m.expect(re.search(r"WIX_DOWNGRADE_DETECTED = \{", log) is not None,
             f"the installed newer version was not detected:\n{log[-2000:]}")
    m.expect_eq(settings(m), before, "settings after the refused downgrade")
    expect_registered(m)

    # The installer would keep the executable of the same version on disk and report
    # success: the package refuses instead.
    code, log = msiexec(m, "/i", package(m, build="-rebuilt"), "START=0")
    m.expect(code != ERROR_SUCCESS, "another build of the same version was installed")
    m.expect(re.search(r"ZE_SAME_VERSION_DETECTED = \{", log) is not None,
             f"the installed build was not detected:\n{log[-2000:]}")
    m.expect(m.read_file(APP_EXE) == packed_exe(m), "the installed executable changed")
    m.expect_eq(installed_products(m), ["ZeRegionSvc"], "registered products after a rebuild")
    m.expect_eq(settings(m), before, "settings after a refused rebuild")
    expect_registered(m)


@case("msi: a HWID that matches nothing, or that is no hardware ID, fails and leaves nothing")
def refused_hardware_ids(m):
    m.import_reg(ADAPTER_REG)
    msi = package(m)
    cases = [
        # (HWID, the program ran and logged this argument)
        ("USB\\VID_0BDA", "USB\\VID_0BDA"),
        ("PCI\\VEN_14E4 &DEV_43A0", "PCI\\VEN_14E4 &DEV_43A0"),  # passed on whole
        # Refused before anything runs. (A double quote is refused the same way, but
        # Wine's msiexec drops quotes from property values, so it cannot be tried here.)
        ("PCI\\VEN_14E4&DEV_43A0\\", None),
        ("/uninstall", None),
    ]
    for hwid, logged in cases:
        m.remove_file(APP_LOG)
        code, log = msiexec(m, "/i", msi, "HWID=" + hwid)
        m.expect(code != ERROR_SUCCESS, f"HWID={hwid!r}: install succeeded")
        expect_nothing_installed(m, what=f"HWID={hwid!r}")
        messages = m.log_messages() or []
        if logged is None:
            # Wine's log has no launch condition texts; Windows logs the message.
            m.expect("LaunchConditions. Return value 0" in log,
                     f"HWID={hwid!r}: not refused by the launch conditions")
            m.expect_eq(messages, [], f"HWID={hwid!r}: the program ran")
        else:
            # The program's own log, kept beside the removed files, says why.
            m.expect_log_sequence(messages, [
                f"[ZeRegionSvc] argv[1] = {logged}\r\n",
                "[ZeRegionSvc] Device not found by HW ID!\r\n",
            ], f"HWID={hwid!r}")
            # The installer's log names the step, says what it does, and that it failed.
            for line in ("ZeRecordNetId. Finding the present network adapter whose first "
                         "hardware ID contains HWID", "ZeRecordNetId. Return value 0."):
                m.expect(line in log, f"HWID={hwid!r}: {line!r} not in the MSI log")


@case("msi: INSTALLDIR with blanks and non-ASCII, START=0, then a second run and a repair")
def odd_folder_and_repair(m):
    # Wine reaches non-ASCII file names only under a UTF-8 locale that exists on the
    # host (C.UTF-8); its service manager runs under the tier's locale, so the service
    # is not started here (START=0 throughout).
    m.import_reg(ADAPTER_REG)
    msi = package(m)
    folder = "C:\\Program Files\\Zelvaro Über Dienst"
    exe, ini = folder + "\\ZeRegionSvc.exe", folder + "\\ZeRegionSvc.ini"
    code, log = msiexec(m, "/i", msi, f"INSTALLDIR={folder}", f"HWID={HWID}", "START=0",
                        lc_all="C.UTF-8")
    m.require(code == ERROR_SUCCESS, f"install exit code {code}; log:\n{log[-3000:]}")
    m.require(m.exists(exe), "no executable in the chosen folder")
    expect_registered(m, exe=exe)
    m.expect_eq(m.service_state("ZeRegionSvc"), 1, "service state with START=0 (stopped)")
    m.expect("NetID=0007" in settings(m, ini) and "RunTimes=5" in settings(m, ini),
             f"settings: {settings(m, ini)!r}")

    m.write_file(ini, settings(m, ini).replace("RunTimes=5", "RunTimes=2"))
    code, _ = msiexec(m, "/i", msi, "START=0", lc_all="C.UTF-8")
    m.expect_eq(code, ERROR_SUCCESS, "second run exit code")
    m.expect("RunTimes=2" in settings(m, ini), f"settings after a second run: {settings(m, ini)!r}")

    # Wine's msiexec /f answers 1605 for any product; the same repair by properties:
    m.remove_file(folder + "\\ZeCoInst.dat")
    code, log = msiexec(m, "/i", msi, "REINSTALL=ALL", "REINSTALLMODE=omus", "START=0",
                        lc_all="C.UTF-8")
    m.require(code == ERROR_SUCCESS, f"repair exit code {code}; log:\n{log[-3000:]}")
    m.expect(m.exists(folder + "\\ZeCoInst.dat"), "the repair did not restore ZeCoInst.dat")
    expect_registered(m, exe=exe)
    m.expect("NetID=0007" in settings(m, ini) and "RunTimes=2" in settings(m, ini),
             f"settings after the repair: {settings(m, ini)!r}")


def failed_upgrade(m, break_upgrade, *arguments):
    """Installs the older version, lets break_upgrade(m) prepare the machine, runs the
    upgrade with arguments, which must fail, and checks that the older version stays
    listed with its service registered as before, and that the rollback did not remove
    that service. (Windows also restores the older files; Wine's rollback removes the
    components the upgrade installed instead, so their files cannot be checked here.)"""
    m.import_reg(ADAPTER_REG)
    code, log = msiexec(m, "/i", package(m, older_version(project_version(m.tier))),
                        f"HWID={HWID}", "START=0")
    m.require(code == ERROR_SUCCESS, f"old install exit code {code}; log:\n{log[-3000:]}")
    break_upgrade(m)
    registered = service_values(m)
    m.remove_file(APP_LOG)
    code, log = msiexec(m, "/i", package(m), *arguments)
    m.expect(code != ERROR_SUCCESS, "the upgrade succeeded")
    m.expect_eq(installed_products(m), ["ZeRegionSvc"], "registered products")
    m.expect_eq(service_values(m), registered, "the service's registration")
    expect_registered(m)
    m.expect("[ZeRegionSvc] ZeUninstallService\r\n" not in (m.log_messages() or []),
             "the rollback removed the service")
    m.expect("ZeRollbackRegister" not in log, "the rollback of a first install was scheduled")


@case("msi: an upgrade with a HWID that matches nothing fails and keeps the older version")
def upgrade_with_unknown_hardware_id(m):
    failed_upgrade(m, lambda m: None, "HWID=PCI\\VEN_DEAD&DEV_BEEF")


@case("msi: an upgrade whose service cannot be registered keeps the older one")
def upgrade_that_cannot_register(m):
    def take_display_name(m):
        # Another service goes by the display name the settings give ours.
        run = m.wine(["sc", "create", "ZeOther", "binPath=", "C:\\windows\\notepad.exe",
                      "DisplayName=", "Fleet Wi-Fi"])
        m.require(run.code == 0, f"sc create: {run.code}")
        m.write_file(APP_INI, settings(m).replace("Zelvaro Country Reset Service", "Fleet Wi-Fi"))
    failed_upgrade(m, take_display_name)
