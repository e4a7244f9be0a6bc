"""The assistant as an ordinary user of a Linux desktop meets it: a link
handed to xdg-open (as a browser hands it) through the login, the download
and the document opened by the desktop's program for its type; an
experiment whose score reaches the platform; the resident assistant from the
application menu."""
import configparser
import json
import shlex
import shutil
import subprocess
import sys
import time
from pathlib import Path

import pytest

from desktop import (DIALOG, IDOK, IDYES, SERVER, TESTBED, Driver, link, log_in, make_dirs,
                     prefix_ready, remove_dirs, wait_for)

# A text document: the prefix alone would open it with Wine's own notepad.
DOCUMENT = b"".join(b"line %06d of the lesson\n" % i for i in range(24000))
OPENER = """#!/bin/sh
# The test's program for text documents: records what it was given.
printf '%s\\n' "$1" >> "$HOME/opened.log"
"""
OPENER_ENTRY = """[Desktop Entry]
Type=Application
Name=Test document recorder
Exec={home}/bin/record-open %f
MimeType=text/plain;
"""


@pytest.fixture(scope="module")
def user(desktop_user):
    """The user's desktop knows a program of its own for text documents."""
    home = desktop_user.home
    desktop_user.write("bin/record-open", OPENER, mode=0o755)
    desktop_user.write(".local/share/applications/record-open.desktop",
                       OPENER_ENTRY.format(home=home))
    desktop_user.write(".config/mimeapps.list",
                       "[Default Applications]\ntext/plain=record-open.desktop\n")
    tools = desktop_user.home / "testbed"
    tools.mkdir()
    desktop_user.driver = Driver(desktop_user, tools)
    return desktop_user


def opened_paths(user):
    log = user.home / "opened.log"
    return log.read_text(encoding="utf-8").split() if log.exists() else []


def test_link_from_xdg_open_logs_in_downloads_and_opens_with_the_desktops_program(user, platform):
    platform.put_file("download", "200101", data=DOCUMENT)
    platform.set_faults({"server": "download", "drip": {"bytes": 65536, "delay": 0.3}})
    started = time.monotonic()
    # A browser does not wait for the handler: the first start stays resident.
    user.start("xdg-open", link("fid=200101&fext=txt&hashcode=linux-v1"))
    prefix_ready(user)
    log_in(user.driver)
    assert user.driver.wait_window(DIALOG, "下载资源", 30000), "no progress window"
    opened = wait_for(lambda: opened_paths(user), timeout=90)
    platform.clear_faults()
    assert opened, "the document did not reach the desktop's program"
    path = opened[-1].removeprefix("file://")
    assert path.endswith("200101.txt") and path.startswith(str(user.prefix))
    with open(path, "rb") as f:
        assert f.read() == DOCUMENT
    print(f"link to opened document: {time.monotonic() - started:.1f} s")
    # The prefix holds the fleet's policy: the update check off on Linux.
    rc, policy = user.run("wine", "reg", "query", r"HKLM\Software\Policies\Velmora\Assistant",
                          "/v", "UpdateCheck", env=user.wine_env())
    assert rc == 0 and policy.split()[-2:] == ["REG_DWORD", "0x0"], policy


def test_experiment_link_runs_in_the_prefix_and_its_score_reaches_the_platform(user, platform):
    platform.put_file("download", "200003", data=(TESTBED / "labexperiment.exe").read_bytes())
    query = ("fid=200003&fext=exe&ftype=1&couid=201&experid=303&isexam=1&userid=1001"
             "&extradata=score87&hashcode=lab-linux")
    user.start("xdg-open", link(query))
    question = user.driver.wait_window(DIALOG, "提示", 4000)
    if question:
        user.driver.run("click", question, IDYES)
    lab = user.driver.wait_window(DIALOG, "自由落体仿真实验", 60000)
    assert lab, "no experiment window: " + user.driver.windows()
    user.driver.run("click", lab, IDOK)
    received = wait_for(lambda: platform.state().get("data"), timeout=30)
    assert received and '"score":87' in received[-1]["data"]


PAGE_PORT = 9180
POLICY = Path("/etc/chromium/policies/managed/velmora-test.json")
PAGE = """<!doctype html><meta charset="utf-8"><title>运动学讲义</title>
<a href="{link}" style="position:fixed;inset:0;font-size:48px;background:#eef1f5">下载讲义</a>
"""


