"""Two school caches behind one district cache (the packaged district nginx
site), in network namespaces: the platform lives in the test's own namespace
(the internet), the district server behind one uplink to it, each school's
cache server on the district's network with a student on its own LAN."""

import base64
import http.client
import itertools
import json
import os
import shutil
import signal
import socket
import subprocess
import tempfile
import time
import urllib.error
import urllib.request
from pathlib import Path

import pytest

from conftest import NGINX_PORT, ROOT, School, sh, why_not_runnable
from refclient import RefPlatform
from refplatform import pattern_bytes

MiB = 1048576
PLATFORM, DISTRICT_UP = "192.168.60.1", "192.168.60.2"
DISTRICT = "10.78.0.1"
SCHOOLS = {"a": ("10.78.0.11", "10.77.1.8", "10.77.1.21"),
           "b": ("10.78.0.12", "10.77.2.8", "10.77.2.21")}
DOWNLOAD_PATH = "/file/downLoad?ft=1&u=2&fid="


class DistrictSchool(School):
    """A school whose cache server's platform is the district server; only
    its network differs from conftest's school."""

    def __init__(self, name, tag):
        super().__init__()
        self.name = name
        self.uplink, self.lan_address, self.student_address = SCHOOLS[name]
        self.ns = {role: "vdst-%s-%s-%s" % (name, role, tag) for role in ("cache", "s1")}

    def write_config(self, **overrides):
        settings = dict(platform_host=DISTRICT, public_address=self.lan_address, find_wait=8)
        settings.update(overrides)
        return super().write_config(**settings)

    def url(self, path):
        return "http://%s:%d%s" % (self.lan_address, NGINX_PORT, path)

    def build_network(self, district_ns):
        for name in self.ns.values():
            sh("ip", "netns", "add", name)
            sh("ip", "-n", name, "link", "set", "lo", "up")
        cache, student = self.ns["cache"], self.ns["s1"]
        port = "p-" + self.name
        sh("ip", "-n", district_ns, "link", "add", port, "type", "veth", "peer", "name", "up0",
           "netns", cache)
        sh("ip", "-n", district_ns, "link", "set", port, "master", "br0", "up")
        sh("ip", "-n", cache, "link", "add", "eth0", "type", "veth", "peer", "name", "eth0",
           "netns", student)
        for ns, device, address in ((cache, "up0", self.uplink), (cache, "eth0", self.lan_address),
                                    (student, "eth0", self.student_address)):
            sh("ip", "-n", ns, "addr", "add", address + "/24", "dev", device)
            sh("ip", "-n", ns, "link", "set", device, "up")
        sh("ip", "-n", cache, "route", "add", "default", "via", DISTRICT)
        sh("ip", "-n", student, "route", "add", "default", "via", self.lan_address)
        self.netns("cache", "sysctl", "-qw", "net.ipv4.ip_forward=1")
        lan = self.lan_address.rsplit(".", 1)[0] + ".0/24"
        sh("ip", "-n", district_ns, "route", "add", lan, "via", self.uplink)
        sh("ip", "route", "add", lan, "via", DISTRICT_UP)

    def teardown(self):
        self.platform = None  # the district's, stopped there
        self.stop_cdn(signal.SIGKILL)
        if self.nginx:
            self.nginx.terminate()
            self.nginx.wait(timeout=10)
        for name in self.ns.values():
            sh("ip", "netns", "del", name, check=False)
        shutil.rmtree(self.dir, ignore_errors=True)


