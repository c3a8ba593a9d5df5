#!/usr/bin/env python3
"""Times /debug of two builds of the program, in turn, and prints each one's median
and the ratio of the second to the first: whether a change made the reset slower.

    bench/debug_pair.py [--runs N] [--wine] LINUX_A LINUX_B [WINDOWS_A WINDOWS_B]

The runs alternate between the two builds, in turn first and second, after one run of
each that is not counted, so that whatever else the machine is doing (and the first
start of a Wine prefix) weighs on both alike. On the simulated machine each run has a fresh copy of the demo
machine; under Wine both builds run on one prefix holding the demo machine, as in
preview_bench.py (later runs write the same values again: the same work).
"""

import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

import preview_bench

DEMO = preview_bench.DEMO


def turns(count, run):
    """The order of the builds in one round: reversed every other round."""
    order = list(range(count))
    return order if run % 2 == 0 else order[::-1]


def simulated_run(program, work):
    machine = os.path.join(work, "machine")
    shutil.rmtree(machine, ignore_errors=True)
    shutil.copytree(DEMO, machine)
    exe = os.path.join(machine, "C", "Program Files", "Zelvaro", "ZeRegionSvc.exe")
    shutil.copy(program, exe)
    started = time.perf_counter()
    result = subprocess.run([exe, "/debug"], capture_output=True)
    elapsed = time.perf_counter() - started
    if result.returncode != 0:
        raise SystemExit(f"{program}: /debug exited {result.returncode}")
    return elapsed


def on_simulated_machine(builds, runs):
    programs = [os.path.join(build, "ZeRegionSvc") for build in builds]
    times = [[] for _ in programs]
    with tempfile.TemporaryDirectory(prefix="ze-bench-") as work:
        for program in programs:
            simulated_run(program, work)
        for run in range(runs):
            for index in turns(len(programs), run):
                times[index].append(simulated_run(programs[index], work))
    return times


def under_wine(builds, runs):
    sys.path.insert(0, os.path.join(preview_bench.TOP, "tests", "wine"))
    import winetier  # noqa: E402  (the Wine tier's prefix handling)

    # One prefix for both builds, each run putting its build's executable in place:
    # two prefixes of the same template can differ several times over in how long
    # Wine takes to restart the adapter, which would swamp the builds' difference.
    tier = winetier.Tier(builds[0], os.path.join(preview_bench.TOP, "build", "linux"), 1, False)
    tier.prepare()
    machine = winetier.Machine(tier, "bench", tempfile.mkdtemp(dir=tier.workdir))
    preview_bench.install_demo(machine)
    executables = []
    for build in builds:
        with open(os.path.join(build, "ZeRegionSvc.exe"), "rb") as exe:
            executables.append(exe.read())
    times = [[] for _ in builds]
    try:
        for run in range(-1, runs):
            for index in turns(len(builds), run):
                machine.write_file(winetier.APP_EXE, executables[index])
                started = time.perf_counter()
                result = machine.run("/debug", lc_all="ja_JP.UTF-8")
                if run >= 0:
                    times[index].append(time.perf_counter() - started)
                if result.code != 0:
                    raise SystemExit(f"{builds[index]}: /debug exited {result.code}")
    finally:
        machine.close()
        shutil.rmtree(tier.workdir, ignore_errors=True)
    return times


def report(where, builds, times):
    medians = [statistics.median(samples) for samples in times]
    print(f"== {where}: /debug, median of {len(times[0])} runs each")
    for build, median in zip(builds, medians):
        print(f"  {median * 1000:8.1f} ms  {build}")
    print(f"  ratio second/first {medians[1] / medians[0]:.2f}")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("linux_builds", nargs=2)
    parser.add_argument("windows_builds", nargs="*")
    parser.add_argument("--runs", type=int, default=15)
    parser.add_argument("--wine", action="store_true")
    options = parser.parse_args()
    report("simulated machine (Linux builds)", options.linux_builds,
           on_simulated_machine(options.linux_builds, options.runs))
    if options.wine:
        if len(options.windows_builds) != 2:
            parser.error("--wine needs the two Windows build folders")
        report("Wine (Windows builds)", options.windows_builds,
               under_wine(options.windows_builds, options.runs))
    return 0


if __name__ == "__main__":
    sys.exit(main())
