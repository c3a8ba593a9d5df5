#!/usr/bin/env bash
# Installs what the Linux build of the program needs (when missing), builds it, runs
# one foreground reset ("/debug") on a fresh copy of the demo machine, then shows the
# log it wrote and the changes it made.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
"$top/scripts/install-deps.sh" demo
cmake --preset demo >/dev/null
cmake --build --preset demo >/dev/null
machine="$top/build/demo-machine"
rm -rf "$machine"
cp -r examples/demo-machine "$machine"
install_dir="$machine/C/Program Files/Zelvaro"
cp build/demo/ZeRegionSvc "$install_dir/ZeRegionSvc.exe"
set +e
"$install_dir/ZeRegionSvc.exe" "${@:-/debug}"
code=$?
set -e
echo "== exit code: $code"
echo "== log ($install_dir/ZeRegionSvc.log):"
iconv -f UTF-16LE -t UTF-8 "$install_dir/ZeRegionSvc.log" | tr -d '\r'
echo "== changes made to the machine ($machine/journal.txt):"
cat "$machine/journal.txt" 2>/dev/null || echo "(none)"
