"""The floating window under Wine: its stored position, hover face, drag,
tray, keys, exit, the screen capture on the hot key, the login of
"切换账号...", the CDN servers it learns from broadcasts of a second host on
the network, and the start-up's update question and the end's wait for the
document tools' installer against the reference tool server.

The program runs as testbed/win/mainwndhost.exe: the real start-up and
windows, with a start-up login that succeeds without the login dialog."""

import os
import pathlib
import re
import shutil
import socket
import struct
import subprocess
import sys
import time

import pytest

from winehost import TESTBED, drive_c

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[2] / "testbed"))
from refclient import RefPlatform  # noqa: E402

HOST_EXE = TESTBED / "mainwndhost.exe"
PROBE_EXE = TESTBED / "mainwndprobe.exe"
CAPTION = "Velmora助手"
STORED = (700, 260)
FACE = 120  # the faces are 120 x 120 pixels
BODY = (40, 100)  # a point of the face's body, away from eyes, mouth and tooltip
NORMAL_BODY = (46, 150, 222)
HOVER_BODY = (255, 160, 40)
PEER_NET = ("10.199.0.1", "10.199.0.2", "10.199.0.255")


def data_dir(env):
    return drive_c(env) / "users" / os.environ.get("USER", "root") / "AppData" / "Roaming" / "VelmoraWeb"


def state_file(env):
    return data_dir(env) / "VelmoraURL.dat"


def write_position(env, left, top):
    path = state_file(env)
    path.parent.mkdir(parents=True, exist_ok=True)
    # The position block, then the empty resource directory and reserved texts.
    path.write_bytes(struct.pack("<ii", left, top) + b"\0\0")


def read_position(env):
    return struct.unpack("<ii", state_file(env).read_bytes()[:8])


class Probe:
    def __init__(self, env):
        self.env = env

    def run(self, *args):
        r = subprocess.run(["wine", str(PROBE_EXE), *map(str, args)], env=self.env,
                           capture_output=True, timeout=60)
        return r.returncode, r.stdout.decode("gbk", "replace").strip()

    def rect(self, hwnd):
        rc, out = self.run("rect", hwnd)
        assert rc == 0, f"no window {hwnd}"
        left, top, right, bottom, visible = map(int, out.split())
        return (left, top, right, bottom), visible == 1

    def command(self, hwnd, cid):
        assert self.run("command", hwnd, cid)[0] == 0

    def clipboard(self):
        return self.run("clipboard")[1]

    def cdn(self):
        rc, out = self.run("cdn")
        assert rc == 0
        return out


def xdo(env, *args):
    subprocess.run(["xdotool", *map(str, args)], env=env, check=True, timeout=30)


def pixel(env, x, y):
    out = subprocess.run(["import", "-window", "root", "-crop", f"1x1+{x}+{y}", "-depth", "8", "txt:-"],
                         env=env, capture_output=True, check=True, timeout=30).stdout.decode()
    r, g, b = re.search(r"\((\d+),(\d+),(\d+)", out.splitlines()[-1]).groups()
    return int(r), int(g), int(b)


def wait_until(condition, timeout=10.0):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        value = condition()
        if value:
            return value
        time.sleep(0.2)
    return condition()


def drag(env, start, end):
    xdo(env, "mousemove", *start, "sleep", 0.3, "mousedown", 1, "sleep", 0.3,
        "mousemove", *end, "sleep", 0.3, "mouseup", 1, "sleep", 0.5)


# A second host: a network namespace of the test's own, joined to this one
# by a veth pair. Needs the isolated namespace of the test command.
class Peer:
    def __init__(self):
        self.holder = None

    def start(self):
        if os.environ.get("VELMORA_ISOLATED") != "1" or not shutil.which("ip"):
            return False
        self.holder = subprocess.Popen(["unshare", "--net", "sleep", "3600"])
        time.sleep(0.3)
        here, there, _ = PEER_NET
        for command in (["ip", "link", "add", "vmw0", "type", "veth", "peer", "name", "vmw1"],
                        ["ip", "link", "set", "vmw1", "netns", str(self.holder.pid)],
                        ["ip", "addr", "add", here + "/24", "dev", "vmw0"],
                        ["ip", "link", "set", "vmw0", "up"]):
            subprocess.run(command, check=True)
        for command in (["ip", "addr", "add", there + "/24", "dev", "vmw1"],
                        ["ip", "link", "set", "vmw1", "up"], ["ip", "link", "set", "lo", "up"]):
            self.inside(command)
        return True

    def inside(self, command, **kwargs):
        return subprocess.run(["nsenter", f"--net=/proc/{self.holder.pid}/ns/net", *command],
                              check=True, timeout=30, **kwargs)

    def broadcast(self, *datagrams):
        """Sends the datagrams from the second host to the network's broadcast address."""
        code = ("import socket,sys\n"
                "s=socket.socket(socket.AF_INET,socket.SOCK_DGRAM)\n"
                "s.setsockopt(socket.SOL_SOCKET,socket.SO_BROADCAST,1)\n"
                "for d in sys.stdin.buffer.read().split(b'\\n--cut--\\n'):\n"
                f"    s.sendto(d,('{PEER_NET[2]}',20214))\n")
        self.inside(["python3", "-c", code], input=b"\n--cut--\n".join(datagrams))

    def stop(self):
        if self.holder:
            subprocess.run(["ip", "link", "del", "vmw0"], check=False)
            self.holder.kill()
            self.holder.wait()


