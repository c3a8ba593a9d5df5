"""The Wine tier: runs the Windows build of ZeRegionSvc for real, under Wine.

Every case gets a fresh, throw-away Wine prefix (a copy of one template prefix made
at the start of the tier), with its own persistent wineserver. A case installs the
program in C:\\Program Files\\Zelvaro, imports registry state with regedit, runs the
program or a probe with a chosen locale and reads back the registry (through the
regdump helper), the settings files and the log.

Cases live in the cases_*.py modules beside this file; a case is a function taking a
Machine, registered with @case. See cases_startup.py for examples.
"""

import concurrent.futures
import dataclasses
import datetime
import difflib
import os
import re
import shutil
import subprocess
import sys
import tempfile
import threading
import time
import traceback

APP_DIR = "C:\\Program Files\\Zelvaro"
APP_EXE = APP_DIR + "\\ZeRegionSvc.exe"
APP_LOG = APP_DIR + "\\ZeRegionSvc.log"
APP_INI = APP_DIR + "\\ZeRegionSvc.ini"
TOOLS_DIR = "C:\\ze-tools"

# Locales the cases use: LC_ALL for Wine, the matching locale id for the simulation.
LOCALES = {
    "en_US.UTF-8": 0x0409,
    "ja_JP.UTF-8": 0x0411,
    "de_DE.UTF-8": 0x0407,
    "fr_FR.UTF-8": 0x040C,
    "zh_TW.UTF-8": 0x0404,
    "ko_KR.UTF-8": 0x0412,
}
DEFAULT_LOCALE = "en_US.UTF-8"

# Files of the template that are hard-linked into each case's prefix instead of being
# copied: Wine's own binaries, which nothing rewrites in place. Everything else (the
# registry hives, win.ini and the like) is copied, since Wine rewrites those files.
_LINKED_SUFFIXES = (".dll", ".exe", ".drv", ".sys", ".ocx", ".tlb", ".cpl", ".acm", ".ax",
                    ".ds", ".tsp", ".com", ".nls", ".msstyles", ".mui", ".sfd", ".ttf")

_CASES = []


def case(name):
    """Registers the decorated function as a case: def fn(machine)."""
    def register(function):
        _CASES.append((name, function))
        return function
    return register


def exit_code(value):
    """The low byte that reaches the shell for a Windows exit code (-107 -> 149)."""
    return value & 0xFF


class CaseFailure(Exception):
    """Raised to stop a case at a failed precondition."""


@dataclasses.dataclass
class RunResult:
    code: int          # the low byte of the exit code, as the shell sees it
    stdout: bytes
    stderr: bytes
    started: float     # time.time() before and after the run
    ended: float
    debug: list = dataclasses.field(default_factory=list)  # debugger stream messages


@dataclasses.dataclass
class RegValue:
    path: str
    name: str
    type: int
    data: bytes


@dataclasses.dataclass
class LogEntry:
    stamp: tuple       # (year, month, day, hour, minute, second, millisecond)
    stamp_text: str    # the prefix exactly as written, blank included
    text: str          # the message after the prefix


# "[Y-M-D h:m:s:ms] ": plain decimal fields without leading zeros, one blank after.
_FIELD = r"(0|[1-9][0-9]*)"
STAMP_RE = re.compile(r"\[" + "-".join([_FIELD] * 3) + " " + ":".join([_FIELD] * 4) + r"\] ")


def parse_log(data):
    """Splits the log's UTF-16LE text into entries at each timestamp prefix. Text
    before the first prefix becomes an entry with stamp None."""
    text = data.decode("utf-16-le")
    entries = []
    position = 0
    pending = None
    for match in STAMP_RE.finditer(text):
        if match.start() > position or pending is not None:
            chunk = text[position:match.start()]
            if pending is None:
                entries.append(LogEntry(None, "", chunk))
            else:
                entries.append(LogEntry(pending[0], pending[1], chunk))
        pending = (tuple(int(g) for g in match.groups()), match.group(0))
        position = match.end()
    if pending is not None:
        entries.append(LogEntry(pending[0], pending[1], text[position:]))
    elif text:
        entries.append(LogEntry(None, "", text))
    return entries


