"""One student machine (s2) misbehaving must not take the cache from the
others (s1), and the cache answers only where and what it should."""

import json
import sys
import time
import urllib.request

import pytest

from conftest import CACHE_UP, CLIENT, NGINX_PORT, SERVER_OF_LAN as SERVER
from refplatform import pattern_bytes
from test_cdn_lan import wait_until_held

MiB = 1048576


def timed(call):
    start = time.monotonic()
    result = call()
    return result, time.monotonic() - start


def test_a_student_opening_a_lesson_stays_within_the_limits(cdn):
    # A lesson's look-ups at once, each waiting for its file's fetch (find_wait).
    cdn.stop_cdn()
    cdn.start_cdn(max_fetches=32)
    cdn.platform.set_faults({"server": "download", "path": "/file/downLoad?ft=1&u=2&fid=lesson",
                             "stall_before_header": 5})
    for number in range(20):
        cdn.platform.put_file("download", "lesson%d" % number, generate=1000)
    assert json.loads(cdn.student("s1", "lookups", SERVER, 20, "lesson")) == {"200": 20}
    cdn.platform.clear_faults()
    # Then three files in 4 segments each at once.
    for fid in ("part1", "part2", "part3"):
        cdn.platform.put_file("download", fid, generate=MiB)
        wait_until_held(cdn, fid)
    pulls = [cdn.student_background("s1", "segments", cdn.url("/files/" + fid), MiB, 4)
             for fid in ("part1", "part2", "part3")]
    assert [json.loads(p.communicate(timeout=60)[0]) for p in pulls] == [{"206": 4}] * 3


def test_a_machine_holding_unfinished_heads_does_not_shut_out_another(cdn):
    flood = cdn.student_background("s2", "hold-heads", SERVER, 1500, 4)
    try:
        opened = flood.stdout.readline().split()
        assert opened[0] == "open" and int(opened[1]) >= 1400, opened
        status, seconds = timed(lambda: cdn.student("s1", "status", cdn.url("/command/check.do"),
                                                    timeout=10))
        assert status == "200"
        assert seconds < 2, "check.do took %.1f s during the flood" % seconds
        found, seconds = timed(lambda: cdn.student("s1", "status", cdn.url("/command/find.do?fid=x1"),
                                                   timeout=10))
        assert found == "200" and seconds < 2 + 3, seconds  # find_wait is 3 s here
    finally:
        flood.wait(timeout=30)


def test_a_look_up_flood_is_slowed_before_it_reaches_the_platform(cdn):
    # Ids the platform does not have: every look-up that passes costs one quick platform request.
    statuses, seconds = timed(lambda: json.loads(cdn.student("s2", "lookups", SERVER, 2000, "nosuch",
                                                             timeout=120)))
    asked = [r for r in cdn.platform.requests("download") if "fid=nosuch" in r.target]
    assert statuses.get("429", 0) >= 1500, statuses
    assert statuses.get("error", 0) == 0, statuses
    # The burst, then 5 a second.
    assert len(asked) <= 30 + 5 * seconds, (len(asked), seconds)
    # The other machine is not limited by it.
    assert cdn.student("s1", "status", cdn.url("/command/check.do")) == "200"


def test_a_look_up_flood_does_not_delay_another_machines_fetch(cdn):
    # Each flood id would hold a fetch slot for as long as the platform stalls.
    cdn.platform.set_faults({"server": "download", "path": "/file/downLoad?ft=1&u=2&fid=slow",
                             "stall_before_header": 30})
    content = pattern_bytes(2 * MiB)
    cdn.platform.put_file("download", "wanted", generate=len(content))
    flood = cdn.student_background("s2", "lookups", SERVER, 2000, "slow")
    try:
        time.sleep(1)
        deadline = time.monotonic() + 8
        found = {}
        while time.monotonic() < deadline and found.get("ret") != 0:
            out = cdn.dir / "wanted-lookup.json"
            cdn.student("s1", "get", cdn.url("/command/find.do?fid=wanted"), out)
            found = json.loads(out.read_text())
            out.unlink()
        assert found.get("ret") == 0, found
        target = cdn.dir / "wanted.bin"
        assert cdn.student("s1", "get", cdn.url(found["path"]), target) == "200"
        assert target.read_bytes() == content
    finally:
        flood.wait(timeout=120)
        cdn.platform.clear_faults()


@pytest.mark.parametrize("path", ["/command/metrics", "/command/metrics?x=1", "/command//metrics",
                                  "/command/./metrics", "/command/%6detrics", "/files/../command/metrics"])
def test_the_metrics_are_refused_to_a_student(cdn, path):
    assert cdn.student("s1", "status", cdn.url(path)) == "403"


def test_the_metrics_are_answered_on_the_server_itself(cdn):
    out = cdn.dir / "metrics.txt"
    url = "http://127.0.0.1:%d/command/metrics" % NGINX_PORT
    assert cdn.netns("cache", sys.executable, CLIENT, "get", url, out).stdout.strip() == "200"
    assert "# TYPE" in out.read_text()


def test_nginx_listens_on_the_lan_address_only(cdn):
    assert cdn.student("s1", "status", cdn.url("/command/check.do")) == "200"
    with pytest.raises(OSError):  # the uplink side, which the platform's network reaches
        urllib.request.urlopen("http://%s:%d/command/check.do" % (CACHE_UP, NGINX_PORT), timeout=5)


def test_a_link_in_the_cache_is_not_followed(cdn):
    files = cdn.dir / "cache" / "files"
    files.mkdir(parents=True, exist_ok=True)
    (files / "config").symlink_to(cdn.dir / "velmora-cdn.conf")
    assert cdn.status_of("/files/config") in (403, 404)
    (files / "plain").write_bytes(b"held")
    assert cdn.status_of("/files/plain") == 200


def test_replies_do_not_name_the_server_version(cdn):
    with urllib.request.urlopen(cdn.url("/command/check.do"), timeout=10) as reply:
        assert reply.headers["Server"] == "nginx"
