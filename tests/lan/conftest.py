"""A school in network namespaces: the LAN is a bridge with the cache server
and two student machines; the platform lives in the test's own namespace,
the "internet", reached through the cache server (which routes for the
students). Must run inside scripts/isolated.sh, whose namespace is that
internet, so nothing of the machine is touched."""

import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import urllib.request
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "testbed"))

from refclient import RefPlatform  # noqa: E402

CDN_BINARY = ROOT / "build" / "native" / "cdn" / "velmora-cdn"
CLIENT = Path(__file__).resolve().parent / "lanclient.py"
CACHE_LAN, CACHE_UP, PLATFORM = "10.77.0.8", "192.168.50.2", "192.168.50.1"
STUDENTS = {"s1": "10.77.0.21", "s2": "10.77.0.22"}
NGINX_PORT, LOOKUP_PORT = 8000, 8091
CAP = 10 * 1048576
SERVER_OF_LAN = "%s:%d" % (CACHE_LAN, NGINX_PORT)
PACKAGE = ROOT / "cdn" / "package"
# Where the package's nginx keeps its pid, temporary files, rendered site and logs.
NGINX_RUN_DIR, NGINX_LOG_DIR = "/run/velmora-cdn-nginx/", "/var/log/velmora-cdn/"


def sh(*args, check=True, **kw):
    return subprocess.run([str(a) for a in args], check=check, capture_output=True, text=True, **kw)


def why_not_runnable():
    if os.environ.get("VELMORA_ISOLATED") != "1":
        return "not inside scripts/isolated.sh"
    if not shutil.which("nginx"):
        return "nginx is not installed"
    if not CDN_BINARY.exists():
        return f"{CDN_BINARY} is not built"
    probe = "vcdn-probe-%d" % os.getpid()
    if sh("ip", "netns", "add", probe, check=False).returncode != 0:
        return "no network namespace support (ip netns)"
    sh("ip", "netns", "del", probe, check=False)
    return None


def cache_nginx_config(workdir, cdn_config):
    """The cache's nginx configured as its unit does it: the package's main
    configuration with its run and log directories moved into WORKDIR, and
    the site rendered from CDN_CONFIG. Returns the main configuration."""
    run, logs = Path(workdir) / "nginx-run", Path(workdir) / "nginx-log"
    run.mkdir(exist_ok=True)
    logs.mkdir(exist_ok=True)
    sh(PACKAGE / "render-nginx-site", cdn_config, PACKAGE / "nginx-site.conf", run / "site.conf")
    main = (PACKAGE / "nginx.conf").read_text()
    main = main.replace(NGINX_RUN_DIR, str(run) + "/").replace(NGINX_LOG_DIR, str(logs) + "/")
    path = Path(workdir) / "nginx.conf"
    path.write_text(main)
    return path


def nginx_unit_capabilities():
    """The unit's CapabilityBoundingSet as setpriv's --bounding-set."""
    unit = (PACKAGE / "velmora-cdn-nginx.service").read_text()
    names = [line.split("=", 1)[1].split() for line in unit.splitlines()
             if line.startswith("CapabilityBoundingSet=")][0]
    return "-all," + ",".join("+" + name[len("CAP_"):].lower() for name in names)


def start_cache_nginx(netns, workdir, cdn_config):
    """nginx in NETNS as velmora-cdn-nginx.service starts it (checked
    first, then run in the foreground with the unit's capabilities only);
    returns its process."""
    conf = cache_nginx_config(workdir, cdn_config)
    error_log = Path(workdir) / "nginx-log" / "nginx-error.log"
    check = sh("ip", "netns", "exec", netns, "nginx", "-q", "-t", "-c", conf, "-e", error_log,
               check=False)
    if check.returncode != 0:
        raise RuntimeError("the cache's nginx configuration is refused: " + check.stderr)
    return subprocess.Popen(["ip", "netns", "exec", netns, "setpriv", "--bounding-set",
                             nginx_unit_capabilities(), "--inh-caps", "-all", "nginx", "-c",
                             str(conf), "-e", str(error_log), "-g", "daemon off;"],
                            stderr=subprocess.DEVNULL)


