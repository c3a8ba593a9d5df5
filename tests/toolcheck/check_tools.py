#!/usr/bin/env python3
"""Checks that every external tool the repository's scripts and build files call is
installed by scripts/install-deps.sh or is part of a minimal Debian (debootstrap's
minbase: the packages of priority "required", apt, and what they depend on).

    check_tools.py [-v] [REPOSITORY]      (-v lists each program and its package)

Reads the shell scripts (*.sh and files with a shell #!), the CMake files and presets,
and the test harness's Python; finds each tool on this machine and the Debian package
that owns it (dpkg), and fails when that package comes from neither list, or when no
package here provides the tool at all."""

import json
import os
import re
import shutil
import subprocess
import sys

# Tools the README asks of the user rather than installing them.
USER_PROVIDED = {"sudo": "the README asks for root or sudo"}

# Packages that debootstrap adds to the "required" ones for a minbase bookworm.
MINBASE_EXTRA = ("apt", "usr-is-merged")

SKIPPED_DIRS = {".git", "build", "examples"}
# This check's own tests, which hold made-up calls.
SKIPPED_FILES = {os.path.join("tests", "toolcheck", "test_check_tools.py")}

# ---------------------------------------------------------------- shell scripts


class Word(str):
    """A shell word with its quotes removed; `line` is where it starts."""

    def __new__(cls, text, line):
        word = super().__new__(cls, text)
        word.line = line
        return word


