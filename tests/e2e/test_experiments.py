"""Experiments under Wine: the stand-in experiment started and waited for by
the application's OpenResourceFile against the reference platform, and the
failure list dialog driven with the mouse and keyboard."""

import os
import pathlib
import shutil
import struct
import subprocess
import sys
import tempfile
import time

import pytest

from winehost import TESTBED, Driver, drive_c, windows_path

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[2] / "testbed"))
from refclient import RefPlatform  # noqa: E402

PROGRAMS = pathlib.Path(os.environ.get("VELMORA_TESTBED", str(TESTBED)))
KEY = "Vm7qR2xK9pLw4TzB8nHc3sYe"
LIST_CAPTION = "实验记录提交失败列表".encode("gbk")
LIST_CONTROL = 1015


@pytest.fixture(scope="module")
def ref(tmp_path_factory):
    with RefPlatform.start(str(tmp_path_factory.mktemp("refplatform"))) as platform:
        yield platform


@pytest.fixture
def driver(wine_env):
    found = Driver(wine_env)
    found.exe = str(PROGRAMS / "uidriver.exe")
    return found


@pytest.fixture
def resources(wine_env, ref, tmp_path):
    ref.reset()
    # Failures of earlier runs would be loaded with the user's directories.
    for stale in failure_file(wine_env).parent.glob("examerr.data*"):
        stale.unlink()
    shutil.copyfile(PROGRAMS / "experiment.exe", tmp_path / "100003.exe")
    return tmp_path


def failure_file(env):
    """examerr.data of user 1001 in the prefix's APPDATA."""
    for users in (drive_c(env) / "users").iterdir():
        data = users / "AppData" / "Roaming" / "VelmoraWeb" / "00001001" / "examerr.data"
        if (users / "AppData" / "Roaming").is_dir() and users.name != "Public":
            return data
    raise AssertionError("no APPDATA in the prefix")


def run_experiment(env, ref, directory, port=None, wait=True, **values):
    args = dict(host="127.0.0.1", port=port or ref.port("api"), dir=windows_path(directory),
                file="100003.exe", fid="100003", ftype=1, couid=201, experid=303, scouid=0)
    args.update(values)
    command = ["wine", str(PROGRAMS / "experimentrun.exe")] + ["%s=%s" % kv for kv in args.items()]
    if not wait:
        return subprocess.Popen(command, env=env, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL)
    return output_of(command, env)


def output_of(command, env):
    # Through a file: programs started by Wine inherit the standard handles
    # and would hold a pipe open.
    with tempfile.TemporaryFile() as out:
        subprocess.run(command, env=env, stdout=out, stderr=subprocess.DEVNULL,
                       stdin=subprocess.DEVNULL, timeout=120)
        out.seek(0)
        return out.read().decode("utf-8", "replace").strip("\r\n")


def experiment_log(directory):
    text = (directory / "experiment.log").read_bytes().decode("gbk")
    return dict(line.split("=", 1) for line in text.splitlines() if "=" in line)


def api_calls(ref):
    return [(r.target.split("?")[0], r.body.decode("utf-8", "replace"))
            for r in ref.requests("api")]


def test_score_is_submitted_between_start_and_end_records(wine_env, ref, resources):
    assert run_experiment(wine_env, ref, resources, extradata="score87") == "result=1 failed=0"
    seen = experiment_log(resources)
    assert seen["pwd"] == "k3Tq9WxR#mPlz_#d"
    assert seen["exam"] == windows_path(resources / "100003.exam")
    assert seen["key"] == KEY
    assert (seen["uid"], seen["score"], seen["isexam"]) == ("1001", "100", "1")
    # UTF-8 bytes of the name, read by the experiment in code page 936
    assert seen["username"] == "李明".encode("utf-8").decode("gbk")
    assert api_calls(ref) == [
        ("/experimentRecord/add.yks", "userId=1001&experId=303&couId=201&type=1"),
        ("/experiment/dataAdd.yks", 'id=5001&data={"score":87}'),
        ("/experimentRecord/add.yks", "id=5001&type=2"),
    ]
    assert ref.state()["records"]["5001"]["closed"] is True


@pytest.mark.parametrize("mode,data", [("none", None), ("delete", None),
                                       ("text", 'id=5001&data={"score":0}')])
def test_run_without_a_result(wine_env, ref, resources, mode, data):
    assert run_experiment(wine_env, ref, resources, extradata=mode) == "result=1 failed=0"
    expected = [("/experimentRecord/add.yks", "userId=1001&experId=303&couId=201&type=1")]
    if data:
        expected.append(("/experiment/dataAdd.yks", data))
    expected.append(("/experimentRecord/add.yks", "id=5001&type=2"))
    assert api_calls(ref) == expected


def test_without_ids_the_experiment_gets_no_exam_file(wine_env, ref, resources):
    assert run_experiment(wine_env, ref, resources, couid=0) == "result=1 failed=0"
    seen = experiment_log(resources)
    assert seen["cmdline"].endswith(' -sp"a|b %s"' % KEY)
    assert not (resources / "100003.exam").exists()
    assert api_calls(ref) == []


