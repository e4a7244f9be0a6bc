"""velmoraurl://res: links carried out by the real program under Wine against
the reference platform on its fixed ports: the silent login of a remembered
account, the cached copy, the size question, cancel and resume, the CDN
server, the video viewer and its installation, the download slots, and
links that must touch nothing."""
import os
import shutil
import subprocess
import time

import pytest

from winehost import APP_EXE, TESTBED, Driver, drive_c, wait_for_file_text, windows_path

# Links are followed while a first process runs, as they are beside the main
# window: each process carries out its link and ends.
pytestmark = [pytest.mark.skipif(os.environ.get("VELMORA_ISOLATED") != "1",
                                 reason="fixed ports and built-in hosts: run under scripts/isolated.sh"),
              pytest.mark.usefixtures("later_processes")]

WORK = "velmora-e2e"
SERVER = "127.0.0.1:9112"
USER_DIR = "00001001"  # the account 13800000001 of the seed
QUESTION = ("#32770", "提示")
NOTICE = ("#32770", "Velmora助手")
PROGRESS = ("#32770", "下载资源")
IDYES, IDNO, IDC_DOWNLOAD_CANCEL = 6, 7, 1013
MIB = 1048576


@pytest.fixture(scope="module")
def roaming(wine_env):
    """The user's APPDATA in the prefix. The remembered accounts and the window
    state are given back as they were, so that later tests do not log in with
    this module's account; the module starts without a window state, so the
    resource directory is its user's FILE directory."""
    found = next(p for p in (drive_c(wine_env) / "users").glob("*/AppData/Roaming")
                 if "Public" not in p.parts)
    data = found / "VelmoraWeb"
    names = ("Velmora.data", "Velmora.data_OLD", "VelmoraURL.dat", "VelmoraURL.dat_OLD")
    kept = {name: (data / name).read_bytes() for name in names if (data / name).exists()}
    for name in names[2:]:
        (data / name).unlink(missing_ok=True)
    yield found
    for name in names:
        (data / name).unlink(missing_ok=True)
        if name in kept:
            (data / name).write_bytes(kept[name])
    shutil.rmtree(data / USER_DIR, ignore_errors=True)
    shutil.rmtree(data / "Tools" / "webView", ignore_errors=True)
    (data / "Tools" / "webView.exe").unlink(missing_ok=True)


def helper(env, *args):
    return subprocess.run(["wine", str(TESTBED / "velmorastate.exe"), *map(str, args)], env=env,
                          stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL, timeout=60).returncode


class Assistant:
    """The program started with links as the browser starts it, and what it did."""

    def __init__(self, env, ref, roaming, log):
        self.env, self.ref, self.roaming, self.log = env, ref, roaming, log
        self.driver = Driver(env)

    @property
    def files(self):
        return self.roaming / "VelmoraWeb" / USER_DIR / "FILE"

    @property
    def tools(self):
        return self.roaming / "VelmoraWeb" / "Tools"

    def follow(self, params, server=SERVER):
        url = f"velmoraurl://res:{params}" + (f"&server={server}" if server else "")
        return self.start(url)

    def start(self, url):
        # A start that the system refused started nothing: trying again is safe
        # (seen once under load, while the previous process was ending).
        command = f'"{windows_path(APP_EXE)}" "{url}"'
        for _ in range(3):
            rc, out = self.driver.run("launch", command)
            if rc == 0:
                return int(out)
            time.sleep(1)
        raise AssertionError(f"could not start {command}")

    def ended(self, pid, ms=60000):
        return self.driver.wait_process(pid, ms) is not None

    def answer(self, answer, window=QUESTION):
        box = self.driver.wait_window(*window)
        assert box, f"no {window[1]} box was shown"
        text = self.driver.text(box)
        self.driver.click(box, answer)
        assert self.driver.gone(box)
        return text

    def opened(self, timeout=20.0):
        return [line for line in wait_for_file_text(self.log, timeout).splitlines() if line]

    def downloads(self, fid):
        return [r for r in self.ref.requests("download") if r.target.endswith(f"fid={fid}")]


