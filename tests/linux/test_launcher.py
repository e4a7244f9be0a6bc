"""The launcher's own work around the program, with the desktop's tools and
Wine played by stand-ins: where each user's prefix may be made, which
documents the prefix hands to the desktop, and what the student is told when
the desktop or Wine cannot do what the assistant asked."""
import os
import shutil
import subprocess
import time

import pytest

from desktop import PACKAGE_DIR

RECORDER = """#!/bin/sh
# One line per call: the tool's name, "|" and its arguments.
{ printf '%s|' "$(basename "$0")"; printf '%s' "$*" | tr '\\n' ' '; echo; } >> "$RECORD"
exit ${STATUS:-0}
"""


@pytest.fixture
def desk(tmp_path):
    """A PATH of stand-ins only (so the machine's own notify-send or xmessage
    cannot answer) and the file they record their calls in."""
    bin_dir, system = tmp_path / "bin", tmp_path / "system"
    bin_dir.mkdir()
    system.mkdir()
    for tool in ("sh", "bash", "dirname", "basename", "timeout", "sed", "sort", "uniq", "tr",
                 "touch", "iconv", "cat", "mkdir", "find", "rm"):
        os.symlink(shutil.which(tool), system / tool)

    class Desk:
        record = tmp_path / "calls.log"

        def add(self, name, body=RECORDER):
            (bin_dir / name).write_text(body)
            (bin_dir / name).chmod(0o755)

        def env(self, **extra):
            return dict(PATH=f"{bin_dir}:{system}", RECORD=str(self.record), HOME=str(tmp_path),
                        VELMORA_LIB=str(PACKAGE_DIR), **extra)

        def calls(self, wait_for=0):
            deadline = time.monotonic() + 5
            while True:
                text = self.record.read_text(encoding="utf-8") if self.record.exists() else ""
                calls = text.split("\n")[:-1]  # a line still being written is not a call yet
                if len(calls) >= wait_for or time.monotonic() > deadline:
                    return calls
                time.sleep(0.1)

    return Desk()


def run(script, env, *args):
    return subprocess.run(["bash", "-c", f'source "$0"; {script}', PACKAGE_DIR / "prefix.sh", *args],
                          capture_output=True, text=True, env=env, timeout=60)


NOTICES = [
    ("a notification", {"notify-send": 0, "zenity": 0}, "notify-send"),
    ("a dialog when no notification service answers", {"notify-send": 1, "zenity": 0}, "zenity"),
    ("a dialog of another desktop", {"kdialog": 0, "xmessage": 0}, "kdialog"),
    ("the plainest X dialog", {"xmessage": 0}, "xmessage"),
    ("the error stream alone", {}, None),
]


@pytest.mark.parametrize("tools,shown_by", [c[1:] for c in NOTICES], ids=[c[0] for c in NOTICES])
def test_notice_reaches_the_desktop_by_what_it_has(desk, tools, shown_by):
    for name, status in tools.items():
        desk.add(name, RECORDER.replace("${STATUS:-0}", str(status)))
    r = subprocess.run([PACKAGE_DIR / "velmora-notice", "无法启动"], capture_output=True, text=True,
                       env=desk.env(), timeout=30)
    assert r.returncode == 0 and "无法启动" in r.stderr
    calls = desk.calls(wait_for=2 if shown_by == "zenity" else 1 if shown_by else 0)
    shown = [c.split("|")[0] for c in calls]
    assert shown[-1:] == ([shown_by] if shown_by else [])
    assert all("无法启动" in c for c in calls)


OPENS = [
    ("the desktop has a program", 0, False),
    ("the desktop has no program for the type", 3, True),
    ("the desktop's program failed", 4, True),
]


@pytest.mark.parametrize("status,told", [c[1:] for c in OPENS], ids=[c[0] for c in OPENS])
def test_document_the_desktop_cannot_open_is_told(desk, status, told):
    desk.add("xdg-open", RECORDER.replace("$*", "$LC_ALL $*"))
    desk.add("notify-send")
    url = "file:///home/s/prefix/drive_c/%E8%AF%BE%E4%BB%B6/200101.vlab"
    r = subprocess.run([PACKAGE_DIR / "velmora-open", url], capture_output=True, text=True,
                       env=desk.env(STATUS=str(status), VELMORA_DESKTOP_LC_ALL="de_DE.UTF-8",
                                    LC_ALL="zh_CN.UTF-8"), timeout=30)
    assert r.returncode == status
    calls = desk.calls()
    assert calls[0] == f"xdg-open|de_DE.UTF-8 {url}"
    notices = calls[1:]
    assert len(notices) == told
    if told:
        assert "/home/s/prefix/drive_c/课件/200101.vlab" in notices[0]


def test_link_names_the_type_of_its_resource():
    cases = {
        "velmoraurl://res:fid=200101&fext=vlab&hashcode=x": "vlab",
        "velmoraurl://res?&fid=1&server=a:1&fext=PDF": "PDF",
        "velmoraurl://res:fid=200101&hashcode=x": "",
        "velmoraurl://res:fid=1&fext=a/b": "",
        "velmoraurl://res:fid=1&myfext=pdf": "",
        "https://example.cn/?fext=pdf": "",
        "": "",
    }
    for url, expected in cases.items():
        r = run('velmora_link_type "$1"', dict(os.environ), url)
        assert r.stdout.strip() == expected, url


GLOB = "50:application/x-{0}:*.{0}\n"