def _unescape_wine_string(body):
    """Decodes the C-style escapes of a string in Wine's debug output."""
    out = bytearray()
    i = 0
    simple = {"n": 10, "r": 13, "t": 9, "\\": 92, '"': 34, "0": 0}
    while i < len(body):
        c = body[i]
        if c == "\\" and i + 1 < len(body):
            nxt = body[i + 1]
            if nxt == "x":
                out.append(int(body[i + 2:i + 4], 16))
                i += 4
                continue
            if nxt == "u":
                out += chr(int(body[i + 2:i + 6], 16)).encode("cp1252", "replace")
                i += 6
                continue
            out.append(simple.get(nxt, ord(nxt)))
            i += 2
            continue
        out += c.encode("utf-8")
        i += 1
    return out.decode("cp1252", "replace")


_DEBUGSTR_RE = re.compile(r'^[0-9a-f]+:warn:seh:OutputDebugStringA "(.*)"$')


def parse_debug_stream(stderr):
    """The messages passed to OutputDebugString, from Wine's seh warnings (which is how
    Wine 8 shows the debugger stream when no debugger is attached)."""
    messages = []
    for line in stderr.decode("utf-8", "replace").splitlines():
        match = _DEBUGSTR_RE.match(line)
        if match:
            messages.append(_unescape_wine_string(match.group(1)))
    return messages


class Wine:
    """Where Wine is and how to call it."""

    def __init__(self):
        self.wine = self._find("ZE_WINE", ["/usr/lib/wine/wine64"], ["wine64", "wine"])
        self.wineserver = self._find("ZE_WINESERVER", ["/usr/lib/wine/wineserver"],
                                     ["wineserver"])

    @staticmethod
    def _find(variable, paths, names):
        if os.environ.get(variable):
            return os.environ[variable]
        for path in paths:
            if os.access(path, os.X_OK):
                return path
        for name in names:
            found = shutil.which(name)
            if found:
                return found
        raise SystemExit(f"wine tier: Wine not found (set {variable}); "
                         "scripts/install-deps.sh all installs it")

    def env(self, prefix, lc_all=DEFAULT_LOCALE, winedebug="-all"):
        env = dict(os.environ)
        env.update(WINEPREFIX=prefix, WINEDEBUG=winedebug, LC_ALL=lc_all,
                   WINEDLLOVERRIDES="mscoree,mshtml=", DISPLAY="")
        env.pop("WAYLAND_DISPLAY", None)
        return env

    def make_template(self, prefix):
        env = self.env(prefix)
        subprocess.run([self.wine, "wineboot", "-i"], env=env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, check=True, timeout=300)
        # Wait until the server has shut down: only then are the hives on disk.
        subprocess.run([self.wineserver, "-w"], env=env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True,
                       timeout=300)


def clone_prefix(template, target):
    """Copies a prefix: symlinks as symlinks, Wine's binaries hard-linked, the rest
    copied, so a case can change anything it writes without touching the template."""
    for root, dirs, files in os.walk(template):
        relative = os.path.relpath(root, template)
        target_root = os.path.normpath(os.path.join(target, relative))
        os.makedirs(target_root, exist_ok=True)
        for name in list(dirs) + files:
            source = os.path.join(root, name)
            destination = os.path.join(target_root, name)
            if os.path.islink(source):
                os.symlink(os.readlink(source), destination)
                if name in dirs:
                    dirs.remove(name)
            elif name in files:
                if relative == "." and name == "wineserver":
                    continue
                if name.lower().endswith(_LINKED_SUFFIXES):
                    os.link(source, destination)
                else:
                    shutil.copy2(source, destination)