@pytest.fixture
def assistant(wine_env, ref, roaming, vtest_opener, request):
    ref.reset()
    ref.clear_faults()
    shutil.rmtree(roaming / "VelmoraWeb" / USER_DIR, ignore_errors=True)
    shutil.rmtree(roaming / "VelmoraWeb" / "Tools" / "webView", ignore_errors=True)
    (roaming / "VelmoraWeb" / "Tools" / "webView.exe").unlink(missing_ok=True)
    assert helper(wine_env, "account", "127.0.0.1", 9112, "13800000001", "123456", 0) == 0
    log = drive_c(wine_env) / WORK / f"{request.node.name[:60]}.log"
    log.unlink(missing_ok=True)
    env = dict(wine_env, VELMORA_RECORDER_LOG=f"C:\\{WORK}\\{log.name}")
    yield Assistant(env, ref, roaming, log)
    ref.clear_faults()


def resource(ref, fid, size):
    ref.put_file("download", fid, generate=size)
    return f"fid={fid}&fext=vtest&hashcode=h-{fid}"


def test_a_downloaded_resource_then_opens_at_once_without_a_request(assistant, ref):
    link = resource(ref, "e2e-open", 300000)
    assert assistant.ended(assistant.follow(link))
    assert len(assistant.opened()) == 1
    assert len(assistant.downloads("e2e-open")) == 1
    before = len(ref.requests("download"))
    assert assistant.ended(assistant.follow(link))
    opened = assistant.opened()
    assert len(opened) == 2 and opened[1].endswith(f'{USER_DIR}\\FILE\\e2e-open.vtest"')
    assert len(ref.requests("download")) == before


@pytest.mark.parametrize("size, asks", [(MIB, False), (MIB + 1, True)])
def test_only_a_resource_above_one_mebibyte_asks(assistant, ref, size, asks):
    pid = assistant.follow(resource(ref, f"e2e-size{size}", size))
    if asks:
        assert "该资源大小为1.00M，需下载后方可打开" in assistant.answer(IDNO)
    assert assistant.ended(pid)
    assert len(assistant.downloads(f"e2e-size{size}")) == (0 if asks else 1)
    assert bool(assistant.opened(timeout=10 if not asks else 2)) == (not asks)


def test_cancel_then_the_same_link_resumes_from_the_partial_file(assistant, ref):
    link = resource(ref, "e2e-resume", 3 * MIB)
    ref.set_faults({"server": "download", "drip": {"bytes": 16384, "delay": 0.1}})
    pid = assistant.follow(link)
    assistant.answer(IDYES)
    dialog = assistant.driver.wait_window(*PROGRESS)
    assert dialog, "no progress dialog"
    time.sleep(2)
    assistant.driver.click(dialog, IDC_DOWNLOAD_CANCEL)
    assert assistant.ended(pid)
    assert assistant.driver.wait_window(*NOTICE, ms=500) is None  # a cancel is no failure
    partial = assistant.files / "e2e-resume.vtest.tmp"
    kept = partial.stat().st_size
    assert 0 < kept < 3 * MIB

    ref.clear_faults()
    pid = assistant.follow(link)
    assert "目前已下载%0.2fM" % (kept / MIB) in assistant.answer(IDYES)
    assert assistant.ended(pid)
    assert f"\r\nRange: bytes={kept}-\r\n".encode() in assistant.downloads("e2e-resume")[-1].raw
    assert (assistant.files / "e2e-resume.vtest").stat().st_size == 3 * MIB
    assert len(assistant.opened()) == 1


