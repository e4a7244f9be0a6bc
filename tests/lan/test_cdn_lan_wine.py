"""The real assistant under Wine as the first student, the second client as
the other: both learn the cache from its announcement and open the same
resource; the platform sends the file once. Runs once the assistant carries
out resource links (until then it skips and says so)."""

import json
import re
import subprocess
import sys
import tempfile
import time
from pathlib import Path

import pytest

from conftest import PLATFORM, ROOT, SERVER_OF_LAN as SERVER
from refplatform import pattern_bytes

sys.path.insert(0, str(ROOT / "tests" / "e2e"))
from winehost import APP_EXE, TESTBED, Display, drive_c, wine_environment  # noqa: E402


def resource_command_exists():
    return any("CDownloadContext::OpenResource" in p.read_text(errors="replace")
               for p in (ROOT / "app").rglob("*.cpp"))


def built_in_hosts():
    cache = (ROOT / "build" / "win" / "CMakeCache.txt").read_text()
    return [re.search(r"^%s:STRING=(.*)$" % key, cache, re.M).group(1)
            for key in ("VELMORA_DEFAULT_HOST", "VELMORA_SECOND_HOST")]


@pytest.fixture
def wine_student(cdn):
    if not resource_command_exists():
        pytest.skip("Wine student skipped: the assistant does not carry out resource links yet")
    if not APP_EXE.exists() or not (TESTBED / "uidriver.exe").exists():
        pytest.skip("Wine student skipped: build/win is not built")
    env = wine_environment()
    display = Display()
    display.ensure(env)
    # Student 1's machine: the built-in hosts name the platform; its wineserver
    # (which owns the sockets) runs inside the student's namespace.
    hosts = cdn.dir / "hosts-s1"
    hosts.write_text("127.0.0.1 localhost\n%s %s\n" % (PLATFORM, " ".join(built_in_hosts())))
    subprocess.run(["wineserver", "-k"], env=env, check=False)
    subprocess.run(["wineserver", "-w"], env=env, check=False)

    def in_student(*command, timeout=60):
        # Output through a file: wineserver and the programs the driver starts
        # live on with the standard handles and would hold a pipe open.
        script = 'mount --bind "$0" /etc/hosts && exec "$@"'
        with tempfile.TemporaryFile() as out:
            result = subprocess.run(["ip", "netns", "exec", cdn.ns["s1"], "unshare", "--mount", "sh",
                                     "-c", script, str(hosts)] + [str(c) for c in command], env=env,
                                    stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.DEVNULL,
                                    timeout=timeout)
            out.seek(0)
            return result.returncode, out.read().decode("utf-8", "replace").strip()

    in_student("wineserver", "-p")
    yield env, in_student
    subprocess.run(["wineserver", "-k"], env=env, check=False)
    display.stop()


def driver(in_student, *args, timeout=60):
    return in_student("wine", TESTBED / "uidriver.exe", *args, timeout=timeout)


def test_the_assistant_and_a_second_client_share_one_platform_download(cdn, wine_student):
    env, in_student = wine_student
    content = pattern_bytes(512 * 1024)  # below the size question
    cdn.platform.put_file("download", "winelesson", generate=len(content))
    url = "velmoraurl://res:server=%s:9112&fid=winelesson&fext=txt&hashcode=w1&ftype=0" % (
        built_in_hosts()[0])
    rc, _ = driver(in_student, "launch", '"%s" "%s"' % (APP_EXE, url))
    assert rc == 0
    rc, login = driver(in_student, "wait", "#32770", "登录Velmora平台", 30000)
    assert rc == 0, "no login dialog"
    # The dialog offers the default host on port 80: the student types the port.
    for control, text in (("1010", "%s:9112" % built_in_hosts()[0]), ("1000", "13800000001"),
                          ("1001", "123456")):
        assert driver(in_student, "settext", login, control, text)[0] == 0
    assert driver(in_student, "click", login, "1")[0] == 0

    deadline = time.monotonic() + 60
    found = []
    while not found and time.monotonic() < deadline:
        found = [p for p in drive_c(env).rglob("winelesson.txt") if p.stat().st_size == len(content)]
        time.sleep(0.5)
    assert found, "the assistant did not store the resource"
    assert found[0].read_bytes() == content

    second = cdn.dir / "s2-winelesson.txt"
    opened = json.loads(cdn.student("s2", "open", SERVER, "winelesson", second, PLATFORM))
    assert opened["source"] == "cdn"
    assert second.read_bytes() == content
    assert len(cdn.platform_downloads("winelesson")) == 1