class Machine:
    """One fresh Windows machine (a Wine prefix) for one case, with helpers to set it
    up, run programs on it and read back what they did, and to record failures."""

    def __init__(self, tier, name, directory):
        self.tier = tier
        self.name = name
        self.directory = directory
        self.prefix = os.path.join(directory, "prefix")
        self.failures = []
        self.skipped = []  # parts of the case that could not run here, and why
        self._imports = 0
        self._runs = 0
        self._sims = 0
        clone_prefix(tier.template, self.prefix)
        self._server(["-p"])
        self.write_file(TOOLS_DIR + "\\regdump.exe", tier.windows_file("regdump.exe"))
        self._boot()

    def _boot(self):
        """Waits until Wine's service manager has started every automatic service.
        While it starts one, it waits for that service's process on a control pipe,
        and a program calling StartServiceCtrlDispatcherW meanwhile would be taken
        for that service instead of failing as on Windows."""
        for service in self.tier.autostart_services:
            self.wait_for(lambda: b": 4  RUNNING" in self.wine(["sc", "query", service]).stdout,
                          timeout=60, what=f"the service {service} to run")

    # ---- expectations ----

    def expect(self, condition, message):
        if not condition:
            self.failures.append(message)
        return bool(condition)

    def expect_eq(self, actual, expected, what):
        if actual != expected:
            self.failures.append(f"{what}: expected {expected!r}, got {actual!r}")
            return False
        return True

    def require(self, condition, message):
        if not condition:
            raise CaseFailure(message)

    # ---- files ----

    def host_path(self, windows_path):
        drive, _, rest = windows_path.partition(":")
        if drive.upper() != "C":
            raise ValueError(f"only drive C: is mapped: {windows_path}")
        parts = [p for p in rest.split("\\") if p]
        return os.path.join(self.prefix, "drive_c", *parts)

    def write_file(self, windows_path, data):
        """Writes a file (bytes, or str written as UTF-8). The old file is unlinked
        first, so that a file hard-linked to the template is never written through."""
        path = self.host_path(windows_path)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        if os.path.lexists(path):
            os.unlink(path)
        with open(path, "wb") as file:
            file.write(data.encode("utf-8") if isinstance(data, str) else data)

    def read_file(self, windows_path):
        """The file's bytes, or None when it does not exist."""
        try:
            with open(self.host_path(windows_path), "rb") as file:
                return file.read()
        except FileNotFoundError:
            return None

    def remove_file(self, windows_path):
        path = self.host_path(windows_path)
        if os.path.lexists(path):
            os.unlink(path)

    def exists(self, windows_path):
        return os.path.exists(self.host_path(windows_path))

    def install(self, files=None, exe_path=APP_EXE):
        """Places the program (and the given {file name: bytes or str} files) in its
        folder."""
        self.write_file(exe_path, self.tier.windows_file("ZeRegionSvc.exe"))
        folder = exe_path.rsplit("\\", 1)[0]
        for name, data in (files or {}).items():
            self.write_file(folder + "\\" + name, data)

    # ---- processes ----

    def _server(self, arguments):
        subprocess.run([self.tier.wine.wineserver] + arguments,
                       env=self.tier.wine.env(self.prefix), stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True,
                       timeout=60)

    def wine(self, arguments, lc_all=DEFAULT_LOCALE, timeout=120, debug_stream=False,
             cwd=None, winedebug=None):
        """Runs a Windows program under Wine and returns a RunResult. With debug_stream
        the messages sent to OutputDebugString are collected into result.debug;
        winedebug, when given, is Wine's WINEDEBUG for the run."""
        if winedebug is None:
            winedebug = "-all,warn+seh" if debug_stream else "-all"
        # Output goes to files, not pipes: the helper processes Wine starts in the
        # background (services, devices) inherit them and never close a pipe.
        self._runs += 1
        out_path = os.path.join(self.directory, f"run{self._runs}.out")
        err_path = os.path.join(self.directory, f"run{self._runs}.err")
        started = time.time()
        with open(out_path, "wb") as out, open(err_path, "wb") as err:
            try:
                process = subprocess.run([self.tier.wine.wine] + list(arguments),
                                         env=self.tier.wine.env(self.prefix, lc_all, winedebug),
                                         stdin=subprocess.DEVNULL, stdout=out, stderr=err,
                                         timeout=timeout, cwd=cwd or self.directory)
            except subprocess.TimeoutExpired:
                raise CaseFailure(f"{arguments!r} did not end within {timeout}s") from None
        ended = time.time()
        with open(out_path, "rb") as out, open(err_path, "rb") as err:
            result = RunResult(process.returncode, out.read(), err.read(), started, ended)
        if debug_stream:
            result.debug = parse_debug_stream(result.stderr)
        return result

    def run(self, *arguments, lc_all=DEFAULT_LOCALE, exe_path=APP_EXE, timeout=120,
            debug_stream=False, winedebug=None):
        """Runs the program with the given arguments."""
        return self.wine([exe_path] + list(arguments), lc_all=lc_all, timeout=timeout,
                         debug_stream=debug_stream, winedebug=winedebug)

    def processes(self, exe_name):
        """The Linux process ids of this machine's running Windows processes of the
        executable exe_name. Wine shows a process's Windows path as the first word of
        its command line; WINEPREFIX in its environment tells the machines apart."""
        prefix = f"WINEPREFIX={self.prefix}".encode()
        found = []
        for pid in os.listdir("/proc"):
            if not pid.isdigit():
                continue
            try:
                with open(f"/proc/{pid}/cmdline", "rb") as file:
                    command = file.read()
                with open(f"/proc/{pid}/environ", "rb") as file:
                    environment = file.read().split(b"\0")
            except OSError:
                continue  # gone meanwhile, or not ours to read
            program = command.split(b"\0", 1)[0].decode("utf-8", "replace")
            if program.rsplit("\\", 1)[-1].lower() == exe_name.lower() and prefix in environment:
                found.append(int(pid))
        return found

    def service_state(self, service):
        """The state number that "sc query" reports for the service (None when the
        query fails)."""
        run = self.wine(["sc", "query", service])
        for line in run.stdout.decode("utf-8", "replace").splitlines():
            if line.strip().startswith("STATE"):
                return int(line.split(":", 1)[1].split()[0])
        return None

    def import_reg(self, body):
        """Imports registry state with regedit /S. body is the text of a .reg file
        after its header line: sections like [HKEY_LOCAL_MACHINE\\...] and values."""
        self._imports += 1
        path = f"{TOOLS_DIR}\\import{self._imports}.reg"
        self.write_file(path, reg_file_bytes(body))
        result = self.wine(["regedit", "/S", path])
        self.require(result.code == 0, f"regedit /S failed with {result.code}")

    def regdump(self, key):
        """Every value under HKLM\\key, recursively, as RegValue records in enumeration
        order; None when the key does not exist."""
        result = self.wine([TOOLS_DIR + "\\regdump.exe", key])
        if result.code == 2:
            return None
        self.require(result.code == 0, f"regdump {key} failed with {result.code}")
        values = []
        for line in result.stdout.decode("utf-8").splitlines():
            path, name, type_text, data = line.rsplit("|", 3)
            values.append(RegValue(path, name, int(type_text), bytes.fromhex(data)))
        return values

    def reg_value(self, key, name):
        """(type, data) of one value, or None when the key or the value is missing."""
        for value in self.regdump(key) or []:
            if value.path.lower() == key.lower() and value.name.lower() == name.lower():
                return value.type, value.data
        return None

    def wait_for(self, condition, timeout=30, what="condition"):
        """Polls condition() until it returns a true value, which is returned; fails
        the case after timeout seconds."""
        deadline = time.time() + timeout
        while True:
            value = condition()
            if value:
                return value
            if time.time() > deadline:
                raise CaseFailure(f"timed out after {timeout}s waiting for {what}")
            time.sleep(0.1)

    # ---- the program's own files ----

    def log_bytes(self, log_path=APP_LOG):
        return self.read_file(log_path)

    def log_entries(self, log_path=APP_LOG):
        data = self.read_file(log_path)
        return None if data is None else parse_log(data)

    def log_messages(self, log_path=APP_LOG):
        entries = self.log_entries(log_path)
        return None if entries is None else [entry.text for entry in entries]

    def expect_log_sequence(self, messages, expected, what="log"):
        """Expects the expected messages to appear in this order (others may come
        between them)."""
        position = 0
        for message in expected:
            try:
                position = messages.index(message, position) + 1
            except ValueError:
                self.failures.append(f"{what}: missing {message!r} (in order) in "
                                     f"{messages!r}")
                return False
        return True

    def expect_stamps(self, entries, run, what="log"):
        """Expects every entry to carry a valid timestamp within the run's time (local
        time, as GetLocalTime gives it), in non-decreasing order."""
        low = datetime.datetime.fromtimestamp(run.started) - datetime.timedelta(seconds=2)
        high = datetime.datetime.fromtimestamp(run.ended) + datetime.timedelta(seconds=2)
        previous = None
        for entry in entries:
            if entry.stamp is None:
                self.failures.append(f"{what}: text without timestamp: {entry.text!r}")
                return False
            try:
                year, month, day, hour, minute, second, millisecond = entry.stamp
                when = datetime.datetime(year, month, day, hour, minute, second,
                                         millisecond * 1000)
            except ValueError:
                when = None
            if when is None or not low <= when <= high:
                self.failures.append(f"{what}: timestamp {entry.stamp_text!r} is not the "
                                     f"time of the run ({low} to {high})")
                return False
            if previous is not None and when < previous:
                self.failures.append(f"{what}: timestamp {entry.stamp_text!r} goes back")
                return False
            previous = when
        return True

    def close(self):
        try:
            self._server(["-k"])
        except subprocess.CalledProcessError:
            pass  # the server had already gone
        shutil.rmtree(self.directory, ignore_errors=True)