def test_types_the_desktop_learns_later_are_mapped_at_the_next_start(desk, tmp_path):
    """Each start maps what the desktop knows by then; only what is new is imported."""
    prefix, system = tmp_path / "prefix", tmp_path / "share"
    (prefix / "drive_c/windows/temp").mkdir(parents=True)
    (system / "mime").mkdir(parents=True)
    (system / "mime/globs2").write_text(GLOB.format("pdf") + GLOB.format("exe"))
    desk.add("wine", "#!/bin/sh\niconv -f UTF-16 -t UTF-8 \"$WINEPREFIX/drive_c/windows/temp/"
             "velmora-documents.reg\" | sed -n 's/^\\[HKEY_CLASSES_ROOT\\\\\\.\\(.*\\)\\]\\r*$/\\1/p'"
             " | tr '\\n' ' ' >> \"$RECORD\"; echo '|' >> \"$RECORD\"\n")
    env = desk.env(WINEPREFIX=str(prefix), XDG_DATA_DIRS=str(system))

    def start(link=""):
        desk.record.unlink(missing_ok=True)
        r = run('velmora_map_documents "$1"', env, link)
        assert r.returncode == 0, r.stderr
        return [c.rstrip("|").split() for c in desk.calls()]

    first = start()
    assert len(first) == 1 and {"pdf", "docx", "txt"} <= set(first[0])
    assert not {"exe", "lnk", "bat", "msi"} & set(first[0])
    assert start() == []  # nothing new: no import
    user_mime = tmp_path / ".local/share/mime"
    user_mime.mkdir(parents=True)
    (user_mime / "globs2").write_text(GLOB.format("vlab") + "50:text/x-c:*.[ch]\n")
    assert start() == [["vlab"]]
    (system / "mime/globs2").write_text(GLOB.format("pdf") + GLOB.format("sb3"))
    assert start("velmoraurl://res:fid=1&fext=zzq") == [["sb3", "zzq"]]
    assert start("velmoraurl://res:fid=1&fext=EXE") == []


@pytest.mark.skipif(os.geteuid() != 0, reason="another owner's directory needs root")
def test_prefix_in_a_shared_directory_is_the_users_own(tmp_path):
    shared = tmp_path / "shared"
    shared.mkdir(mode=0o1777)
    cases = []
    for name, prepare, usable in [
        ("made for the user", lambda p: None, True),
        ("kept from an earlier start", lambda p: p.mkdir(mode=0o700), True),
        ("made by another user", lambda p: (p.mkdir(), os.chown(p, 65534, 65534)), False),
        ("open to others", lambda p: (p.mkdir(), p.chmod(0o777)), False),
        ("a link elsewhere", lambda p: (p.symlink_to(tmp_path)), False),
    ]:
        home = shared / name.replace(" ", "-")
        prepare(home)
        r = run("velmora_prefix_place", dict(os.environ, HOME=str(tmp_path / "home"),
                                             VELMORA_HOME=str(home)))
        cases.append((name, r.returncode == 0))
        if usable:
            assert home.stat().st_mode & 0o777 == 0o700
    assert cases == [(n, u) for n, u in [("made for the user", True),
                                         ("kept from an earlier start", True),
                                         ("made by another user", False),
                                         ("open to others", False), ("a link elsewhere", False)]]


WOW64_LINE = ('00dc:err:environ:init_peb starting L"C:\\\\users\\\\s\\\\Velmora\\\\200003.exe"'
              " in experimental wow64 mode")


@pytest.mark.parametrize("wine32,told", [(False, True), (True, False)],
                         ids=["without 32-bit Wine", "with 32-bit Wine"])
def test_student_is_told_when_a_32_bit_program_cannot_run(desk, tmp_path, wine32, told):
    desk.add("notify-send")
    desk.add("wine", f"#!/bin/sh\nprintf 'wine|%s %s\\n' \"$WINEDEBUG\" \"$*\" >> \"$RECORD\"\n"
             f"echo '{WOW64_LINE}' >&2\necho 'another line' >&2\n")
    loader = tmp_path / "wine32"
    if wine32:
        loader.write_text("")
        loader.chmod(0o755)
    r = run('velmora_run "$@"', desk.env(VELMORA_WINE32=str(loader), VELMORA_EXE="C:\\a.exe"),
            "velmoraurl://res:fid=200003")
    calls = desk.calls(wait_for=2 if told else 1)
    assert calls[0].endswith("C:\\a.exe velmoraurl://res:fid=200003")
    assert ("err+environ" in calls[0]) == told
    assert "another line" in r.stderr
    if told:
        assert len(calls) == 2 and "200003.exe" in calls[1] and "wine32:i386" in calls[1]
        assert "wow64" not in r.stderr
    else:
        assert len(calls) == 1


BOOTS = [
    ("Wine fails", "exit 1", False, False),
    ("Wine ends without a registry (the disk filled up)", "exit 0", False, False),
    ("a directory the user had already is kept", "exit 1", True, True),
]


@pytest.mark.parametrize("boot,existed,kept", [c[1:] for c in BOOTS], ids=[c[0] for c in BOOTS])
def test_prefix_that_cannot_be_made_is_not_left_half_made(desk, tmp_path, boot, existed, kept):
    desk.add("wineboot", f"#!/bin/sh\nmkdir -p \"$WINEPREFIX/drive_c\"\n{boot}\n")
    desk.add("wineserver")
    prefix = tmp_path / "prefix"
    if existed:
        (prefix / "drive_c/users").mkdir(parents=True)
    r = run('velmora_prepare_prefix 1.0', desk.env(WINEPREFIX=str(prefix)))
    assert r.returncode != 0
    assert prefix.exists() == kept
    assert not (prefix / ".velmora-version").exists()