class ShellTokens:
    """Splits shell text into words and operators, enough to find the commands in it.

    Expansions stay in the word as `$`, so a word holding one reads as dynamic.
    Command substitutions and the bodies of here-documents fed to a shell are scanned
    as texts of their own and land in `nested`."""

    OPERATORS = ("&&", "||", ";;", ";&", "|&", ";", "&", "|", "(", ")")

    def __init__(self, text, first_line=1, nested=None):
        self.text = text
        self.i = 0
        self.line = first_line
        self.tokens = []
        self.nested = nested if nested is not None else []
        self.heredocs = []
        self.word = None
        self.word_line = first_line

    # -- helpers
    def peek(self, offset=0):
        index = self.i + offset
        return self.text[index] if index < len(self.text) else ""

    def add(self, text):
        if self.word is None:
            self.word, self.word_line = "", self.line
        self.word += text

    def end_word(self):
        if self.word is not None:
            self.tokens.append(Word(self.word, self.word_line))
            self.word = None

    def operator(self, op):
        self.end_word()
        self.tokens.append(("op", op))

    def advance(self, count=1):
        for _ in range(count):
            if self.peek() == "\n":
                self.line += 1
            self.i += 1

    def balanced(self, open_char, close_char):
        """Skips to after the close matching the open at the current position."""
        depth = 0
        while self.i < len(self.text):
            char = self.peek()
            self.advance()
            if char == open_char:
                depth += 1
            elif char == close_char:
                depth -= 1
                if depth == 0:
                    return

    def substitution(self):
        """At `$(` or `<(`: scans the command inside as a text of its own."""
        self.advance(2)
        inner = ShellTokens(self.text, self.line, self.nested)
        inner.i = self.i
        inner.run(closing=")")
        self.nested.append(inner.tokens)
        self.i, self.line = inner.i, inner.line
        self.add("$")

    def backquoted(self):
        self.advance()
        start, line = self.i, self.line
        while self.i < len(self.text) and self.peek() != "`":
            self.advance(2 if self.peek() == "\\" else 1)
        self.nested.append(scan_shell(self.text[start:self.i], line, self.nested))
        self.advance()
        self.add("$")

    def dollar(self):
        if self.peek(1) == "(" and self.peek(2) == "(":
            self.advance()
            self.balanced("(", ")")
            self.add("$")
        elif self.peek(1) == "(":
            self.substitution()
        elif self.peek(1) == "{":
            self.advance()
            start, line = self.i + 1, self.line
            self.balanced("{", "}")
            inner = self.text[start:self.i - 1]
            if "$(" in inner or "`" in inner:  # a default such as ${1:-$(mktemp -d)}
                scan_shell(inner, line, self.nested)
            self.add("$")
        else:
            self.advance()
            self.add("$")

    def double_quoted(self):
        self.advance()
        self.add("")
        while self.i < len(self.text) and self.peek() != '"':
            self.step_in_word(in_double_quotes=True)
        self.advance()

    def single_quoted(self):
        self.advance()
        end = self.text.find("'", self.i)
        end = len(self.text) if end < 0 else end
        self.add(self.text[self.i:end])
        self.advance(end - self.i + 1)

    def read_word(self):
        """Reads the next word alone (a redirection's target) and returns it."""
        while self.peek() in (" ", "\t"):
            self.advance()
        saved, self.word = self.word, None
        while self.i < len(self.text) and self.peek() not in " \t\n;&|()<>":
            self.step_in_word()
        target, self.word = self.word or "", saved
        return target

    def redirection(self):
        if self.word is not None and self.word.isdigit():
            self.word = None  # the file descriptor of `2>file`
        else:
            self.end_word()
        if self.text.startswith("<(", self.i) or self.text.startswith(">(", self.i):
            self.substitution()
            self.end_word()
            return
        op = re.match(r"&>>|&>|<<<|<<-|<<|<>|>>|>&|<&|>\||<|>", self.text[self.i:]).group(0)
        self.advance(len(op))
        target = self.read_word()
        if op in ("<<", "<<-"):
            self.heredocs.append((target, op == "<<-", len(self.tokens)))

    def heredoc_bodies(self):
        """After a newline: reads the pending here-documents' bodies. A body fed to a
        shell is scanned as shell; any other (Python, data) is skipped."""
        for delimiter, strip_tabs, token_index in self.heredocs:
            words = [t for t in self.tokens[self.command_start(token_index):token_index]
                     if isinstance(t, Word)]
            start, line = self.i, self.line
            body_end = self.i
            while self.i < len(self.text):
                end = self.text.find("\n", self.i)
                end = len(self.text) if end < 0 else end
                current = self.text[self.i:end]
                body_end = self.i
                self.advance(end - self.i + 1)
                if (current.lstrip("\t") if strip_tabs else current) == delimiter:
                    break
            if any(os.path.basename(w) in ("bash", "sh") for w in words):
                self.nested.append(scan_shell(self.text[start:body_end], line, self.nested))
        self.heredocs = []

    def command_start(self, token_index):
        index = token_index
        while index > 0 and not (isinstance(self.tokens[index - 1], tuple)):
            index -= 1
        return index

    def step_in_word(self, in_double_quotes=False):
        char = self.peek()
        if char == "\\":
            if self.peek(1) != "\n":
                self.add(self.peek(1))
            self.advance(2)
        elif char == "$":
            self.dollar()
        elif char == "`":
            self.backquoted()
        elif char == "'" and not in_double_quotes:
            self.single_quoted()
        elif char == '"' and not in_double_quotes:
            self.double_quoted()
        else:
            self.add(char)
            self.advance()

    def run(self, closing=None):
        depth = 0
        while self.i < len(self.text):
            char = self.peek()
            if char in " \t":
                self.end_word()
                self.advance()
            elif char == "#" and self.word is None:
                while self.i < len(self.text) and self.peek() != "\n":
                    self.advance()
            elif char == "\n":
                self.operator("\n")
                self.advance()
                self.heredoc_bodies()
            elif char in "<>" or (char == "&" and self.peek(1) == ">"):
                self.redirection()
            elif char == "(" and self.word is not None and self.word.endswith("="):
                self.balanced("(", ")")  # an array's elements are no commands
                self.add("$")
            elif char == "(" and self.word is None and self.peek(1) == "(":
                self.balanced("(", ")")  # an arithmetic command
                self.operator(";")
            elif char == ")" and closing and depth == 0:
                self.end_word()
                self.advance()
                return
            elif char in ";&|()":
                op = next(o for o in self.OPERATORS if self.text.startswith(o, self.i))
                depth += {"(": 1, ")": -1}.get(op, 0)
                self.operator(op)
                self.advance(len(op))
            else:
                self.step_in_word()
        self.end_word()


