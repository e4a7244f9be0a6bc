"""What today's browsers hand to the program registered for velmoraurl
links, form by form, when a user clicks the link in a page: measured with
the browsers of this machine and a recorder in place of the assistant, in a
user's home made for the test. The table goes to build/results/link-forms.md
(README, "Link forms and browsers")."""
import html
import json
import os
import shutil
import subprocess
import sys
import time
from pathlib import Path

import pytest

from desktop import ROOT, DesktopUser, make_dirs, remove_dirs, wait_for

PAGE_PORT = 9181
ORIGIN = f"http://127.0.0.1:{PAGE_PORT}"
POLICY = Path("/etc/chromium/policies/managed/velmora-link-forms.json")
RESULTS = ROOT / "build" / "results" / "link-forms.md"

RECORDER = """#!/usr/bin/python3
# Stands in for the assistant: records the arguments it was started with.
import json, sys
with open({log!r}, "a", encoding="utf-8", errors="surrogateescape") as f:
    f.write(json.dumps(sys.argv[1:]) + "\\n")
"""
RECORDER_ENTRY = """[Desktop Entry]
Type=Application
Name=Link recorder
Exec={home}/bin/record-link %u
NoDisplay=true
MimeType=x-scheme-handler/velmoraurl;
"""

# The link forms: the program's own and those a page may use instead.
FORMS = [
    "velmoraurl://{cmd}:{arg}",
    "velmoraurl://{cmd}?{amp}{arg}",  # the form README gives page authors
    "velmoraurl://{cmd}/?{arg}",
    "velmoraurl://{cmd}/:{arg}",
    "velmoraurl:{cmd}:{arg}",
    "velmoraurl:{cmd}?{arg}",
]
RECOMMENDED = 1
# Each link carries its tag, so a late start is never put down to the next.
COMMANDS = [
    ("res", "res", "fid={tag}&fext=pdf&fname=课件 1.pptx&userName=张三&server=10.0.0.5:7112"),
    ("res, odd characters", "res", "fid={tag}&extradata=a b'\"|{{}}^<>`\\~"),
    ("file", "file", "C:/Lessons/{tag} 课件.pdf"),
    ("exe", "exe", "'C:/Tools/{tag}.exe' '-a b'"),
]

PAGE = """<!doctype html><meta charset="utf-8"><title>Link forms</title>
<a id="link" style="position:fixed;inset:0;font-size:40px;background:#eef1f5">…</a>
<script>
const links = {links};
// A link the browser refuses may take the page away: the place in the list
// outlives it, and the test comes back to the page.
let next = Number(localStorage.getItem("next") || 0);
const a = document.getElementById("link");
function show() {{
  a.href = links[next]; a.textContent = next + " " + links[next]; document.title = "Link forms " + next;
}}
a.addEventListener("click", () => {{
  localStorage.setItem("next", next + 1);
  setTimeout(() => {{ next += 1; if (next < links.length) show(); }}, 400);
}});
show();
</script>
"""


def links():
    """(tag, command label, form label, link) of every form of every command."""
    out = []
    for c, (command_label, cmd, arg) in enumerate(COMMANDS):
        # "&" begins a resource command's parameters; older copies of the
        # program read "?:" as the file and exe forms.
        amp = "&" if cmd == "res" else ":"
        for f, form in enumerate(FORMS):
            tag = f"L{c}{f}x"
            out.append((tag, command_label, form.format(cmd=cmd, amp=amp, arg="…"),
                        form.format(cmd=cmd, amp=amp, arg=arg.format(tag=tag))))
    return out


@pytest.fixture(scope="module")
def link_user(display):
    if not shutil.which("xdotool"):
        pytest.skip("no xdotool on this machine")
    user = DesktopUser("velmora-link%d" % (os.getpid() % 10000), display)
    log = user.home / "links.log"
    user.write("bin/record-link", RECORDER.format(log=str(log)), mode=0o755)
    user.write(".local/share/applications/link-recorder.desktop",
               RECORDER_ENTRY.format(home=user.home))
    user.write(".config/mimeapps.list",
               "[Default Applications]\nx-scheme-handler/velmoraurl=link-recorder.desktop\n")
    user.write("tmp/.keep", "")
    user.log = log
    yield user
    user.remove()