class School:
    def __init__(self):
        tag = "%d" % (os.getpid() % 100000)
        self.ns = {role: "vcdn-%s-%s" % (role, tag) for role in ("lan", "cache", "s1", "s2")}
        self.dir = Path(tempfile.mkdtemp(prefix="vcdn-"))
        os.chmod(self.dir, 0o755)  # nginx's workers read the cache below it
        self.cdn = None
        self.nginx = None
        self.platform = None

    def netns(self, role, *args, **kw):
        return sh("ip", "netns", "exec", self.ns[role], *args, **kw)

    def build_network(self):
        for name in self.ns.values():
            sh("ip", "netns", "add", name)
            sh("ip", "-n", name, "link", "set", "lo", "up")
        lan = self.ns["lan"]
        sh("ip", "-n", lan, "link", "add", "br0", "type", "bridge")
        sh("ip", "-n", lan, "link", "set", "br0", "up")
        for role, address in [("cache", CACHE_LAN)] + list(STUDENTS.items()):
            sh("ip", "-n", lan, "link", "add", "p-" + role, "type", "veth", "peer", "name", "eth0",
               "netns", self.ns[role])
            sh("ip", "-n", lan, "link", "set", "p-" + role, "master", "br0", "up")
            sh("ip", "-n", self.ns[role], "addr", "add", address + "/24", "dev", "eth0")
            sh("ip", "-n", self.ns[role], "link", "set", "eth0", "up")
        # The uplink: the cache server to the internet (this namespace).
        sh("ip", "link", "add", "vcdn-up", "type", "veth", "peer", "name", "up0", "netns",
           self.ns["cache"])
        sh("ip", "addr", "add", PLATFORM + "/24", "dev", "vcdn-up")
        sh("ip", "link", "set", "vcdn-up", "up")
        sh("ip", "route", "add", "10.77.0.0/24", "via", CACHE_UP)
        sh("ip", "-n", self.ns["cache"], "addr", "add", CACHE_UP + "/24", "dev", "up0")
        sh("ip", "-n", self.ns["cache"], "link", "set", "up0", "up")
        self.netns("cache", "sysctl", "-qw", "net.ipv4.ip_forward=1")
        for role in STUDENTS:
            sh("ip", "-n", self.ns[role], "route", "add", "default", "via", CACHE_LAN)

    def start_platform(self):
        self.platform = RefPlatform.start(str(self.dir / "platform"), "--host", PLATFORM,
                                          "--download-port", "8112", "--api-port", "9112",
                                          "--tool-port", "7112", "--cdn-port", "8080",
                                          "--control-port", "8200")

    def start_nginx(self):
        self.nginx = start_cache_nginx(self.ns["cache"], self.dir, self.write_config())

    def write_config(self, **overrides):
        settings = dict(platform_host=PLATFORM, platform_port=8112, public_address=CACHE_LAN,
                        public_port=NGINX_PORT, cache_dir=str(self.dir / "cache"), cache_cap=CAP,
                        listen_address="127.0.0.1", listen_port=LOOKUP_PORT, announce_interval=1,
                        find_wait=3, retry_after=0, fetch_timeout=20,
                        answer_hold=0)  # eviction is checked at once; the hold has unit tests
        settings.update(overrides)
        path = self.dir / "velmora-cdn.conf"
        path.write_text("".join("%s = %s\n" % kv for kv in settings.items()))
        return path

    def start_cdn(self, **overrides):
        """The program as the systemd unit runs it: an unprivileged user
        that may write only its cache directory."""
        config = self.write_config(**overrides)
        cache = self.dir / "cache"
        cache.mkdir(exist_ok=True)
        shutil.chown(cache, "nobody", "nogroup")
        log = open(self.dir / "velmora-cdn.log", "ab")
        self.cdn = subprocess.Popen(["ip", "netns", "exec", self.ns["cache"], "setpriv",
                                     "--reuid=nobody", "--regid=nogroup", "--clear-groups",
                                     str(CDN_BINARY), "-c", str(config)], stderr=log)
        log.close()
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline:
            try:
                self.lookup("check.do")
                return
            except OSError:
                time.sleep(0.05)
        raise RuntimeError("velmora-cdn did not start: %s" % (self.dir / "velmora-cdn.log").read_text())

    def stop_cdn(self, sig=signal.SIGTERM):
        if self.cdn and self.cdn.poll() is None:
            self.cdn.send_signal(sig)
            self.cdn.wait(timeout=15)
        self.cdn = None

    def url(self, path):
        return "http://%s:%d%s" % (CACHE_LAN, NGINX_PORT, path)

    def lookup(self, page, query=""):
        # The site gives each machine a burst of look-ups a second: a test that
        # is not about that limit waits for its turn, as an assistant's next
        # link would.
        deadline = time.monotonic() + 10
        while True:
            try:
                with urllib.request.urlopen(self.url("/command/%s%s" % (page, query)),
                                            timeout=30) as r:
                    return json.loads(r.read().decode("utf-8"))
            except urllib.error.HTTPError as error:
                if error.code != 429 or time.monotonic() > deadline:
                    raise
            time.sleep(0.25)

    def status_of(self, path):
        try:
            with urllib.request.urlopen(self.url(path), timeout=10) as r:
                return r.status
        except urllib.error.HTTPError as error:
            return error.code

    def student(self, role, *args, timeout=60):
        return self.netns(role, sys.executable, CLIENT, *args, timeout=timeout).stdout.strip()

    def student_background(self, role, *args):
        return subprocess.Popen(["ip", "netns", "exec", self.ns[role], sys.executable, str(CLIENT)]
                                + [str(a) for a in args], stdout=subprocess.PIPE, text=True)

    def platform_downloads(self, fid):
        return [r for r in self.platform.requests("download") if r.target.endswith("fid=" + fid)]

    def teardown(self):
        self.stop_cdn(signal.SIGKILL)
        if self.nginx:
            self.nginx.terminate()
            self.nginx.wait(timeout=10)
        if self.platform:
            self.platform.stop()
        sh("ip", "link", "del", "vcdn-up", check=False)
        for name in self.ns.values():
            sh("ip", "netns", "del", name, check=False)
        shutil.rmtree(self.dir, ignore_errors=True)


@pytest.fixture(scope="module")
def school():
    reason = why_not_runnable()
    if reason:
        pytest.skip("LAN cache tests skipped: " + reason)
    school = School()
    try:
        school.build_network()
        school.start_platform()
        school.start_nginx()
        yield school
    finally:
        school.teardown()


@pytest.fixture
def cdn(school):
    """A cache server with an empty cache for each test."""
    shutil.rmtree(school.dir / "cache", ignore_errors=True)
    school.platform.reset()
    school.start_cdn()
    yield school
    school.stop_cdn()
