#!/usr/bin/env bash
# The full fault sweep under AddressSanitizer and UBSan: every platform call of each
# scenario (/debug in Japanese and English, a service run, /install, /uninstall, the
# hardware-ID action) fails in turn with each error Windows gives for it, and a stop
# arrives before each call of the service's reset. Prints the figures per scenario
# and every failed check. CI runs the fast subset (each call name once) as part of
# the unit tests.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
cmake --preset asan >/dev/null
cmake --build --preset asan --target zeregion_tests
ZE_SWEEP=full build/asan/zeregion_tests --gtest_filter='*Sweep*' | grep -E '^\[sweep\]|FAILED|PASSED'