def message(payload):
    return struct.pack("<i", len(payload)) + payload


@pytest.fixture(scope="module")
def peer():
    found = Peer()
    present = found.start()
    yield found if present else None
    found.stop()


@pytest.fixture(scope="module")
def host(wine_env, driver, peer, tmp_path_factory):
    """The running program's window handle; its output (the listener's local
    address) in host.out."""
    env = wine_env
    for name in ("Velmora.data",):
        (data_dir(env) / name).unlink(missing_ok=True)
    write_position(env, *STORED)
    out_path = tmp_path_factory.mktemp("host") / "host.out"
    out = open(out_path, "wb")
    process = subprocess.Popen(["wine", str(HOST_EXE)], env=env, stdout=out,
                               stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL)
    hwnd = driver.wait_window("#32770", CAPTION, 30000)
    assert hwnd, "the floating window did not appear"
    time.sleep(1.0)
    yield {"hwnd": hwnd, "process": process, "out": out_path}
    if process.poll() is None:
        Probe(env).command(hwnd, 1127)
        try:
            process.wait(timeout=20)
        except subprocess.TimeoutExpired:
            process.kill()
    out.close()


@pytest.fixture
def probe(wine_env):
    return Probe(wine_env)


def face_rect(probe, host):
    rect, visible = probe.rect(host["hwnd"])
    assert visible
    return rect


def test_window_appears_at_its_stored_position_in_the_face_size(host, probe):
    assert face_rect(probe, host) == (STORED[0], STORED[1], STORED[0] + FACE, STORED[1] + FACE)


def test_hover_face_on_enter_and_normal_face_on_leave(wine_env, host, probe):
    left, top, _, _ = face_rect(probe, host)
    at = (left + BODY[0], top + BODY[1])
    xdo(wine_env, "mousemove", 10, 700)
    assert wait_until(lambda: pixel(wine_env, *at) == NORMAL_BODY)
    xdo(wine_env, "mousemove", left + 60, top + 40)
    assert wait_until(lambda: pixel(wine_env, *at) == HOVER_BODY)
    xdo(wine_env, "mousemove", 10, 700)
    assert wait_until(lambda: pixel(wine_env, *at) == NORMAL_BODY)
    # The white surround is cut away: the desktop shows through the corner.
    assert pixel(wine_env, left + 1, top + FACE - 2) != (255, 255, 255)


@pytest.mark.parametrize("dx, dy", [(30, 0), (0, 0), (-30, 20)])
def test_a_drag_moves_the_window_by_its_distance_only(wine_env, host, probe, dx, dy):
    left, top, _, _ = face_rect(probe, host)
    start = (left + 60, top + 40)
    drag(wine_env, start, (start[0] + dx, start[1] + dy))
    assert face_rect(probe, host)[:2] == (left + dx, top + dy)


def test_a_click_without_movement_and_escape_or_enter_change_nothing(wine_env, host, probe):
    before = face_rect(probe, host)
    xdo(wine_env, "mousemove", before[0] + 60, before[1] + 40, "sleep", 0.3, "click", 1,
        "sleep", 0.3, "key", "Escape", "sleep", 0.3, "key", "Return", "sleep", 0.5)
    assert face_rect(probe, host) == before
    assert host["process"].poll() is None


