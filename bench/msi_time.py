#!/usr/bin/env python3
"""Times a silent install and uninstall of the ZeRegionSvc package under Wine next to an
empty package built the same way (wixl, one small file, no custom actions), in one
fresh prefix each, and prints the times and their ratios.

    bench/msi_time.py build/windows [runs]
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "wine"))
import winetier  # noqa: E402

EMPTY_WXS = """<?xml version="1.0" encoding="utf-8"?>
<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">
  <Product Id="*" Name="Empty" Language="1033" Version="1.0.0" Manufacturer="Zelvaro"
           UpgradeCode="0e4b1f52-8f0e-4c1e-9b6d-3b0c5a3f7d21">
    <Package InstallerVersion="500" Compressed="yes" InstallScope="perMachine"/>
    <MediaTemplate EmbedCab="yes"/>
    <Directory Id="TARGETDIR" Name="SourceDir">
      <Directory Id="ProgramFiles64Folder">
        <Directory Id="INSTALLDIR" Name="Empty">
          <Component Id="Empty" Guid="*" Win64="yes"><File Id="Empty" Source="empty.txt"/></Component>
        </Directory>
      </Directory>
    </Directory>
    <Feature Id="Complete" Level="1"><ComponentRef Id="Empty"/></Feature>
  </Product>
</Wix>
"""


def timed(wine, env, arguments):
    started = time.time()
    result = subprocess.run([wine] + arguments, env=env, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL, timeout=300)
    if result.returncode != 0:
        raise SystemExit(f"{arguments} failed with {result.returncode}")
    return time.time() - started


def main(windows_dir, runs):
    wine = winetier.Wine()
    work = tempfile.mkdtemp(prefix="ze-msi-bench-")
    with open(os.path.join(work, "empty.txt"), "w") as file:
        file.write("empty\n")
    with open(os.path.join(work, "empty.wxs"), "w") as file:
        file.write(EMPTY_WXS)
    subprocess.run(["wixl", "-a", "x64", "-o", "empty.msi", "empty.wxs"], cwd=work, check=True,
                   capture_output=True)
    subprocess.run([sys.executable, os.path.join(HERE, "..", "packaging", "build_msi.py"),
                    "--exe", os.path.join(windows_dir, "ZeRegionSvc.exe"),
                    "--country-data", os.path.join(HERE, "..", "examples", "demo-machine", "C",
                                                   "Program Files", "Zelvaro", "ZeCoInst.dat"),
                    "--output", os.path.join(work, "zeregion.msi")], check=True)
    prefix = os.path.join(work, "prefix")
    wine.make_template(prefix)
    env = wine.env(prefix)
    subprocess.run([wine.wineserver, "-p"], env=env, check=True)
    times = {}
    try:
        for name in ("empty", "zeregion"):
            package = "Z:" + os.path.join(work, name + ".msi").replace("/", "\\")
            for step, flag in (("install", "/i"), ("uninstall", "/x")):
                times[(name, step)] = []
            for _ in range(runs):
                # START=0 and no HWID: the package's own cost, not the service's first reset.
                extra = ["START=0"] if name == "zeregion" else []
                times[(name, "install")].append(
                    timed(wine.wine, env, ["msiexec", "/i", package, "/qn"] + extra))
                times[(name, "uninstall")].append(
                    timed(wine.wine, env, ["msiexec", "/x", package, "/qn"]))
    finally:
        subprocess.run([wine.wineserver, "-k"], env=env)
        shutil.rmtree(work, ignore_errors=True)
    for step in ("install", "uninstall"):
        empty = min(times[("empty", step)])
        ours = min(times[("zeregion", step)])
        print(f"{step:9}  empty package {empty:5.2f} s   ZeRegionSvc package {ours:5.2f} s   "
              f"ratio {ours / empty:4.2f}   (best of {runs})")


if __name__ == "__main__":
    main(os.path.abspath(sys.argv[1]), int(sys.argv[2]) if len(sys.argv) > 2 else 3)
