#!/usr/bin/env bash
# Signs a program or package in place with Authenticode:
#   installer/sign.sh FILE CERT.pem KEY.pem
# The certificate and key are the build's settings (VELMORA_SIGN_CERT,
# VELMORA_SIGN_KEY); a build without them stays unsigned.
set -euo pipefail
file=$1 cert=$2 key=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
signed="$work/signed.${file##*.}"
osslsigncode sign -certs "$cert" -key "$key" -n "Velmora助手" -h sha256 \
  -in "$file" -out "$signed" >/dev/null
cat "$signed" >"$file"