class District:
    def __init__(self):
        self.tag = "%d" % (os.getpid() % 100000)
        self.ns = "vdst-district-" + self.tag
        self.dir = Path(tempfile.mkdtemp(prefix="vdst-"))
        os.chmod(self.dir, 0o755)  # nginx's workers keep the cache below it
        self.nginx = None
        self.platform = None
        self.schools = {}

    def build_network(self):
        sh("ip", "netns", "add", self.ns)
        sh("ip", "-n", self.ns, "link", "set", "lo", "up")
        sh("ip", "link", "add", "vdst-up", "type", "veth", "peer", "name", "up0", "netns", self.ns)
        sh("ip", "addr", "add", PLATFORM + "/24", "dev", "vdst-up")
        sh("ip", "link", "set", "vdst-up", "up")
        sh("ip", "-n", self.ns, "addr", "add", DISTRICT_UP + "/24", "dev", "up0")
        sh("ip", "-n", self.ns, "link", "set", "up0", "up")
        sh("ip", "-n", self.ns, "link", "add", "br0", "type", "bridge")
        sh("ip", "-n", self.ns, "addr", "add", DISTRICT + "/24", "dev", "br0")
        sh("ip", "-n", self.ns, "link", "set", "br0", "up")
        sh("ip", "-n", self.ns, "route", "add", "default", "via", PLATFORM)
        sh("ip", "netns", "exec", self.ns, "sysctl", "-qw", "net.ipv4.ip_forward=1")
        sh("ip", "route", "add", "10.78.0.0/24", "via", DISTRICT_UP)

    def start_platform(self):
        self.platform = RefPlatform.start(str(self.dir / "platform"), "--host", PLATFORM,
                                          "--download-port", "8112", "--api-port", "9112",
                                          "--tool-port", "7112", "--cdn-port", "8080",
                                          "--control-port", "8200")

    def start_nginx(self):
        site = (ROOT / "cdn" / "package" / "district-nginx.conf").read_text()
        site = site.replace("PLATFORM_HOST", PLATFORM)
        site = site.replace("/var/cache/nginx/velmora-district", str(self.dir / "cache"))
        site = site.replace("/var/log/nginx/", str(self.dir) + "/")
        conf = self.dir / "nginx.conf"
        conf.write_text(
            "worker_processes 2;\npid %s/nginx.pid;\nerror_log %s/nginx-error.log;\n"
            "events { worker_connections 256; }\n"
            "http {\n client_body_temp_path %s/t1;\n proxy_temp_path %s/t2;\n"
            " fastcgi_temp_path %s/t3;\n uwsgi_temp_path %s/t4;\n scgi_temp_path %s/t5;\n%s\n}\n"
            % ((self.dir,) * 7 + (site,)))
        self.nginx = subprocess.Popen(["ip", "netns", "exec", self.ns, "nginx", "-c", str(conf),
                                       "-g", "daemon off;"], stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline:
            if self.status_of("/") == 404:
                return
            time.sleep(0.05)
        raise RuntimeError("the district's nginx did not start: %s"
                           % (self.dir / "nginx-error.log").read_text())

    def start_school(self, name):
        school = DistrictSchool(name, self.tag)
        self.schools[name] = school
        school.build_network(self.ns)
        school.start_nginx()
        return school

    def get(self, fid, headers=None, reply_headers=None):
        request = urllib.request.Request("http://%s:8112%s%s" % (DISTRICT, DOWNLOAD_PATH, fid),
                                         headers=headers or {})
        with urllib.request.urlopen(request, timeout=30) as reply:
            if reply_headers is not None:
                reply_headers.extend(reply.headers.items())
            return reply.status, reply.read()

    def status_of(self, path):
        try:
            with urllib.request.urlopen("http://%s:8112%s" % (DISTRICT, path), timeout=5) as r:
                return r.status
        except urllib.error.HTTPError as error:
            return error.code
        except OSError:
            return None

    def platform_downloads(self, fid):
        return [r for r in self.platform.requests("download") if r.target.endswith("fid=" + fid)]

    def teardown(self):
        for school in self.schools.values():
            school.teardown()
        if self.nginx:
            self.nginx.terminate()
            self.nginx.wait(timeout=10)
        if self.platform:
            self.platform.stop()
        sh("ip", "link", "del", "vdst-up", check=False)
        sh("ip", "netns", "del", self.ns, check=False)
        shutil.rmtree(self.dir, ignore_errors=True)


@pytest.fixture(scope="module")
def district_net():
    reason = why_not_runnable()
    if reason:
        pytest.skip("district tier tests skipped: " + reason)
    district = District()
    try:
        district.build_network()
        district.start_platform()
        district.start_nginx()
        for name in SCHOOLS:
            district.start_school(name).start_cdn()
        yield district
    finally:
        district.teardown()


@pytest.fixture
def district(district_net):
    district_net.platform.clear_faults()
    yield district_net
    district_net.platform.clear_faults()


FIDS = itertools.count(1)


def put(district, size):
    """A file id no cache has seen yet, on the platform with SIZE bytes."""
    fid = "f%d" % next(FIDS)
    district.platform.put_file("download", fid, generate=size)
    return fid, pattern_bytes(size)


def platform_reply(content, headers):
    """The file as the platform would send it, with HEADERS added."""
    return {"server": "download", "times": 1, "reply": {
        "body": "base64:" + base64.b64encode(content).decode("ascii"), "headers": headers,
        "content_type": "application/octet-stream"}}


def student_opens(school, fid):
    out = school.dir / ("%s.bin" % fid)
    if out.exists():
        out.unlink()
    process = school.student_background("s1", "open", "%s:%d" % (school.lan_address, NGINX_PORT),
                                        fid, out, PLATFORM)
    return process, out


def opened(process, out):
    result = json.loads(process.communicate(timeout=60)[0])
    return result["source"], out.read_bytes()


@pytest.mark.parametrize("together", [True, False], ids=["at-once", "one-after-the-other"])
def test_a_file_both_schools_ask_for_crosses_the_platform_link_once(district, together):
    fid, content = put(district, 3 * MiB)
    # Slow enough that both schools' fetches meet at the district while it runs.
    district.platform.set_faults({"server": "download", "drip": {"bytes": 65536, "delay": 0.04}})
    results = []
    if together:
        started = [student_opens(district.schools[name], fid) for name in SCHOOLS]
        results = [opened(*pair) for pair in started]
    else:
        for name in SCHOOLS:
            results.append(opened(*student_opens(district.schools[name], fid)))
    assert results == [("cdn", content), ("cdn", content)]
    assert len(district.platform_downloads(fid)) == 1


@pytest.mark.parametrize("warm,ranges", [(True, True), (False, True), (True, False)],
                         ids=["cached", "not-cached-yet", "platform-without-ranges"])
def test_a_resumed_download_from_the_district_is_the_platforms_bytes(district, warm, ranges):
    fid, content = put(district, 2 * MiB + 77)
    if not ranges:
        district.platform.set_faults(platform_reply(content, []))
    if warm:
        assert district.get(fid) == (200, content)
    assert district.get(fid, {"Range": "bytes=%d-" % MiB}) == (206, content[MiB:])
    assert district.get(fid, {"Range": "bytes=10-19"}) == (206, content[10:20])
    assert len(district.platform_downloads(fid)) == 1


@pytest.mark.parametrize("headers", [
    [["Cache-Control", "no-store, no-cache, private"]],
    [["Expires", "Thu, 01 Jan 1970 00:00:00 GMT"], ["Cache-Control", "max-age=0"]],
    [["Set-Cookie", "session=school-a-secret; Path=/"]],
], ids=["no-store", "expired", "cookie"])
def test_the_platforms_caching_headers_do_not_keep_a_file_out(district, headers):
    fid, content = put(district, 300000)
    district.platform.set_faults(platform_reply(content, headers))
    assert district.get(fid) == (200, content)
    second = []
    assert district.get(fid, reply_headers=second) == (200, content)
    assert len(district.platform_downloads(fid)) == 1
    assert [name for name, _ in second if name.lower() == "set-cookie"] == []


def test_a_school_giving_up_midway_does_not_waste_the_fetch(district):
    fid, content = put(district, 2 * MiB)
    district.platform.set_faults({"server": "download", "drip": {"bytes": 65536, "delay": 0.03}})
    with socket.create_connection((DISTRICT, 8112), timeout=10) as gone:
        gone.sendall(("GET %s%s HTTP/1.0\r\n\r\n" % (DOWNLOAD_PATH, fid)).encode("ascii"))
        assert gone.recv(4096).startswith(b"HTTP/1.1 200")
    time.sleep(2)  # the platform's send takes about one second
    assert district.get(fid) == (200, content)
    assert len(district.platform_downloads(fid)) == 1


@pytest.mark.parametrize("fault", [
    {"close_after": 100000},
    {"close_after": 100000, "no_content_length": True},
    {"reply": {"status": 200, "body": "not the file", "headers": [["Content-Encoding", "gzip"]],
               "content_type": "application/octet-stream"}},
    {"status": 503},
], ids=["cut-short", "cut-short-without-length", "encoded", "error"])
def test_a_reply_that_is_not_the_whole_file_is_not_kept(district, fault):
    fid, content = put(district, MiB)
    district.platform.set_faults(dict(fault, server="download", times=1))
    try:
        district.get(fid)
    except (OSError, http.client.HTTPException):
        pass  # the district passes the fault on as it can
    assert district.get(fid) == (200, content)
    assert len(district.platform_downloads(fid)) == 2


def test_the_district_asks_the_platform_for_the_plain_file_only(district):
    fid, content = put(district, 5000)
    assert district.get(fid, {"Accept-Encoding": "gzip", "Range": "bytes=0-99"}) == (
        206, content[:100])
    raw = district.platform_downloads(fid)[0].raw.lower()
    assert b"accept-encoding" not in raw and b"range:" not in raw
    assert district.status_of("/file/other") == 404


def test_the_package_ships_the_district_site_as_an_example(tmp_path):
    deb = tmp_path / "velmora-cdn.deb"
    subprocess.run([ROOT / "cdn" / "package" / "build-deb.sh", ROOT / "build" / "native" / "cdn" /
                    "velmora-cdn", deb], check=True, capture_output=True)
    subprocess.run(["dpkg-deb", "-x", deb, tmp_path / "root"], check=True)
    shipped = tmp_path / "root" / "usr/share/doc/velmora-cdn/examples/district-nginx.conf"
    assert shipped.read_bytes() == (ROOT / "cdn" / "package" / "district-nginx.conf").read_bytes()
