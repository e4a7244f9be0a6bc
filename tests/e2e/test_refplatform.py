"""The reference platform itself: its peers answer as the assistant expects,
and every fault switch does what it says."""

import hashlib
import json
import os
import pathlib
import socket
import struct
import sys
import time

import pytest

TESTBED = pathlib.Path(__file__).resolve().parents[2] / "testbed"
sys.path.insert(0, str(TESTBED))

from refclient import RefPlatform  # noqa: E402

PDF = (TESTBED / "seed" / "files" / "kinematics.pdf").read_bytes()
DOWNLOAD = "/file/downLoad?ft=1&u=2&fid=100001"


@pytest.fixture(scope="module")
def ref(tmp_path_factory):
    with RefPlatform.start(str(tmp_path_factory.mktemp("refplatform"))) as platform:
        yield platform


@pytest.fixture(autouse=True)
def clean(ref):
    ref.reset()
    yield


def exchange(ref, server, request, timeout=5.0):
    """Sends raw bytes; returns (every byte until the server closed, seconds)."""
    started = time.monotonic()
    with socket.create_connection((ref.host, ref.port(server)), timeout=timeout) as sock:
        sock.sendall(request)
        data = b""
        while True:
            chunk = sock.recv(65536)
            if not chunk:
                break
            data += chunk
    return data, time.monotonic() - started


def get(ref, server, target, extra=""):
    request = "GET %s HTTP/1.1\r\nHost: x\r\n%s\r\n" % (target, extra)
    return exchange(ref, server, request.encode())[0]


def post(ref, server, path, body):
    request = b"POST %s HTTP/1.1\r\nHost: x\r\nContent-Length: %d\r\n\r\n" % (path.encode(), len(body))
    return exchange(ref, server, request + body)[0]


def split(reply):
    head, _, body = reply.partition(b"\r\n\r\n")
    lines = head.decode("latin-1").split("\r\n")
    headers = dict(line.split(": ", 1) for line in lines[1:])
    return int(lines[0].split(" ")[1]), headers, body


def api_json(reply):
    status, _, body = split(reply)
    assert status == 200
    return json.loads(body.decode("utf-8"))


def md5(text, encoding="gbk"):
    return hashlib.md5(text.encode(encoding)).hexdigest().encode()


# -- the platform interface ---------------------------------------------------

@pytest.mark.parametrize("path,body,ret", [
    ("/user/loginPhone.yks", b"phone=13800000001&pwd=%s&schoolID&client=velmora&fid=1" % md5("123456"), 0),
    ("/user/loginPhone.yks", b"phone=13800000001&pwd=%s&schoolID&client=velmora&fid=1" % md5("1234567"), 4),
    ("/user/loginPhone.yks", b"phone=13800000002&pwd=%s&schoolID&client=velmora&fid=1" % md5("123456"), 5),
    ("/user/loginPhone.yks", b"phone=19999999999&pwd=%s&schoolID&client=velmora&fid=1" % md5("123456"), 4),
    ("/school/login.yks", b"no=admin01&pwd=%s&client=velmora" % md5("velmora2026"), 0),
    ("/school/login.yks", "no=维墨管理员&pwd=".encode() + md5("密码2026") + b"&client=velmora", 0),
    ("/school/login.yks", b"no=a%26b%2Bc%25d&pwd=" + md5("p&w=d") + b"&client=velmora", 0),
    ("/school/login.yks", b"no=a&b+c%d&pwd=" + md5("p&w=d") + b"&client=velmora", 4),
])
def test_logins_check_the_password_digest(ref, path, body, ret):
    assert api_json(post(ref, "api", path, body))["ret"] == ret


def test_a_phone_login_reply_carries_the_account(ref):
    reply = api_json(post(ref, "api", "/user/loginPhone.yks",
                          b"phone=13800000003&pwd=%s&schoolID&client=velmora&fid=1" % md5("123456")))
    first = reply["list"][0]
    assert (first["id"], first["access"], first["fsize"], first["name"]) == (1003, 0, 2097152, "王芳")


def test_experiment_records_data_and_scores_are_kept(ref):
    first = api_json(post(ref, "api", "/experimentRecord/add.yks", b"userId=1001&experId=303&couId=201&type=1"))
    record_id = first["list"][0]["id"]
    body = b"id=%d&data=%%7B%%22score%%22%%3A87%%7D+x" % record_id
    assert api_json(post(ref, "api", "/experiment/dataAdd.yks", body))["ret"] == 0
    assert api_json(post(ref, "api", "/experimentRecord/add.yks", b"id=%d&type=2" % record_id))["ret"] == 0
    assert api_json(post(ref, "api", "/experiment/dataAdd.yks", b"id=1&data=x"))["ret"] != 0
    score = "/statistics/updateScore.dy?type=1&srcId=303&userId=1001&scouId=7&couId=201&score=88"
    assert api_json(get(ref, "api", score))["ret"] == 0
    state = ref.state()
    assert state["records"][str(record_id)]["closed"] is True
    assert state["data"] == [{"id": record_id, "data": '{"score":87} x'}]
    assert state["scores"][0]["score"] == 88 and state["scores"][0]["scouId"] == 7