def scan_shell(text, first_line=1, nested=None):
    scanner = ShellTokens(text, first_line, nested)
    scanner.run()
    return scanner.tokens


def split_commands(tokens):
    """Yields each simple command as (words, terminating operator)."""
    words = []
    for token in tokens:
        if isinstance(token, tuple):
            yield words, token[1]
            words = []
        else:
            words.append(token)
    yield words, None


_BUILTINS = None


def shell_builtins():
    """bash's own builtins and keywords, asked of bash."""
    global _BUILTINS
    if _BUILTINS is None:
        listed = subprocess.run(["bash", "-c", "compgen -b; compgen -k"], check=True,
                                capture_output=True, text=True).stdout.split()
        _BUILTINS = set(listed) | {"[[", "]]", "{", "}", "!"}
    return _BUILTINS


LEADING_KEYWORDS = {"if", "then", "else", "elif", "do", "while", "until", "!", "{", "time"}
# Commands that run the command given after their options and, for some, operands.
# Each names the options that take a separate argument, and the operands before the
# command.
WRAPPERS = {
    "exec": (set(), 0), "nohup": (set(), 0), "setsid": (set(), 0),
    "env": ({"-u", "-C", "-S"}, 0), "nice": ({"-n"}, 0), "time": (set(), 0),
    "sudo": ({"-u", "-g", "-h", "-p", "-C", "-D", "-r", "-t", "-U"}, 0),
    "timeout": ({"-s", "-k"}, 1), "chroot": (set(), 1), "flock": ({"-w", "-E"}, 1),
    "xargs": ({"-I", "-n", "-P", "-d", "-a", "-E", "-L", "-s"}, 0),
    "setpriv": (set(), 0), "unshare": (set(), 0),
}
ASSIGNMENT = re.compile(r"^[A-Za-z_][A-Za-z0-9_]*(\[[^]]*\])?\+?=")


def command_words(words, wrapper_functions):
    """Strips keywords, assignments and wrappers from a simple command; returns every
    program it runs (the wrappers included) as words."""
    programs = []
    words = list(words)
    while words and words[0] in LEADING_KEYWORDS:
        words.pop(0)
    while words and ASSIGNMENT.match(words[0]):
        words.pop(0)
    while words:
        name = os.path.basename(words[0])
        if name == "command" and len(words) > 1 and words[1] in ("-v", "-V"):
            return programs  # a look-up, not a call
        if name in ("bash", "sh") and "-c" in words[1:-1]:
            programs.append(words[0])
            script, nested = words[words.index("-c", 1) + 1], []
            texts = [scan_shell(script, script.line, nested)] + nested
            return programs + [w for tokens in texts for c, _ in split_commands(tokens)
                               for w in command_words(c, wrapper_functions)]
        if name in WRAPPERS or words[0] in wrapper_functions or name == "command":
            programs.append(words[0])
            takes_argument, operands = WRAPPERS.get(name, (set(), 0))
            words.pop(0)
            while words and (words[0].startswith("-") or ASSIGNMENT.match(words[0])):
                option = words.pop(0)
                if option == "--":
                    break
                if option in takes_argument and words:
                    words.pop(0)
            del words[:operands]
            continue
        programs.append(words[0])
        break
    return programs


def function_definitions(tokens):
    """Names of the functions a script defines, and of those among them that run
    their arguments as a command (`"$@"` in a command's place)."""
    defined = set()
    for index, token in enumerate(tokens[:-2]):
        if (isinstance(token, Word) and tokens[index + 1] == ("op", "(")
                and tokens[index + 2] == ("op", ")")):
            defined.add(str(token))
        elif token == "function" and isinstance(tokens[index + 1], Word):
            defined.add(str(tokens[index + 1]))
    return defined


