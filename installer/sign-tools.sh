#!/usr/bin/env bash
# The publisher's signatures of the tool server's files (VelmoraTool/):
# beside each file FILE, FILE.sig, which the assistant checks before it runs
# or loads FILE (see the README, "Signed tool files").
#   installer/sign-tools.sh sign KEY.pem KEY_ID DIR [PROGRAM_VERSION]
#     signs every file of DIR (not the .sig files). PROGRAM_VERSION, the
#     dotted version of VelmoraURL.exe, is required when DIR holds it: the
#     assistant refuses a program signed as older than itself.
#   installer/sign-tools.sh retire KEY.pem KEY_ID DIR OLD_KEY_ID...
#     writes DIR/keys.retired, the list that retires the OLD_KEY_IDs, and
#     signs it. Only a key later than the ones it retires (the next key
#     retires the current one) has the right: sign with it.
#   installer/sign-tools.sh verify KEYS_FILE DIR
#     checks every FILE.sig of DIR against the keys of KEYS_FILE (the format
#     of VELMORA_TOOL_KEYS); fails when any file lacks a good signature.
# Only openssl does the cryptography. Keep KEY.pem off the build machine.
set -euo pipefail

# DER prefix of a P-256 SubjectPublicKeyInfo, before the 65-byte point.
SPKI_PREFIX=3059301306072a8648ce3d020106082a8648ce3d030107034200

header() {  # header NAME VERSION KEY_ID: the signed lines, exactly
  printf 'velmora-signature 1\nfile: %s\nversion: %s\nkey: %s\n' "$1" "$2" "$3"
}

pad64() {  # a hexadecimal integer as 64 digits
  local hex=${1^^}
  while [ ${#hex} -lt 64 ]; do hex=0$hex; done
  printf '%s' "${hex: -64}"
}

der_integer() {  # der_integer HEX64: the DER INTEGER of an unsigned 32-byte value
  local hex=$1
  while [ ${#hex} -gt 2 ] && [ "${hex:0:2}" = 00 ]; do hex=${hex:2}; done
  [ $((16#${hex:0:1})) -ge 8 ] && hex=00$hex
  printf '02%02x%s' $((${#hex} / 2)) "$hex"
}

sign_file() {  # sign_file KEY KEY_ID DIR NAME VERSION
  local key=$1 id=$2 dir=$3 name=$4 version=$5 work rs
  work=$(mktemp -d)
  header "$name" "$version" "$id" >"$work/header"
  cat "$work/header" "$dir/$name" | openssl dgst -sha256 -sign "$key" -binary >"$work/der"
  rs=$(openssl asn1parse -inform DER -in "$work/der" | sed -n 's/.*INTEGER *://p' |
       while read -r n; do pad64 "$n"; done | tr -d '\n')
  [ ${#rs} -eq 128 ] || { rm -rf "$work"; echo "cannot sign $name" >&2; return 1; }
  { cat "$work/header"; printf 'signature: %s\n' "$(printf '%s' "$rs" | xxd -r -p | base64 -w0)"; } \
    >"$dir/$name.sig"
  rm -rf "$work"
}

sign_dir() {
  local key=$1 id=$2 dir=$3 version=${4:-} name count=0
  [ -f "$key" ] || { echo "no key $key" >&2; exit 2; }
  if [ -f "$dir/VelmoraURL.exe" ] && [ -z "$version" ]; then
    echo "VelmoraURL.exe needs PROGRAM_VERSION" >&2; exit 2
  fi
  for path in "$dir"/*; do
    name=$(basename "$path")
    [ -f "$path" ] && [ "${name%.sig}" = "$name" ] || continue
    if [ "$name" = VelmoraURL.exe ]; then sign_file "$key" "$id" "$dir" "$name" "$version"
    else sign_file "$key" "$id" "$dir" "$name" -; fi
    count=$((count + 1))
  done
  echo "signed $count files in $dir with $id"
}

retire_keys() {
  local key=$1 id=$2 dir=$3 old
  shift 3
  [ -f "$key" ] || { echo "no key $key" >&2; exit 2; }
  { echo "velmora-retired-keys 1"; for old in "$@"; do echo "retired $old"; done; } \
    >"$dir/keys.retired"
  sign_file "$key" "$id" "$dir" keys.retired -
  echo "keys.retired in $dir retires $* (signed with $id)"
}

verify_file() {  # verify_file KEYS_FILE DIR NAME: 0 when NAME.sig holds
  local keys=$1 dir=$2 name=$3 sig=$2/$3.sig work point rs r s body ok=1
  [ -f "$sig" ] || { echo "$name: no signature"; return 1; }
  local magic file version id encoded
  { read -r magic; read -r file; read -r version; read -r id; read -r encoded; } <"$sig" || true
  [ "$magic" = "velmora-signature 1" ] && [ "$file" = "file: $name" ] || {
    echo "$name: not its signature file"; return 1; }
  point=$(awk -v id="${id#key: }" '($1 == "current" || $1 == "next") && $2 == id { print $3 }' "$keys")
  [ -n "$point" ] || { echo "$name: key ${id#key: } is not trusted"; return 1; }
  rs=$(printf '%s' "${encoded#signature: }" | base64 -d 2>/dev/null | xxd -p -c 64)
  [ ${#rs} -eq 128 ] || { echo "$name: malformed signature"; return 1; }
  work=$(mktemp -d)
  printf '%s%s' "$SPKI_PREFIX" "$point" | xxd -r -p | openssl pkey -pubin -inform DER -out "$work/key.pem"
  r=$(der_integer "${rs:0:64}")
  s=$(der_integer "${rs:64:64}")
  body=$r$s
  printf '30%02x%s' $((${#body} / 2)) "$body" | xxd -r -p >"$work/der"
  head -n 4 "$sig" >"$work/header"
  if cat "$work/header" "$dir/$name" |
      openssl dgst -sha256 -verify "$work/key.pem" -signature "$work/der" >/dev/null 2>&1; then
    echo "$name: good (${id#key: }, ${version#version: })"; ok=0
  else
    echo "$name: BAD signature"
  fi
  rm -rf "$work"
  return $ok
}

verify_dir() {
  local keys=$1 dir=$2 name failed=0
  for path in "$dir"/*; do
    name=$(basename "$path")
    [ -f "$path" ] && [ "${name%.sig}" = "$name" ] || continue
    verify_file "$keys" "$dir" "$name" || failed=$((failed + 1))
  done
  [ $failed -eq 0 ] || { echo "$failed files without a good signature" >&2; exit 1; }
}

case "${1:-}" in
  sign) [ $# -ge 4 ] || { sed -n '4,15p' "$0"; exit 2; }; sign_dir "$2" "$3" "$4" "${5:-}" ;;
  retire) [ $# -ge 5 ] || { sed -n '4,15p' "$0"; exit 2; }; retire_keys "$2" "$3" "$4" "${@:5}" ;;
  verify) [ $# -eq 3 ] || { sed -n '4,15p' "$0"; exit 2; }; verify_dir "$2" "$3" ;;
  *) sed -n '2,16p' "$0"; exit 2 ;;
esac
