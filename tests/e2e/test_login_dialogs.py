"""The login, server list and CDN server dialogs of the real program under
Wine, against the reference platform: a first start without a URL logs in
(or is refused and stays), the server list deletes and clears saved servers,
and the CDN dialog stores only a server that answers."""

import os
import pathlib
import socket
import struct
import subprocess
import sys
import tempfile
import time

import pytest

from winehost import APP_EXE, TESTBED, WIN_BUILD, Driver, drive_c, windows_path

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[2] / "testbed"))
from refclient import RefPlatform  # noqa: E402

PROGRAMS = pathlib.Path(os.environ.get("VELMORA_TESTBED", str(TESTBED)))
LOGIN = ("#32770", "登录Velmora平台")
SERVER_LIST = ("#32770", "服务器列表")
CDN = ("#32770", "CDN服务器")
PROMPT = ("#32770", "提示")
IDOK, IDYES = 1, 6
USER, PASSWORD, REMEMBER, AUTO, IDENTITY, SERVER, SERVER_LABEL = 1000, 1001, 1002, 1003, 1009, 1010, 1013
LIST, DELETE, CLEAR, CDN_EDIT = 1012, 1013, 1014, 1016
STN_CLICKED = 0


def default_host():
    """The platform's default host that the program was built with."""
    for line in (WIN_BUILD / "CMakeCache.txt").read_text().splitlines():
        if line.startswith("VELMORA_DEFAULT_HOST:STRING="):
            return line.split("=", 1)[1]
    return "www.velmora.cn"


@pytest.fixture(scope="module")
def ref(tmp_path_factory):
    with RefPlatform.start(str(tmp_path_factory.mktemp("refplatform"))) as platform:
        yield platform


@pytest.fixture
def driver(wine_env):
    found = Driver(wine_env)
    found.exe = str(PROGRAMS / "uidriver.exe")
    return found


def dlg(driver, *args):
    """testbed/win/dlgdriver.exe: list views, enabled and checked states."""
    with tempfile.TemporaryFile() as out:
        subprocess.run(["wine", str(PROGRAMS / "dlgdriver.exe"), *map(str, args)], env=driver.env,
                       stdout=out, stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL, timeout=60)
        out.seek(0)
        return out.read().decode("utf-8", "replace").strip().splitlines()


def data_dir(env):
    roaming = next(drive_c(env).glob("users/*/AppData/Roaming"))
    return roaming / "VelmoraWeb"


def closed_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


# Velmora.data: the record stream's strings (one length byte below 255) and
# little-endian 32-bit numbers.
def pack_string(text):
    data = text.encode("gbk")
    assert len(data) < 255
    return bytes([len(data)]) + data


def pack_accounts(last_host, last_port, accounts):
    out = pack_string(last_host) + struct.pack("<i", len(accounts))
    for host, port, user, remember, auto, identity in accounts:
        out += pack_string("") + pack_string(host) + struct.pack("<i", port) + pack_string(user)
        out += pack_string("")  # an empty password is stored empty
        out += struct.pack("<8i", 0, remember, auto, identity, 0, 0, 0, 0)
        out += pack_string("") + pack_string("")
    return out + struct.pack("<i", last_port)


def read_accounts(path):
    data, at = path.read_bytes(), 0

    def string():
        nonlocal at
        length = data[at]
        at += 1 + length
        return data[at - length:at].decode("gbk")

    def number():
        nonlocal at
        at += 4
        return struct.unpack_from("<i", data, at - 4)[0]

    last_host, accounts = string(), []
    for _ in range(number()):
        string()
        host, port, user = string(), number(), string()
        string()
        user_id, remember, auto, identity = number(), number(), number(), number()
        number(), number()
        org_id = number()
        number()
        org_name = string()
        string()
        accounts.append(dict(host=host, port=port, user=user, user_id=user_id, remember=remember,
                             auto=auto, identity=identity, org_id=org_id, org_name=org_name))
    return last_host, accounts, number()


