"""The package's postinst on a first installation and on upgrades: what it
enables, what it takes out of the system's nginx, and the cache directory's
marker. Runs the script in a mount namespace of its own, where /run,
/var/cache and /etc/nginx are empty and the system commands it calls are
recorded instead of run."""

import os
import subprocess
from pathlib import Path

import pytest

from conftest import ROOT

POSTINST = ROOT / "cdn" / "package" / "postinst"
RECORDED = ("deb-systemd-helper", "deb-systemd-invoke", "systemctl", "adduser",
            "dpkg-maintscript-helper")
CACHE = "/var/cache/velmora-cdn"
SITE_LINK = "/etc/nginx/sites-enabled/velmora-cdn"

SETUP = """set -e
for d in /run /var/cache /etc/nginx; do mount -t tmpfs tmpfs "$d"; done
mount --bind "$WORK/passwd" /etc/passwd
mount --bind "$WORK/group" /etc/group
mkdir -p /run/systemd/system /etc/nginx/sites-available /etc/nginx/sites-enabled
case "$STATE" in *cache*) install -d -o velmora-cdn -g velmora-cdn "$CACHE" "$CACHE/files"
  echo held >"$CACHE/files/lesson7" ;; esac
case "$STATE" in *site*) ln -s ../sites-available/velmora-cdn "$SITE_LINK" ;; esac
PATH="$WORK/bin:$PATH" sh "$POSTINST" configure $PREVIOUS
{ [ -e "$CACHE/.velmora-cdn-cache" ] && stat -c 'marker %U' "$CACHE/.velmora-cdn-cache"
  [ -L "$SITE_LINK" ] && echo "site still enabled"; } >>"$WORK/calls" || true
"""


@pytest.fixture
def run_postinst(tmp_path):
    if os.geteuid() != 0 or os.environ.get("VELMORA_ISOLATED") != "1":
        pytest.skip("the package's scripts run as root inside scripts/isolated.sh only")
    (tmp_path / "bin").mkdir()
    for name in RECORDED:
        stub = tmp_path / "bin" / name
        stub.write_text('#!/bin/sh\necho "%s $*" >>"%s"\n' % (name, tmp_path / "calls"))
        stub.chmod(0o755)
    (tmp_path / "passwd").write_text(Path("/etc/passwd").read_text() +
                                     "velmora-cdn:x:64999:64999::/var/cache/velmora-cdn:/usr/sbin/nologin\n")
    (tmp_path / "group").write_text(Path("/etc/group").read_text() + "velmora-cdn:x:64999:\n")

    def run(previous, state):
        env = dict(os.environ, WORK=str(tmp_path), STATE=state, PREVIOUS=previous,
                   POSTINST=str(POSTINST), CACHE=CACHE, SITE_LINK=SITE_LINK)
        subprocess.run(["unshare", "--mount", "--propagation", "private", "sh", "-c", SETUP],
                       env=env, check=True, capture_output=True, text=True)
        return (tmp_path / "calls").read_text().splitlines()
    return run


ENABLE = ["deb-systemd-helper enable velmora-cdn.service",
          "deb-systemd-helper enable velmora-cdn-nginx.service"]


@pytest.mark.parametrize("previous, state, enabled, expected", [
    # A first installation enables and starts both services.
    ("", "", ENABLE, ["deb-systemd-invoke start velmora-cdn.service velmora-cdn-nginx.service"]),
    # From the version served by the system's nginx, with its site enabled:
    # the site moves to the cache's own nginx, and the old cache gets its marker.
    ("1.0.0", "cache site", ["deb-systemd-helper enable velmora-cdn-nginx.service"],
     ["deb-systemd-invoke try-reload-or-restart nginx.service", "marker velmora-cdn",
      "deb-systemd-invoke restart velmora-cdn.service velmora-cdn-nginx.service"]),
    # The same with the site disabled by the admin: it stays off.
    ("1.0.0", "cache", [], ["marker velmora-cdn"]),
    # Between versions of the own nginx nothing is enabled again, nothing marked.
    ("1.1.0", "cache", [], ["deb-systemd-helper update-state velmora-cdn-nginx.service"]),
])
def test_postinst_enables_only_what_the_admin_had_on(run_postinst, previous, state, enabled,
                                                     expected):
    calls = run_postinst(previous, state)
    assert [c for c in calls if c.startswith("deb-systemd-helper enable")] == enabled
    for line in expected:
        assert line in calls, calls
    if previous:
        assert "site still enabled" not in calls
    if previous == "1.1.0" or not previous:
        assert not any(c.startswith("marker") for c in calls), calls
        assert "deb-systemd-invoke try-reload-or-restart nginx.service" not in calls


RENDER = ROOT / "cdn" / "package" / "render-nginx-site"
SITE = ROOT / "cdn" / "package" / "nginx-site.conf"


def render(tmp_path, config_text):
    config, output = tmp_path / "velmora-cdn.conf", tmp_path / "run" / "site.conf"
    config.write_text(config_text)
    done = subprocess.run([RENDER, config, SITE, output], capture_output=True, text=True)
    return done, output


def directives(site, name):
    return [line.strip() for line in site.splitlines()
            if line.strip().startswith(name) and not line.strip().startswith("#")]


def test_the_site_takes_its_addresses_and_directory_from_the_configuration(tmp_path):
    done, output = render(tmp_path, "platform_host = p\npublic_address = 10.1.2.3  # LAN\n"
                                    "public_port = 8100\ncache_dir = /srv/cache/\n"
                                    "listen_port = 9000\n")
    assert done.returncode == 0, done.stderr
    site = output.read_text()
    assert directives(site, "listen") == ["listen 10.1.2.3:8100 backlog=4096; "
                                          "listen 127.0.0.1:8100;"]
    assert directives(site, "alias") == ["alias /srv/cache/files/;"]
    assert directives(site, "proxy_pass") == ["proxy_pass http://127.0.0.1:9000;"] * 2
    assert "@" not in "".join(l for l in site.splitlines() if not l.lstrip().startswith("#"))


@pytest.mark.parametrize("line", [
    "public_address = 10.1.2.3; include /etc/shadow",
    "public_address = 10.1.2.300",
    "public_address = ",
    "public_port = 80; listen 0.0.0.0:80",
    "public_port = 70000",
    "listen_address = localhost",
    "cache_dir = /srv/x; autoindex on",
    "cache_dir = /srv/a b",
    "cache_dir = srv/cache",
])
def test_a_value_that_would_change_the_site_is_refused(tmp_path, line):
    done, output = render(tmp_path, "public_address = 10.1.2.3\n" + line + "\n")
    assert done.returncode != 0
    assert line.split()[0] in done.stderr
    assert not output.exists()
