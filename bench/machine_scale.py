#!/usr/bin/env python3
"""Machine-scale benchmark: how the Linux program's cost grows with the registry.

    bench/machine_scale.py [--full]

Builds the program and zemachine (Release, in build/bench), makes machines with
bench/make_machine.py (the demo machine, and the demo plus 1,000 and 10,000 filler
keys; with --full or ZE_BENCH_FULL=1 also 100,000 keys, a 117 MB registry.reg, which
takes minutes and is not run by default), and for each prints:

  first open  the first use of the folder, which imports registry.reg into registry.db
  import      `zemachine import registry.reg`, replacing the registry in one transaction
  /debug      one foreground reset on the imported machine (median of nine runs)
  peak RSS    the largest resident size of any of those processes

with each /debug time as a multiple of the demo machine's. Two last lines run the demo
with 10,000 device instances under CurrentControlSet\\Enum over ten setup classes, and
import a registry.reg holding one 10 MB value. Targets: the 117 MB import within 15 s,
/debug on 100,000 keys within 3 times the demo's and on 10,000 devices within 1.5
times, peak RSS under 100 MB at every size.
"""
import os
import shutil
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
BUILD = os.path.join(ROOT, "build", "bench")

SMALL_KEY = "SYSTEM\\CurrentControlSet\\Control\\Class\\{4D36E972-E325-11CE-BFC1-08002bE10318}"


def build():
    subprocess.run(["cmake", "-S", ROOT, "-B", BUILD, "-DCMAKE_BUILD_TYPE=Release"], check=True,
                   stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", BUILD, "-j2", "--target", "ZeRegionSvc", "zemachine"],
                   check=True, stdout=subprocess.DEVNULL)


def measure(command, env=None):
    """Runs a command; returns (seconds, peak resident MB, exit code). The peak is the
    child's from wait4; it also covers the pages of this small Python process, which
    the child shares until it runs the command (some 10 MB at most)."""
    started = time.perf_counter()
    process = subprocess.Popen(command, env=env, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(process.pid, 0)
    elapsed = time.perf_counter() - started
    return elapsed, usage.ru_maxrss / 1024.0, os.waitstatus_to_exitcode(status)


def run_size(name, directory):
    zemachine = os.path.join(BUILD, "zemachine")
    exe = os.path.join(directory, "C", "Program Files", "Zelvaro", "ZeRegionSvc.exe")
    shutil.copy(os.path.join(BUILD, "ZeRegionSvc"), exe)
    env = dict(os.environ, ZEREGION_MACHINE=directory)
    reg = os.path.join(directory, "registry.reg")
    first, first_rss, code = measure([zemachine, "export", SMALL_KEY, "--output", os.devnull], env)
    assert code == 0, f"{name}: the first open failed"
    imported, import_rss, code = measure([zemachine, "import", reg], env)
    assert code == 0, f"{name}: zemachine import failed"
    runs = [measure([exe, "/debug"], env) for _ in range(9)]
    assert all(r[2] == 0 for r in runs), f"{name}: /debug failed"
    return {
        "name": name,
        "mb": os.path.getsize(reg) / 1048576.0,
        "first": first,
        "import": imported,
        "debug": statistics.median(r[0] for r in runs),
        "rss": max([first_rss, import_rss] + [r[1] for r in runs]),
    }


def make(keys, directory, big_value=False, devices=0):
    """Makes the machine in a process of its own, so that this one stays small."""
    subprocess.run([sys.executable, os.path.join(HERE, "make_machine.py"), str(keys), directory] +
                   (["--big-value"] if big_value else []) + ["--devices", str(devices)],
                   check=True, stdout=subprocess.DEVNULL)


def main(argv):
    full = "--full" in argv or os.environ.get("ZE_BENCH_FULL") == "1"
    build()
    machines = os.path.join(BUILD, "machines")
    sizes = [0, 1000, 10000] + ([100000] if full else [])
    results = []
    for keys in sizes:
        directory = os.path.join(machines, f"keys-{keys}")
        make(keys, directory)
        results.append(run_size("demo" if keys == 0 else f"demo + {keys:,} keys", directory))
    directory = os.path.join(machines, "devices-10000")
    make(0, directory, devices=10000)
    results.append(run_size("demo + 10,000 devices", directory))
    directory = os.path.join(machines, "big-value")
    make(0, directory, big_value=True)
    results.append(run_size("demo + one 10 MB value", directory))

    demo = results[0]["debug"]
    print(f"{'machine':<26}{'registry.reg':>13}{'first open':>12}{'import':>9}"
          f"{'/debug':>9}{'x demo':>8}{'peak RSS':>10}")
    for r in results:
        print(f"{r['name']:<26}{r['mb']:>10.1f} MB{r['first']:>10.2f} s{r['import']:>7.2f} s"
              f"{r['debug']:>7.3f} s{r['debug'] / demo:>7.2f}x{r['rss']:>7.1f} MB")
    if not full:
        print("(100,000 keys: bench/machine_scale.py --full)")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
