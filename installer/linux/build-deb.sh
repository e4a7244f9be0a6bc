#!/usr/bin/env bash
# Builds the assistant's Debian package for Linux desktops from the Windows
# build, with dpkg-deb.
#   installer/linux/build-deb.sh [BUILD_WIN [OUTPUT_DIR]]
# prints the path of velmora-assistant_<version>_amd64.deb.
set -euo pipefail
HERE=$(cd "$(dirname "$0")" && pwd)
ROOT=$(cd "$HERE/../.." && pwd)
build=${1:-$ROOT/build/win} out=${2:-$ROOT/build}
version=$(sed -n 's/^project(VelmoraAssistant VERSION \([0-9.]*\).*/\1/p' "$ROOT/CMakeLists.txt")
[ -f "$build/VelmoraURL.exe" ] || { echo "$build/VelmoraURL.exe is not built" >&2; exit 1; }
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
umask 022
lib=$stage/usr/lib/velmora-assistant
install -D -m 0644 "$build/VelmoraURL.exe" "$stage/opt/velmora/VelmoraURL.exe"
x86_64-w64-mingw32-strip --strip-debug "$stage/opt/velmora/VelmoraURL.exe"
install -D -m 0755 "$HERE/velmora-assistant" "$stage/usr/bin/velmora-assistant"
install -D -m 0644 "$HERE/prefix.sh" "$lib/prefix.sh"
install -m 0755 "$HERE/velmora-open" "$lib/velmora-open"
install -m 0644 "$ROOT/scripts/fonts.reg" "$lib/fonts.reg"
echo "$version" >"$lib/version"
install -D -m 0644 "$HERE/policy.conf" "$stage/etc/velmora/policy.conf"
install -D -m 0644 "$HERE/velmora-assistant-autostart.desktop" \
  "$stage/etc/xdg/autostart/velmora-assistant.desktop"
for entry in velmora-assistant.desktop velmora-assistant-url.desktop; do
  install -D -m 0644 "$HERE/$entry" "$stage/usr/share/applications/$entry"
done
for size in 16 32 48 64 128; do
  mkdir -p "$stage/usr/share/icons/hicolor/${size}x$size/apps"
  convert "$ROOT/res/VelmoraURL.ico[1]" -resize "${size}x$size" \
    "$stage/usr/share/icons/hicolor/${size}x$size/apps/velmora-assistant.png"
done
doc=$stage/usr/share/doc/velmora-assistant
install -D -m 0644 "$HERE/README.md" "$doc/README.md"
install -m 0644 "$HERE/debian/copyright" "$doc/copyright"
gzip -9n <"$HERE/debian/changelog" >"$doc/changelog.gz"
chmod 0644 "$doc/changelog.gz"

mkdir -p "$stage/DEBIAN"
sed -e "s/@VERSION@/$version/" \
  -e "s/@SIZE@/$(du -k -s --exclude=DEBIAN "$stage" | cut -f1)/" \
  "$HERE/debian/control" >"$stage/DEBIAN/control"
(cd "$stage" && find etc -type f -printf '/%p\n' | sort) >"$stage/DEBIAN/conffiles"
install -m 0755 "$HERE/debian/postinst" "$HERE/debian/postrm" "$stage/DEBIAN/"
(cd "$stage" && find . -path ./DEBIAN -prune -o -type f -printf '%P\0' | sort -z |
  xargs -0 md5sum) >"$stage/DEBIAN/md5sums"
chmod 0644 "$stage/DEBIAN/control" "$stage/DEBIAN/conffiles" "$stage/DEBIAN/md5sums"
find "$stage" -type d -exec chmod 0755 {} +
mkdir -p "$out"
deb=$out/velmora-assistant_${version}_amd64.deb
dpkg-deb --root-owner-group -Zxz --build "$stage" "$deb" >/dev/null
echo "$deb"