def shell_calls(text):
    """Yields (program, line) for each program a shell script may run."""
    nested = []
    main = scan_shell(text, 1, nested)
    texts = [main] + nested
    defined = set().union(*(function_definitions(t) for t in texts))
    runs_arguments = set()
    for tokens in texts:
        owner = None
        for words, terminator in split_commands(tokens):
            if words and words[0] in defined and terminator == "(":
                owner = str(words[0])
            elif words == ["}"]:
                owner = None
            programs = command_words(words, set())
            if owner and programs and programs[-1] == "$@":
                runs_arguments.add(owner)
    builtins = shell_builtins()
    for tokens in texts:
        in_case = skip_to = None
        for words, terminator in split_commands(tokens):
            if skip_to:
                if skip_to in words:
                    skip_to = None
                continue
            first = next((w for w in words if w not in LEADING_KEYWORDS), None)
            if in_case == "pattern":
                if terminator in (")", "|"):  # `a|b)` is one pattern of two words
                    in_case = "body" if terminator == ")" else in_case
                    continue
                if first == "esac":
                    in_case = None
                    continue
            if first == "case":
                in_case = "pattern"
                continue
            if first == "[[" and "]]" not in words:
                skip_to = "]]"
                continue
            if first in ("for", "select", "function") or (first in defined and terminator == "("):
                continue
            for program in command_words(words, runs_arguments):
                if not ("$" in program or program in builtins or program in defined
                        or ("/" in program and not program.startswith("/"))):
                    yield str(program), program.line
            if in_case == "body" and terminator in (";;", ";&"):
                in_case = "pattern"


# ---------------------------------------------------------------- CMake and Python

def cmake_calls(text):
    """Programs a CMake file names: find_program's names, a literal COMMAND, the
    compilers a toolchain sets, the compiler a project's languages imply."""
    def line_of(match):
        return text.count("\n", 0, match.start()) + 1

    keywords = re.compile(r"^(HINTS|PATHS|PATH_SUFFIXES|DOC|REQUIRED|NO_\w+|ENV|NAMES_PER_DIR)$")
    for match in re.finditer(r"find_program\s*\(\s*\w+\s+([^)]*)\)", text):
        words = match.group(1).split()
        if words and words[0] == "NAMES":
            words = words[1:]
        for word in words:
            if keywords.match(word):
                break
            if "$" not in word:
                yield word.strip('"'), line_of(match)
    for match in re.finditer(r"\bCOMMAND\s+\"?([^\s\")]+)", text):
        word = match.group(1)
        if "$" not in word and not ("/" in word and not word.startswith("/")):
            yield word, line_of(match)
    for match in re.finditer(r"set\s*\(\s*CMAKE_\w+_COMPILER\s+\"?([^\s\")]+)", text):
        yield match.group(1), line_of(match)
    for match in re.finditer(r"\bproject\s*\([^)]*LANGUAGES([^)]*)\)", text):
        languages = match.group(1).split()
        if "CXX" in languages:
            yield "c++", line_of(match)
        if "C" in languages:
            yield "cc", line_of(match)


GENERATOR_TOOLS = {"Ninja": "ninja", "Ninja Multi-Config": "ninja", "Unix Makefiles": "make"}


def preset_calls(text):
    presets = json.loads(text).get("configurePresets", [])
    for preset in presets:
        if "generator" in preset:
            yield GENERATOR_TOOLS.get(preset["generator"], preset["generator"]), 0
        for name, value in preset.get("cacheVariables", {}).items():
            if name.endswith("_COMPILER"):
                yield value if isinstance(value, str) else value.get("value", ""), 0


def python_calls(text):
    """A program a Python harness names literally: an absolute path to one, the first
    element of a subprocess call, the argument of shutil.which."""
    patterns = (r"[\"'](/(?:usr/)?(?:s?bin|lib|libexec)/[^\"'\s]+)[\"']",
                r"subprocess\.\w+\(\s*\[\s*[\"']([^\"'\s/]+)[\"']",
                r"shutil\.which\(\s*[\"']([^\"'\s]+)[\"']")
    for pattern in patterns:
        for match in re.finditer(pattern, text):
            yield match.group(1), text.count("\n", 0, match.start()) + 1