def reg_file_bytes(body):
    """A .reg file as regedit writes it: UTF-16LE with BOM, CR LF line ends."""
    text = "Windows Registry Editor Version 5.00\r\n\r\n" + body.replace("\r\n", "\n").replace(
        "\n", "\r\n")
    return b"\xff\xfe" + text.encode("utf-16-le")


class SimMachine:
    """A simulated machine kept in a folder, for the Linux build of a probe."""

    def __init__(self, probe, directory, lc_all):
        self.probe = probe
        self.directory = directory
        result = subprocess.run([probe, "--machine", directory, "--create-machine",
                                 f"{LOCALES[lc_all]:04x}"], capture_output=True, timeout=60)
        if result.returncode != 0:
            raise CaseFailure("cannot create the simulated machine: " +
                              result.stderr.decode("utf-8", "replace"))

    def write_file(self, windows_path, data):
        drive, _, rest = windows_path.partition(":")
        path = os.path.join(self.directory, drive.upper(), *[p for p in rest.split("\\") if p])
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as file:
            file.write(data.encode("utf-8") if isinstance(data, str) else data)

    def plug(self, instance_ids):
        """Plugs the devices in: Wine enumerates a device once it is under Enum, the
        simulation only once it is present."""
        with open(os.path.join(self.directory, "machine.ini"), "a", encoding="utf-8") as file:
            file.write("".join(f"plugged{n}={device}\n" for n, device in enumerate(instance_ids)))

    def import_reg(self, body):
        """Adds the body to the machine's registry.reg, as regedit /S adds it to Wine's."""
        path = os.path.join(self.directory, "registry.reg")
        existing = ""
        if os.path.exists(path):
            with open(path, "rb") as file:
                data = file.read()
            existing = (data[2:].decode("utf-16-le") if data.startswith(b"\xff\xfe")
                        else data.decode("utf-8-sig"))
        if not existing.strip():
            existing = "Windows Registry Editor Version 5.00\r\n"
        text = existing.rstrip("\r\n") + "\r\n\r\n" + body.replace("\r\n", "\n").replace(
            "\n", "\r\n")
        with open(path, "wb") as file:
            file.write(b"\xff\xfe" + text.encode("utf-16-le"))

    def run(self, arguments, timeout=60):
        started = time.time()
        process = subprocess.run([self.probe, "--machine", self.directory] + list(arguments),
                                 capture_output=True, timeout=timeout)
        return RunResult(process.returncode, process.stdout, process.stderr, started,
                         time.time())


