"""The main menu and its commands under Wine, on the user's real data files:
moving the resource directory and clearing the cache touch only the files of
the account's downloaded-file list; the menu opens with its entries
(testbed/win/menuhost.exe holds the menu for these); "切换账号..." in the real
program puts the new user in the floating window's tool tip."""
import os
import pathlib
import struct
import subprocess
import tempfile
import time

import pytest

from winehost import APP_EXE, TESTBED, Driver, drive_c, windows_path

PROGRAMS = pathlib.Path(os.environ.get("VELMORA_TESTBED", str(TESTBED)))
MENUHOST = PROGRAMS / "menuhost.exe"
NOTICE = ("#32770", "提示")
IDOK, IDYES, IDNO = 1, 6, 7
USER = 42
LISTED = ["1001.pdf", "1002.part.doc"]
UNLISTED = ["2001.pdf", "readme", ".1001", "1001"]  # another account's, no dot, leading dot

MENU_ENTRIES = [
    "1132 Velmora教育资源平台", "0 -", "1157 资源浏览", "1158 微课制作",
    "1151 任意截屏(Alt+Shift+Z)", "-1 插件安装", "0 -", "1135 访问Velmora官方网站",
    "1136 检测最新版本...", "1128 关于 Velmora助手...", "0 -", "1125 放入托盘（最小化）",
    "1150 设置资源存放目录...", "1137 清空缓存资源", "0 -", "1194 设置CDN服务器...", "0 -",
    "1184 异常中心...", "0 -", "1129 切换账号...", "1127 退出(&X)",
]
CLEAR_POSITION = 11  # among the entries the keyboard stops at


def record_string(text):
    data = text.encode("gbk")
    assert len(data) < 255
    return bytes([len(data)]) + data


def read_record_string(data, offset):
    return data[offset + 1:offset + 1 + data[offset]].decode("gbk")


@pytest.fixture
def data_dir(wine_env):
    """The program's data directory with user 42's account made anew (its file
    list names 1001 and 1002) and the default resource directory."""
    roaming = drive_c(wine_env) / "users" / os.environ.get("USER", "root") / "AppData" / "Roaming"
    web = roaming / "VelmoraWeb"
    account = web / f"{USER:08d}"
    subprocess.run(["rm", "-rf", str(account)], check=True)
    (web / "VelmoraURL.dat").unlink(missing_ok=True)
    (account / "FILE").mkdir(parents=True)
    (account / "LOGO").mkdir()
    entries = [("1001", "h1"), ("1002", "h2")]
    (account / "filelist.dat").write_bytes(
        struct.pack("<i", len(entries)) +
        b"".join(record_string(f) + record_string(h) for f, h in entries))
    return web


def fill(directory):
    for name in LISTED + UNLISTED:
        (directory / name).write_text(name)
    (directory / "1001.d").mkdir()
    (directory / "1001.d" / "1002.pdf").write_text("inside")


def names(directory):
    return sorted(p.name for p in directory.iterdir() if p.is_file())


class Host:
    """menuhost.exe running in the background; its output once it ended."""

    def __init__(self, env, *args):
        self.out = tempfile.TemporaryFile()
        self.process = subprocess.Popen(["wine", str(MENUHOST), str(USER), *map(str, args)],
                                        env=env, stdout=self.out, stderr=subprocess.DEVNULL,
                                        stdin=subprocess.DEVNULL)

    def lines(self, timeout=60):
        self.process.wait(timeout=timeout)
        self.out.seek(0)
        return self.out.read().decode("utf-8", "replace").splitlines()


def answer(driver, button, text):
    box = driver.wait_window(*NOTICE)
    assert box, f"no box for {text}"
    assert text in driver.text(box)
    driver.click(box, button)
    assert driver.gone(box)


def test_moving_the_resource_directory_takes_only_listed_files_and_is_saved(wine_env, data_dir):
    driver = Driver(wine_env)
    old = data_dir / f"{USER:08d}" / "FILE"
    fill(old)
    new = drive_c(wine_env) / "velmora-e2e" / "新资源目录"
    subprocess.run(["rm", "-rf", str(new)], check=True)
    new.mkdir(parents=True)
    (new / "1002.part.doc").write_text("already there")

    host = Host(wine_env, "--pick=C:\\velmora-e2e\\新资源目录\\", "run", 1150)
    answer(driver, IDOK, "设置成功，已下载的资源已转移到新目录中！")
    assert "command 1150 handled" in host.lines()

    assert names(new) == sorted(LISTED)
    # The file that was moved replaces the one of the same name there.
    assert (new / "1002.part.doc").read_text() == "1002.part.doc"
    assert names(old) == sorted(UNLISTED)
    assert (old / "1001.d" / "1002.pdf").read_text() == "inside"
    state = (data_dir / "VelmoraURL.dat").read_bytes()
    assert read_record_string(state, 8) == "C:\\velmora-e2e\\新资源目录"

    # The same directory again, in other letters: nothing happens, nothing is said.
    host = Host(wine_env, "--pick=c:\\VELMORA-E2E\\新资源目录", "run", 1150)
    assert "command 1150 handled" in host.lines()
    assert driver.wait_window(*NOTICE, ms=500) is None
    assert names(new) == sorted(LISTED)


