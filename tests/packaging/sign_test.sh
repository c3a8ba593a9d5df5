#!/usr/bin/env bash
# Signing: a package built with a (throw-away) certificate carries verified signatures
# on itself and on the executable inside it; the default build carries none, and a
# wrong password fails the build.
#
#   tests/packaging/sign_test.sh <windows-build-dir>
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
exe="$(cd "$1" && pwd)/ZeRegionSvc.exe"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

fail() { echo "FAIL: $*"; exit 1; }
build() {  # build OUTPUT: the package of the current executable
  python3 "$top/packaging/build_msi.py" --exe "$exe" \
    --country-data "$top/examples/demo-machine/C/Program Files/Zelvaro/ZeCoInst.dat" \
    --output "$1"
}
verified() {  # verified FILE: its signature checks out against the test certificate
  osslsigncode verify -CAfile cert.pem -in "$1" 2>&1 | grep -q "^Succeeded"
}

openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem -out cert.pem -days 2 \
  -subj "/CN=ZeRegionSvc test signing" 2>/dev/null
openssl pkcs12 -export -inkey key.pem -in cert.pem -out test.pfx -passout pass:throwaway

build unsigned.msi
verified unsigned.msi && fail "the default package is signed"

ZE_SIGN_PFX=test.pfx ZE_SIGN_PASSWORD=throwaway build signed.msi
verified signed.msi || fail "the signed package does not verify"
mkdir extracted
(cd extracted && msiextract ../signed.msi >/dev/null)
packed=$(find extracted -name ZeRegionSvc.exe)
[ -n "$packed" ] || fail "no ZeRegionSvc.exe in the signed package"
verified "$packed" || fail "the executable in the signed package does not verify"

if ZE_SIGN_PFX=test.pfx ZE_SIGN_PASSWORD=wrong build wrong.msi 2>/dev/null; then
  fail "a wrong password still built a package"
fi
echo "PASS: signing"