def is_shell_script(path):
    if path.endswith(".sh"):
        return True
    try:
        with open(path, "rb") as file:
            first = file.readline(200)
    except OSError:
        return False
    return first.startswith(b"#!") and re.search(rb"\b(ba)?sh\b", first) is not None


def repository_calls(repository):
    """Yields (program, "file:line") for every program the repository's scripts and
    build files call."""
    for directory, subdirectories, files in os.walk(repository):
        subdirectories[:] = sorted(
            d for d in subdirectories
            if os.path.relpath(os.path.join(directory, d), repository) not in SKIPPED_DIRS)
        files = [f for f in files
                 if os.path.relpath(os.path.join(directory, f), repository) not in SKIPPED_FILES]
        for name in sorted(files):
            path = os.path.join(directory, name)
            relative = os.path.relpath(path, repository)
            if name == "CMakePresets.json":
                reader = preset_calls
            elif name == "CMakeLists.txt" or name.endswith(".cmake"):
                reader = cmake_calls
            elif name.endswith(".py"):
                reader = python_calls
            elif is_shell_script(path):
                reader = shell_calls
            else:
                continue
            with open(path, encoding="utf-8", errors="replace") as file:
                text = file.read()
            for program, line in reader(text):
                yield program, f"{relative}:{line}"


# ---------------------------------------------------------------- Debian packages

def dependency_names(field):
    """The alternatives of each clause of a Depends-like field, without versions and
    architecture qualifiers."""
    clauses = []
    for clause in filter(None, (c.strip() for c in field.split(","))):
        clauses.append([re.sub(r"\s*\(.*?\)|:\w+$", "", alt.strip()).split(":")[0]
                        for alt in clause.split("|")])
    return clauses


class InstalledPackages:
    """The packages dpkg has installed here, their priorities and dependencies."""

    def __init__(self, status_lines):
        self.priority, self.depends, self.providers = {}, {}, {}
        for line in status_lines:
            name, status, priority, provides, depends, pre_depends = line.split("\t")
            if not status.endswith(" installed"):
                continue
            self.priority[name] = priority
            self.depends[name] = dependency_names(depends) + dependency_names(pre_depends)
            for clause in dependency_names(provides):
                self.providers.setdefault(clause[0], set()).add(name)

    @classmethod
    def from_dpkg(cls):
        output = subprocess.run(
            ["dpkg-query", "-W", "-f=${Package}\t${Status}\t${Priority}\t${Provides}\t"
             "${Depends}\t${Pre-Depends}\n"], check=True, capture_output=True,
            text=True).stdout
        return cls(output.splitlines())

    def closure(self, seeds):
        """The seeds and everything they depend on, choosing the first installed
        alternative (or the installed providers of a virtual package)."""
        found, pending = set(), [s for s in seeds if s in self.priority]
        while pending:
            name = pending.pop()
            if name in found:
                continue
            found.add(name)
            for clause in self.depends.get(name, []):
                for alternative in clause:
                    if alternative in self.priority:
                        pending.append(alternative)
                        break
                    if alternative in self.providers:
                        pending.extend(self.providers[alternative])
                        break
        return found

    def minbase(self, archive_priority=None):
        """minbase as installed here; `archive_priority` corrects the priorities dpkg
        recorded at install time with the archive's current ones."""
        archive_priority = archive_priority or {}
        required = [n for n, p in self.priority.items()
                    if archive_priority.get(n, p) == "required"]
        return self.closure(required + list(MINBASE_EXTRA))


def archive_priorities(names):
    """The priorities the package archive gives now (apt's lists), where apt knows the
    package; dpkg keeps the one of the day a package was installed."""
    output = subprocess.run(["apt-cache", "show", "--no-all-versions"] + sorted(names),
                            capture_output=True, text=True).stdout
    priorities, name = {}, None
    for line in output.splitlines():
        if line.startswith("Package: "):
            name = line.split()[1]
        elif line.startswith("Priority: ") and name:
            priorities[name] = line.split()[1]
    return priorities