def compare_probe_outputs(machine, wine_output, sim_output, what):
    """Expects the two probe outputs to agree line by line; reports the differences."""
    wine_lines = wine_output.decode("utf-8", "replace").splitlines()
    sim_lines = sim_output.decode("utf-8", "replace").splitlines()
    if wine_lines == sim_lines:
        return True
    diff = difflib.unified_diff(wine_lines, sim_lines, "wine", "sim", lineterm="", n=1)
    shown = list(diff)[:40]
    machine.failures.append(f"{what}: the simulation differs from Wine:\n      " +
                            "\n      ".join(shown))
    return False


def run_probe(machine, probe, arguments=(), lc_all=DEFAULT_LOCALE, reg=None, files=None,
              present=()):
    """Runs a probe under Wine and, when the Linux build has it, on the simulated
    machine with the same registry, files and locale, and compares the outputs.
    files maps Windows paths on C: to contents; present lists the device instances
    under Enum to plug into the simulation. Returns the Wine run's output.
    Without a Linux build of the probe the comparison is not made and the case is
    reported as skipped (its other expectations still count)."""
    wine, sim = run_probe_both(machine, probe, arguments, lc_all, reg, files, present)
    if sim is not None:
        label = " ".join([probe] + list(arguments)) + f" ({lc_all})"
        compare_probe_outputs(machine, wine, sim, label)
    return wine


