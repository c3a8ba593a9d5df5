"""Tests of the tool check: which programs it sees a script call, and which it refuses."""

import io
import os
import shutil
import tempfile
import unittest
from contextlib import redirect_stdout

import check_tools

HERE = os.path.dirname(os.path.abspath(__file__))


def programs_of(script):
    return sorted({program for program, _ in check_tools.shell_calls(script)})


class ShellCallsTest(unittest.TestCase):
    CASES = [
        ("plain, piped and chained", "a -x | b && c || d; e &\n", ["a", "b", "c", "d", "e"]),
        ("substitutions, quoted or not", 'x=$(a "$(b)")\necho "`c`" ${1:-$(d -d)}\n',
         ["a", "b", "c", "d"]),
        ("wrappers run what follows", "sudo -u nobody env -i A=1 nice -n 5 a\n"
         "chroot --userspec=x /r timeout 5 b\nexec c\n",
         ["a", "b", "c", "chroot", "env", "nice", "sudo", "timeout"]),
        ("a function that runs its arguments",
         'as_root() {\n  if true; then "$@"; else sudo "$@"; fi\n}\nas_root a -y\n',
         ["a", "sudo"]),
        ("bash -c and here-documents fed to a shell",
         "bash -c 'a; b $(f)' \nbash -s <<'EOF'\nc\nEOF\npython3 - <<EOF\nimport d\nEOF\n",
         ["a", "b", "bash", "c", "f", "python3"]),
        ("not calls: builtins, functions, lookups, paths in the tree, variables, "
         "arrays, arithmetic, tests, case patterns, comments",
         'f() { :; }\nf\ncommand -v a\nscripts/b.sh\n"$c" x\nl=(d e)\n(( n = 1 ))\n'
         '[[ -n $x && y ]]\ncase $1 in\n  g|h) echo ;;\n  *) exit 2 ;;\nesac\n# i\n',
         []),
        ("redirections are not calls", "a 2>/dev/null >>log <in b\nc <<<\"$x\" &>/dev/null\n",
         ["a", "c"]),
        ("absolute paths are calls", "/usr/lib/x/tool --go\n", ["/usr/lib/x/tool"]),
    ]

    def test_programs_found(self):
        for name, script, expected in self.CASES:
            with self.subTest(name):
                self.assertEqual(programs_of(script), expected)


class BuildFileCallsTest(unittest.TestCase):
    def test_cmake_presets_and_python(self):
        cmake = ("project(P LANGUAGES CXX)\nfind_program(W NAMES wixl msibuild REQUIRED)\n"
                 "add_custom_command(OUTPUT x COMMAND osslsigncode sign\n"
                 "  COMMAND ${CMAKE_COMMAND} -E copy)\nset(CMAKE_RC_COMPILER x-windres)\n")
        presets = '{"configurePresets": [{"name": "a", "generator": "Ninja",' \
                  ' "cacheVariables": {"CMAKE_CXX_COMPILER": "clang++"}}]}'
        python = 'run(["/usr/lib/wine/wine64"])\nsubprocess.run(["regedit", x])\n'
        found = {p for reader, text in ((check_tools.cmake_calls, cmake),
                                        (check_tools.preset_calls, presets),
                                        (check_tools.python_calls, python))
                 for p, _ in reader(text)}
        self.assertEqual(found, {"c++", "wixl", "msibuild", "osslsigncode", "x-windres",
                                 "ninja", "clang++", "/usr/lib/wine/wine64", "regedit"})


class ProblemsTest(unittest.TestCase):
    def test_each_kind_of_fault_and_what_passes(self):
        calls = {"listed": {"a.sh:1"}, "base": {"a.sh:2"}, "stray": {"b.sh:3"},
                 "absent": {"c.sh:4"}, "local": {"d.sh:5"}, "sudo": {"a.sh:6"}}
        located = {"listed": ["/usr/bin/listed"], "base": ["/bin/base"],
                   "stray": ["/usr/bin/stray"], "absent": [], "local": ["/opt/local"],
                   "sudo": []}
        owned = {"/usr/bin/listed": {"dep-of-list"}, "/bin/base": {"coreutils"},
                 "/usr/bin/stray": {"curl"}}
        messages = check_tools.problems(calls, located, owned, {"dep-of-list"},
                                        {"coreutils"})
        self.assertEqual(len(messages), 3, messages)
        self.assertTrue(messages[0].startswith("c.sh:4: 'absent' is not installed"))
        self.assertTrue(messages[1].startswith("d.sh:5: 'local' (/opt/local) belongs to no"))
        self.assertTrue(messages[2].startswith("b.sh:3: 'stray' comes from curl, which is"))

    def test_closure_follows_dependencies_alternatives_and_providers(self):
        status = ["top\tinstall ok installed\toptional\t\tlib (>= 1), x | y\tvirt",
                  "lib\tinstall ok installed\toptional\t\t\t",
                  "y\tinstall ok installed\toptional\t\t\t",
                  "real\tinstall ok installed\toptional\tvirt\t\t",
                  "gone\tdeinstall ok config-files\trequired\t\t\t",
                  "base\tinstall ok installed\trequired\t\tlib:any\t",
                  "demoted\tinstall ok installed\trequired\t\t\t"]
        installed = check_tools.InstalledPackages(status)
        self.assertEqual(installed.closure(["top"]), {"top", "lib", "y", "real"})
        self.assertEqual(installed.minbase({"demoted": "optional"}), {"base", "lib"})


class RepositoryTest(unittest.TestCase):
    """The whole check on a small tree: a call to a program nobody installs fails it."""

    def test_uninstalled_program_fails_the_check(self):
        with tempfile.TemporaryDirectory() as tree:
            os.makedirs(os.path.join(tree, "scripts"))
            shutil.copy(os.path.join(HERE, "..", "..", "scripts", "install-deps.sh"),
                        os.path.join(tree, "scripts"))
            script = os.path.join(tree, "scripts", "go.sh")
            with open(script, "w") as file:
                file.write("#!/bin/sh\ncat x | ze-no-such-tool-anywhere\n")
            output = io.StringIO()
            with redirect_stdout(output):
                self.assertEqual(check_tools.main([tree]), 1)
            self.assertIn("scripts/go.sh:2: 'ze-no-such-tool-anywhere' is not installed",
                          output.getvalue())
            with open(script, "w") as file:
                file.write("#!/bin/sh\ncat x | grep y\n")
            with redirect_stdout(io.StringIO()):
                self.assertEqual(check_tools.main([tree]), 0)


if __name__ == "__main__":
    unittest.main()
