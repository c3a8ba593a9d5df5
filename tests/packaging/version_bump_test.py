#!/usr/bin/env python3
"""One version: a copy of the source tree whose project() version is raised, configured
for Windows, gives the raised version to ze_version.h (whose text /version prints), the
manifest, the version resource and the package built around that resource. Only the
resources are built, not the program.

    tests/packaging/version_bump_test.py <source-dir>
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile

BUMPED = "7.8.9"


def copy_sources(source, target):
    listed = subprocess.run(["git", "-C", source, "ls-files", "-z", "--cached", "--others",
                             "--exclude-standard"], check=True, capture_output=True).stdout
    for name in filter(None, listed.decode().split("\0")):
        if os.path.isfile(os.path.join(source, name)):
            os.makedirs(os.path.dirname(os.path.join(target, name)), exist_ok=True)
            shutil.copy2(os.path.join(source, name), os.path.join(target, name))
    lists = os.path.join(target, "CMakeLists.txt")
    with open(lists) as file:
        text, count = re.subn(r"(project\(ZeRegionSvc VERSION )[0-9.]+", r"\g<1>" + BUMPED,
                              file.read())
    if count != 1:
        raise SystemExit("FAIL: no project(ZeRegionSvc VERSION ...) line to raise")
    with open(lists, "w") as file:
        file.write(text)


def build_resource(tree, build):
    subprocess.run(["cmake", "-S", tree, "-B", build, "-G", "Ninja", "-DCMAKE_BUILD_TYPE=Release",
                    "-DCMAKE_TOOLCHAIN_FILE=" + os.path.join(tree, "cmake", "mingw-w64.cmake")],
                   check=True, stdout=subprocess.DEVNULL)
    resource = "CMakeFiles/zeversion.dir/src/main/ZeRegionSvc.rc.res"
    subprocess.run(["cmake", "--build", build, "--target", resource], check=True,
                   stdout=subprocess.DEVNULL)
    return os.path.join(build, resource)


def main(source):
    sys.path[:0] = [os.path.join(source, "packaging"), os.path.dirname(os.path.abspath(__file__))]
    import build_msi  # noqa: E402
    from version_test import resource_strings  # noqa: E402
    failures = []

    def expect(condition, what):
        if not condition:
            failures.append(what)

    with tempfile.TemporaryDirectory(prefix="ze-version-bump-") as scratch:
        tree, build = os.path.join(scratch, "src"), os.path.join(scratch, "build")
        copy_sources(source, tree)
        resource = build_resource(tree, build)
        with open(os.path.join(build, "generated", "ze_version.h")) as file:
            expect(f'#define ZE_VERSION_TEXT "{BUMPED}"' in file.read(), "ze_version.h")
        with open(resource, "rb") as file:
            expect(f'name="Zelvaro.ZeRegionSvc" version="{BUMPED}.0"'.encode() in file.read(),
                   "the manifest")
        expect(resource_strings(resource) ==
               {"FileVersion": f"{BUMPED}.0", "ProductVersion": f"{BUMPED}.0"},
               "the version resource's texts")
        expect(build_msi.version_resource(resource) == (f"{BUMPED}.0", 1033),
               "the version resource's fixed part and language")
        package = os.path.join(scratch, "bumped.msi")
        country_data = os.path.join(tree, "examples", "demo-machine", "C", "Program Files",
                                    "Zelvaro", "ZeCoInst.dat")
        build_msi.build(resource, country_data, package,
                        os.path.join(tree, "packaging", "ZeRegionSvc.wxs"))
        properties = subprocess.run(["msiinfo", "export", package, "Property"], check=True,
                                    capture_output=True, text=True).stdout
        expect(re.search(rf"^ProductVersion\t{re.escape(BUMPED)}\r?$", properties, re.MULTILINE),
               "the package's ProductVersion")
    if failures:
        print(f"FAIL: {BUMPED} missing from: {', '.join(failures)}")
        return 1
    print(f"PASS: a raised project version ({BUMPED}) reaches every place that carries it")
    return 0


if __name__ == "__main__":
    sys.exit(main(os.path.abspath(sys.argv[1])))
