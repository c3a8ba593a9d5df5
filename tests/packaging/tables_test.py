#!/usr/bin/env python3
"""The package's tables as Windows Installer reads them, where Wine's msiexec is lenient:

- each rollback action is scheduled right before the deferred action it undoes (the
  installer records it in the rollback script when it meets it, and runs that script
  backwards), under that action's condition and more;
- the program folder gets a protected access list of its own (MsiLockPermissionsEx on
  its CreateFolder row): full control for SYSTEM and Administrators, read and execute
  for Users, inherited by what is created in it, and nothing for anyone else.

    tests/packaging/tables_test.py <windows-build-dir> <source-dir>
"""
import os
import re
import subprocess
import sys
import tempfile

# msidbCustomActionType: rollback (0x100), in the script (0x400).
ROLLBACK, IN_SCRIPT = 0x100, 0x400
# What each of the program's commands undoes.
UNDOES = {"/uninstall": "/install", "/stop": "/start"}
FOLDER_ACES = {("A", "OICI", "FA", "SY"), ("A", "OICI", "FA", "BA"), ("A", "OICI", "FRFX", "BU")}


def table(package, name):
    """The table's rows; none when the package has no such table."""
    run = subprocess.run(["msiinfo", "export", package, name], capture_output=True, text=True)
    return [line.split("\t") for line in run.stdout.splitlines()[3:]] if run.returncode == 0 else []


def rollback_failures(package):
    actions = {row[0]: (int(row[1]), row[3]) for row in table(package, "CustomAction")}
    sequence = sorted((int(row[2]), row[0], row[1]) for row in table(package, "InstallExecuteSequence"))
    failures = []
    for index, (_, name, condition) in enumerate(sequence):
        kind, command = actions.get(name, (0, None))
        if kind & ROLLBACK:
            _, undone, undone_condition = sequence[index + 1]
            undone_kind, undone_command = actions.get(undone, (0, None))
            if undone_kind & (ROLLBACK | IN_SCRIPT) != IN_SCRIPT or UNDOES.get(command) != undone_command:
                failures.append(f"{name} ({command}) is followed by {undone} ({undone_command})")
            elif not condition.startswith(undone_condition):
                failures.append(f"{name} may run where {undone} does not: {condition!r}")
        elif kind & IN_SCRIPT and command in UNDOES.values():
            previous = actions.get(sequence[index - 1][1], (0, None))
            if not previous[0] & ROLLBACK or UNDOES.get(previous[1]) != command:
                failures.append(f"{name} ({command}) has no rollback action right before it")
    return failures


def permission_failures(package):
    rows = table(package, "MsiLockPermissionsEx")
    folders = {row[0] for row in table(package, "CreateFolder")}
    if [row[1:3] for row in rows] != [["INSTALLDIR", "CreateFolder"]] or "INSTALLDIR" not in folders:
        return [f"permission rows {rows}, created folders {folders}"]
    sddl = rows[0][3]
    aces = set(re.findall(r"\(([^;]*);([^;]*);([^;]*);[^;]*;[^;]*;([^)]*)\)", sddl))
    failures = []
    if not sddl.startswith("D:P("):
        failures.append(f"the access list is not protected: {sddl}")
    if aces != FOLDER_ACES:
        failures.append(f"access entries {sorted(aces)}")
    if table(package, "LockPermissions"):
        failures.append("LockPermissions rows beside MsiLockPermissionsEx")
    return failures


def main(build, source):
    with tempfile.TemporaryDirectory(prefix="ze-tables-") as scratch:
        package = os.path.join(scratch, "ZeRegionSvc.msi")
        subprocess.run(["python3", os.path.join(source, "packaging", "build_msi.py"),
                        "--exe", os.path.join(build, "ZeRegionSvc.exe"), "--country-data",
                        os.path.join(source, "examples", "demo-machine", "C", "Program Files",
                                     "Zelvaro", "ZeCoInst.dat"), "--output", package], check=True)
        failures = rollback_failures(package) + permission_failures(package)
    for failure in failures:
        print(f"FAIL: {failure}")
    if not failures:
        print("PASS: rollback actions before what they undo; the program folder's access list")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])))
