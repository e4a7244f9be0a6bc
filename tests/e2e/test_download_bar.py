"""The download windows under Wine: the tool bar fetches a companion file in
ten ranges from the reference tool server, survives a hard kill through its
resume records, and the progress dialog's Cancel stops a whole-file download."""

import hashlib
import os
import pathlib
import re
import subprocess
import sys
import time
import urllib.request

import pytest

from winehost import TESTBED, Driver, windows_path

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[2] / "testbed"))
from refclient import RefPlatform  # noqa: E402

# A build of one's own may be tried with VELMORA_TESTBED=<its testbed dir>.
PROGRAMS = pathlib.Path(os.environ.get("VELMORA_TESTBED", str(TESTBED)))
DLWINDOWS = PROGRAMS / "dlwindows.exe"
TOOL = "plugin.exe"
SIZE = 3_000_000
RANGE_LINE = re.compile(rb"\r\nRange: bytes=(\d+)-(\d*)\r\n")


@pytest.fixture(scope="module")
def ref(tmp_path_factory):
    with RefPlatform.start(str(tmp_path_factory.mktemp("refplatform"))) as platform:
        yield platform


@pytest.fixture
def tool(ref):
    ref.reset()
    ref.put_file("tool", TOOL, generate=SIZE)
    yield ref.url("tool", "/VelmoraTool/" + TOOL)
    ref.reset()


@pytest.fixture
def driver(wine_env):
    found = Driver(wine_env)
    found.exe = str(PROGRAMS / "uidriver.exe")
    return found


def digest(data):
    return hashlib.md5(data).hexdigest()


def served_digest(ref):
    with urllib.request.urlopen(ref.url("tool", "/VelmoraTool/" + TOOL), timeout=30) as reply:
        return digest(reply.read())


def range_starts(ref):
    starts = []
    for request in ref.requests("tool"):
        if request.target.endswith(TOOL):
            match = RANGE_LINE.search(request.raw)
            if match:
                starts.append(int(match.group(1)))
    return starts


def read_records(path):
    """(start, end, done) of every range in a resume-records file: a 32-bit
    count, then three decimal strings per range, each after a one-byte length."""
    data = path.read_bytes()
    count = int.from_bytes(data[:4], "little", signed=True)
    at, ranges = 4, []
    for _ in range(count):
        fields = []
        for _ in range(3):
            length = data[at]
            fields.append(int(data[at + 1:at + 1 + length]))
            at += 1 + length
        ranges.append(tuple(fields))
    return ranges


def run_bar(wine_env, url, directory, timeout=120):
    return subprocess.run(["wine", str(DLWINDOWS), "bar", url, windows_path(directory)],
                          env=wine_env, capture_output=True, timeout=timeout)


def slow_tool_server(ref):
    ref.set_faults({"server": "tool", "path": "/VelmoraTool/" + TOOL,
                    "drip": {"bytes": 4096, "delay": 0.05}})


def test_bar_fetches_the_tool_in_ten_ranges(ref, tool, wine_env, tmp_path):
    result = run_bar(wine_env, tool, tmp_path)
    assert result.returncode == 1, result.stdout
    assert "下载完成" in result.stdout.decode("utf-8")
    assert digest((tmp_path / TOOL).read_bytes()) == served_digest(ref)
    assert sorted(range_starts(ref)) == [i * (SIZE // 10) for i in range(10)]
    assert not (tmp_path / (TOOL + ".down")).exists()
    assert not (tmp_path / (TOOL + ".down.cfg")).exists()


def test_killed_bar_resumes_from_its_records(ref, tool, wine_env, tmp_path):
    slow_tool_server(ref)
    records = tmp_path / (TOOL + ".down.cfg")
    process = subprocess.Popen(["wine", str(DLWINDOWS), "bar", tool, windows_path(tmp_path)],
                               env=wine_env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    deadline = time.monotonic() + 30
    while not records.exists() and time.monotonic() < deadline:
        time.sleep(0.1)
    time.sleep(1.5)
    process.kill()  # no chance to finish anything
    process.wait()
    assert records.exists() and not (tmp_path / TOOL).exists()
    first_run = len(range_starts(ref))
    ranges = read_records(records)
    assert len(ranges) == 10 and 0 < sum(done for _, _, done in ranges) < SIZE
    rests = sorted(start + done for start, end, done in ranges if done < end - start + 1)

    ref.clear_faults()
    result = run_bar(wine_env, tool, tmp_path)
    assert result.returncode == 1, result.stdout
    assert digest((tmp_path / TOOL).read_bytes()) == served_digest(ref)
    # The second run asked for the rests of the incomplete ranges only.
    assert sorted(range_starts(ref)[first_run:]) == rests
    assert not records.exists()


def test_progress_dialog_cancel_stops_the_download(ref, tool, wine_env, driver, tmp_path):
    slow_tool_server(ref)
    target = tmp_path / "whole.bin"
    process = subprocess.Popen(["wine", str(DLWINDOWS), "progress", tool, windows_path(target)],
                               env=wine_env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    dialog = driver.wait_window("#32770", "下载资源")
    assert dialog, driver.windows()
    time.sleep(2.2)
    assert driver.text(dialog, 1012).startswith("下载进度：")
    assert "耗时：00:00:0" in driver.text(dialog, 1032)
    driver.click(dialog, 1013)
    out, _ = process.communicate(timeout=15)
    assert process.returncode == 3, out
    assert "progress cancelled" in out.decode("utf-8")
    assert 0 < target.stat().st_size < SIZE


def test_bar_leaves_at_once_while_the_server_stalls(ref, tool, wine_env, driver, tmp_path):
    ref.set_faults({"server": "tool", "path": "/VelmoraTool/" + TOOL,
                    "stall": {"after": 1000, "seconds": 60}})
    process = subprocess.Popen(["wine", str(DLWINDOWS), "bar", tool, windows_path(tmp_path)],
                               env=wine_env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    bar = driver.wait_window("#32770", "下载")
    assert bar, driver.windows()
    deadline = time.monotonic() + 30
    while len(range_starts(ref)) < 10 and time.monotonic() < deadline:
        time.sleep(0.1)
    assert len(range_starts(ref)) == 10
    time.sleep(0.5)  # every worker now waits inside its reply
    assert driver.run("close", bar)[0] == 0
    asked = time.monotonic()
    out, _ = process.communicate(timeout=90)
    # The window's stop takes well under a second; the rest is Wine ending
    # the process. Before, the workers ran on until the stall ended (60 s).
    assert time.monotonic() - asked < 2.5, out
    assert process.returncode == 2, out
    assert (tmp_path / (TOOL + ".down.cfg")).exists()  # the stop keeps the records