def test_menu_opens_with_its_entries_and_clear_deletes_only_listed_files(wine_env, data_dir):
    driver = Driver(wine_env)
    resources = data_dir / f"{USER:08d}" / "FILE"
    logo = data_dir / f"{USER:08d}" / "LOGO"
    fill(resources)
    fill(logo)

    host = Host(wine_env, "menu", CLEAR_POSITION)
    answer(driver, IDYES, "清空缓存资源后，打开资源需要重新下载，确定要清空么？")
    answer(driver, IDOK, "清空完毕！")
    lines = host.lines()
    assert [line[len("entry "):] for line in lines if line.startswith("entry ")] == MENU_ENTRIES
    assert "command 1137 handled" in lines
    assert names(resources) == sorted(UNLISTED)
    assert names(logo) == sorted(UNLISTED)
    assert (resources / "1001.d" / "1002.pdf").exists()


def test_clear_answered_no_deletes_nothing(wine_env, data_dir):
    driver = Driver(wine_env)
    resources = data_dir / f"{USER:08d}" / "FILE"
    fill(resources)
    host = Host(wine_env, "run", 1137)
    answer(driver, IDNO, "确定要清空么？")
    assert "command 1137 handled" in host.lines()
    assert driver.wait_window(*NOTICE, ms=500) is None
    assert names(resources) == sorted(LISTED + UNLISTED)


LOGIN = ("#32770", "登录Velmora平台")
SERVER, IDENTITY, ACCOUNT, PASSWORD, LOGIN_BUTTON = 1010, 1009, 1000, 1001, 1


def log_in(driver, server, identity, account, password):
    dialog = driver.wait_window(*LOGIN)
    assert dialog, "no login dialog"
    assert driver.run("settext", dialog, SERVER, server)[0] == 0
    assert driver.run("combo", dialog, IDENTITY, identity)[0] == 0
    assert driver.run("settext", dialog, ACCOUNT, account)[0] == 0
    assert driver.run("settext", dialog, PASSWORD, password)[0] == 0
    driver.click(dialog, LOGIN_BUTTON)
    assert driver.gone(dialog)


MAIN_WINDOW = ("#32770", "Velmora助手")
IDM_SWITCH_ACCOUNT = 1129


def tooltip_becomes(driver, window, expected, timeout=15.0):
    """The text of the window's tool tip once it is `expected`, else the last
    one read: the tip changes a moment after the login dialog has gone."""
    deadline = time.monotonic() + timeout
    while True:
        rc, text = driver.run("tooltip", window)
        if text == expected or time.monotonic() > deadline:
            return text if rc == 0 else None
        time.sleep(0.3)


@pytest.fixture
def fresh_start(wine_env):
    """No saved accounts: a first start asks for a login instead of logging
    in by itself."""
    roaming = drive_c(wine_env) / "users" / os.environ.get("USER", "root") / "AppData" / "Roaming"
    for name in ("Velmora.data", "Velmora.data_OLD"):
        (roaming / "VelmoraWeb" / name).unlink(missing_ok=True)


def test_switch_account_changes_the_tooltip_to_the_new_user(wine_env, ref, fresh_start):
    driver = Driver(wine_env)
    server = "127.0.0.1:%d" % ref.port("api")
    pid = driver.launch(f'"{windows_path(APP_EXE)}"')
    log_in(driver, server, 0, "13800000001", "123456")
    window = driver.wait_window(*MAIN_WINDOW, ms=30000)
    assert window, "no floating window after the login"
    assert tooltip_becomes(driver, window, "普通用户：13800000001") == "普通用户：13800000001"

    assert driver.run("menu", window, IDM_SWITCH_ACCOUNT)[0] == 0
    log_in(driver, server, 1, "admin01", "velmora2026")
    assert tooltip_becomes(driver, window, "管理员：admin01") == "管理员：admin01"

    driver.run("close", window)
    assert driver.wait_process(pid) is not None, "the program did not end"
