#!/usr/bin/env python3
"""Builds the ZeRegionSvc package from ZeRegionSvc.wxs with wixl, then adds with msibuild
what wixl (msitools 0.101) cannot express:

- the executable's own version and language in its File row, read from its version
  resource (the version CMake's project() gives it), and no MsiFileHash row for it: the
  installer compares versioned files by version and keeps hashes for unversioned ones;
  the product's version is the same version's first three parts;
- the settings entries: one IniFile row per key of ZeRegionSvc.ini beside this script,
  with the "create only" action, so a machine's own values are never overwritten;
- the removal of the settings file when the program is removed (RemoveFile);
- the program folder's permissions (MsiLockPermissionsEx, on the folder the Settings
  component creates): a protected access list, full control for SYSTEM and
  Administrators, read and execute for Users, inherited by what is created in it, so
  that wherever INSTALLDIR points no other user can change what the service runs as
  LocalSystem or the files it trusts;
- the rollback custom actions (wixl writes every Execute value but "deferred" as an
  immediate action);
- a description of each of the program's steps (ActionText), which the installer's log
  shows beside the step and its result;
- the public properties among the secure ones, so that Windows passes them from the
  command line to the installation of a per-machine package;
- the upgrade of older versions only, and the refusal, with a message, of a package when
  another build of the same version is installed: every build has a product code of its
  own, and the installer keeps an executable on disk whose version is the same as the
  package's, so such an upgrade would report success and leave the old program running.

With ZE_SIGN_PFX (and ZE_SIGN_PASSWORD) set, scripts/sign.sh signs the executable before
it is packed and then the package; without, both stay unsigned.

    build_msi.py --exe ZeRegionSvc.exe --country-data ZeCoInst.dat \\
                 --output ZeRegionSvc-1.2.3-x64.msi
"""

import argparse
import configparser
import os
import shutil
import struct
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
SIGN = os.path.join(HERE, "..", "scripts", "sign.sh")
SETTINGS_FILE = "ZeRegionSvc.ini"
SETTINGS_COMPONENT = "Settings"

# msidbCustomActionType: exe from an installed file (18), ignore the exit code (0x40),
# rollback (0x100), in the script (0x400), without impersonation (0x800).
ROLLBACK_EXE_FROM_FILE = 18 | 0x40 | 0x100 | 0x400 | 0x800
ROLLBACK_ACTIONS = ("ZeRollbackRegister", "ZeRollbackStart")
# msidbIniFileActionCreateLine: written only where the entry does not exist yet.
INI_CREATE_LINE = 1
# Standard sequence numbers of the settings actions.
WRITE_INI_VALUES = 5100
REMOVE_INI_VALUES = 3800
# The program folder's access list: protected (P), each entry inherited by files (OI) and
# folders (CI); SYSTEM and Administrators full control (FA), Users read and execute.
PROGRAM_FOLDER_SDDL = "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FRFX;;;BU)"
# msidbRemoveFileInstallModeOnRemove
ON_REMOVE = 2
# msidbUpgradeAttributes: MigrateFeatures (1), OnlyDetect (2), VersionMinInclusive (256),
# VersionMaxInclusive (512).
UPGRADE_OLDER_VERSIONS = 1
DETECT_THIS_VERSION = 2 | 256 | 512
UPGRADE_PROPERTY = "WIX_UPGRADE_DETECTED"
SAME_VERSION_PROPERTY = "ZE_SAME_VERSION_DETECTED"
SAME_VERSION_MESSAGE = ("Another build of ZeRegionSvc [ProductVersion] is installed. A package "
                        "of the same version cannot replace it: install a package of a newer "
                        "version, or uninstall the installed one first.")
PUBLIC_PROPERTIES = ("INSTALLDIR", "HWID", "START")
# What the log says of each of the program's steps; a failed step is followed by
# "Return value 0" or 3.
ACTION_TEXTS = {
    "ZeRecordNetId": "Finding the present network adapter whose first hardware ID contains "
                     "HWID and recording its Net ID; the install fails when none matches",
    "ZeRegister": "Registering the ZeRegionSvc service, or changing the registered one in "
                  "place (ZeRegionSvc.exe /install)",
    "ZeStart": "Starting the ZeRegionSvc service (ZeRegionSvc.exe /start)",
    "ZeUnregister": "Stopping and removing the ZeRegionSvc service (ZeRegionSvc.exe /uninstall)",
}