def test_score_path_updates_the_statistics(wine_env, ref, resources):
    run_experiment(wine_env, ref, resources, scouid=9, userid=1001, extradata="score64")
    assert ref.state()["scores"] == [
        {"type": 1, "srcId": 303, "userId": 1001, "scouId": 9, "couId": 201, "score": 64}]
    assert [target for target, _ in api_calls(ref)] == [
        "/experimentRecord/add.yks", "/statistics/updateScore.dy"]


def test_a_script_is_not_run_as_an_experiment(wine_env, ref, resources):
    (resources / "100003.bat").write_bytes(b"echo ran > ran.txt\r\n")
    assert run_experiment(wine_env, ref, resources, file="100003.bat") == "result=0 failed=0"
    assert not (resources / "ran.txt").exists()
    assert not (resources / "100003.exam").exists()
    assert api_calls(ref) == []


def test_unreachable_platform_stores_the_run_and_says_so_once(wine_env, ref, resources, driver):
    store = failure_file(wine_env)
    process = run_experiment(wine_env, ref, resources, port=1, wait=False, extradata="score87")
    box = driver.wait_window("#32770", "VelmoraURL", 30000)
    assert box, driver.windows()
    assert driver.text(box) == "实验记录提交到服务器失败，请到“异常中心”查看并重新提交！"
    driver.click(box, 2 if driver.run("click", box, 1)[0] else 1)
    process.wait(timeout=60)
    assert driver.wait_window("#32770", "VelmoraURL", 500) is None
    data = store.read_bytes()
    assert struct.unpack_from("<i", data)[0] == 1
    server_length = data[4]
    port, user, course, experiment, failed, operation, score = struct.unpack_from(
        "<7i", data, 5 + server_length)
    assert (port, user, course, experiment, operation, score) == (1, 1001, 201, 303, 0, 0)
    assert abs(failed - time.time()) < 300
    assert b'{"score":87,"by":"stand-in"}' in data
    assert api_calls(ref) == []


def test_runs_failing_at_once_keep_both_failures(wine_env, ref, resources, driver):
    # The start record refused and the name look-ups slow: two runs of the
    # user store their whole output at the same moment.
    ref.set_faults({"server": "api", "path": "/experimentRecord/add.yks", "status": 500},
                   {"server": "api", "path": "/course/detail.yks", "stall_before_header": 2},
                   {"server": "api", "path": "/source/detail.yks", "stall_before_header": 2})
    try:
        shutil.copyfile(PROGRAMS / "experiment.exe", resources / "100004.exe")
        runs = [run_experiment(wine_env, ref, resources, wait=False, fid=fid, file=fid + ".exe",
                               extradata=mode)
                for fid, mode in (("100003", "score87"), ("100004", "score64"))]
        for _ in runs:
            box = driver.wait_window("#32770", "VelmoraURL", 60000)
            assert box, driver.windows()
            driver.click(box, 2 if driver.run("click", box, 1)[0] else 1)
            assert driver.gone(box)
        for run in runs:
            run.wait(timeout=60)
    finally:
        ref.reset()  # the list's tests below count on a fresh platform
    data = failure_file(wine_env).read_bytes()
    assert struct.unpack_from("<i", data)[0] == 2
    assert b'{"score":87,"by":"stand-in"}' in data
    assert b'{"score":64,"by":"stand-in"}' in data


# ---- the failure list ----

def record_bytes(port, operation, data, course=b"", resource=b""):
    def text(value):
        return bytes([len(value)]) + value
    return (text(b"127.0.0.1") + struct.pack("<7i", port, 1001, 201, 303, 1796000000, operation, 87)
            + text(b"100003") + text(course) + text(resource) + text(data) + text(b"") + text(b"")
            + struct.pack("<2i", 0, 0))


def write_failures(path, records):
    path.write_bytes(struct.pack("<i", len(records)) + b"".join(records))


def list_rows(env, dialog):
    out = output_of(["wine", str(PROGRAMS / "listdriver.exe"), "rows", dialog, str(LIST_CONTROL)],
                    env)
    return [line.rstrip("\r").split("\t") for line in out.splitlines()]


def row_point(env, dialog, row):
    return output_of(["wine", str(PROGRAMS / "listdriver.exe"), "point", dialog,
                      str(LIST_CONTROL), str(row)], env).split()


def xdotool(env, *args):
    subprocess.run(["xdotool", *args], env=env, check=True, timeout=30)
    time.sleep(0.5)


def screenshot(env, name):
    target = pathlib.Path(os.environ.get("VELMORA_SHOTS", "/tmp")) / name
    subprocess.run(["import", "-window", "root", str(target)], env=env, check=False, timeout=30)


