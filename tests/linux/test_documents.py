"""What a student's desktop has at the moment decides how a resource opens: a
type the desktop does not know is told, the same type registered later opens
with the user's program; and the student is told on the desktop when the
prefix cannot be made or a 32-bit experiment cannot run. The prefixes of
this module live in a shared directory on local disk, as IT may place them."""
import os
import shutil
import tempfile
from pathlib import Path

import pytest

from desktop import DIALOG, IDYES, ROOT, Driver, link, log_in, prefix_ready, wait_for

# Records what the student would have been shown, one line per notice.
NOTIFIER = """#!/bin/sh
{ printf '%s' "$*" | tr '\\n' ' '; echo; } >> "$HOME/notices.log"
"""
OPENER = """#!/bin/sh
printf '%s\\n' "$1" >> "$HOME/opened.log"
"""
LAB_TYPE = """<?xml version="1.0" encoding="UTF-8"?>
<mime-info xmlns="http://www.freedesktop.org/standards/shared-mime-info">
  <mime-type type="application/x-velmora-lab">
    <comment>Lab notebook</comment>
    <glob pattern="*.vlab"/>
  </mime-type>
</mime-info>
"""
LAB_ENTRY = """[Desktop Entry]
Type=Application
Name=Lab notebook
Exec={home}/bin/record-open %f
MimeType=application/x-velmora-lab;
"""
# Not text: the desktop cannot tell a type from the content either.
LAB_DOCUMENT = bytes(range(256)) * 64
LAB32 = ROOT / "build" / "win32" / "testbed" / "labexperiment.exe"


@pytest.fixture(scope="module")
def shared_prefixes():
    """A directory on local disk where every user makes a prefix, as /tmp."""
    place = Path(tempfile.mkdtemp(prefix="velmora-prefixes-", dir="/var/tmp"))
    place.chmod(0o1777)
    yield place
    shutil.rmtree(place, ignore_errors=True)


@pytest.fixture(scope="module")
def student(desktop_user, shared_prefixes):
    """A desktop with no program for unknown files (no browser to fall back
    on) whose notices are recorded."""
    desktop_user.write("bin/notify-send", NOTIFIER, mode=0o755)
    desktop_user.write("bin/record-open", OPENER, mode=0o755)
    desktop_user.prefix = shared_prefixes / desktop_user.name / "prefix"
    tools = desktop_user.home / "testbed"
    tools.mkdir()
    desktop_user.driver = Driver(desktop_user, tools)
    desktop_user.desk_env = desktop_user.env(
        PATH=f"{desktop_user.home}/bin:/usr/local/bin:/usr/bin:/bin", BROWSER="/bin/false",
        VELMORA_PREFIX_DIR=str(shared_prefixes))
    return desktop_user


def notices(user):
    log = user.home / "notices.log"
    return log.read_text(encoding="utf-8").splitlines() if log.exists() else []


def opened(user):
    log = user.home / "opened.log"
    return log.read_text(encoding="utf-8").split() if log.exists() else []


def test_prefix_that_cannot_be_made_is_told_on_the_desktop(student, shared_prefixes):
    closed = shared_prefixes / "closed"
    closed.mkdir()
    closed.chmod(0o755)
    taken = shared_prefixes / "taken"
    taken.mkdir()
    taken.chmod(0o1777)
    (taken / student.name).mkdir(mode=0o700)  # someone else's, made before the student came
    for place in (closed, taken):
        (student.home / "notices.log").unlink(missing_ok=True)
        env = dict(student.desk_env, VELMORA_PREFIX_DIR=str(place))
        rc, _ = student.run("velmora-assistant", env=env, timeout=60)
        assert rc != 0
        told = notices(student)
        assert len(told) == 1 and "1.3 GB" in told[0], told
        assert f"{place}/{student.name}/prefix" in told[0]
        assert not (place / student.name / "prefix").exists()


def test_type_unknown_to_the_desktop_is_told_and_opens_once_registered(student, platform):
    platform.put_file("download", "200301", data=LAB_DOCUMENT)
    student.start("xdg-open", link("fid=200301&fext=vlab&hashcode=lab-v1"), env=student.desk_env)
    prefix_ready(student)
    log_in(student.driver)
    told = wait_for(lambda: [n for n in notices(student) if "200301.vlab" in n], timeout=90)
    assert told and "无法打开资源文件" in told[0], notices(student)
    assert str(student.prefix) in told[0]
    # The user's desktop learns the type after the prefix was made.
    home = student.home
    student.write(".local/share/mime/packages/velmora-lab.xml", LAB_TYPE)
    student.write(".local/share/applications/lab-notebook.desktop", LAB_ENTRY.format(home=home))
    assert student.run("update-mime-database", home / ".local/share/mime")[0] == 0
    assert student.run("xdg-mime", "default", "lab-notebook.desktop",
                       "application/x-velmora-lab")[0] == 0
    platform.put_file("download", "200302", data=LAB_DOCUMENT)
    student.start("xdg-open", link("fid=200302&fext=vlab&hashcode=lab-v2"), env=student.desk_env)
    paths = wait_for(lambda: [p for p in opened(student) if p.endswith("200302.vlab")], timeout=90)
    assert paths, "the registered type did not reach the user's program: " + str(notices(student))
    with open(paths[-1].removeprefix("file://"), "rb") as f:
        assert f.read() == LAB_DOCUMENT
    assert not [n for n in notices(student) if "200302" in n]


@pytest.mark.skipif(os.path.exists("/usr/lib/wine/wine"), reason="32-bit Wine is installed here")
@pytest.mark.skipif(not LAB32.exists(), reason="no 32-bit build of the test experiment")
def test_32_bit_experiment_without_32_bit_wine_is_told(student, platform):
    platform.put_file("download", "200303", data=LAB32.read_bytes())
    query = ("fid=200303&fext=exe&ftype=1&couid=201&experid=303&isexam=1&userid=1001"
             "&extradata=score87&hashcode=lab32-linux")
    student.start("xdg-open", link(query), env=student.desk_env)
    question = student.driver.wait_window(DIALOG, "提示", 15000)
    if question:
        student.driver.run("click", question, IDYES)
    told = wait_for(lambda: [n for n in notices(student) if "32位" in n], timeout=90)
    assert told and "200303.exe" in told[0] and "wine32:i386" in told[0], notices(student)
