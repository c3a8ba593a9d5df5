#!/usr/bin/env python3
"""Times /preview and /check against /debug on the same machine, and prints each one's
median and its ratio to /debug (target: at most 1.5); and /check /regdb, the regulatory
audit against wireless-regdb's database (placed on the machine as C:\regdb\regulatory.db),
against /check (target: at most 1.5).

    bench/preview_bench.py [--runs N] [--wine] [linux-build-dir [windows-build-dir]]

The simulated machine: the Linux program on fresh copies of the demo machine, one copy
per run (a run of /debug changes its machine). With --wine, also the Windows program
under Wine in one prefix made like the Wine tier's, holding the demo machine's files
and registry (later runs of /debug find the values written already and write them
again: the same work).
"""

import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

TOP = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
DEMO = os.path.join(TOP, "examples", "demo-machine")
REGDB = "/lib/firmware/regulatory.db"
CHECK_REGDB = ["/check", "/regdb", "C:\\regdb\\regulatory.db"]
COMMANDS = [["/debug"], ["/preview"], ["/preview", "json"], ["/check"], CHECK_REGDB]


def report(where, times):
    base = statistics.median(times[0])
    print(f"== {where}: median of {len(times[0])} runs")
    for command, samples in zip(COMMANDS, times):
        if samples:
            median = statistics.median(samples)
            print(f"  {' '.join(command):40} {median * 1000:8.1f} ms   ratio {median / base:.2f}")
    check = statistics.median(times[COMMANDS.index(["/check"])])
    audit = statistics.median(times[COMMANDS.index(CHECK_REGDB)])
    print(f"  /check /regdb against /check: ratio {audit / check:.2f}")


def on_simulated_machine(linux_dir, runs):
    program = os.path.join(linux_dir, "ZeRegionSvc")
    times = [[] for _ in COMMANDS]
    with tempfile.TemporaryDirectory(prefix="ze-bench-") as work:
        for _ in range(runs):
            for index, command in enumerate(COMMANDS):
                machine = os.path.join(work, "machine")
                shutil.rmtree(machine, ignore_errors=True)
                shutil.copytree(DEMO, machine)
                os.makedirs(os.path.join(machine, "C", "regdb"))
                shutil.copy(REGDB, os.path.join(machine, "C", "regdb", "regulatory.db"))
                exe = os.path.join(machine, "C", "Program Files", "Zelvaro", "ZeRegionSvc.exe")
                shutil.copy(program, exe)
                started = time.perf_counter()
                result = subprocess.run([exe] + command, capture_output=True)
                elapsed = time.perf_counter() - started
                if result.returncode in (0, 1):
                    times[index].append(elapsed)
    return times


def install_demo(m):
    """Puts the demo machine's registry and files, and the program, on a Wine machine."""
    registry = open(os.path.join(DEMO, "registry.reg"), "rb").read().decode("utf-16")
    m.import_reg(registry.split("\r\n", 1)[1])
    for root, _, files in os.walk(os.path.join(DEMO, "C")):
        for name in files:
            relative = os.path.relpath(os.path.join(root, name), os.path.join(DEMO, "C"))
            with open(os.path.join(root, name), "rb") as file:
                m.write_file("C:\\" + relative.replace("/", "\\"), file.read())
    with open(REGDB, "rb") as file:
        m.write_file("C:\\regdb\\regulatory.db", file.read())
    m.install()


def under_wine(windows_dir, runs):
    sys.path.insert(0, os.path.join(TOP, "tests", "wine"))
    import winetier  # noqa: E402  (the Wine tier's prefix handling)

    tier = winetier.Tier(windows_dir, os.path.join(TOP, "build", "linux"), 1, False)
    tier.prepare()
    times = [[] for _ in COMMANDS]

    def measure(m):
        install_demo(m)
        for _ in range(runs):
            for index, command in enumerate(COMMANDS):
                started = time.perf_counter()
                result = m.run(*command, lc_all="ja_JP.UTF-8")
                elapsed = time.perf_counter() - started
                if result.code in (0, 1):
                    times[index].append(elapsed)

    tier.run_case("bench: /debug, /preview and /check under Wine", measure)
    shutil.rmtree(tier.workdir, ignore_errors=True)
    return times


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("linux_build", nargs="?", default=os.path.join(TOP, "build", "linux"))
    parser.add_argument("windows_build", nargs="?", default=os.path.join(TOP, "build", "windows"))
    parser.add_argument("--runs", type=int, default=9)
    parser.add_argument("--wine", action="store_true")
    options = parser.parse_args()
    report("simulated machine (Linux build)", on_simulated_machine(options.linux_build,
                                                                   options.runs))
    if options.wine:
        report("Wine (Windows build)", under_wine(options.windows_build, options.runs))
    return 0


if __name__ == "__main__":
    sys.exit(main())
