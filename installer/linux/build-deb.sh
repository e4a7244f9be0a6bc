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
# The program's icon, a white V on blue, drawn as a shape at SIZE pixels
# (the outline is the one of the 32 px icon, on a grid of 32).
draw_icon() {  # draw_icon SIZE OUT
  local points="" xy
  for xy in 7.5,7 11,7 15.5,19.5 20,7 23.5,7 17.5,23 13.5,23; do
    points+=" $(awk -v p="$xy" -v s="$1" 'BEGIN { split(p, c, ","); printf "%.2f,%.2f", c[1] * s / 32, c[2] * s / 32 }')"
  done
  convert -size "${1}x$1" xc:'#1e6fd9' -fill white -draw "polygon$points" \
    -define png:exclude-chunks=date,time "PNG32:$2"
}

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
umask 022
lib=$stage/usr/lib/velmora-assistant
install -D -m 0644 "$build/VelmoraURL.exe" "$stage/opt/velmora/VelmoraURL.exe"
x86_64-w64-mingw32-strip --strip-debug "$stage/opt/velmora/VelmoraURL.exe"
install -D -m 0755 "$HERE/velmora-assistant" "$stage/usr/bin/velmora-assistant"
install -D -m 0644 "$HERE/prefix.sh" "$lib/prefix.sh"
install -m 0755 "$HERE/velmora-open" "$HERE/velmora-notice" "$lib/"
install -m 0644 "$ROOT/scripts/fonts.reg" "$lib/fonts.reg"
echo "$version" >"$lib/version"
install -D -m 0644 "$HERE/policy.conf" "$stage/etc/velmora/policy.conf"
install -D -m 0644 "$HERE/velmora-assistant-autostart.desktop" \
  "$stage/etc/xdg/autostart/velmora-assistant.desktop"
for entry in velmora-assistant.desktop velmora-assistant-url.desktop; do
  install -D -m 0644 "$HERE/$entry" "$stage/usr/share/applications/$entry"
done
# The program's own pixels at 16 and 32 px; the larger sizes are drawn at
# their size, so that menus and docks do not show a blurred enlargement.
icons=$stage/usr/share/icons/hicolor
for size in 16 32; do
  mkdir -p "$icons/${size}x$size/apps"
  convert "$ROOT/res/VelmoraURL.ico[$((size / 32))]" "$icons/${size}x$size/apps/velmora-assistant.png"
done
for size in 48 64 128; do
  mkdir -p "$icons/${size}x$size/apps"
  draw_icon "$size" "$icons/${size}x$size/apps/velmora-assistant.png"
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
install -m 0755 "$HERE/debian/preinst" "$HERE/debian/postinst" "$HERE/debian/postrm" "$stage/DEBIAN/"
(cd "$stage" && find . -path ./DEBIAN -prune -o -type f -printf '%P\0' | sort -z |
  xargs -0 md5sum) >"$stage/DEBIAN/md5sums"
chmod 0644 "$stage/DEBIAN/control" "$stage/DEBIAN/conffiles" "$stage/DEBIAN/md5sums"
find "$stage" -type d -exec chmod 0755 {} +
mkdir -p "$out"
deb=$out/velmora-assistant_${version}_amd64.deb
dpkg-deb --root-owner-group -Zxz --build "$stage" "$deb" >/dev/null
echo "$deb"
