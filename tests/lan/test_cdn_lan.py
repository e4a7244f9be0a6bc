"""The LAN cache server with real nginx, in the school of conftest.py."""

import hashlib
import json
import os
import shutil
import signal
import subprocess
import time

import pytest

from conftest import CACHE_LAN, NGINX_PORT, PLATFORM, ROOT
from refplatform import pattern_bytes

MiB = 1048576
SERVER = "%s:%d" % (CACHE_LAN, NGINX_PORT)


def put(school, fid, size):
    school.platform.put_file("download", fid, generate=size)
    return pattern_bytes(size)


def wait_until_held(school, fid, timeout=30):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        found = school.lookup("find.do", "?fid=" + fid)
        if found["ret"] == 0:
            return found
        time.sleep(0.2)
    raise AssertionError("%s never became held" % fid)


def test_two_students_learn_the_server_and_the_platform_sends_the_file_once(cdn):
    listeners = [cdn.student_background(role, "listen", "--timeout", "20") for role in ("s1", "s2")]
    learnt = [p.communicate(timeout=30)[0].strip() for p in listeners]
    assert learnt == [SERVER, SERVER]

    content = put(cdn, "lesson7", 3 * MiB)
    outputs = {role: cdn.dir / ("%s.bin" % role) for role in ("s1", "s2")}
    for role in ("s1", "s2"):
        opened = json.loads(cdn.student(role, "open", learnt[0], "lesson7", outputs[role], PLATFORM))
        assert opened["source"] == "cdn", role
        assert opened["size"] == len(content)
        assert outputs[role].read_bytes() == content, role
    assert len(cdn.platform_downloads("lesson7")) == 1


def test_a_resumed_download_from_the_cache_is_byte_identical(cdn):
    content = put(cdn, "video9", 2 * MiB + 123)
    found = wait_until_held(cdn, "video9")
    target = cdn.dir / "resumed.bin"
    url = "http://%s%s" % (SERVER, found["path"])
    assert cdn.student("s2", "get", url, target, "--from", 0, "--to", MiB - 1) == "206"
    assert target.stat().st_size == MiB
    assert cdn.student("s2", "get", url, target, "--from", MiB) == "206"
    assert target.read_bytes() == content


def test_a_kill_during_a_fetch_never_serves_a_partial_file(cdn):
    content = put(cdn, "bigfile", 4 * MiB)
    cdn.platform.set_faults({"server": "download", "path": "/file/downLoad?ft=1&u=2&fid=bigfile",
                             "stall": {"after": MiB, "seconds": 60}, "times": 1})
    assert cdn.lookup("find.do", "?fid=bigfile")["ret"] == 1  # waited, then gave up
    part = cdn.dir / "cache" / "tmp" / "bigfile.part"
    deadline = time.monotonic() + 15
    while not (part.exists() and part.stat().st_size >= MiB) and time.monotonic() < deadline:
        time.sleep(0.1)
    assert part.stat().st_size == MiB  # the platform stalls after 1 MiB
    assert cdn.status_of("/files/bigfile") == 404
    assert cdn.lookup("find.do", "?fid=bigfile")["ret"] == 1  # still one fetch
    cdn.stop_cdn(signal.SIGKILL)
    assert cdn.status_of("/files/bigfile") == 404
    assert not (cdn.dir / "cache" / "files" / "bigfile").exists()

    cdn.platform.clear_faults()
    cdn.start_cdn()
    assert not part.exists()
    found = wait_until_held(cdn, "bigfile")
    assert found["size"] == len(content)
    target = cdn.dir / "after-kill.bin"
    cdn.student("s1", "get", "http://%s%s" % (SERVER, found["path"]), target)
    assert target.read_bytes() == content


def test_a_file_over_the_cap_evicts_the_least_recently_used(cdn):
    for fid in ("e1", "e2", "e3"):
        put(cdn, fid, 4 * MiB)  # three of them do not fit 10 MiB
    wait_until_held(cdn, "e1")
    wait_until_held(cdn, "e2")
    wait_until_held(cdn, "e1")  # e1 used again: e2 is now the least recent
    wait_until_held(cdn, "e3")
    assert cdn.status_of("/files/e1") == 200
    assert cdn.status_of("/files/e2") == 404
    assert cdn.status_of("/files/e3") == 200


