#!/usr/bin/env bash
# Installs what is missing, builds the Linux, sanitizer and Windows builds, and runs
# every test: the unit tests (plain and under ASan/UBSan) and the Wine tier.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
"$top/scripts/install-deps.sh" all

# Configures a preset; a build folder that another generator made (before the presets
# named Ninja) is configured afresh instead of failing.
configure() {
  local cache="build/$1/CMakeCache.txt"
  if [ -f "$cache" ] && ! grep -qx 'CMAKE_GENERATOR:INTERNAL=Ninja' "$cache"; then
    cmake --preset "$1" --fresh
  else
    cmake --preset "$1"
  fi
}

configure linux
cmake --build --preset linux
ctest --preset linux
configure asan
cmake --build --preset asan
ctest --preset asan
configure windows
cmake --build --preset windows
ctest --preset wine
# The fuzz targets, a few seconds each from their seed corpora.
"$top/scripts/fuzz.sh" 5
