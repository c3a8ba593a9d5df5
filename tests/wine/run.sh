#!/usr/bin/env bash
# The Wine tier: runs the Windows build under Wine, one fresh prefix per case.
#
#   tests/wine/run.sh <windows-build-dir> <linux-build-dir> [-j N] [--keep] [--list] [filter...]
#
# Filters select the cases whose name contains one of them. -j runs cases in
# parallel (default 2, or ZE_WINE_JOBS). --keep leaves each case's prefix in place.
# ZE_WINE_TEMPLATE=DIR keeps the template prefix in DIR between runs.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
exec env PYTHONPATH="$here${PYTHONPATH:+:$PYTHONPATH}" PYTHONDONTWRITEBYTECODE=1 \
  python3 -c 'import sys, winetier; sys.exit(winetier.main(sys.argv[1:]))' "$@"
