"""The update check and the companion tools under Wine against the reference
tool server (the built-in default host, port 7112, in the isolated network):
what the program asks, what it fetches in which order, and what it starts."""
import base64
import hashlib
import os
import pathlib
import shutil
import subprocess
import sys
import time

import pytest

from winehost import APP_EXE, TESTBED, Driver, copy_into_prefix, drive_c, windows_path

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[2] / "testbed"))
from refclient import RefPlatform  # noqa: E402

WORK = "velmora-tools"  # below C:\
BOX = "#32770"
CAPTION = "提示"
IDOK, IDYES, IDNO = 1, 6, 7
PASSWORD = "k3Tq9WxR#mPlz_#d"
DESCRIPTION = ("[VelmoraURL]\r\nhashcode={program}\r\nforceupdate={force}\r\n"
               "[VmBrowser]\r\nhashcode={browser}\r\n")


def md5(data):
    return hashlib.md5(data).hexdigest()


@pytest.fixture(scope="module")
def ref(tmp_path_factory):
    state = str(tmp_path_factory.mktemp("toolserver"))
    with RefPlatform.start(state, "--tool-port", "7112", "--api-port", "0", "--download-port", "0",
                           "--cdn-port", "0", "--bin-dir", str(TESTBED)) as platform:
        yield platform


@pytest.fixture(scope="module")
def prefix(wine_env):
    """PowerPoint 16 as the prefix's registered presentation program."""
    reg = drive_c(wine_env) / WORK / "powerpoint.reg"
    reg.parent.mkdir(parents=True, exist_ok=True)
    reg.write_text("Windows Registry Editor Version 5.00\r\n\r\n"
                   "[HKEY_CLASSES_ROOT\\PowerPoint.Application\\CurVer]\r\n"
                   "@=\"PowerPoint.Application.16\"\r\n", encoding="utf-16")
    subprocess.run(["wine", "regedit", "/S", f"C:\\{WORK}\\powerpoint.reg"], env=wine_env,
                   check=True)
    users = [p for p in (drive_c(wine_env) / "users").iterdir() if p.name != "Public"]
    return users[0]


class Session:
    """One test's view: the driver with the tool log, the data directories."""

    def __init__(self, env, ref, user_dir, name):
        self.ref = ref
        self.log = drive_c(env) / WORK / f"{name}.log"
        self.log.unlink(missing_ok=True)
        self.env = dict(env, VELMORA_TOOL_LOG=f"C:\\{WORK}\\{self.log.name}")
        self.driver = Driver(self.env)
        self.data = user_dir / "AppData" / "Roaming" / "VelmoraWeb"
        self.tools = self.data / "Tools"
        self.temp = user_dir / "Temp"
        self.windows = drive_c(env) / "windows"

    def describe(self, program="", force="0", browser="${md5:VmBrowser.dll}"):
        self.ref.put_file("tool", "vmtool.ini",
                          DESCRIPTION.format(program=program, force=force,
                                             browser=browser).encode())

    def tool_driver(self, *args):
        exe = windows_path(TESTBED / "tooldriver.exe")
        return self.driver.launch(" ".join([f'"{exe}"'] + [str(a) for a in args]))

    def answer(self, text, button):
        box = self.driver.wait_window(BOX, CAPTION)
        assert box, f"no box for {text!r}"
        # The box's own line ends and the driver's trimming aside.
        assert self.driver.text(box).replace("\r\n", "\n").strip() == text.strip()
        self.driver.click(box, button)
        assert self.driver.gone(box)

    def goes_on_to_the_login(self):
        """Start-up went on past the update check: the login dialog of a first start."""
        # Generous: a busy machine's start takes long, and only a failure waits it out.
        return self.driver.wait_window(BOX, "登录Velmora平台", ms=45000) is not None

    def no_box(self, ms=1500):
        return self.driver.wait_window(BOX, CAPTION, ms=ms) is None

    def fetched(self):
        return [r.target.rpartition("/")[2] for r in self.ref.requests("tool")]

    def records(self, timeout=5.0):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline and not self.log.exists():
            time.sleep(0.1)
        time.sleep(0.3)
        return self.log.read_text(encoding="utf-8").splitlines() if self.log.exists() else []

    def remove(self, *paths):
        for path in paths:
            path.unlink(missing_ok=True)