def path_aliases(path):
    """The path and its twin across the merged /usr (dpkg knows only one of them)."""
    for short, merged in (("/bin/", "/usr/bin/"), ("/sbin/", "/usr/sbin/"),
                          ("/lib/", "/usr/lib/"), ("/lib64/", "/usr/lib64/")):
        if path.startswith(merged):
            return [path, short + path[len(merged):]]
        if path.startswith(short):
            return [path, merged + path[len(short):]]
    return [path]


# Where a Debian system finds programs; not this session's PATH, which may lead to
# tools installed by other means.
DEBIAN_PATH = "/usr/sbin:/usr/bin:/sbin:/bin"


def locate(program):
    """The files a program name or path stands for here (the name found on Debian's
    PATH and the file its links lead to), or nothing when it is not here."""
    found = program if program.startswith("/") else shutil.which(program, path=DEBIAN_PATH)
    if not found or not os.path.exists(found):
        return []
    return sorted({alias for path in (found, os.path.realpath(found))
                   for alias in path_aliases(path)})


def owners(paths):
    """Maps each path to the packages that own it, from one dpkg -S."""
    if not paths:
        return {}
    output = subprocess.run(["dpkg-query", "-S"] + sorted(paths), capture_output=True,
                            text=True).stdout
    owned = {}
    for line in output.splitlines():
        if line.startswith("diversion ") or ": " not in line:
            continue
        packages, path = line.split(": ", 1)
        owned.setdefault(path, set()).update(p.strip().split(":")[0]
                                             for p in packages.split(","))
    return owned


# ---------------------------------------------------------------- the check

def problems(calls, located, owned, listed, minbase):
    """The faults of the calls, one message each: a program nobody installs here, or
    one whose package is neither in the install list nor in minbase. `calls` maps each
    program to where it is called; `located` its files; `owned` their packages;
    `listed` the install list with its dependencies."""
    messages = []
    for program in sorted(calls):
        where = ", ".join(sorted(calls[program])[:3])
        if program in USER_PROVIDED:
            continue
        files = located.get(program, [])
        packages = set().union(*(owned.get(f, set()) for f in files)) if files else set()
        if not files:
            messages.append(f"{where}: '{program}' is not installed here; add its "
                            "package to scripts/install-deps.sh")
        elif not packages:
            messages.append(f"{where}: '{program}' ({files[0]}) belongs to no Debian "
                            "package; add the package that provides it to "
                            "scripts/install-deps.sh")
        elif not packages & (listed | minbase):
            messages.append(f"{where}: '{program}' comes from {', '.join(sorted(packages))}, "
                            "which is neither in scripts/install-deps.sh nor in Debian's "
                            "minbase")
    return messages


def install_list(repository):
    script = os.path.join(repository, "scripts", "install-deps.sh")
    return subprocess.run(["bash", script, "--list"], check=True, capture_output=True,
                          text=True).stdout.split()


def main(arguments):
    arguments = list(arguments)
    verbose = "-v" in arguments
    if verbose:
        arguments.remove("-v")
    repository = os.path.abspath(arguments[0] if arguments else
                                 os.path.join(os.path.dirname(__file__), "..", ".."))
    calls = {}
    for program, where in repository_calls(repository):
        calls.setdefault(program, set()).add(where)
    located = {program: locate(program) for program in calls}
    owned = owners({path for paths in located.values() for path in paths})
    installed = InstalledPackages.from_dpkg()
    listed = installed.closure(install_list(repository))
    required = [n for n, p in installed.priority.items() if p == "required"]
    minbase = installed.minbase(archive_priorities(required))
    found = problems(calls, located, owned, listed, minbase)
    for message in found:
        print(f"tool check: {message}")
    if verbose:
        for program in sorted(calls):
            packages = set().union(*(owned.get(f, set()) for f in located[program]))
            print(f"  {program}: {' '.join(sorted(packages)) or '-'}")
    print(f"tool check: {len(calls)} programs called, {len(found)} not installed by "
          "scripts/install-deps.sh or Debian's minbase")
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