def test_right_click_menu_at_the_lower_left_and_the_about_box(wine_env, host, probe, driver):
    left, top, right, bottom = face_rect(probe, host)
    xdo(wine_env, "mousemove", left + 60, top + 40, "sleep", 0.3, "click", 3)
    menu = driver.wait_window("#32768", "*", 5000)
    assert menu, "no menu"
    assert wait_until(lambda: probe.rect(menu)[1])
    assert probe.rect(menu)[0][:2] == (left + 16, bottom - 16)
    xdo(wine_env, "key", "Escape")
    assert driver.gone(menu, 5000)

    probe.command(host["hwnd"], 1128)
    about = driver.wait_window("#32770", "关于 Velmora 助手", 5000)
    assert about, "no About box"
    assert driver.text(about, 1002) == "Velmora助手 1.0 版"
    assert driver.text(about, 1) == "确定"
    driver.click(about, 1)
    assert driver.gone(about, 5000)
    assert face_rect(probe, host) == (left, top, right, bottom)


def test_tray_and_back(wine_env, host, probe, driver):
    hwnd = host["hwnd"]
    probe.command(hwnd, 1125)
    assert wait_until(lambda: not probe.rect(hwnd)[1])
    # Wine's tray strip at the top left: a double click brings the window back.
    xdo(wine_env, "mousemove", 12, 32, "sleep", 0.3, "click", "--repeat", 2, "--delay", 80, 1)
    assert wait_until(lambda: probe.rect(hwnd)[1])


