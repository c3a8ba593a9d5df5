#!/usr/bin/env bash
# Installs what is missing, builds the Linux, sanitizer and Windows builds, and runs
# every test: the unit tests (plain and under ASan/UBSan) and the Wine tier.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
"$top/scripts/install-deps.sh" all
cmake --preset linux
cmake --build --preset linux
ctest --preset linux
cmake --preset asan
cmake --build --preset asan
ctest --preset asan
cmake --preset windows
cmake --build --preset windows
ctest --preset wine
