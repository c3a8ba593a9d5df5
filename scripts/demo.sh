#!/usr/bin/env bash
# Installs what the Linux build of the program needs (when missing), builds it and,
# on a fresh copy of the demo machine, shows what one foreground reset would change
# ("/preview"), runs it ("/debug"), then shows the log it wrote and the changes it
# made. Arguments, when given, run instead of both.
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
if [ $# -eq 0 ]; then
    echo "== what a reset would change (/preview; its log goes to standard error, hidden here):"
    "$install_dir/ZeRegionSvc.exe" /preview 2>/dev/null
    echo "== exit code of /preview: $? (1: a reset would change something)"
    echo "== the reset itself (/debug):"
fi
"$install_dir/ZeRegionSvc.exe" "${@:-/debug}"
code=$?
set -e
echo "== exit code: $code"
echo "== log ($install_dir/ZeRegionSvc.log):"
iconv -f UTF-16LE -t UTF-8 "$install_dir/ZeRegionSvc.log" | tr -d '\r'
echo "== changes made to the machine ($machine/journal.txt):"
cat "$machine/journal.txt" 2>/dev/null || echo "(none)"
echo "== zemachine, which makes machine folders (from a laptop's export, too): build/demo/zemachine"