def test_hot_key_captures_a_dragged_region_to_the_clipboard(wine_env, host, probe, driver):
    assert probe.run("clearclipboard")[0] == 0
    left, top, _, _ = face_rect(probe, host)
    xdo(wine_env, "mousemove", left + 60, top + 40, "sleep", 0.3, "key", "alt+shift+z")
    capture = driver.wait_window("#32770", "任意截屏", 10000)
    assert capture, "the capture window did not open"
    assert probe.rect(capture) == ((0, 0, 1280, 800), True)
    xdo(wine_env, "key", "alt+shift+z", "sleep", 1.0)  # no second capture over the first
    assert driver.windows().count("任意截屏") == 1

    drag(wine_env, (100, 100), (104, 104))  # 4 x 4: nothing is copied
    assert probe.clipboard() == "none"
    assert probe.rect(capture)[1]

    drag(wine_env, (300, 250), (180, 200))  # from the lower right to the upper left
    assert wait_until(lambda: probe.clipboard() == "120x50")
    preview = driver.wait_window("#32770", "截屏预览", 10000)
    assert preview, "the preview did not open"
    (pl, pt, pr, pb), shown = probe.rect(preview)
    assert shown and pr - pl >= 120 and pb - pt >= 50 + 35
    assert (pl, pt) == ((1280 - 120) // 2, (800 - 50) // 2)
    # "取消" lies at 5..45 across the bottom 35 pixels: it closes the preview.
    xdo(wine_env, "mousemove", pl + 1 + 20, pb - 1 - 17, "sleep", 0.3, "click", 1)
    assert driver.gone(preview, 5000)
    assert probe.clipboard() == "120x50"  # the image stays either way


def test_a_tray_icon_the_shell_refuses_keeps_the_window_in_view(host, probe):
    hwnd = host["hwnd"]
    # Another holder of the window's icon id: the shell refuses the program's own.
    assert probe.run("trayadd", hwnd)[0] == 0
    try:
        probe.command(hwnd, 1125)
        time.sleep(1.5)
        assert probe.rect(hwnd)[1], "hidden without an icon to bring it back"
    finally:
        assert probe.run("traydel", hwnd)[0] == 0
    probe.command(hwnd, 1125)
    assert wait_until(lambda: not probe.rect(hwnd)[1])
    # A restarted shell that refuses the icon again: the window comes back.
    assert probe.run("traydel", hwnd)[0] == 0
    assert probe.run("trayadd", hwnd)[0] == 0
    try:
        assert probe.run("taskbarcreated", hwnd)[0] == 0
        assert wait_until(lambda: probe.rect(hwnd)[1]), "hidden without an icon after a restart"
    finally:
        probe.run("traydel", hwnd)  # gone already when the window, coming back, removed "its" icon
    probe.command(hwnd, 1125)
    assert wait_until(lambda: not probe.rect(hwnd)[1])
    probe.command(hwnd, 1126)
    assert wait_until(lambda: probe.rect(hwnd)[1])


def same_handle(a, b):
    return int(str(a), 16) == int(str(b), 16)


def no_menu_opens(driver):
    return driver.wait_window("#32768", "*", 1500) is None


# The menu's dialogs: "切换账号...", "设置CDN服务器..." and "异常中心...".
MENU_DIALOGS = [(1129, "登录Velmora平台"), (1194, "CDN服务器"), (1184, "实验记录提交失败列表")]


@pytest.mark.parametrize("command, caption", MENU_DIALOGS)
@pytest.mark.parametrize("in_tray", [False, True])
def test_the_menu_dialogs_are_modal_to_the_window(wine_env, host, probe, driver, in_tray, command,
                                                  caption):
    hwnd = host["hwnd"]
    left, top, _, _ = face_rect(probe, host)
    if in_tray:
        probe.command(hwnd, 1125)
        assert wait_until(lambda: not probe.rect(hwnd)[1])
    probe.command(hwnd, command)
    dialog = driver.wait_window("#32770", caption, 15000)
    assert dialog, f"no dialog {caption}"
    try:
        assert same_handle(probe.run("owner", dialog)[1], hwnd)
        assert probe.run("enabled", hwnd)[1] == "0"
        # Neither the window nor its icon opens the menu, so no second dialog.
        (dl, dt, dr, db), _ = probe.rect(dialog)
        where = [(12, 32)] if in_tray else [
            (left + x, top + y) for x, y in ((60, 40), (20, 60), (100, 60), (60, 100))
            if not (dl <= left + x < dr and dt <= top + y < db)][:1]
        for point in where:  # none when the dialog covers the face
            xdo(wine_env, "mousemove", *point, "sleep", 0.3, "click", 3)
            opened = not no_menu_opens(driver)
            if opened:
                xdo(wine_env, "key", "Escape")
            assert not opened
        assert driver.windows().count(caption) == 1
        # A capture over the dialog leaves the window disabled under it.
        xdo(wine_env, "key", "alt+shift+z")
        capture = driver.wait_window("#32770", "任意截屏", 10000)
        assert capture, "the capture window did not open"
        xdo(wine_env, "key", "Escape")
        assert driver.gone(capture, 5000)
        assert probe.run("enabled", hwnd)[1] == "0"
    finally:
        driver.run("close", dialog)
    assert driver.gone(dialog, 5000)
    assert probe.run("enabled", hwnd)[1] == "1"
    if in_tray:
        probe.command(hwnd, 1126)
        assert wait_until(lambda: probe.rect(hwnd)[1])


def test_a_capture_that_cannot_reach_the_clipboard_tells_the_user(wine_env, host, probe, driver):
    holder = subprocess.Popen(["wine", str(PROBE_EXE), "holdclipboard", "20000"], env=wine_env,
                              stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    try:
        assert holder.stdout.readline().strip() == b"held"
        probe.command(host["hwnd"], 1151)
        capture = driver.wait_window("#32770", "任意截屏", 10000)
        assert capture, "the capture window did not open"
        drag(wine_env, (300, 250), (180, 200))
        box = driver.wait_window("#32770", "提示", 10000)
        assert box, "the capture ended without a word"
        assert driver.text(box) == "截图未能复制到剪贴板，剪贴板可能正被其他程序使用，请稍后重试！"
        driver.click(box, 1)
        assert driver.gone(capture, 5000)
        assert driver.wait_window("#32770", "截屏预览", 1000) is None
    finally:
        holder.kill()
        holder.wait()


def test_cdn_announcements(host, probe, peer):
    if peer is None:
        pytest.skip("needs the isolated namespace of the test command (root, ip)")
    listener_line = wait_until(lambda: re.search(
        r"LocalName = .*\(([\d.]+)\), [\d.]+", host["out"].read_text(errors="replace")), 5)
    own = listener_line.group(1) if listener_line else "127.0.0.1"

    # From the machine's own address: ignored.
    own_socket = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    own_socket.bind((own, 0))
    own_socket.sendto(message(b'{"msgid":0,"server":"10.1.1.1:1"}'), (own, 20214))
    own_socket.close()
    # Another message kind, a hostile length in each direction, an empty
    # datagram and a message that never completes: ignored, listening goes on.
    peer.broadcast(message(b'{"msgid":1,"cmdid":0,"server":"10.2.2.2:2"}'),
                   struct.pack("<i", -1) + b'{"msgid":0,"server":"10.3.3.3:3"}',
                   struct.pack("<i", 5000) + b"x" * 1200,
                   b"",
                   struct.pack("<i", 600) + b'{"msgid":0,')
    time.sleep(1.0)
    assert probe.cdn() == ""
    peer.broadcast(message(b'{"msgid":0,"cmdid":1,"server":"10.0.0.8:8000"}'))
    assert wait_until(lambda: probe.cdn() == "10.0.0.8:8000")
    # The listening has ended: a later announcement changes nothing.
    peer.broadcast(message(b'{"msgid":0,"server":"10.0.0.9:9000"}'))
    time.sleep(1.0)
    assert probe.cdn() == "10.0.0.8:8000"


def test_exit_stores_the_position(wine_env, host, probe):
    left, top, _, _ = face_rect(probe, host)
    probe.command(host["hwnd"], 1127)
    host["process"].wait(timeout=30)
    assert read_position(wine_env) == (left, top)


def test_a_position_off_every_screen_is_brought_back(wine_env, driver, probe, host):
    assert host["process"].poll() is not None  # the first start has ended
    write_position(wine_env, 5000, -4000)  # stored on a larger screen
    process = subprocess.Popen(["wine", str(HOST_EXE)], env=wine_env, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL)
    try:
        hwnd = driver.wait_window("#32770", CAPTION, 30000)
        assert hwnd
        assert probe.rect(hwnd) == ((1280 - FACE, 0, 1280, FACE), True)
        probe.command(hwnd, 1127)
        process.wait(timeout=30)
        assert read_position(wine_env) == (1280 - FACE, 0)
    finally:
        if process.poll() is None:
            process.kill()


@pytest.fixture
def tool_server(tmp_path):
    """The reference tool server on the built-in host's port 7112."""
    with RefPlatform.start(str(tmp_path / "toolserver"), "--tool-port", "7112", "--api-port", "0",
                           "--download-port", "0", "--cdn-port", "0",
                           "--bin-dir", str(TESTBED)) as platform:
        yield platform


def start_host(env, first_host, probe):
    """A first process of its own: the module's one has ended first."""
    if first_host["process"].poll() is None:
        end_host(probe, first_host["hwnd"], first_host["process"])
    process = subprocess.Popen(["wine", str(HOST_EXE)], env=env, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL)
    return process


def end_host(probe, hwnd, process):
    if hwnd:
        probe.command(hwnd, 1127)
    try:
        process.wait(timeout=60)
    except subprocess.TimeoutExpired:
        process.kill()
        raise


def test_enter_on_the_forced_update_question_updates_and_goes_on(wine_env, driver, probe, host,
                                                                  tool_server):
    log = drive_c(wine_env) / "velmora-e2e" / "mainwnd-update.log"
    log.parent.mkdir(parents=True, exist_ok=True)
    log.unlink(missing_ok=True)
    env = dict(wine_env, VELMORA_TOOL_LOG="C:\\velmora-e2e\\mainwnd-update.log")
    tool_server.put_file("tool", "VelmoraURL.exe", b"the newer build")
    tool_server.put_file("tool", "vmtool.ini",
                         b"[VelmoraURL]\r\nhashcode=${md5:VelmoraURL.exe}\r\nforceupdate=1\r\n")
    process = start_host(env, host, probe)
    hwnd = None
    try:
        box = driver.wait_window("#32770", "提示", 30000)
        assert box, "no update question"
        assert "需要更新后方可使用" in driver.text(box)
        assert probe.run("enter", box)[0] == 0
        assert driver.gone(box, 5000)
        hwnd = driver.wait_window("#32770", CAPTION, 30000)
        assert hwnd, "Enter ended the program"
        assert wait_until(lambda: log.exists() and "VmUpgrade.exe|" in log.read_text("utf-8"))
    finally:
        end_host(probe, hwnd, process)


def test_the_end_waits_for_the_document_tools_installer(wine_env, driver, probe, host,
                                                        tool_server):
    log = drive_c(wine_env) / "velmora-e2e" / "mainwnd-topack.log"
    log.parent.mkdir(parents=True, exist_ok=True)
    log.unlink(missing_ok=True)
    shutil.rmtree(data_dir(wine_env) / "Tools" / "ToPack", ignore_errors=True)
    env = dict(wine_env, VELMORA_TOOL_LOG="C:\\velmora-e2e\\mainwnd-topack.log")
    # The installer is still fetching when the user quits.
    tool_server.set_faults({"server": "tool", "path": "/VelmoraTool/ToPack.exe",
                            "stall": {"after": 1000, "seconds": 4}})
    process = start_host(env, host, probe)
    hwnd = driver.wait_window("#32770", CAPTION, 30000)
    assert hwnd
    probe.command(hwnd, 1146)
    assert wait_until(lambda: any(r.target.endswith("/ToPack.exe")
                                  for r in tool_server.requests("tool")))
    end_host(probe, hwnd, process)
    assert wait_until(lambda: log.exists() and "ToPack.exe|" in log.read_text("utf-8"))