# VS_FIXEDFILEINFO begins with its signature and structure version; it sits 40 bytes
# into VS_VERSIONINFO, after the header and the key "VS_VERSION_INFO".
FIXED_FILE_INFO = struct.pack("<II", 0xFEEF04BD, 0x00010000)
FIXED_FILE_INFO_OFFSET = 40
TRANSLATION_KEY = "Translation\0".encode("utf-16-le")
# The executable's rows, as wixl names them after the wxs.
EXE_FILE = "ZeRegionSvcExe"


def version_resource(path):
    """(file version "a.b.c.d", language id) of a file's version resource: the fixed
    part's file version and the first language of its VarFileInfo Translation."""
    with open(path, "rb") as file:
        data = file.read()
    at = data.find(FIXED_FILE_INFO)
    if at < 0 or data.find(FIXED_FILE_INFO, at + 1) >= 0:
        raise SystemExit(f"build_msi: {path} has no single version resource")
    most, least = struct.unpack_from("<II", data, at + 8)
    version = f"{most >> 16}.{most & 0xFFFF}.{least >> 16}.{least & 0xFFFF}"
    start = at - FIXED_FILE_INFO_OFFSET
    key = data.find(TRANSLATION_KEY, at)
    if key < 0:
        raise SystemExit(f"build_msi: {path}'s version resource names no language")
    # The value follows the key, aligned to 4 bytes from the resource's start.
    value = start + (key + len(TRANSLATION_KEY) - start + 3) // 4 * 4
    (language,) = struct.unpack_from("<H", data, value)
    return version, language


def product_version(file_version):
    """The product's version as Windows Installer takes it: major.minor.build, with
    major and minor below 256 and build below 65536."""
    parts = [int(part) for part in file_version.split(".")[:3]]
    if any(part > limit for part, limit in zip(parts, (255, 255, 65535))):
        raise SystemExit(f"build_msi: version {file_version} is above 255.255.65535")
    return ".".join(str(part) for part in parts)


def settings_entries(path):
    """(section, key, value) of every entry of the settings file, in file order."""
    parser = configparser.ConfigParser(interpolation=None, comment_prefixes=(";", "#"))
    parser.optionxform = str  # keys keep their case
    with open(path, encoding="utf-8") as file:
        parser.read_file(file)
    return [(section, key, value) for section in parser.sections()
            for key, value in parser.items(section)]


def idt_text(columns, types, table_key, rows):
    """A table in the text archive format msibuild imports."""
    def cell(value):
        return "" if value is None else str(value)
    lines = ["\t".join(columns), "\t".join(types), table_key]
    lines += ["\t".join(cell(v) for v in row) for row in rows]
    return "\r\n".join(lines) + "\r\n"


def action_text_table():
    return idt_text(["Action", "Description", "Template"], ["s72", "L0", "L0"],
                    "ActionText\tAction",
                    [(action, text, None) for action, text in ACTION_TEXTS.items()])


def lock_permissions_table():
    return idt_text(["MsiLockPermissionsEx", "LockObject", "Table", "SDDLText", "Condition"],
                    ["s72", "s72", "s32", "s0", "S255"], "MsiLockPermissionsEx\tMsiLockPermissionsEx",
                    [("ProgramFolder", "INSTALLDIR", "CreateFolder", PROGRAM_FOLDER_SDDL, None)])


def ini_file_table(entries):
    rows = [(f"Setting{index}", SETTINGS_FILE, "INSTALLDIR", section, key,
             value.replace("[", "[\\[]"), INI_CREATE_LINE, SETTINGS_COMPONENT)
            for index, (section, key, value) in enumerate(entries, 1)]
    return idt_text(["IniFile", "FileName", "DirProperty", "Section", "Key", "Value", "Action",
                     "Component_"],
                    ["s72", "l255", "S72", "l96", "l128", "l255", "i2", "s72"],
                    "IniFile\tIniFile", rows)


def property_value(package, name):
    table = subprocess.run(["msiinfo", "export", package, "Property"], capture_output=True,
                           text=True, check=True).stdout
    for line in table.splitlines()[3:]:
        key, _, value = line.partition("\t")
        if key == name:
            return value
    return None


def run(command, cwd=None):
    result = subprocess.run(command, capture_output=True, text=True, cwd=cwd)
    # wixl warns through GLib about attributes it ignores; only a failure matters.
    if result.returncode != 0:
        sys.stderr.write(result.stdout + result.stderr)
        raise SystemExit(f"build_msi: {command[0]} failed with {result.returncode}")