def run_probe_both(machine, probe, arguments=(), lc_all=DEFAULT_LOCALE, reg=None, files=None,
                   present=()):
    """The same runs as run_probe, without the comparison, for a documented difference
    between Wine and Windows: (Wine's output, the simulation's output or None)."""
    if reg:
        machine.import_reg(reg)
    for path, data in (files or {}).items():
        machine.write_file(path, data)
    machine.write_file(f"{TOOLS_DIR}\\{probe}.exe", machine.tier.windows_file(
        os.path.join("probes", probe + ".exe")))
    result = machine.wine([f"{TOOLS_DIR}\\{probe}.exe"] + list(arguments), lc_all=lc_all)
    machine.expect_eq(result.code, 0, f"{probe} exit code under Wine")

    linux_probe = machine.tier.linux_file(os.path.join("probes", probe))
    if linux_probe is None:
        note = f"not compared with the simulation: no Linux build of {probe}"
        if note not in machine.skipped:
            machine.skipped.append(note)
        return result.stdout, None
    machine._sims += 1
    sim = SimMachine(linux_probe, os.path.join(machine.directory, f"sim{machine._sims}"),
                     lc_all)
    if reg:
        sim.import_reg(reg)
    sim.plug(present)
    for path, data in (files or {}).items():
        sim.write_file(path, data)
    sim_result = sim.run(arguments)
    machine.expect_eq(sim_result.code, 0, f"{probe} exit code on the simulation")
    return result.stdout, sim_result.stdout


def autostart_services(prefix):
    """The services a prefix starts by itself (start type boot, system or automatic),
    from its system.reg."""
    with open(os.path.join(prefix, "system.reg"), encoding="utf-8", errors="replace") as file:
        text = file.read()
    services = []
    for block in text.split("\n\n"):
        key = re.match(r"\[System\\\\CurrentControlSet\\\\Services\\\\([^\\\]]+)\]", block)
        start = re.search(r'^"Start"=dword:([0-9a-f]{8})$', block, re.MULTILINE)
        if key and start and int(start.group(1), 16) <= 2:
            services.append(key.group(1))
    return services