@pytest.fixture
def assistant(wine_env, driver):
    """Starts the program without a URL in a data directory of the test's own
    making; yields (pid, login dialog); ends the process in any case."""
    started = []

    def start(saved=None):
        directory = data_dir(wine_env)
        directory.mkdir(parents=True, exist_ok=True)
        for name in ("Velmora.data", "Velmora.data_OLD"):
            (directory / name).unlink(missing_ok=True)
        if saved is not None:
            (directory / "Velmora.data").write_bytes(saved)
        pid = driver.launch(f'"{windows_path(APP_EXE)}"')
        started.append(pid)
        dialog = driver.wait_window(*LOGIN, ms=30000)
        assert dialog, "no login dialog at a first start without a URL"
        return pid, dialog

    yield start
    for pid in started:
        subprocess.run(["wine", "taskkill", "/F", "/PID", str(pid)], env=wine_env,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        driver.wait_process(pid, 10000)


def told(driver, expected):
    """The notice that came up says `expected`; it is acknowledged."""
    box = driver.wait_window(*PROMPT)
    assert box, f"no notice saying {expected}"
    assert driver.text(box) == expected
    driver.click(box, IDOK)
    assert driver.gone(box)


def log_in(driver, dialog, server, user, password):
    driver.run("settext", dialog, SERVER, server)
    driver.run("settext", dialog, USER, user)
    driver.run("settext", dialog, PASSWORD, password)
    driver.click(dialog, IDOK)


def test_first_start_logs_in_after_refusals_that_keep_the_dialog(ref, driver, assistant,
                                                                 wine_env):
    pid, dialog = assistant()
    assert driver.text(dialog, SERVER) == default_host()
    assert dlg(driver, "cursel", dialog, IDENTITY) == ["0"]
    assert dlg(driver, "checked", dialog, REMEMBER) == ["1"]
    assert dlg(driver, "checked", dialog, AUTO) == ["1"]

    api = "127.0.0.1:%d" % ref.port("api")
    refusals = [
        ("   ", "13800000001", "123456", "请填写服务器地址！"),
        ("127.0.0.1:", "13800000001", "123456", "服务器地址填写错误！"),
        ("127.0.0.1:abc", "13800000001", "123456", "服务器地址填写错误！"),
        ("127.0.0.1:65536", "13800000001", "123456", "服务器地址填写错误！"),
        (api, "13800000001", "wrong", "登录失败：用户名或密码错误！"),
        (api, "13800000002", "123456", "登录失败：该账户已被禁用！"),
        ("127.0.0.1:%d" % closed_port(), "13800000001", "123456",
         "登录失败：网络错误或服务器无响应！"),
    ]
    for server, user, password, message in refusals:
        log_in(driver, dialog, server, user, password)
        told(driver, message)
        assert driver.wait_window(*LOGIN, ms=1000) == dialog, f"dialog closed after {message}"
    assert not (data_dir(wine_env) / "Velmora.data").exists()

    # An empty account does nothing at all.
    log_in(driver, dialog, api, "", "123456")
    assert driver.wait_window(*PROMPT, ms=1500) is None
    assert driver.wait_window(*LOGIN, ms=500) == dialog

    log_in(driver, dialog, "  %s  " % api, "13800000001", "123456")
    assert driver.gone(dialog, 15000), "a good login leaves the dialog open"
    assert b"phone=13800000001&" in ref.requests("api")[-1].body
    last_host, accounts, last_port = read_accounts(data_dir(wine_env) / "Velmora.data")
    assert (last_host, last_port) == ("127.0.0.1", ref.port("api"))
    assert accounts == [dict(host="127.0.0.1", port=ref.port("api"), user="13800000001",
                             user_id=1001, remember=1, auto=1, identity=0, org_id=11,
                             org_name="维墨实验学校")]
    # The logged-in user's directories were prepared.
    assert (data_dir(wine_env) / "00001001" / "FILE").is_dir()


SAVED = pack_accounts("b.cn", 7112, [
    ("a.cn", 80, "u-a", 1, 0, 0),
    ("b.cn", 7112, "u-b", 0, 1, 1),
    ("c.cn", 9112, "u-c", 0, 0, 0),
    ("d.cn", 80, "u-d", 1, 1, 0),
])


def saved_hosts(env):
    return [a["host"] for a in read_accounts(data_dir(env) / "Velmora.data")[1]]


def test_server_list_deletes_selected_rows_and_clears_saved_at_once(driver, assistant,
                                                                    wine_env):
    pid, dialog = assistant(SAVED)
    # The last server's account is preselected with its identity and flags.
    assert driver.text(dialog, SERVER) == "b.cn:7112"
    assert dlg(driver, "cursel", dialog, SERVER) == ["1"]
    assert dlg(driver, "cursel", dialog, IDENTITY) == ["1"]
    assert dlg(driver, "checked", dialog, REMEMBER) == ["0"]
    assert driver.text(dialog, USER) == "u-b"

    dlg(driver, "notify", dialog, SERVER_LABEL, STN_CLICKED)
    servers = driver.wait_window(*SERVER_LIST)
    assert servers, "the 服务器 label does not open the server list"
    assert dlg(driver, "rows", servers, LIST) == ["4", "a.cn", "b.cn:7112", "c.cn:9112", "d.cn"]
    assert dlg(driver, "rowheight", servers, LIST) == ["22"]
    assert dlg(driver, "enabled", servers, DELETE) == ["0"]
    assert dlg(driver, "enabled", servers, CLEAR) == ["1"]

    dlg(driver, "select", servers, LIST, 0, 2)
    assert dlg(driver, "enabled", servers, DELETE) == ["1"]
    driver.click(servers, DELETE)
    question = driver.wait_window(*PROMPT)
    assert driver.text(question) == "确定要删除选定的服务器么？"
    driver.click(question, IDYES)
    assert driver.gone(question)
    assert dlg(driver, "rows", servers, LIST) == ["2", "b.cn:7112", "d.cn"]
    assert saved_hosts(wine_env) == ["b.cn", "d.cn"]
    assert dlg(driver, "enabled", servers, DELETE) == ["0"]

    driver.click(servers, CLEAR)
    question = driver.wait_window(*PROMPT)
    assert driver.text(question) == "确定要清空所有服务器么？"
    driver.click(question, IDYES)
    assert driver.gone(question)
    assert dlg(driver, "rows", servers, LIST) == ["0"]
    assert saved_hosts(wine_env) == []
    assert dlg(driver, "enabled", servers, CLEAR) == ["0"]
    driver.run("close", servers)
    assert driver.gone(servers)

    # The login dialog's list still names the deleted servers: choosing one
    # changes nothing and the dialog lives on.
    driver.run("settext", dialog, USER, "typed")
    driver.run("combo", dialog, SERVER, 3)
    assert driver.text(dialog, USER) == "typed"
    assert driver.wait_window(*LOGIN, ms=500) == dialog


def test_cdn_dialog_stores_only_a_server_that_answers(ref, driver, wine_env, tmp_path):
    output = tmp_path / "cdn.out"
    with open(output, "wb") as out:
        shown = subprocess.Popen(["wine", str(PROGRAMS / "cdndialog.exe"), "show"], env=wine_env,
                                 stdout=out, stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL)
    try:
        dialog = driver.wait_window(*CDN, ms=30000)
        assert dialog, "no CDN server dialog"
        attempts = [("   ", "请输入CDN服务器地址！")]
        unreachable = "127.0.0.1:%d" % closed_port()
        attempts.append((unreachable, "无法连接到服务器“%s”！" % unreachable))
        attempts.append(("cdn host/x", "无法连接到服务器“cdn host/x”！"))
        for text, message in attempts:
            driver.run("settext", dialog, CDN_EDIT, text)
            driver.click(dialog, IDOK)
            told(driver, message)
            assert driver.wait_window(*CDN, ms=1000) == dialog
        server = "127.0.0.1:%d" % ref.port("cdn")
        driver.run("settext", dialog, CDN_EDIT, "  %s \t" % server)
        driver.click(dialog, IDOK)
        assert driver.gone(dialog, 15000)
        assert shown.wait(timeout=30) == 0
    finally:
        if shown.poll() is None:
            shown.kill()
    assert output.read_text(encoding="utf-8").strip() == "cdn " + server
    assert any(r.target == "/command/check.do" for r in ref.requests("cdn"))


def test_a_second_start_without_a_url_ends_while_the_first_logs_in(driver, assistant):
    pid, dialog = assistant()
    second = driver.launch(f'"{windows_path(APP_EXE)}"')
    assert driver.wait_process(second, 20000) is not None, "the second copy did not end"
    logins = [line for line in driver.windows().splitlines() if "登录Velmora平台" in line]
    assert len(logins) == 1 and logins[0].endswith("\t%d" % pid)