def test_sizes_and_details(ref):
    assert api_json(post(ref, "api", "/file/size.action", b"fileId=100001"))["size"] == len(PDF)
    assert "size" not in api_json(post(ref, "api", "/file/size.action", b"fileId=nope"))
    assert api_json(get(ref, "api", "/course/detail.yks?id=201"))["list"][0]["userId"] == 1001
    assert api_json(get(ref, "api", "/source/detail.yks?id=301"))["list"][0]["fileType"] == "pdf"
    assert api_json(get(ref, "api", "/source/detail.yks?id=9"))["list"] == []


# -- downloads, tools, CDN ------------------------------------------------------

@pytest.mark.parametrize("range_line,status,content_range,body", [
    ("", 200, None, PDF),
    ("Range: bytes=600-\r\n", 206, "bytes 600-610/611", PDF[600:]),
    ("Range: bytes=10-19\r\n", 206, "bytes 10-19/611", PDF[10:20]),
    ("Range: bytes=-5\r\n", 206, "bytes 606-610/611", PDF[-5:]),
    ("Range: bytes=611-\r\n", 416, "bytes */611", b""),
])
def test_downloads_honour_ranges(ref, range_line, status, content_range, body):
    got_status, headers, got_body = split(get(ref, "download", DOWNLOAD, range_line))
    assert (got_status, headers.get("Content-Range"), got_body) == (status, content_range, body)
    assert headers["Accept-Ranges"] == "bytes"
    assert int(headers["Content-Length"]) == len(body)


def test_unknown_resources_are_404_pages(ref):
    for server, target in [("download", "/file/downLoad?ft=1&u=2&fid=nope"),
                           ("tool", "/VelmoraTool/../platform.json"), ("tool", "/VelmoraTool/none.exe"),
                           ("cdn", "/files/100003.exe"), ("api", "/nowhere")]:
        status, _, body = split(get(ref, server, target))
        assert status == 404 and b"404" in body, target


def test_the_tool_description_names_digests_of_tool_files(ref):
    ref.put_file("tool", "VmBrowser.dll", b"plug-in bytes")
    _, _, ini = split(get(ref, "tool", "/VelmoraTool/vmtool.ini"))
    assert b"[VmBrowser]\nhashcode=" + hashlib.md5(b"plug-in bytes").hexdigest().encode() in ini
    assert b"[VelmoraURL]\nhashcode=\n" in ini


def test_the_cdn_finds_files_it_holds(ref):
    found = api_json(get(ref, "cdn", "/command/find.do?fid=100001"))
    assert found == {"ret": 0, "path": "/files/100001.pdf", "size": len(PDF)}
    assert split(get(ref, "cdn", found["path"]))[2] == PDF
    assert api_json(get(ref, "cdn", "/command/find.do?fid=100003"))["ret"] != 0
    assert api_json(get(ref, "cdn", "/command/check.do"))["ret"] == 0
    ref.set_cdn_holds([])
    assert api_json(get(ref, "cdn", "/command/find.do?fid=100001"))["ret"] != 0


@pytest.mark.parametrize("chunks", [None, [10, 20]])
def test_announcements_carry_length_and_json(ref, chunks):
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as listener:
        listener.bind(("127.0.0.1", 0))
        listener.settimeout(5)
        spec = {"to": "127.0.0.1:%d" % listener.getsockname()[1], "server": "10.0.0.8:8000"}
        if chunks:
            spec["chunks"] = chunks
        ref.announce(**spec)
        data = b""
        datagrams = 0
        while len(data) < 4 or len(data) < 4 + struct.unpack("<i", data[:4])[0]:
            data += listener.recv(1024)
            datagrams += 1
    payload = json.loads(data[4:])
    assert payload == {"msgid": 0, "cmdid": 1, "server": "10.0.0.8:8000"}
    assert datagrams == (3 if chunks else 1)


# -- records and faults -----------------------------------------------------------

def test_requests_are_recorded_byte_for_byte(ref):
    raw = b"POST /file/size.action HTTP/1.1\r\nHost: a:1\r\nX-Odd:  spaced \r\nContent-Length: 13\r\n\r\nfileId=100001"
    exchange(ref, "api", raw)
    get(ref, "tool", "/VelmoraTool/vmtool.ini")
    recorded = ref.requests()
    assert [(r.server, r.method) for r in recorded] == [("api", "POST"), ("tool", "GET")]
    assert recorded[0].raw == raw and recorded[0].body == b"fileId=100001"