@pytest.fixture
def course_page(tmp_path):
    """The course page with its resource link, and the managed browser policy
    that lets its origin start the assistant without asking, as a school sets it."""
    if not shutil.which("chromium"):
        pytest.skip("Debian's chromium is not installed")
    page = tmp_path / "course.html"
    # The browser refuses "velmoraurl://res:fid=..." as a URL whose port is
    # not a number (about:blank#blocked); the assistant reads the forms it
    # passes on alike, this one among them.
    query = f"fid=200102&fext=txt&hashcode=linux-browser&server={SERVER}"
    page.write_text(PAGE.format(link=f"velmoraurl://res/?{query}"), encoding="utf-8")
    tmp_path.chmod(0o755)
    server = subprocess.Popen([sys.executable, "-m", "http.server", str(PAGE_PORT), "--bind",
                               "127.0.0.1", "--directory", str(tmp_path)],
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    origin = f"http://127.0.0.1:{PAGE_PORT}"
    made = make_dirs(POLICY.parent)
    POLICY.write_text(json.dumps({"AutoLaunchProtocolsFromOrigins": [
        {"protocol": "velmoraurl", "allowed_origins": [origin]}]}), encoding="utf-8")
    yield f"{origin}/course.html"
    POLICY.unlink()
    remove_dirs(made)
    server.terminate()
    server.wait()


def test_link_clicked_in_the_browser_opens_the_document(user, platform, course_page):
    platform.put_file("download", "200102", data=DOCUMENT[:50000])
    browser = user.start("chromium", "--no-first-run", "--no-default-browser-check",
                         "--password-store=basic",
                         f"--user-data-dir={user.home}/.config/chromium-test",
                         "--window-position=0,0", "--window-size=1280,800", f"--app={course_page}")
    try:
        assert wait_for(lambda: user.run("xdotool", "search", "--name", "运动学讲义")[0] == 0,
                        timeout=60), "the browser did not show the course page"
        time.sleep(5)  # the title comes before the first paint
        user.run("xdotool", "mousemove", 400, 300, "click", "1")
        opened = wait_for(lambda: [p for p in opened_paths(user) if p.endswith("200102.txt")],
                          timeout=60)
        assert opened, "the link did not reach the assistant and the desktop's program"
        with open(opened[-1].removeprefix("file://"), "rb") as f:
            assert f.read() == DOCUMENT[:50000]
    finally:
        browser.terminate()
        browser.wait(timeout=30)


def menu_command():
    entry = configparser.ConfigParser(interpolation=None)
    entry.read("/usr/share/applications/velmora-assistant.desktop", encoding="utf-8")
    return shlex.split(entry["Desktop Entry"]["Exec"])


def window_origin(user, caption):
    """The top left corner of the window on the desktop's screen."""
    rc, ids = user.run("xdotool", "search", "--name", caption)
    if rc != 0 or not ids:
        return None
    rc, shell = user.run("xdotool", "getwindowgeometry", "--shell", ids.split()[0])
    geometry = dict(line.split("=", 1) for line in shell.splitlines() if "=" in line)
    return int(geometry["X"]), int(geometry["Y"])


def menu_after_right_click(user, x, y):
    user.run("xdotool", "mousemove", x, y, "sleep", "0.3", "click", "3")
    shown = user.driver.wait_window("#32768", "*", 3000)
    if shown:
        user.run("xdotool", "key", "Escape", "mousemove", 640, 400, "click", "1")
    return shown


# Without a panel of the desktop's own, Wine keeps its notification area as
# a strip in the top left corner of the screen.
TRAY_POINT = (12, 32)
IDM_TRAY_HIDE = 1125


def window_shown(user, window):
    rc, out = user.driver.probe("rect", window)
    return rc == 0 and out.split()[-1:] == ["1"]


def test_resident_assistant_from_the_menu_shows_its_window_tray_icon_and_menu(user, platform):
    user.run("wineserver", "-k", env=user.wine_env())
    user.start(*menu_command())
    prefix_ready(user)
    if user.driver.wait_window(DIALOG, "登录Velmora平台", 5000):
        log_in(user.driver)
    window = user.driver.wait_window(DIALOG, "Velmora助手", 40000)
    assert window, "no floating window: " + user.driver.windows()
    origin = window_origin(user, "Velmora助手")
    assert origin, "the floating window is not on the desktop's screen"
    assert menu_after_right_click(user, origin[0] + 60, origin[1] + 40), "no menu on the window"
    user.driver.probe("command", window, IDM_TRAY_HIDE)
    assert wait_for(lambda: not window_shown(user, window), timeout=10), "the window stayed"
    assert menu_after_right_click(user, *TRAY_POINT), "no menu on the tray icon"
    user.run("xdotool", "mousemove", *TRAY_POINT, "sleep", "0.3", "click", "--repeat", "2",
             "--delay", "80", "1")
    assert wait_for(lambda: window_shown(user, window), timeout=10), "the tray icon did not bring it back"
