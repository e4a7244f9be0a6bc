#!/usr/bin/env bash
# Builds the Debian package of the LAN cache server with dpkg-deb.
#   cdn/package/build-deb.sh BINARY OUTPUT.deb [VERSION]
set -euo pipefail
HERE=$(cd "$(dirname "$0")" && pwd)
binary=$1 output=$2 version=${3:-1.1.0}
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
umask 022
install -D -m 0755 "$binary" "$stage/usr/bin/velmora-cdn"
strip --strip-unneeded --remove-section=.comment --remove-section=.note \
  "$stage/usr/bin/velmora-cdn" 2>/dev/null || true
install -D -m 0755 "$HERE/render-nginx-site" "$stage/usr/lib/velmora-cdn/render-nginx-site"
for conf in velmora-cdn.conf nginx.conf nginx-site.conf; do
  install -D -m 0644 "$HERE/$conf" "$stage/etc/velmora-cdn/$conf"
done
install -D -m 0644 "$HERE/logrotate" "$stage/etc/logrotate.d/velmora-cdn"
for unit in velmora-cdn.service velmora-cdn-nginx.service; do
  install -D -m 0644 "$HERE/$unit" "$stage/lib/systemd/system/$unit"
done
doc=$stage/usr/share/doc/velmora-cdn
install -D -m 0644 "$HERE/../README.md" "$doc/README.md"
install -m 0644 "$HERE/copyright" "$doc/copyright"
gzip -9n <"$HERE/changelog" >"$doc/changelog.gz"
chmod 0644 "$doc/changelog.gz"
install -D -m 0644 "$HERE/district-nginx.conf" "$doc/examples/district-nginx.conf"

mkdir -p "$stage/DEBIAN"
sed -e "s/@VERSION@/$version/" -e "s/@ARCH@/$(dpkg --print-architecture)/" \
  -e "s/@SIZE@/$(du -k -s --exclude=DEBIAN "$stage" | cut -f1)/" \
  "$HERE/control" >"$stage/DEBIAN/control"
(cd "$stage" && find etc -type f -printf '/%p\n' | LC_ALL=C sort) >"$stage/DEBIAN/conffiles"
for script in preinst postinst prerm postrm; do
  install -m 0755 "$HERE/$script" "$stage/DEBIAN/$script"
done
(cd "$stage" && find . -path ./DEBIAN -prune -o -type f -printf '%P\0' | sort -z |
  xargs -0 md5sum) >"$stage/DEBIAN/md5sums"
chmod 0644 "$stage/DEBIAN/control" "$stage/DEBIAN/conffiles" "$stage/DEBIAN/md5sums"
# mktemp made the root 0700: every directory of the archive is 0755.
find "$stage" -type d -exec chmod 0755 {} +
dpkg-deb --root-owner-group -Zxz --build "$stage" "$output" >/dev/null
echo "$output"
