#!/usr/bin/env python3
"""One version: the package target of the Windows build names its package after the
project's version and gives it that ProductVersion, the executable's version resource
carries the same numbers as ze_version.h, and the package's File row for the executable
carries that version and language (the installer compares versioned files by version),
with no file hash, which is for unversioned files only.

    tests/packaging/version_test.py <windows-build-dir>
"""
import os
import re
import subprocess
import sys


def resource_strings(exe):
    """name -> value of the version resource's strings (UTF-16, either alignment)."""
    with open(exe, "rb") as file:
        data = file.read()
    found = {}
    for start in (0, 1):
        text = data[start:].decode("utf-16-le", errors="replace")
        for name in ("FileVersion", "ProductVersion"):
            match = re.search(name + r"\x00+([0-9.]+)\x00", text)
            if match:
                found[name] = match.group(1)
    return found


def table(package, name):
    """The rows of a package's table as lists of cells, without the header lines."""
    text = subprocess.run(["msiinfo", "export", package, name], check=True,
                          capture_output=True, text=True).stdout
    return [line.split("\t") for line in text.splitlines()[3:]]


def main(build):
    with open(os.path.join(build, "generated", "ze_version.h")) as file:
        version = re.search(r'#define ZE_VERSION_TEXT "([0-9.]+)"', file.read()).group(1)
    subprocess.run(["cmake", "--build", build, "--target", "package"], check=True,
                   stdout=subprocess.DEVNULL)
    package = os.path.join(build, f"ZeRegionSvc-{version}-x64.msi")
    properties = dict(row[:2] for row in table(package, "Property"))
    exe_row = next(row for row in table(package, "File") if row[2] == "ZeRegionSvc.exe")
    resource = resource_strings(os.path.join(build, "ZeRegionSvc.exe"))
    expected = {"ProductVersion": version, "FileVersion": version + ".0",
                "resource ProductVersion": version + ".0", "File.Version": version + ".0",
                "File.Language": "1033", "hashed files": ["ZeCoInstDat"]}
    actual = {"ProductVersion": properties.get("ProductVersion"),
              "FileVersion": resource.get("FileVersion"),
              "resource ProductVersion": resource.get("ProductVersion"),
              "File.Version": exe_row[4], "File.Language": exe_row[5],
              "hashed files": [row[0] for row in table(package, "MsiFileHash")]}
    if actual != expected:
        print(f"FAIL: versions differ: expected {expected}, got {actual}")
        return 1
    print(f"PASS: version {version} in the package and the executable")
    return 0


if __name__ == "__main__":
    sys.exit(main(os.path.abspath(sys.argv[1])))
