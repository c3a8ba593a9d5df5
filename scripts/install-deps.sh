#!/usr/bin/env bash
# Installs, on Debian, the packages one use of ZeRegionSvc's tree needs, and only
# those that are missing:
#
#   scripts/install-deps.sh demo           the Linux build of the program
#   scripts/install-deps.sh all            every package below: the tests' (test
#                                          libraries, mingw-w64 with POSIX threads, Wine,
#                                          MSI and signing tools, clang's libFuzzer) and
#                                          the release check's, so that the tool check
#                                          finds every program the tree calls
#   scripts/install-deps.sh release-check  what tests/bare-machine/run.sh needs
#
# Runs without questions. When everything is installed it prints nothing, changes
# nothing and touches no network. Otherwise it needs root or sudo (without either it
# stops before changing anything), and when a package cannot be installed it stops
# with apt's own error (apt then installs none of them).
set -euo pipefail

usage() {
  echo "usage: $0 demo|all|release-check" >&2
  exit 2
}

# The Linux program: compiler, build tool, CMake, the registry's database and the
# ISO 3166-1 table the build compiles in.
demo_packages=(cmake ninja-build g++ libsqlite3-dev iso-codes)
# Everything else the tests use (the regulatory audit's tests read wireless-regdb's
# database and render the channel map with rsvg-convert).
test_packages=(
  libgtest-dev libgmock-dev libbenchmark-dev clang-format python3
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine64
  wixl msitools
  osslsigncode openssl
  clang libclang-rt-14-dev
  wireless-regdb librsvg2-bin
)
release_check_packages=(debootstrap git)

[ $# -eq 1 ] || usage
case "$1" in
  demo) packages=("${demo_packages[@]}") ;;
  all) packages=("${demo_packages[@]}" "${test_packages[@]}" "${release_check_packages[@]}") ;;
  release-check) packages=("${release_check_packages[@]}") ;;
  --list) # every package of every profile, one a line (read by the tool check)
    printf '%s\n' "${demo_packages[@]}" "${test_packages[@]}" "${release_check_packages[@]}"
    exit 0 ;;
  *) usage ;;
esac

# One dpkg-query for all of them: a package that was never installed is not listed.
installed=$(dpkg-query -W -f='${Package} ${db:Status-Status}\n' "${packages[@]}" 2>/dev/null |
  awk '$2 == "installed" { print $1 }' || true)
missing=()
for package in "${packages[@]}"; do
  grep -qxF "$package" <<<"$installed" || missing+=("$package")
done

# Runs a command as root: directly when this is root, through sudo otherwise.
as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ] && ! command -v sudo >/dev/null; then
    echo "install-deps: these packages are missing: ${missing[*]}" >&2
    echo "install-deps: installing them needs root; run this as root, or install sudo." >&2
    echo "install-deps: nothing was installed." >&2
    exit 1
  fi
  echo "install-deps: installing ${missing[*]}"
  if ! as_root env DEBIAN_FRONTEND=noninteractive apt-get update -q ||
     ! as_root env DEBIAN_FRONTEND=noninteractive \
         apt-get install -y -q --no-install-recommends "${missing[@]}"; then
    echo "install-deps: apt-get failed, its error is above; stopping." >&2
    exit 1
  fi
  echo "install-deps: the packages for '$1' are installed"
fi

# The cross compiler must use POSIX threads (std::thread and std::mutex).
if [ -x /usr/bin/x86_64-w64-mingw32-g++-posix ] &&
   [ "$(readlink -f /usr/bin/x86_64-w64-mingw32-g++)" != /usr/bin/x86_64-w64-mingw32-g++-posix ]; then
  as_root update-alternatives --set x86_64-w64-mingw32-g++ /usr/bin/x86_64-w64-mingw32-g++-posix
fi