def test_the_cdn_server_is_asked_first(assistant, ref, wine_env):
    ref.put_file("download", "e2e-cdn", generate=200000)
    ref.put_file("download", "e2e-platform", generate=200000)
    ref.set_cdn_holds(["e2e-cdn"])
    holder = subprocess.Popen(["wine", str(TESTBED / "velmorastate.exe"), "cdn", "127.0.0.1:8080",
                               "60000"], env=wine_env, stdin=subprocess.DEVNULL,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        time.sleep(2)
        assert assistant.ended(assistant.follow("fid=e2e-cdn&fext=vtest&hashcode=c1"))
        assert assistant.ended(assistant.follow("fid=e2e-platform&fext=vtest&hashcode=p1"))
    finally:
        holder.kill()
    cdn = [r.target for r in ref.requests("cdn")]
    assert "/command/find.do?fid=e2e-cdn" in cdn and any(t.startswith("/files/e2e-cdn") for t in cdn)
    assert "/command/find.do?fid=e2e-platform" in cdn
    assert assistant.downloads("e2e-cdn") == []
    assert len(assistant.downloads("e2e-platform")) == 1
    assert len(assistant.opened()) == 2


# The CDN server's copy may be an older version than the platform's: what it
# sent before it failed is never the head of the file the platform sends.
@pytest.mark.parametrize("fault", [{"status": 404}, {"close_after": 70000}],
                         ids=["evicted", "cut short"])
def test_a_file_the_cdn_server_fails_to_deliver_comes_from_the_platform(assistant, ref, wine_env,
                                                                         fault):
    ref.put_file("download", "e2e-fallback", generate=200000)
    ref.set_cdn_holds(["e2e-fallback"])
    ref.set_faults(dict({"server": "cdn", "path": "/files/"}, **fault))
    log = assistant.roaming / "VelmoraURL.log"
    logged = log.stat().st_size if log.exists() else 0
    holder = subprocess.Popen(["wine", str(TESTBED / "velmorastate.exe"), "cdn", "127.0.0.1:8080",
                               "60000"], env=wine_env, stdin=subprocess.DEVNULL,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        time.sleep(2)
        assert assistant.ended(assistant.follow("fid=e2e-fallback&fext=vtest&hashcode=f1"))
    finally:
        holder.kill()
    assert any(r.target.startswith("/files/e2e-fallback") for r in ref.requests("cdn"))
    downloads = assistant.downloads("e2e-fallback")
    assert len(downloads) == 1
    assert b"\r\nRange:" not in downloads[0].raw
    cached = (assistant.files / "e2e-fallback.vtest").read_bytes()
    assert cached == bytes(i % 251 for i in range(251)) * (200000 // 251) + bytes(range(200000 % 251))
    assert len(assistant.opened()) == 1
    entries = log.read_bytes()[logged:].decode("gbk")
    assert "改从平台下载：e2e-fallback\r\n" in entries


def viewer_record(assistant, timeout=20.0):
    return wait_for_file_text(assistant.tools / "webView" / "commandline.log", timeout).strip()


def test_a_video_plays_in_the_viewer_with_exactly_its_url(assistant, wine_env):
    (assistant.tools / "webView").mkdir(parents=True)
    shutil.copyfile(TESTBED / "webView.exe", assistant.tools / "webView" / "webView.exe")
    assert assistant.ended(assistant.follow("fid=100002&fext=mp4&ftype=0&hashcode=v"))
    record = viewer_record(assistant)
    assert record.endswith(" http://127.0.0.1:8112/file/downLoad?ft=3&u=2&fid=100002 播放在线视频")
    assert assistant.downloads("100002") == []


def test_a_missing_viewer_is_installed_then_started(assistant):
    pid = assistant.follow("fid=100002&fext=mp4&ftype=0&hashcode=v")
    assert "维墨视频浏览工具尚未安装" in assistant.answer(IDYES)
    record = viewer_record(assistant, timeout=60)
    assert record.endswith(" http://127.0.0.1:8112/file/downLoad?ft=3&u=2&fid=100002 播放在线视频")
    assert assistant.ended(pid)
    assert (assistant.tools / "webView.exe").exists()
    assert any(r.target.endswith("/VelmoraTool/webView.exe") for r in assistant.ref.requests("tool"))


def test_a_second_click_on_a_resource_being_downloaded_does_nothing(assistant, ref):
    link = resource(ref, "e2e-twice", MIB)
    ref.set_faults({"server": "download", "drip": {"bytes": 16384, "delay": 0.1}})
    first = assistant.follow(link)
    assert assistant.driver.wait_window(*PROGRESS)
    second = assistant.follow(link)
    assert assistant.ended(second, 20000)
    assert len(assistant.downloads("e2e-twice")) == 1
    ref.clear_faults()
    assert assistant.ended(first)
    assert len(assistant.opened()) == 1


def test_six_links_at_once_download_at_most_five(assistant, ref):
    links = [resource(ref, f"e2e-six{i}", MIB) for i in range(6)]
    ref.set_faults({"server": "download", "drip": {"bytes": 16384, "delay": 0.15}})
    pids = [assistant.follow(link) for link in links]
    time.sleep(8)
    running = sum(len(assistant.downloads(f"e2e-six{i}")) for i in range(6))
    assert running <= 5
    limit = assistant.driver.wait_window(*NOTICE, ms=2000)
    if limit:  # the sixth may also lose the slot claim itself, which is silent
        assert "最多同时支持5个下载" in assistant.driver.text(limit)
        assistant.driver.click(limit, 1)
    ref.clear_faults()
    for pid in pids:
        assert assistant.ended(pid, 90000)
    assert sum(len(assistant.downloads(f"e2e-six{i}")) for i in range(6)) == 5
    assert len(assistant.opened()) == 5


def test_a_link_for_another_server_asks_for_a_login_and_opens_nothing(assistant, ref):
    link = resource(ref, "e2e-other", 1000)
    pid = assistant.follow(link, server="127.0.0.1:9999")
    login = assistant.driver.wait_window("#32770", "登录Velmora平台")
    assert login, "no login dialog for the other server"
    assert ref.requests("api") == [] and ref.requests("download") == []
    assert assistant.driver.run("close", login)[0] == 0
    assert assistant.ended(pid)
    assert assistant.opened(timeout=2) == []


HOSTILE = [
    "fid=..\\..\\..\\..\\..\\..\\velmora-e2e\\thesis&fext=docx",
    "fid=thesis&fext=docx\\..\\..\\..\\..\\..\\..\\velmora-e2e\\x",
    "fid=C:thesis&fext=docx",
    "fid=nul&fext=vtest",
    "fid=e2e%26u=1&fext=vtest",
    "fid=thesis.&fext=vtest",
    "fext=vtest",
]


@pytest.mark.parametrize("params", HOSTILE)
def test_a_hostile_link_touches_nothing_and_sends_nothing(assistant, ref, wine_env, params):
    planted = drive_c(wine_env) / WORK / "thesis.docx"
    planted.write_text("years of work")
    assert assistant.ended(assistant.follow(params))
    assert planted.read_text() == "years of work"
    assert ref.requests() == []
    assert assistant.driver.wait_window(*NOTICE, ms=300) is None
    assert not (assistant.roaming / "VelmoraWeb" / USER_DIR).exists()


@pytest.mark.parametrize("target, named", [
    ("someproto:abc", "someproto:abc"),
    ("file://otherhost/share/lesson.vtest", "“otherhost”"),
])
def test_the_file_form_asks_before_handing_on_an_address(assistant, target, named):
    pid = assistant.start(f"velmoraurl://file:{target}")
    assert named in assistant.answer(IDNO)
    assert assistant.ended(pid)
    assert assistant.opened(timeout=2) == []


def test_a_link_after_a_switch_logs_in_the_account_switched_to_while_a_scanner_holds_its_file(
        assistant, ref, wine_env):
    """13800000001 was remembered, then "切换账号..." logged in 13800000003:
    Velmora.data names the second student and its backup the first. A scanner
    that shares nothing holds the file for a moment as the link starts: the
    link waits for it and logs in the student of the switch, never the one
    before."""
    assert helper(wine_env, "account", "127.0.0.1", 9112, "13800000003", "123456", 0) == 0
    accounts = assistant.roaming / "VelmoraWeb" / "Velmora.data"
    assert b"13800000001" in accounts.with_name("Velmora.data_OLD").read_bytes()
    link = resource(ref, "e2e-held", 1000)
    holder = subprocess.Popen(["wine", str(TESTBED / "fileholder.exe"), windows_path(accounts),
                               "1900", "-", "alone"], env=wine_env, stdin=subprocess.DEVNULL,
                              stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    try:
        assert holder.stdout.readline().strip() == b"held"
        pid = assistant.follow(link)
        # The switched-to student may not browse resources: the platform says so.
        assert assistant.answer(1, NOTICE) == "您没有权限浏览该资源！"
        assert assistant.ended(pid)
        assert holder.wait(timeout=30) == 0
    finally:
        if holder.poll() is None:
            holder.kill()
        shutil.rmtree(assistant.roaming / "VelmoraWeb" / "00001003", ignore_errors=True)
    logins = [r.body for r in ref.requests("api") if r.target.startswith("/user/loginPhone.yks")]
    assert len(logins) == 1 and b"phone=13800000003&" in logins[0]
    assert assistant.downloads("e2e-held") == [] and assistant.opened(timeout=1) == []
    assert b"13800000003" in accounts.read_bytes()
