"""The cache server's systemd unit against what the program really does: it is
run under strace through start, look-ups, fetches, a failed fetch, an
eviction, announcements, a stop and a restart, and every system call, socket
family, write and /proc access must be one the unit allows. (No systemd runs
here; this is what would make the unit kill or cripple the service.)"""

import os
import re
import shutil
import signal
import subprocess
import tempfile
import time
import urllib.request
from pathlib import Path

import pytest

from conftest import CDN_BINARY, ROOT
from refclient import RefPlatform

UNIT = ROOT / "cdn" / "package" / "velmora-cdn.service"
LOOKUP_PORT = 8091
# A platform known by name, as in a school's configuration: its look-up is part of the trace.
PLATFORM_NAME = os.environ.get("VELMORA_HOSTS", "localhost").split()[0]
CALL = re.compile(r"^\d+\s+([a-z0-9_]+)\(", re.M)
SOCKET = re.compile(r"\bsocket\((AF_[A-Z0-9]+)")
OPEN = re.compile(r'\bopenat\(AT_FDCWD, "([^"]+)", ([A-Z_|]+)')
CHANGE = re.compile(r"\b(?:rename|renameat2?|link|linkat|unlink|unlinkat|mkdir|mkdirat|utimensat)\("
                    r'(?:(?:AT_FDCWD|\d+), )?"([^"]+)"(?:, (?:(?:AT_FDCWD|\d+), )?"([^"]+)")?')


def unit_values(key):
    return [line.split("=", 1)[1].strip() for line in UNIT.read_text().splitlines()
            if line.startswith(key + "=")]


def syscall_groups():
    listing = subprocess.run(["systemd-analyze", "syscall-filter"], check=True,
                             capture_output=True, text=True).stdout
    groups, current = {}, None
    for line in listing.splitlines():
        entry = line.strip()
        if not entry or entry.startswith("#"):
            continue
        if not line[0].isspace():
            current = groups.setdefault(entry, [])
        elif current is not None:
            current.append(entry)
    return groups


def expand(names, groups):
    calls = set()
    for name in names:
        calls |= expand(groups.get(name, []), groups) if name.startswith("@") else {name}
    return calls


def allowed_syscalls():
    """SystemCallFilter= lines: an allow list, then "~" lines taking calls away."""
    groups, allowed = syscall_groups(), set()
    for value in unit_values("SystemCallFilter"):
        if value.startswith("~"):
            allowed -= expand(value[1:].split(), groups)
        else:
            allowed |= expand(value.split(), groups)
    return allowed


def why_not_runnable():
    if os.environ.get("VELMORA_ISOLATED") != "1":
        return "not inside scripts/isolated.sh"
    for tool in ("strace", "systemd-analyze"):
        if not shutil.which(tool):
            return tool + " is not installed"
    if not CDN_BINARY.exists():
        return f"{CDN_BINARY} is not built"
    return None


def ask(query):
    url = "http://127.0.0.1:%d/command/%s" % (LOOKUP_PORT, query)
    with urllib.request.urlopen(url, timeout=30) as reply:
        return reply.read().decode("utf-8")


def wait_for_service():
    deadline = time.monotonic() + 10
    while time.monotonic() < deadline:
        try:
            return ask("check.do")
        except OSError:
            time.sleep(0.05)
    raise AssertionError("velmora-cdn did not start")


def wait_until_held(fid):
    deadline = time.monotonic() + 30
    while '"ret":0' not in ask("find.do?fid=" + fid):
        assert time.monotonic() < deadline, fid + " never became held"
        time.sleep(0.2)


def traced_run(work, config, trace, scenario):
    """The program traced from its execve. It runs as root here: the private
    hosts file of this namespace is readable by root only, and the unit's
    user would make the same calls."""
    process = subprocess.Popen(["strace", "-f", "-qq", "-o", str(trace), str(CDN_BINARY), "-c",
                                str(config)], stderr=open(work / "velmora-cdn.log", "ab"))
    try:
        wait_for_service()
        scenario()
        time.sleep(1.5)  # at least one announcement
    finally:
        # The program, not strace, is stopped, as systemd would.
        traced = subprocess.run(["pgrep", "-P", str(process.pid)], capture_output=True, text=True)
        for pid in traced.stdout.split() or [str(process.pid)]:
            os.kill(int(pid), signal.SIGTERM)
        process.wait(timeout=20)
    return trace.read_text()


@pytest.fixture(scope="module")
def traces():
    reason = why_not_runnable()
    if reason:
        pytest.skip("sandbox check skipped: " + reason)
    work = Path(tempfile.mkdtemp(prefix="vcdn-sandbox-"))
    cache = work / "cache"
    cache.mkdir()
    platform = RefPlatform.start(str(work / "platform"))
    try:
        for fid in ("a", "b"):
            platform.put_file("download", fid, generate=700000)
        config = work / "velmora-cdn.conf"
        config.write_text(
            "platform_host = %s\nplatform_port = %d\npublic_address = 127.0.0.1\n"
            "broadcast_address = 127.255.255.255\ncache_dir = %s\ncache_cap = 1M\n"
            "announce_interval = 1\nlisten_port = %d\nretry_after = 0\n"
            % (PLATFORM_NAME, platform.port("download"), cache, LOOKUP_PORT))

        def first():
            wait_until_held("a")
            wait_until_held("b")  # evicts a: both do not fit 1M
            ask("find.do?fid=missing")  # the platform answers 404

        def second():
            wait_until_held("b")

        yield {"cache": str(cache), "text": traced_run(work, config, work / "first.trace", first)
               + traced_run(work, config, work / "second.trace", second)}
    finally:
        platform.stop()
        shutil.rmtree(work, ignore_errors=True)


def test_every_system_call_is_one_the_unit_allows(traces):
    used = set(CALL.findall(traces["text"]))
    assert {"execve", "openat", "rename", "unlink", "sendto"} <= used  # the trace is whole
    assert used - allowed_syscalls() == set()


def test_sockets_are_of_the_families_the_unit_allows(traces):
    families = set(SOCKET.findall(traces["text"]))
    assert "AF_INET" in families
    assert families - set(unit_values("RestrictAddressFamilies")[0].split()) == set()


def test_it_writes_only_its_cache_directory_and_reads_only_its_own_proc(traces):
    cache = traces["cache"]
    writes = [path for path, flags in OPEN.findall(traces["text"])
              if re.search(r"O_WRONLY|O_RDWR|O_CREAT", flags)]
    writes += [path for pair in CHANGE.findall(traces["text"]) for path in pair if path]
    assert writes and [path for path in writes
                       if path != cache and not path.startswith(cache + "/")] == []
    proc = [path for path, _ in OPEN.findall(traces["text"]) if path.startswith("/proc/")]
    assert [path for path in proc if not re.match(r"/proc/(self|\d+)/", path)] == []


def test_the_unit_is_valid_and_its_exposure_stays_low(tmp_path):
    unit = tmp_path / "velmora-cdn.service"
    unit.write_text(UNIT.read_text().replace("/usr/bin/velmora-cdn", str(CDN_BINARY)))
    checked = subprocess.run(["systemd-analyze", "verify", unit], capture_output=True, text=True)
    assert (checked.returncode, checked.stderr) == (0, "")
    rating = subprocess.run(["systemd-analyze", "security", "--offline=true", unit],
                            capture_output=True, text=True).stdout
    exposure = float(re.search(r"Overall exposure level for \S+: ([0-9.]+)", rating).group(1))
    assert exposure <= 1.5