@pytest.fixture
def session(wine_env, ref, prefix, request):
    ref.reset()
    found = Session(wine_env, ref, prefix, request.node.name)
    found.tools.mkdir(parents=True, exist_ok=True)
    return found


@pytest.fixture
def installed_app(wine_env):
    exe = copy_into_prefix(wine_env, APP_EXE, f"{WORK}/app/VelmoraURL.exe")
    return exe, f"C:\\{WORK}\\app\\VelmoraURL.exe"


def registered(env):
    return subprocess.run(["wine", "reg", "query", "HKCR\\VelmoraURL"], env=env,
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode == 0


def unregister(env):
    subprocess.run(["wine", "reg", "delete", "HKCR\\VelmoraURL", "/f"], env=env,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


# -- the update check at start-up ------------------------------------------

# What the tool check asks for before anything else: the description and the
# publisher's list of retired keys with its signature.
TOOL_CHECK = ["vmtool.ini", "keys.retired", "keys.retired.sig"]

def test_newer_build_is_offered_and_yes_starts_the_upgrader(session, installed_app):
    _, windows_exe = installed_app
    session.ref.put_file("tool", "VelmoraURL.exe", b"the newer build")
    session.describe(program="${md5:VelmoraURL.exe}")
    session.remove(session.tools / "VmUpgrade.exe", session.temp / "VelmoraURL.exe")
    session.driver.launch(f'"{windows_exe}"')
    session.answer("发现新版Velmora助手，是否更新？", IDYES)
    records = session.records()
    assert len(records) == 1 and records[0].startswith("VmUpgrade.exe|")
    assert records[0].endswith(f' "C:\\{WORK}\\app\\"')
    assert session.fetched() == TOOL_CHECK + ["VmUpgrade.exe", "VmUpgrade.exe.sig",
                                              "VelmoraURL.exe", "VelmoraURL.exe.sig"]
    assert (session.tools / "VelmoraURL.exe").read_bytes() == b"the newer build"
    assert (session.temp / "VelmoraURL.exe").read_bytes() == b"the newer build"
    assert session.goes_on_to_the_login()


def test_the_running_build_is_not_offered(session, installed_app):
    exe, windows_exe = installed_app
    session.describe(program=md5(exe.read_bytes()), force="1")
    session.driver.launch(f'"{windows_exe}"')
    assert session.no_box(ms=3000)
    assert session.goes_on_to_the_login()
    assert session.fetched() == TOOL_CHECK


def test_declined_forced_update_ends_the_program_before_anything_else(session, installed_app,
                                                                      wine_env):
    _, windows_exe = installed_app
    session.ref.put_file("tool", "VelmoraURL.exe", b"the newer build")
    session.describe(program="${md5:VelmoraURL.exe}", force="2")
    unregister(wine_env)
    pid = session.driver.launch(f'"{windows_exe}"')
    session.answer("发现新版Velmora助手，需要更新后方可使用，是否更新？", IDNO)
    assert session.driver.wait_process(pid) is not None
    assert not registered(wine_env)  # start-up never reached the registration
    assert session.fetched() == TOOL_CHECK
    assert session.records(timeout=1) == []


def test_tampered_build_is_fetched_but_nothing_is_started(session, installed_app, prefix):
    _, windows_exe = installed_app
    session.ref.put_file("tool", "VelmoraURL.exe", b"a tampered build")
    session.describe(program=md5(b"the announced build"))
    session.remove(session.temp / "VelmoraURL.exe")
    session.driver.launch(f'"{windows_exe}"')
    session.answer("发现新版Velmora助手，是否更新？", IDYES)
    assert session.goes_on_to_the_login()
    assert session.records(timeout=2) == []
    assert "VelmoraURL.exe" in session.fetched()
    assert not (session.tools / "VelmoraURL.exe").exists()
    assert not (session.temp / "VelmoraURL.exe").exists()
    log = (prefix / "AppData" / "Roaming" / "VelmoraURL.log").read_bytes().decode("gbk")
    assert "新版程序校验失败，未更新" in log


def test_menu_check_says_the_build_is_current(session):
    session.describe(program="")
    pid = session.tool_driver("update")
    session.answer("目前版本已是最新！", IDOK)
    assert session.driver.wait_process(pid) is not None


# -- a per-machine install: the program directory is the administrator's -----

ADMINISTRATOR_MUST_INSTALL = ("新版Velmora助手须由管理员安装：本机的程序目录只有管理员可以更改，"
                              "请联系管理员更新。")
WRITE_PROBE = ".velmora-write-test"  # what the program creates to learn whether it may


@pytest.fixture
def read_only_app(wine_env, request):
    """The program in a directory that the user cannot write (holding the
    files named by the test's parameter as well). Wine runs as root here,
    which mode bits do not stop: a read-only bind mount does, made in the
    test run's own mount namespace (scripts/isolated.sh)."""
    if os.environ.get("VELMORA_ISOLATED") != "1":
        pytest.skip("a read-only program directory needs the mount namespace of scripts/isolated.sh")
    exe = copy_into_prefix(wine_env, APP_EXE, f"{WORK}/locked/VelmoraURL.exe")
    for stale in exe.parent.iterdir():
        if stale != exe:
            stale.unlink()
    for name in getattr(request, "param", []):
        (exe.parent / name).write_bytes(b"")
    directory = str(exe.parent)
    subprocess.run(["mount", "--bind", directory, directory], check=True)
    try:
        subprocess.run(["mount", "-o", "remount,bind,ro", directory], check=True)
        refused = subprocess.run(["touch", f"{directory}/probe"], stderr=subprocess.DEVNULL)
        assert refused.returncode != 0, "the program directory is still writable"
        yield exe, f"C:\\{WORK}\\locked\\VelmoraURL.exe"
    finally:
        # Lazily: the program may still run from it until the test's end.
        subprocess.run(["umount", "--lazy", directory], check=False)


def directory_contents(directory):
    return {p.name: p.read_bytes() for p in directory.iterdir()}


def offer_newer_build(session, force):
    session.ref.put_file("tool", "VelmoraURL.exe", b"the newer build")
    session.describe(program="${md5:VelmoraURL.exe}", force=force)
    session.remove(session.tools / "VelmoraURL.exe", session.temp / "VelmoraURL.exe")


def assert_no_upgrade_was_fetched_or_started(session):
    assert session.fetched() == TOOL_CHECK
    assert session.records(timeout=1) == []  # VmUpgrade.exe never ran
    assert not (session.tools / "VelmoraURL.exe").exists()
    assert not (session.temp / "VelmoraURL.exe").exists()


@pytest.mark.parametrize("read_only_app", [[], [WRITE_PROBE]], indirect=True,
                         ids=["fresh", "probe-left-by-an-earlier-run"])
def test_yes_to_an_update_the_user_cannot_install_leaves_it_to_the_admin(session, read_only_app):
    exe, windows_exe = read_only_app
    before = directory_contents(exe.parent)
    offer_newer_build(session, force="0")
    session.driver.launch(f'"{windows_exe}"')
    session.answer("发现新版Velmora助手，是否更新？", IDYES)
    session.answer(ADMINISTRATOR_MUST_INSTALL, IDOK)
    assert session.goes_on_to_the_login()
    assert_no_upgrade_was_fetched_or_started(session)
    assert directory_contents(exe.parent) == before


def test_a_forced_update_the_user_cannot_install_ends_the_program_untouched(session, read_only_app,
                                                                           wine_env):
    exe, windows_exe = read_only_app
    before = directory_contents(exe.parent)
    offer_newer_build(session, force="1")
    unregister(wine_env)
    pid = session.driver.launch(f'"{windows_exe}"')
    session.answer("发现新版Velmora助手，需要更新后方可使用，是否更新？", IDYES)
    session.answer(ADMINISTRATOR_MUST_INSTALL, IDOK)
    assert session.driver.wait_process(pid) is not None
    assert not registered(wine_env)  # start-up never reached the registration
    assert_no_upgrade_was_fetched_or_started(session)
    assert directory_contents(exe.parent) == before


# -- the companion tools ----------------------------------------------------

def test_micro_course_tool_is_fetched_and_started_with_the_password(session):
    session.remove(session.tools / "VmCourse_self.exe")
    pid = session.tool_driver(1158)
    session.answer("微课制作工具尚未安装，是否现在安装？", IDYES)
    records = session.records(timeout=30)
    assert len(records) == 1 and records[0].startswith("VmCourse_self.exe|")
    assert records[0].endswith(f"-p{PASSWORD}")
    assert session.driver.wait_process(pid) is not None
    assert (session.tools / "VmCourse_self.exe").exists()


def test_the_micro_course_tool_runs_as_fetched_whatever_name_the_server_gives_it(session):
    session.remove(session.tools / "VmCourse_self.exe", session.tools / "VmCourse_2.0_setup.exe")
    body = base64.b64encode((TESTBED / "VmCourse_self.exe").read_bytes()).decode()
    session.ref.set_faults({"server": "tool", "path": "/VelmoraTool/VmCourse_self.exe.sig"},
                           {"server": "tool", "path": "/VelmoraTool/VmCourse_self.exe",
                            "reply": {"body": "base64:" + body,
                                      "content_type": "application/octet-stream",
                                      "headers": [["Content-Disposition",
                                                   'attachment; filename="VmCourse_2.0_setup.exe"']]}})
    pid = session.tool_driver(1158)
    session.answer("微课制作工具尚未安装，是否现在安装？", IDYES)
    records = session.records(timeout=30)
    assert len(records) == 1 and records[0].startswith("VmCourse_self.exe|")
    assert session.driver.wait_process(pid) is not None
    assert not (session.tools / "VmCourse_2.0_setup.exe").exists()


def test_browse_plugin_with_unknown_digest_asks_installs_and_runs(session):
    session.remove(session.tools / "VmBrowser.dll", session.windows / "VmBrowser.dll",
                   session.tools / "cximagecrt.dll")
    session.describe()
    pid = session.tool_driver(1157)
    session.answer("Velmora资源浏览插件尚未安装（或有新版本），是否现在安装？", IDYES)
    assert session.records() == ["VmBrowser.dll|DoBrowser|1024|256|zeroed|desktop"]
    assert session.driver.wait_process(pid) is not None
    assert session.fetched() == ["VmBrowser.dll", "VmBrowser.dll.sig", "vmtool.ini",
                                 "cximagecrt.dll", "cximagecrt.dll.sig"]
    assert (session.windows / "VmBrowser.dll").read_bytes() == (TESTBED / "VmBrowser.dll").read_bytes()
    assert (session.windows / "cximagecrt.dll").exists()


def test_tampered_browse_plugin_is_not_loaded(session):
    session.remove(session.tools / "VmBrowser.dll", session.windows / "VmBrowser.dll")
    session.describe(browser=md5((TESTBED / "VmBrowser.dll").read_bytes()))
    session.ref.put_file("tool", "VmBrowser.dll", (TESTBED / "cximagecrt.dll").read_bytes())
    pid = session.tool_driver(1157)
    session.answer("Velmora资源浏览插件尚未安装（或有新版本），是否现在安装？", IDYES)
    session.answer("安装失败！", IDOK)
    assert session.driver.wait_process(pid) is not None
    assert session.records(timeout=1) == []
    assert not (session.windows / "VmBrowser.dll").exists()


def test_two_quick_document_tool_installs_start_one_installer(session):
    session.remove(session.tools / "ToPack" / "VelmoraToolPack.exe", session.temp / "ToPack.exe")
    pid = session.tool_driver(1146, 1146)
    assert session.driver.wait_process(pid) is not None
    records = session.records()
    assert len(records) == 1 and records[0].startswith("ToPack.exe|")
    assert records[0].endswith("|hidden")
    assert session.fetched() == ["ToPack.exe", "ToPack.exe.sig"]
    assert (session.tools / "ToPack" / "VelmoraToolPack.exe").exists()


# -- the Office add-ins -----------------------------------------------------

NOTICE = ("安装Office插件注意事项：\n1、请将电脑中所有已打开的Office文档关闭；\n"
          "2、插件安装需要管理员权限，请确保Velmora助手以管理员方式打开:\n"
          "     右键点击程序“以管理员身份运行(&A)”即可。\n")
ADDIN_FILES = ["VelmoraAddInDoc.dll", "VelmoraAddInPpt.dll", "Velmora128.ico", "VmSFDocReader.exe"]


def hyperlink_warning(env):
    out = subprocess.run(["wine", "reg", "query",
                          "HKCU\\Software\\Microsoft\\Office\\16.0\\Common\\Security",
                          "/v", "DisableHyperlinkWarning"], env=env, capture_output=True)
    return out.stdout.decode("utf-8", "replace")


def test_office_addins_install_then_a_declined_reinstall_changes_nothing(session, wine_env):
    session.remove(*(session.tools / name for name in ADDIN_FILES))
    session.describe()
    pid = session.tool_driver(1148)
    session.answer(NOTICE, IDOK)
    session.answer("安装成功！", IDOK)
    assert session.driver.wait_process(pid) is not None
    assert session.fetched()[:10] == [name + sig for name in ADDIN_FILES + ["VmBrowser.dll"]
                                      for sig in ("", ".sig")]
    records = set(session.records(timeout=10))
    assert {"VelmoraAddInDoc.dll|DllRegisterServer", "VelmoraAddInPpt.dll|DllRegisterServer"} <= records
    assert any(r.startswith("VmSFDocReader.exe|") for r in records)
    assert (session.windows / "Velmora128.ico").exists()
    value = hyperlink_warning(wine_env)
    assert "REG_DWORD" in value and "0x1" in value

    stamps = {name: (session.tools / name).stat().st_mtime_ns for name in ADDIN_FILES}
    session.ref.reset()
    pid = session.tool_driver(1148)
    session.answer(NOTICE, IDOK)
    session.answer("Office插件已安装，是否重新安装？", IDNO)
    assert session.driver.wait_process(pid) is not None
    assert session.fetched() == []
    assert {name: (session.tools / name).stat().st_mtime_ns for name in ADDIN_FILES} == stamps


def test_the_add_ins_are_registered_by_the_systems_own_regsvr32(session):
    """A regsvr32.exe beside the program (searched first for a bare name) is
    never the one started."""
    planted = TESTBED / "regsvr32.exe"
    shutil.copyfile(TESTBED / "VmSFDocReader.exe", planted)
    try:
        session.remove(*(session.tools / name for name in ADDIN_FILES))
        session.describe()
        pid = session.tool_driver(1148)
        session.answer(NOTICE, IDOK)
        session.answer("安装成功！", IDOK)
        assert session.driver.wait_process(pid) is not None
        records = session.records(timeout=10)
    finally:
        planted.unlink(missing_ok=True)
    assert not [r for r in records if r.lower().startswith("regsvr32.exe|")]
    assert {"VelmoraAddInDoc.dll|DllRegisterServer", "VelmoraAddInPpt.dll|DllRegisterServer"} <= set(records)



# -- the publisher's signatures ---------------------------------------------

REFUSED = "{}未通过发布者签名验证，已停止安装。"
POLICY_KEY = "HKLM\\Software\\Policies\\Velmora\\Assistant"
# (fault of the signature, machine policy RequireSignedTools, whether the
# program may run it, the reason the log gives). "older" binds only the
# program itself: a tool's signature names no version that could be older.
SIGNATURES = [
    (None, None, True, None),
    ("missing", None, False, "服务器未提供签名文件"),
    ("bad", None, False, "签名与文件内容不符"),
    ("other_key", None, False, "签名密钥不受信任"),
    ("older", None, False, "拒绝降级"),
    ("missing", 0, True, "RequireSignedTools=0"),
    ("bad", 0, False, "签名与文件内容不符"),
]


def app_log(prefix):
    path = prefix / "AppData" / "Roaming" / "VelmoraURL.log"
    return path.read_bytes().decode("gbk", "replace") if path.exists() else ""


def bend_signature(session, name, fault):
    if fault:
        session.ref.set_faults({"server": "tool", "path": f"/VelmoraTool/{name}.sig", "sig": fault})


def assert_refusal_logged(prefix, before, name, reason):
    added = app_log(prefix)[len(before):]
    if reason is None:
        assert "签名" not in added, added
    else:
        line = [text for text in added.splitlines() if name in text and reason in text]
        assert line, added


@pytest.mark.parametrize("fault, policy, runs, reason", [
    pytest.param(*case, id=f"{case[0] or 'good'}-policy-{case[1]}") for case in SIGNATURES])
def test_the_new_program_runs_only_with_its_publishers_signature(
        session, installed_app, prefix, wine_env, fault, policy, runs, reason):
    _, windows_exe = installed_app
    session.ref.put_file("tool", "VelmoraURL.exe", b"the newer build")
    session.describe(program="${md5:VelmoraURL.exe}")
    session.remove(session.tools / "VelmoraURL.exe", session.temp / "VelmoraURL.exe")
    bend_signature(session, "VelmoraURL.exe", fault)
    before = app_log(prefix)
    if policy is not None:
        subprocess.run(["wine", "reg", "add", POLICY_KEY, "/v", "RequireSignedTools", "/t",
                        "REG_DWORD", "/d", str(policy), "/f"], env=wine_env, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        session.driver.launch(f'"{windows_exe}"')
        session.answer("发现新版Velmora助手，是否更新？", IDYES)
        if not runs:
            session.answer(REFUSED.format("VelmoraURL.exe"), IDOK)
        assert session.goes_on_to_the_login()
    finally:
        if policy is not None:
            subprocess.run(["wine", "reg", "delete", POLICY_KEY, "/v", "RequireSignedTools", "/f"],
                           env=wine_env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    records = session.records(timeout=5 if runs else 2)
    assert [r.split("|")[0] for r in records] == (["VmUpgrade.exe"] if runs else [])
    assert (session.temp / "VelmoraURL.exe").exists() == runs
    assert (session.tools / "VelmoraURL.exe").exists() == runs
    assert "VelmoraURL.exe.sig" in session.fetched()
    assert_refusal_logged(prefix, before, "VelmoraURL.exe", reason)


@pytest.mark.parametrize("fault, runs, reason", [
    pytest.param(fault, runs, reason, id=fault or "good")
    for fault, policy, runs, reason in SIGNATURES if policy is None and fault != "older"] + [
    pytest.param("older", True, None, id="older-names-no-tool-version")])
def test_the_micro_course_tool_runs_only_with_its_publishers_signature(session, prefix, fault,
                                                                       runs, reason):
    session.remove(session.tools / "VmCourse_self.exe")
    bend_signature(session, "VmCourse_self.exe", fault)
    before = app_log(prefix)
    pid = session.tool_driver(1149)
    if not runs:
        session.answer(REFUSED.format("VmCourse_self.exe"), IDOK)
    assert session.driver.wait_process(pid) is not None
    records = session.records(timeout=10 if runs else 2)
    assert [r.split("|")[0] for r in records] == (["VmCourse_self.exe"] if runs else [])
    assert (session.tools / "VmCourse_self.exe").exists() == runs
    assert session.fetched()[-1] == "VmCourse_self.exe.sig"
    assert_refusal_logged(prefix, before, "VmCourse_self.exe", reason)


# -- the publisher's retired keys, kept tools checked again -----------------

RETIRE_CURRENT = b"velmora-retired-keys 1\nretired velmora-test-current\n"
RETIRE_NEXT = b"velmora-retired-keys 1\nretired velmora-test-next\n"


@pytest.fixture
def retirements(session):
    """The user's stored retirements, taken away again after the test."""
    path = session.data / "RetiredToolKeys.txt"
    path.unlink(missing_ok=True)
    yield path
    path.unlink(missing_ok=True)


# (the list served, the fault of its signature, whether the current key is
# retired by it, what the log says of the list)
RETIRED_LISTS = [
    (RETIRE_CURRENT, None, True, "发布者停用了密钥 velmora-test-current"),
    (RETIRE_NEXT, "earlier_key", False, "无权停用密钥 velmora-test-next"),
    (RETIRE_CURRENT, "earlier_key", False, "无权停用密钥 velmora-test-current"),
    (RETIRE_CURRENT, "missing", False, "服务器未提供签名文件"),
]


@pytest.mark.parametrize("listed, fault, retired, logged", [
    pytest.param(*case, id=f"{case[0].split()[-1].decode()}-{case[1] or 'signed-by-next'}")
    for case in RETIRED_LISTS])
def test_a_signed_list_retires_the_current_key_before_the_update_is_checked(
        session, installed_app, prefix, retirements, listed, fault, retired, logged):
    _, windows_exe = installed_app
    session.ref.put_file("tool", "keys.retired", listed)
    bend_signature(session, "keys.retired", fault)
    session.ref.put_file("tool", "VelmoraURL.exe", b"the newer build")
    session.describe(program="${md5:VelmoraURL.exe}")
    session.remove(session.tools / "VelmoraURL.exe", session.temp / "VelmoraURL.exe")
    before = app_log(prefix)
    session.driver.launch(f'"{windows_exe}"')
    session.answer("发现新版Velmora助手，是否更新？", IDYES)
    # The upgrader, fetched first, is signed with the current key.
    if retired:
        session.answer(REFUSED.format("VmUpgrade.exe"), IDOK)
    assert session.goes_on_to_the_login()
    assert session.fetched()[:3] == TOOL_CHECK
    assert (session.temp / "VelmoraURL.exe").exists() == (not retired)
    stored = retirements.read_text() if retirements.exists() else ""
    assert ("velmora-test-current" in stored) == retired
    assert "velmora-test-next" not in stored
    assert logged in app_log(prefix)[len(before):]
    if retired:
        assert_refusal_logged(prefix, before, "VmUpgrade.exe", "签名密钥已被发布者停用")


# What may befall a kept tool after it arrived, and the reason the log gives.
KEPT_CHANGES = [
    pytest.param(lambda path: path.write_bytes(b"a planted tool"), "签名与文件内容不符",
                 id="changed-on-disk"),
    pytest.param(lambda path: path.with_name(path.name + ".sig").unlink(), "未保存发布者签名",
                 id="signature-taken-away"),
]


@pytest.mark.parametrize("change, reason", KEPT_CHANGES)
def test_a_kept_course_tool_that_no_longer_matches_its_signature_is_removed(
        session, prefix, change, reason):
    tool = session.tools / "VmCourse_self.exe"
    session.remove(tool)
    pid = session.tool_driver(1149)
    assert session.driver.wait_process(pid) is not None
    assert [r.split("|")[0] for r in session.records(timeout=10)] == ["VmCourse_self.exe"]
    assert tool.with_name("VmCourse_self.exe.sig").exists()
    session.log.unlink()
    change(tool)
    before = app_log(prefix)
    pid = session.tool_driver(1158)
    session.answer(REFUSED.format("VmCourse_self.exe"), IDOK)
    assert session.driver.wait_process(pid) is not None
    assert session.records(timeout=2) == []
    assert not tool.exists() and not tool.with_name("VmCourse_self.exe.sig").exists()
    assert_refusal_logged(prefix, before, "VmCourse_self.exe", reason)


@pytest.mark.parametrize("change, reason", KEPT_CHANGES)
def test_a_kept_browse_plugin_that_no_longer_matches_its_signature_is_not_loaded(
        session, prefix, change, reason):
    """The plug-in is loaded into the assistant itself: at each load it must
    still match the signature kept beside it, even where the published digest
    names the copy on disk."""
    plugin = session.tools / "VmBrowser.dll"
    session.remove(plugin, session.windows / "VmBrowser.dll", session.tools / "cximagecrt.dll")
    session.describe()
    pid = session.tool_driver(1157)
    session.answer("Velmora资源浏览插件尚未安装（或有新版本），是否现在安装？", IDYES)
    assert session.records() == ["VmBrowser.dll|DoBrowser|1024|256|zeroed|desktop"]
    assert session.driver.wait_process(pid) is not None
    session.log.unlink()
    change(plugin)
    session.describe(browser=md5(plugin.read_bytes()))
    before = app_log(prefix)
    # The update check first, as at a start: the published digest is then known
    # and the copy on disk counts as installed.
    pid = session.tool_driver("update", 1157)
    session.answer("目前版本已是最新！", IDOK)
    session.answer(REFUSED.format("VmBrowser.dll"), IDOK)
    assert session.driver.wait_process(pid) is not None
    assert session.records(timeout=2) == []
    assert not plugin.exists() and not plugin.with_name("VmBrowser.dll.sig").exists()
    assert_refusal_logged(prefix, before, "VmBrowser.dll", reason)
