#!/bin/bash
# Signs Windows files in place with Debian's osslsigncode (Authenticode,
# SHA-256). Called by scripts/package.sh for the staged files and by makensis
# for the uninstaller and the installer (!uninstfinalize, !finalize), so the
# certificate comes from the environment, never from a command line:
#   LUMO_SIGN_PFX            the PKCS#12 file with the key and its certificates
#   LUMO_SIGN_PASSWORD_FILE  a file whose first line is its password (optional)
#   LUMO_SIGN_TIMESTAMP_URL  an RFC 3161 time-stamp server (optional)
# Usage: sign.sh FILE...        exit status 0 when every file was signed
set -euo pipefail

[ -n "${LUMO_SIGN_PFX:-}" ] || { echo "sign: LUMO_SIGN_PFX is not set" >&2; exit 1; }
options=(-pkcs12 "$LUMO_SIGN_PFX" -h sha256 -n "TarnPOS背屏 lumo")
# -readpass keeps the password out of every process list.
[ -z "${LUMO_SIGN_PASSWORD_FILE:-}" ] || options+=(-readpass "$LUMO_SIGN_PASSWORD_FILE")
[ -z "${LUMO_SIGN_TIMESTAMP_URL:-}" ] || options+=(-ts "$LUMO_SIGN_TIMESTAMP_URL")

for file in "$@"; do
  # osslsigncode writes a new file; the signed one replaces the original only
  # when signing worked, so a failure never leaves half a file behind.
  signed="$file.signing"
  rm -f "$signed"
  if ! out=$(osslsigncode sign "${options[@]}" -in "$file" -out "$signed" 2>&1); then
    rm -f "$signed"
    echo "sign: $file: osslsigncode failed: $(echo "$out" | tail -n 3 | tr '\n' ' ')" >&2
    exit 1
  fi
  mv -f "$signed" "$file"
done