@pytest.fixture(scope="module")
def page(tmp_path_factory):
    root = tmp_path_factory.mktemp("linkpage")
    hrefs = [link for _, _, _, link in links()]
    (root / "links.html").write_text(PAGE.format(links=json.dumps(hrefs, ensure_ascii=False)),
                                     encoding="utf-8")
    root.chmod(0o755)
    server = subprocess.Popen([sys.executable, "-m", "http.server", str(PAGE_PORT), "--bind",
                               "127.0.0.1", "--directory", str(root)],
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    yield f"{ORIGIN}/links.html"
    server.terminate()
    server.wait()


def received(user):
    if not user.log.exists():
        return []
    return [json.loads(line) for line in user.log.read_text(encoding="utf-8").splitlines()]


def page_shows(user, index, timeout=10):
    title = f"^Link forms {index}( |$)"
    return wait_for(lambda: user.run("xdotool", "search", "--name", title)[0] == 0,
                    timeout=timeout)


def click_link(user, index, tag):
    """Clicks link INDEX until the page takes the click: on a loaded machine a
    click before the first paint, or while the browser is busy, is lost, and
    the page would wait for it for ever."""
    for _ in range(3):
        if not page_shows(user, index):
            user.run("xdotool", "key", "alt+Left")
            assert page_shows(user, index), f"the page did not come back for link {index}"
        user.run("xdotool", "mousemove", 640, 400, "click", "1")
        # Taken: the handler started, or the page moved on (to the next
        # link, or away where the browser refused the link).
        if wait_for(lambda: any(tag in " ".join(argv) for argv in received(user))
                    or not page_shows(user, index, timeout=0.1), timeout=8):
            return
    raise AssertionError(f"the page did not take the click on link {index}")


def close_browser(user, browser):
    """Ends the browser and whatever it left of the user's (a loaded machine
    may keep a browser shutting down past any wait)."""
    browser.terminate()
    try:
        browser.wait(timeout=30)
    except subprocess.TimeoutExpired:
        browser.kill()
        browser.wait()
    subprocess.run(["pkill", "-KILL", "-u", user.name], check=False)


def click_through(user, browser_args):
    """Clicks every link of the page once; {tag: argv} of what reached the handler."""
    browser = user.start(*browser_args, env=user.env(TMPDIR=str(user.home / "tmp")))
    try:
        assert wait_for(lambda: user.run("xdotool", "search", "--name", "Link forms")[0] == 0,
                        timeout=60), "the browser did not show the page"
        time.sleep(5)  # the title comes before the first paint
        for i, (tag, *_) in enumerate(links()):
            click_link(user, i, tag)
            # A handler started late still counts: its tag says which link.
            wait_for(lambda: any(tag in " ".join(argv) for argv in received(user)), timeout=4)
    finally:
        close_browser(user, browser)
    by_tag = {}
    for argv in received(user):
        for tag, *_ in links():
            if tag in " ".join(argv):
                by_tag[tag] = argv
    user.log.unlink(missing_ok=True)
    return by_tag


def version(program):
    r = subprocess.run([program, "--version"], capture_output=True, text=True)
    return r.stdout.strip().splitlines()[-1] if r.returncode == 0 else program


def report(browser, measured):
    """The measured table, one line per link, kept for the README."""
    RESULTS.parent.mkdir(parents=True, exist_ok=True)
    lines = [f"## {browser}", "", "| command | form | link in the page | handler's argv |",
             "|---|---|---|---|"]
    for tag, command, form, link in links():
        argv = measured.get(tag)
        got = "not passed on" if argv is None else " ".join(f"`{a}`" for a in argv)
        cells = [command, f"`{form}`", f"`{link}`", got]
        lines.append("| " + " | ".join(c.replace("|", "\\|") for c in cells) + " |")
    text = "\n".join(lines) + "\n\n"
    # The browser's table of an earlier run (or of a first try) gives way.
    kept = RESULTS.read_text(encoding="utf-8").split("## ") if RESULTS.exists() else []
    kept = [t for t in kept if t and not t.startswith(browser + "\n")]
    RESULTS.write_text("".join("## " + t for t in kept) + text, encoding="utf-8")
    print("\n" + text)


def check_passed_on(measured):
    # A link passed on is one argument, the link with what the browser encoded.
    for tag, argv in measured.items():
        assert len(argv) == 1 and argv[0].lower().startswith("velmoraurl:"), (tag, argv)
    # The form the README gives page authors reaches the handler for every command.
    for tag, command, form, link in links():
        if tag.endswith(f"{RECOMMENDED}x"):
            assert tag in measured, f"{link} did not reach the handler"


@pytest.fixture
def chromium_policy():
    """Lets the page's origin start the handler without asking, as a school sets it."""
    made = make_dirs(POLICY.parent)
    POLICY.write_text(json.dumps({"AutoLaunchProtocolsFromOrigins": [
        {"protocol": "velmoraurl", "allowed_origins": [ORIGIN]}]}), encoding="utf-8")
    yield
    POLICY.unlink()
    remove_dirs(made)


def test_what_chromium_passes_on(link_user, page, chromium_policy):
    if not shutil.which("chromium"):
        pytest.skip("not measured: Debian's chromium is not installed")
    measured = click_through(link_user, [
        "chromium", "--no-first-run", "--no-default-browser-check", "--password-store=basic",
        f"--user-data-dir={link_user.home}/.config/chromium-links", "--window-position=0,0",
        "--window-size=1280,800", f"--app={page}"])
    report(version("chromium"), measured)
    check_passed_on(measured)


FIREFOX_PREFS = """user_pref("network.protocol-handler.external.velmoraurl", true);
user_pref("network.protocol-handler.expose.velmoraurl", false);
user_pref("network.protocol-handler.warn-external.velmoraurl", false);
user_pref("security.external_protocol_requires_permission", false);
user_pref("browser.shell.checkDefaultBrowser", false);
user_pref("browser.aboutwelcome.enabled", false);
user_pref("browser.startup.homepage_override.mstone", "ignore");
user_pref("datareporting.policy.dataSubmissionEnabled", false);
user_pref("toolkit.telemetry.reportingpolicy.firstRun", false);
user_pref("app.update.auto", false);
"""
# The scheme's handler preset as a user's "always use the system's
# application" answer, so that no question stands between click and start.
FIREFOX_HANDLERS = {"defaultHandlersVersion": {}, "mimeTypes": {},
                    "schemes": {"velmoraurl": {"action": 4, "ask": False}}}


def test_what_firefox_esr_passes_on(link_user, page):
    if not shutil.which("firefox-esr"):
        pytest.skip("not measured: Debian's firefox-esr is not installed")
    profile = "firefox-links"
    link_user.write(f"{profile}/user.js", FIREFOX_PREFS)
    link_user.write(f"{profile}/handlers.json", json.dumps(FIREFOX_HANDLERS))
    measured = click_through(link_user, [
        "firefox-esr", "--no-remote", "--new-instance", "--profile",
        f"{link_user.home}/{profile}", "--kiosk", page])
    report(version("firefox-esr"), measured)
    check_passed_on(measured)