FAULT_TABLE = [
    ({"close_after": 3}, lambda s, h, b: h["Content-Length"] == "611" and b == PDF[:3]),
    ({"no_content_length": True}, lambda s, h, b: "Content-Length" not in h and b == PDF),
    ({"content_length_zero": True}, lambda s, h, b: h["Content-Length"] == "0" and b == b""),
    ({"content_length_zero": True, "with_body": True}, lambda s, h, b: h["Content-Length"] == "0" and b == PDF),
    ({"content_length": "99999999999999999999"}, lambda s, h, b: h["Content-Length"] == "99999999999999999999"),
    ({"extra_bytes": 5}, lambda s, h, b: h["Content-Length"] == "611" and b == PDF + b"XXXXX"),
    ({"status": 404}, lambda s, h, b: s == 404 and b"Not Found" in b),
    ({"reply": {"status": 200, "body": "{\"ret\":0}"}}, lambda s, h, b: b == b"{\"ret\":0}"),
    ({"ignore_range": True}, lambda s, h, b: s == 200 and b == PDF),
]


@pytest.mark.parametrize("switches,holds", FAULT_TABLE)
def test_fault_switches(ref, switches, holds):
    ref.set_faults(dict(switches, server="download", times=1))
    status, headers, body = split(get(ref, "download", DOWNLOAD, "Range: bytes=600-\r\n"
                                      if "ignore_range" in switches else ""))
    assert holds(status, headers, body)
    assert split(get(ref, "download", DOWNLOAD))[2] == PDF  # used up after one request


def test_oversized_header_block_has_no_end_within_16384_bytes(ref):
    ref.set_faults({"server": "download", "oversized_header": 20000})
    reply = get(ref, "download", DOWNLOAD)
    assert b"\r\n\r\n" not in reply[:16384] and reply.index(b"\r\n\r\n") >= 20000


def test_raw_replies_are_sent_as_given(ref):
    ref.set_faults({"server": "api", "raw": "base64:" + "SFRUUC8xLjEgMjAw"})
    assert exchange(ref, "api", b"GET / HTTP/1.1\r\n\r\n")[0] == b"HTTP/1.1 200"


def test_stall_drip_and_split_header_slow_the_reply(ref):
    ref.set_faults({"server": "download", "stall": {"after": 100, "seconds": 0.6}, "times": 1})
    reply, seconds = exchange(ref, "download", b"GET %s HTTP/1.1\r\n\r\n" % DOWNLOAD.encode())
    assert split(reply)[2] == PDF and seconds >= 0.6

    ref.set_faults({"server": "download", "drip": {"bytes": 100, "delay": 0.1}, "times": 1})
    reply, seconds = exchange(ref, "download", b"GET %s HTTP/1.1\r\n\r\n" % DOWNLOAD.encode())
    assert split(reply)[2] == PDF and seconds >= 0.6

    ref.set_faults({"server": "download", "split_header": [7], "split_delay": 0.5, "times": 1})
    with socket.create_connection((ref.host, ref.port("download")), timeout=5) as sock:
        sock.sendall(b"GET %s HTTP/1.1\r\n\r\n" % DOWNLOAD.encode())
        assert sock.recv(65536) == b"HTTP/1.1"[:7]


def test_a_stall_before_the_header_outlasts_a_short_timeout(ref):
    ref.set_faults({"server": "api", "stall_before_header": 2, "times": 1})
    with pytest.raises(socket.timeout):
        exchange(ref, "api", b"GET /course/detail.yks?id=201 HTTP/1.1\r\n\r\n", timeout=0.5)


def test_faults_file_is_reread_and_matches_by_path(ref):
    faults_file = ref.ready["faults_file"]
    entry = [{"server": "api", "path": "/file/size.action", "status": 503, "times": 1}]
    for _ in range(2):  # rewriting the same text arms the switch again
        temp = faults_file + ".new"
        pathlib.Path(temp).write_text(json.dumps(entry))
        os.replace(temp, faults_file)
        assert split(get(ref, "api", "/course/detail.yks?id=201"))[0] == 200
        assert split(post(ref, "api", "/file/size.action", b"fileId=100001"))[0] == 503
        assert split(post(ref, "api", "/file/size.action", b"fileId=100001"))[0] == 200


def test_sigterm_stops_the_platform_and_removes_its_ready_file(tmp_path):
    platform = RefPlatform.start(str(tmp_path))
    started = time.monotonic()
    platform.stop()
    assert platform.process.returncode == 0
    assert time.monotonic() - started < 3
    assert not (tmp_path / "ready").exists()
