#!/usr/bin/env bash
# Builds the per-machine package of the assistant from a Windows build, for
# the build's architecture (x64 from build/win, x86 from build/win32):
#   installer/build-msi.sh BUILD_DIR OUT.msi [VERSION]
# Signed when the build (or the environment) names VELMORA_SIGN_CERT and
# VELMORA_SIGN_KEY.
# VERSION defaults to the build's own (the one version of the project, in
# CMakeLists.txt). Windows Installer compares the first three fields only:
# an upgrade must raise one of them.
set -euo pipefail
HERE=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
out=$(realpath -m "$2")
version=${3:-$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")}
[ -n "$version" ] || { echo "no version in $build" >&2; exit 1; }
# The package's architecture is the program's (the machine field of its PE header).
arch=$(/usr/bin/python3 -c '
import struct, sys
data = open(sys.argv[1], "rb").read(4096)
machine = struct.unpack_from("<H", data, struct.unpack_from("<I", data, 0x3C)[0] + 4)[0]
print({0x8664: "x64", 0x14C: "x86"}.get(machine, ""))' "$build/VelmoraURL.exe")
[ -n "$arch" ] || { echo "unknown architecture of $build/VelmoraURL.exe" >&2; exit 1; }
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
# The compiler takes relative file names only.
cp "$build/VelmoraURL.exe" "$HERE/../res/VelmoraURL.ico" "$HERE/VelmoraURL.wxs" "$stage/"
defines=(-D "Version=$version" -D "Arch=$arch" -D ExeFile=VelmoraURL.exe -D IconFile=VelmoraURL.ico)
while IFS= read -r line; do defines+=(-D "$line"); done < <(/usr/bin/python3 "$HERE/msi_texts.py" placeholders)
(cd "$stage" && wixl -a "$arch" "${defines[@]}" -o package.msi VelmoraURL.wxs 2>/dev/null)
# Each policy value is written only when its property is given (or was
# given to the install that an upgrade or repair follows).
properties=()
for entry in PolicyServer:SERVER PolicyCdnServer:CDNSERVER PolicyCdnAnnouncements:CDNANNOUNCEMENTS \
             PolicyUpdateCheck:UPDATECHECK PolicyResourceDir:RESOURCEDIR \
             PolicyRequireSignedTools:REQUIRESIGNEDTOOLS; do
  msibuild "$stage/package.msi" -q \
    "UPDATE Component SET Condition='${entry#*:}' WHERE Component='${entry%%:*}'"
  properties+=("${entry#*:}")
done
# A managed install (an administrator's deployment, advertised or elevated)
# passes only secure properties on to the installing service.
secure=$(msiinfo export "$stage/package.msi" Property |
  sed -n 's/^SecureCustomProperties\t//p' | tr -d '\r')
secure="$secure$(printf ';%s' "${properties[@]}")"
msibuild "$stage/package.msi" -q \
  "UPDATE Property SET Value='${secure#;}' WHERE Property='SecureCustomProperties'"
# The same version counts as older: the package of the other architecture
# at this version is replaced, not installed beside it (msidbUpgradeAttributes
# MigrateFeatures | VersionMaxInclusive).
# (Attributes is part of the row's key: the row is written anew.)
read -r code max < <(msiinfo export "$stage/package.msi" Upgrade | tr -d '\r' |
  awk -F'\t' '$7 == "WIX_UPGRADE_DETECTED" { print $1, $3 }') ||
  { echo "no upgrade row in the package" >&2; exit 1; }
msibuild "$stage/package.msi" \
  -q "DELETE FROM Upgrade WHERE ActionProperty='WIX_UPGRADE_DETECTED'" \
  -q "INSERT INTO Upgrade (UpgradeCode, VersionMax, Attributes, ActionProperty)
      VALUES ('$code', '$max', 513, 'WIX_UPGRADE_DETECTED')"
/usr/bin/python3 "$HERE/msi_texts.py" patch "$stage/package.msi"
cert=${VELMORA_SIGN_CERT:-$(sed -n 's/^VELMORA_SIGN_CERT:FILEPATH=//p' "$build/CMakeCache.txt")}
key=${VELMORA_SIGN_KEY:-$(sed -n 's/^VELMORA_SIGN_KEY:FILEPATH=//p' "$build/CMakeCache.txt")}
if [ -n "$cert" ] && [ -n "$key" ]; then "$HERE/sign.sh" "$stage/package.msi" "$cert" "$key"; fi
mv "$stage/package.msi" "$out"
echo "$out ($version)"