def test_held_files_survive_a_restart(cdn):
    content = put(cdn, "kept", MiB)
    wait_until_held(cdn, "kept")
    cdn.stop_cdn()
    cdn.start_cdn()
    assert cdn.lookup("find.do", "?fid=kept") == {"ret": 0, "path": "/files/kept", "size": len(content)}
    assert len(cdn.platform_downloads("kept")) == 1


@pytest.mark.parametrize("query", ["?fid=..%2F..%2Fetc%2Fpasswd", "?fid=a%26ft%3D3", "?fid=",
                                   "?fid=%2Fetc%2Fpasswd", "?fid=a%00b", "?fid=" + "9" * 200])
def test_hostile_file_ids_reach_neither_the_disk_nor_the_platform(cdn, query):
    assert cdn.lookup("find.do", query) == {"ret": 2}
    assert cdn.platform.requests("download") == []


@pytest.mark.parametrize("path", ["/files/../velmora-cdn.conf", "/files/%2e%2e/velmora-cdn.conf",
                                  "/files/", "/velmora-cdn.conf", "/tmp/x.part"])
def test_nginx_serves_nothing_but_whole_cached_files(cdn, path):
    assert cdn.status_of(path) in (400, 403, 404)


@pytest.fixture(scope="module")
def package(tmp_path_factory):
    """The package, built and unpacked: (the .deb, its files, its control files)."""
    work = tmp_path_factory.mktemp("deb")
    deb = work / "velmora-cdn.deb"
    subprocess.run([ROOT / "cdn" / "package" / "build-deb.sh", ROOT / "build" / "native" / "cdn" /
                    "velmora-cdn", deb], check=True, capture_output=True)
    subprocess.run(["dpkg-deb", "-R", deb, work / "root"], check=True)
    return deb, work / "root", work / "root" / "DEBIAN"


def test_the_package_holds_the_program_its_configuration_and_units(package):
    deb, root, control = package
    for path in ("usr/bin/velmora-cdn", "usr/lib/velmora-cdn/render-nginx-site",
                 "etc/velmora-cdn/velmora-cdn.conf", "etc/velmora-cdn/nginx.conf",
                 "etc/velmora-cdn/nginx-site.conf", "lib/systemd/system/velmora-cdn.service",
                 "lib/systemd/system/velmora-cdn-nginx.service"):
        assert (root / path).is_file(), path
    # The system's nginx is left alone.
    assert not (root / "etc" / "nginx").exists()
    assert not (root / "lib" / "systemd" / "system" / "nginx.service.d").exists()
    fields = subprocess.run(["dpkg-deb", "-f", deb, "Package", "Depends"], check=True,
                            capture_output=True, text=True).stdout
    assert "velmora-cdn" in fields and "nginx" in fields
    etc = sorted("/" + str(p.relative_to(root)) for p in (root / "etc").rglob("*") if p.is_file())
    assert (control / "conffiles").read_text().split() == etc


def test_the_package_lists_every_file_with_its_checksum(package):
    deb, root, control = package
    listed = {}
    for line in (control / "md5sums").read_text().splitlines():
        checksum, path = line.split(None, 1)
        listed[path] = checksum
    files = [p for p in root.rglob("*") if p.is_file() and control not in p.parents]
    assert sorted(listed) == sorted(str(p.relative_to(root)) for p in files)
    for path in files:
        assert hashlib.md5(path.read_bytes()).hexdigest() == listed[str(path.relative_to(root))]


def test_every_directory_of_the_package_is_0755(package):
    deb, _, _ = package
    listing = subprocess.run(["dpkg-deb", "-c", deb], check=True, capture_output=True,
                             text=True).stdout.splitlines()
    directories = [line for line in listing if line.startswith("d")]
    assert directories and all(line.startswith("drwxr-xr-x root/root") for line in directories)


@pytest.mark.skipif(not shutil.which("lintian"), reason="lintian is not installed")
def test_lintian_finds_no_error_in_the_package(package):
    deb, _, _ = package
    report = subprocess.run(["lintian", deb], capture_output=True, text=True).stdout
    assert not [line for line in report.splitlines() if line.startswith("E:")], report
