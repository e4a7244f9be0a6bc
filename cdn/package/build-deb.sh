#!/usr/bin/env bash
# Builds the Debian package of the LAN cache server with dpkg-deb.
#   cdn/package/build-deb.sh BINARY OUTPUT.deb [VERSION]
set -euo pipefail
HERE=$(cd "$(dirname "$0")" && pwd)
binary=$1 output=$2 version=${3:-1.0.0}
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
install -D -m 0755 "$binary" "$stage/usr/bin/velmora-cdn"
strip "$stage/usr/bin/velmora-cdn" 2>/dev/null || true
install -D -m 0644 "$HERE/velmora-cdn.conf" "$stage/etc/velmora-cdn/velmora-cdn.conf"
install -D -m 0644 "$HERE/nginx-site.conf" "$stage/etc/nginx/sites-available/velmora-cdn"
install -D -m 0644 "$HERE/velmora-cdn.service" "$stage/lib/systemd/system/velmora-cdn.service"
install -D -m 0644 "$HERE/nginx-velmora-cdn.conf" \
  "$stage/lib/systemd/system/nginx.service.d/velmora-cdn.conf"
install -D -m 0644 "$HERE/../README.md" "$stage/usr/share/doc/velmora-cdn/README.md"
install -D -m 0644 "$HERE/district-nginx.conf" \
  "$stage/usr/share/doc/velmora-cdn/examples/district-nginx.conf"
mkdir -p "$stage/DEBIAN"
sed -e "s/@VERSION@/$version/" -e "s/@ARCH@/$(dpkg --print-architecture)/" \
  "$HERE/control" >"$stage/DEBIAN/control"
printf '%s\n' /etc/velmora-cdn/velmora-cdn.conf /etc/nginx/sites-available/velmora-cdn \
  >"$stage/DEBIAN/conffiles"
for script in postinst prerm postrm; do
  install -m 0755 "$HERE/$script" "$stage/DEBIAN/$script"
done
dpkg-deb --root-owner-group --build "$stage" "$output" >/dev/null
echo "$output"
