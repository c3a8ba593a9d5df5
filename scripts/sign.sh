#!/usr/bin/env bash
# Signs Windows executables and installer packages in place with osslsigncode
# (Authenticode, SHA-256), for release builds. Unsigned builds need nothing of this.
#
#   ZE_SIGN_PFX=release.pfx ZE_SIGN_PASSWORD=... scripts/sign.sh FILE...
#
# ZE_SIGN_PFX: the PKCS#12 file holding the certificate and its key.
# ZE_SIGN_PASSWORD: its password (read from the environment, never put on a command line).
# ZE_SIGN_TIMESTAMP_URL: optional RFC 3161 time-stamping server.
#
# The package build signs the executable before packing it and then the package when
# ZE_SIGN_PFX is set. Check a signature with: osslsigncode verify -in FILE
set -euo pipefail

if [ -z "${ZE_SIGN_PFX:-}" ] || [ $# -eq 0 ]; then
  echo "usage: ZE_SIGN_PFX=file.pfx ZE_SIGN_PASSWORD=... $0 FILE..." >&2
  exit 2
fi
if [ ! -r "$ZE_SIGN_PFX" ]; then
  echo "sign: cannot read ZE_SIGN_PFX $ZE_SIGN_PFX" >&2
  exit 2
fi

timestamp=()
if [ -n "${ZE_SIGN_TIMESTAMP_URL:-}" ]; then
  timestamp=(-ts "$ZE_SIGN_TIMESTAMP_URL")
fi

for file in "$@"; do
  signed="$file.signing"
  rm -f "$signed"
  # The password reaches osslsigncode through a pipe, not its argument list.
  if ! osslsigncode sign -pkcs12 "$ZE_SIGN_PFX" -readpass <(printf '%s' "${ZE_SIGN_PASSWORD:-}") \
       -h sha256 -n "ZeRegionSvc" "${timestamp[@]}" -in "$file" -out "$signed" >/dev/null; then
    rm -f "$signed"
    echo "sign: signing $file failed" >&2
    exit 1
  fi
  mv "$signed" "$file"
  echo "sign: signed $file"
done