class Tier:
    def __init__(self, windows_dir, linux_dir, jobs, keep):
        self.windows_dir = os.path.abspath(windows_dir)
        self.linux_dir = os.path.abspath(linux_dir)
        self.jobs = jobs
        self.keep = keep
        self.wine = Wine()
        self.workdir = tempfile.mkdtemp(prefix="ze-wine-tier-")
        self.template = os.environ.get("ZE_WINE_TEMPLATE") or os.path.join(self.workdir,
                                                                            "template")
        self._print_lock = threading.Lock()

    def windows_file(self, relative):
        path = os.path.join(self.windows_dir, relative)
        with open(path, "rb") as file:
            return file.read()

    def linux_file(self, relative):
        path = os.path.join(self.linux_dir, relative)
        return path if os.access(path, os.X_OK) else None

    def prepare(self):
        for needed in ("ZeRegionSvc.exe", "regdump.exe"):
            if not os.path.exists(os.path.join(self.windows_dir, needed)):
                raise SystemExit(f"wine tier: {needed} missing in {self.windows_dir}; build it "
                                 "with: cmake --preset windows && cmake --build --preset windows")
        if not os.path.exists(os.path.join(self.template, "system.reg")):
            started = time.time()
            self.wine.make_template(self.template)
            print(f"template prefix ready ({time.time() - started:.1f}s)", flush=True)
        self.autostart_services = autostart_services(self.template)

    def run_case(self, name, function):
        directory = tempfile.mkdtemp(prefix="case-", dir=self.workdir)
        started = time.time()
        status, details = "PASS", []
        machine = None
        try:
            machine = Machine(self, name, directory)
            function(machine)
            if machine.failures:
                status, details = "FAIL", machine.failures
            elif machine.skipped:
                status, details = "SKIP", machine.skipped
        except CaseFailure as failure:
            status = "FAIL"
            details = (machine.failures if machine else []) + [str(failure)]
        except Exception:  # a broken case is a failed case, not a broken tier
            status = "FAIL"
            details = (machine.failures if machine else []) + [traceback.format_exc()]
        finally:
            if machine and not self.keep:
                machine.close()
            elif machine:
                machine._server(["-k"])
        elapsed = time.time() - started
        with self._print_lock:
            print(f"{status}  {name} ({elapsed:.1f}s)", flush=True)
            for detail in details:
                print("      " + str(detail).rstrip().replace("\n", "\n      "), flush=True)
            if self.keep:
                print(f"      kept: {directory}", flush=True)
        return status

    def run(self, selected):
        started = time.time()
        self.prepare()
        with concurrent.futures.ThreadPoolExecutor(max_workers=self.jobs) as pool:
            statuses = list(pool.map(lambda c: self.run_case(*c), selected))
        if not self.keep and not os.environ.get("ZE_WINE_TEMPLATE"):
            shutil.rmtree(self.workdir, ignore_errors=True)
        passed = statuses.count("PASS")
        failed = statuses.count("FAIL")
        skipped = statuses.count("SKIP")
        print(f"wine tier took {time.time() - started:.1f}s")
        if skipped:
            print(f"{skipped} skipped")
        print(f"{passed} passed, {failed} failed")
        return 1 if failed or not passed else 0


def main(argv):
    import argparse
    import importlib

    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("windows_build")
    parser.add_argument("linux_build")
    parser.add_argument("filters", nargs="*", help="run only cases whose name contains one")
    parser.add_argument("-j", "--jobs", type=int,
                        default=int(os.environ.get("ZE_WINE_JOBS", "2")))
    parser.add_argument("--keep", action="store_true", help="keep the prefixes for a look")
    parser.add_argument("--list", action="store_true")
    # Intermixed: options may come between or after the filters, as run.sh shows them.
    options = parser.parse_intermixed_args(argv)

    here = os.path.dirname(os.path.abspath(__file__))
    sys.path.insert(0, here)
    for module in sorted(f[:-3] for f in os.listdir(here)
                         if f.startswith("cases_") and f.endswith(".py")):
        importlib.import_module(module)
    selected = [c for c in _CASES
                if not options.filters or any(f in c[0] for f in options.filters)]
    if options.list:
        for name, _ in selected:
            print(name)
        return 0
    if not selected:
        print("wine tier: no case selected")
        return 1
    return Tier(options.windows_build, options.linux_build, options.jobs, options.keep).run(
        selected)