@pytest.fixture
def failure_list(wine_env, ref, tmp_path, driver):
    path = tmp_path / "examerr.data"
    write_failures(path, [record_bytes(ref.port("api"), 0, b"whole output"),
                          record_bytes(ref.port("api"), 0, b"second", "已知课程".encode("gbk"),
                                       "已知实验".encode("gbk"))])
    pid = driver.launch('"%s" "%s"' % (windows_path(PROGRAMS / "examerrlist.exe"),
                                       windows_path(path)))
    dialog = driver.wait_window("#32770", LIST_CAPTION.decode("gbk"))
    assert dialog, driver.windows()
    yield path, dialog
    driver.run("close", dialog)
    driver.wait_process(pid, 10000)


def test_list_shows_the_file_and_resubmits_a_row(wine_env, ref, driver, failure_list):
    path, dialog = failure_list
    rows = list_rows(wine_env, dialog)
    assert [row[:3] for row in rows] == [["大学物理：运动学", "自由落体仿真实验", "87"],
                                         ["已知课程", "已知实验", "87"]]
    screenshot(wine_env, "examerr-list.png")
    x, y = row_point(wine_env, dialog, 0)
    xdotool(wine_env, "mousemove", x, y, "click", "--repeat", "2", "--delay", "80", "1")
    box = driver.wait_window("#32770", "提示")
    assert driver.text(box) == "仿真实验数据提交成功！"
    driver.click(box, 2 if driver.run("click", box, 1)[0] else 1)
    assert [target for target, _ in api_calls(ref)][-3:] == [
        "/experimentRecord/add.yks", "/experiment/dataAdd.yks", "/experimentRecord/add.yks"]
    assert ref.state()["data"] == [{"id": 5001, "data": "whole output"}]
    assert [row[0] for row in list_rows(wine_env, dialog)] == ["已知课程"]
    assert struct.unpack_from("<i", path.read_bytes())[0] == 1


def test_list_clear_asks_and_f5_reloads(wine_env, ref, driver, failure_list):
    path, dialog = failure_list
    x, y = row_point(wine_env, dialog, 1)
    xdotool(wine_env, "mousemove", x, y, "click", "3")
    screenshot(wine_env, "examerr-menu.png")
    xdotool(wine_env, "mousemove", str(int(x) + 40), str(int(y) + 38), "click", "1")
    box = driver.wait_window("#32770", "提示")
    assert driver.text(box) == "清空数据后将无法恢复实验数据，确定要清空么"
    driver.click(box, 7)  # No
    assert len(list_rows(wine_env, dialog)) == 2
    write_failures(path, [record_bytes(ref.port("api"), 7, b"only", b"c", b"r")])
    xdotool(wine_env, "mousemove", x, y, "click", "1", "key", "F5")
    assert list_rows(wine_env, dialog) and [r[0] for r in list_rows(wine_env, dialog)] == ["c"]
    xdotool(wine_env, "mousemove", x, str(int(y) - 22), "click", "3")
    xdotool(wine_env, "mousemove", str(int(x) + 40), str(int(y) - 22 + 38), "click", "1")
    box = driver.wait_window("#32770", "提示")
    driver.click(box, 6)  # Yes
    assert list_rows(wine_env, dialog) == []
    assert path.read_bytes() == struct.pack("<i", 0)


def test_list_resubmit_with_the_file_held_never_lists_the_sent_row_again(
        wine_env, ref, driver, failure_list):
    # A scanner holds the file while a row is sent again: the user is not told
    # "提交成功" while the file still holds the record, and once the scanner
    # lets go the record is gone from the list and the file, sent once.
    path, dialog = failure_list
    ref.reset()  # the data sent by the tests before
    before = path.read_bytes()
    holder = subprocess.Popen(["wine", str(PROGRAMS / "fileholder.exe"), windows_path(path),
                               "30000", "velmora-e2e-held"], env=wine_env,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                              stdin=subprocess.DEVNULL)
    try:
        time.sleep(6)  # the holder has the file open
        x, y = row_point(wine_env, dialog, 0)
        xdotool(wine_env, "mousemove", x, y, "click", "--repeat", "2", "--delay", "80", "1")
        box = driver.wait_window("#32770", "提示", 30000)
        assert box, driver.windows()
        text = driver.text(box)
        assert "提交成功" not in text and text.startswith("实验数据已提交到服务器。"), text
        driver.click(box, 2 if driver.run("click", box, 1)[0] else 1)
        assert [row[0] for row in list_rows(wine_env, dialog)] == ["已知课程"]
        assert path.read_bytes() == before
    finally:
        holder.wait(timeout=90)
    x, y = row_point(wine_env, dialog, 0)
    xdotool(wine_env, "mousemove", x, y, "click", "1", "key", "F5")
    assert [row[0] for row in list_rows(wine_env, dialog)] == ["已知课程"]
    assert struct.unpack_from("<i", path.read_bytes())[0] == 1
    assert ref.state()["data"] == [{"id": 5001, "data": "whole output"}]
