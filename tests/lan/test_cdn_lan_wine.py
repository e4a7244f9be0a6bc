"""The real assistant under Wine as the first student, the second client as
the other: both learn the cache from its announcement and open the same
resource; the platform sends the file once. And the second student's machine
posing as the cache: what it serves as a document is taken, an experiment
never is. Runs once the assistant carries out resource links (until then it
skips and says so)."""

import json
import re
import subprocess
import sys
import tempfile
import time
from pathlib import Path

import pytest

from conftest import PLATFORM, ROOT, STUDENTS, SERVER_OF_LAN as SERVER
from refclient import RefPlatform, read_ready_file
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
    yield from wine_student_of(cdn)


@pytest.fixture
def wine_student_without_cache(school):
    """Student 1 on a LAN where the school's cache server does not run."""
    school.platform.reset()
    yield from wine_student_of(school)


def wine_student_of(school):
    if not resource_command_exists():
        pytest.skip("Wine student skipped: the assistant does not carry out resource links yet")
    if not APP_EXE.exists() or not (TESTBED / "uidriver.exe").exists():
        pytest.skip("Wine student skipped: build/win is not built")
    env = wine_environment()
    display = Display()
    display.ensure(env)
    # Student 1's machine: the built-in hosts name the platform; its wineserver
    # (which owns the sockets) runs inside the student's namespace.
    hosts = school.dir / "hosts-s1"
    hosts.write_text("127.0.0.1 localhost\n%s %s\n" % (PLATFORM, " ".join(built_in_hosts())))
    subprocess.run(["wineserver", "-k"], env=env, check=False)
    subprocess.run(["wineserver", "-w"], env=env, check=False)

    def in_student(*command, timeout=60):
        # Output through a file: wineserver and the programs the driver starts
        # live on with the standard handles and would hold a pipe open.
        script = 'mount --bind "$0" /etc/hosts && exec "$@"'
        with tempfile.TemporaryFile() as out:
            result = subprocess.run(["ip", "netns", "exec", school.ns["s1"], "unshare", "--mount", "sh",
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


def log_in(in_student, wait_ms):
    """Logs in through the login dialog; False when none showed."""
    rc, login = driver(in_student, "wait", "#32770", "登录Velmora平台", wait_ms)
    if rc != 0:
        return False
    # The dialog offers the default host on port 80: the student types the port.
    for control, text in (("1010", "%s:9112" % built_in_hosts()[0]), ("1000", "13800000001"),
                          ("1001", "123456")):
        assert driver(in_student, "settext", login, control, text)[0] == 0
    # A phone number: the identity that an account remembered by earlier tests
    # preset (an account number) would send it to the other login.
    assert driver(in_student, "combo", login, "1009", "0")[0] == 0
    assert driver(in_student, "click", login, "1")[0] == 0
    return True


def open_link(in_student, query):
    url = "velmoraurl://res:server=%s:9112&%s" % (built_in_hosts()[0], query)
    assert driver(in_student, "launch", '"%s" "%s"' % (APP_EXE, url))[0] == 0


def wait_for(found, timeout):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        value = found()
        if value:
            return value
        time.sleep(0.5)
    return found()


def kept_file(env, name, size):
    """The resource as the assistant keeps it in the resource directory."""
    return wait_for(lambda: next((p for p in drive_c(env).rglob(name) if p.stat().st_size == size),
                                 None), timeout=60)


def assistant_log(env):
    """The bytes of the assistant's log (GBK), empty before its first entry."""
    log = next(drive_c(env).glob("users/*/AppData/Roaming/VelmoraURL.log"), None)
    return log.read_bytes() if log else b""


def heard_announcement(env, server, since):
    """Whether the assistant logged taking SERVER's announcement after offset SINCE."""
    return ("接收到CDN Server的广播: %s\r\n" % server).encode("gbk") in assistant_log(env)[since:]


def fresh_copies_only(env, *names):
    """Files an earlier run of the test left in the resource directory go."""
    for name in names:
        for path in drive_c(env).rglob(name):
            path.unlink()


def resident_assistant_hearing(env, in_student, server):
    """Starts the resident assistant, which listens from its start, and waits
    until it took SERVER's announcement, so that links come after it (with a
    remembered account nothing else would wait for it); logs it in if asked."""
    since = len(assistant_log(env))
    assert driver(in_student, "launch", '"%s"' % APP_EXE)[0] == 0
    assert wait_for(lambda: heard_announcement(env, server, since), timeout=30), \
        "the assistant took no announcement of " + server
    log_in(in_student, 10000)


def test_the_assistant_and_a_second_client_share_one_platform_download(cdn, wine_student):
    env, in_student = wine_student
    content = pattern_bytes(512 * 1024)  # below the size question
    cdn.platform.put_file("download", "winelesson", generate=len(content))
    fresh_copies_only(env, "winelesson.txt")
    resident_assistant_hearing(env, in_student, SERVER)
    open_link(in_student, "fid=winelesson&fext=txt&ftype=0&hashcode=w%d" % time.time())
    log_in(in_student, 10000)  # none when the account is remembered

    found = kept_file(env, "winelesson.txt", len(content))
    assert found, "the assistant did not store the resource"
    assert found.read_bytes() == content

    second = cdn.dir / "s2-winelesson.txt"
    opened = json.loads(cdn.student("s2", "open", SERVER, "winelesson", second, PLATFORM))
    assert opened["source"] == "cdn"
    assert second.read_bytes() == content
    assert len(cdn.platform_downloads("winelesson")) == 1


IMPOSTOR = STUDENTS["s2"]
LAN_BROADCAST = "10.77.0.255:20214"


@pytest.fixture
def impostor(school):
    """Student 2's machine posing as the school's cache: it announces itself
    by broadcast every half second, as the cache server does, and answers
    look-ups for what it is told to hold."""
    state = school.dir / "impostor"
    state.mkdir(exist_ok=True)
    ready = state / "ready"
    ready.unlink(missing_ok=True)
    log = open(state / "refplatform.log", "ab")
    process = subprocess.Popen(
        ["ip", "netns", "exec", school.ns["s2"], sys.executable,
         ROOT / "testbed" / "refplatform.py", "--host", IMPOSTOR, "--cdn-port", "8000",
         "--api-port", "0", "--download-port", "0", "--tool-port", "0", "--control-port", "0",
         "--state-dir", state, "--ready-file", ready, "--announce-to", LAN_BROADCAST,
         "--announce-every", "0.5"], stdout=log, stderr=log, stdin=subprocess.DEVNULL)
    log.close()
    assert wait_for(ready.exists, timeout=20), "the impostor did not start"
    host = RefPlatform(read_ready_file(ready), process)
    yield host
    host.stop()


def test_an_experiment_never_comes_from_a_host_that_only_announced_itself(
        school, impostor, wine_student_without_cache):
    env, in_student = wine_student_without_cache
    lesson, lab = pattern_bytes(300 * 1024), (TESTBED / "experiment.exe").read_bytes()
    school.platform.put_file("download", "posedlesson", data=lesson)
    school.platform.put_file("download", "posedlab", data=lab)
    # The same lesson, and another program under the experiment's id.
    impostor.put_file("download", "posedlesson", data=lesson)
    impostor.put_file("download", "posedlab", data=(TESTBED / "labexperiment.exe").read_bytes())
    impostor.control("/cdn/holds", ["posedlesson", "posedlab"])
    fresh_copies_only(env, "posedlesson.txt", "posedlab.exe", "experiment.log")
    run = int(time.time())
    resident_assistant_hearing(env, in_student, "%s:8000" % IMPOSTOR)

    open_link(in_student, "fid=posedlesson&fext=txt&ftype=0&hashcode=l%d" % run)
    log_in(in_student, 10000)  # none when the account is remembered
    kept_lesson = kept_file(env, "posedlesson.txt", len(lesson))
    assert kept_lesson and kept_lesson.read_bytes() == lesson
    # A document comes from the announced server: the announcement was taken.
    assert [r.target for r in impostor.requests("cdn")
            if r.target.startswith("/files/posedlesson")], "the lesson did not come from it"
    assert not school.platform_downloads("posedlesson")

    open_link(in_student, "fid=posedlab&fext=exe&ftype=1&couid=201&experid=303&isexam=1"
                          "&userid=1001&extradata=score87&hashcode=e%d" % run)
    kept_lab = kept_file(env, "posedlab.exe", len(lab))
    assert kept_lab, "the experiment was not kept as the platform sent it"
    assert kept_lab.read_bytes() == lab
    record = wait_for(lambda: (kept_lab.parent / "experiment.log").exists(), timeout=30)
    assert record, "the platform's experiment did not run"
    submitted = wait_for(lambda: school.platform.state()["data"], timeout=30)
    assert submitted and '"score":87' in submitted[-1]["data"]
    assert len(school.platform_downloads("posedlab")) == 1
    assert not [r.target for r in impostor.requests() if "posedlab" in r.target]
