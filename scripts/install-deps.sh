#!/usr/bin/env bash
# Installs what building and testing ZeRegionSvc needs on Debian, and only what is
# missing: the Linux toolchain and test libraries, the mingw-w64 cross compiler
# (POSIX threads) and Wine for the Windows build and the Wine tier.
# Runs without questions; needs root (or sudo).
set -euo pipefail

packages=(
  cmake
  g++
  libgtest-dev
  libgmock-dev
  libbenchmark-dev
  clang-format
  python3
  g++-mingw-w64-x86-64-posix
  wine64
)

sudo=()
if [ "$(id -u)" -ne 0 ]; then
  sudo=(sudo)
fi

missing=()
for package in "${packages[@]}"; do
  # Any python3 on the PATH will do for the Wine tier's harness.
  if [ "$package" = python3 ] && command -v python3 >/dev/null; then
    continue
  fi
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: everything is installed"
else
  echo "install-deps: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  "${sudo[@]}" apt-get update -q
  "${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# The cross compiler must use POSIX threads (std::thread and std::mutex).
if command -v update-alternatives >/dev/null &&
   [ -x /usr/bin/x86_64-w64-mingw32-g++-posix ] &&
   [ "$(readlink -f /usr/bin/x86_64-w64-mingw32-g++)" != /usr/bin/x86_64-w64-mingw32-g++-posix ]; then
  "${sudo[@]}" update-alternatives --set x86_64-w64-mingw32-g++ /usr/bin/x86_64-w64-mingw32-g++-posix
fi