def build(exe, country_data, output, wxs):
    file_version, language = version_resource(exe)
    version = product_version(file_version)
    output = os.path.abspath(output)
    os.makedirs(os.path.dirname(output), exist_ok=True)
    entries = settings_entries(os.path.join(HERE, SETTINGS_FILE))
    with tempfile.TemporaryDirectory() as scratch:
        # wixl finds sources by relative name only: it runs among copies of them.
        for source, name in ((exe, "ZeRegionSvc.exe"), (country_data, "ZeCoInst.dat")):
            shutil.copyfile(source, os.path.join(scratch, name))
        signing = bool(os.environ.get("ZE_SIGN_PFX"))
        if signing:
            run([SIGN, os.path.join(scratch, "ZeRegionSvc.exe")])
        run(["wixl", "-a", "x64", "-D", f"Version={version}", "-o", output,
             os.path.abspath(wxs)], cwd=scratch)
        tables = {"IniFile.idt": ini_file_table(entries), "ActionText.idt": action_text_table(),
                  "MsiLockPermissionsEx.idt": lock_permissions_table()}
        for name, text in tables.items():
            with open(os.path.join(scratch, name), "w", encoding="utf-8", newline="") as file:
                file.write(text)
        queries = [
            "INSERT INTO `InstallExecuteSequence` (`Action`, `Sequence`) "
            f"VALUES ('RemoveIniValues', {REMOVE_INI_VALUES})",
            "INSERT INTO `InstallExecuteSequence` (`Action`, `Sequence`) "
            f"VALUES ('WriteIniValues', {WRITE_INI_VALUES})",
            "INSERT INTO `RemoveFile` (`FileKey`, `Component_`, `FileName`, `DirProperty`, "
            f"`InstallMode`) VALUES ('RemoveSettingsFile', '{SETTINGS_COMPONENT}', "
            f"'{SETTINGS_FILE}', 'INSTALLDIR', {ON_REMOVE})",
        ]
        queries += [
            f"UPDATE `File` SET `Version` = '{file_version}', `Language` = '{language}' "
            f"WHERE `File` = '{EXE_FILE}'",
            f"DELETE FROM `MsiFileHash` WHERE `File_` = '{EXE_FILE}'",
        ]
        queries += [f"UPDATE `CustomAction` SET `Type` = {ROLLBACK_EXE_FROM_FILE} "
                    f"WHERE `Action` = '{action}'" for action in ROLLBACK_ACTIONS]
        # Attributes is part of the Upgrade table's key: the row is replaced, not updated.
        upgrade_code = "{" + property_value(output, "UpgradeCode").strip("{}").upper() + "}"
        queries += [
            f"DELETE FROM `Upgrade` WHERE `ActionProperty` = '{UPGRADE_PROPERTY}'",
            "INSERT INTO `Upgrade` (`UpgradeCode`, `VersionMax`, `Attributes`, "
            f"`ActionProperty`) VALUES ('{upgrade_code}', '{version}', "
            f"{UPGRADE_OLDER_VERSIONS}, '{UPGRADE_PROPERTY}')",
            "INSERT INTO `Upgrade` (`UpgradeCode`, `VersionMin`, `VersionMax`, `Attributes`, "
            f"`ActionProperty`) VALUES ('{upgrade_code}', '{version}', '{version}', "
            f"{DETECT_THIS_VERSION}, '{SAME_VERSION_PROPERTY}')",
            "INSERT INTO `LaunchCondition` (`Condition`, `Description`) VALUES "
            f"('Installed OR NOT {SAME_VERSION_PROPERTY}', '{SAME_VERSION_MESSAGE}')",
        ]
        secure = [p for p in (property_value(output, "SecureCustomProperties") or "").split(";")
                  if p] + list(PUBLIC_PROPERTIES) + [SAME_VERSION_PROPERTY]
        queries.append(f"UPDATE `Property` SET `Value` = '{';'.join(secure)}' "
                       "WHERE `Property` = 'SecureCustomProperties'")
        command = ["msibuild", output]
        for name in tables:
            command += ["-i", os.path.join(scratch, name)]
        for query in queries:
            command += ["-q", query]
        run(command)
        if signing:
            run([SIGN, output])


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--exe", required=True)
    parser.add_argument("--country-data", required=True)
    parser.add_argument("--output", required=True)
    parser.add_argument("--wxs", default=os.path.join(HERE, "ZeRegionSvc.wxs"))
    options = parser.parse_args(argv)
    build(options.exe, options.country_data, options.output, options.wxs)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
