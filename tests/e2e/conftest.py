import subprocess

import pytest

from winehost import (APP_EXE, TESTBED, Display, Driver, copy_into_prefix, drive_c, taskkill,
                      wine_environment)
from refclient import RefPlatform  # noqa: E402  (winehost puts testbed/ on the path)


def pytest_configure(config):
    config.addinivalue_line(
        "markers", "x86: the 32-bit program under 32-bit Wine (the test command's 32-bit layer)")


@pytest.fixture(scope="session")
def wine_env():
    if not APP_EXE.exists():
        pytest.fail(f"{APP_EXE} is not built")
    env = wine_environment()
    display = Display()
    display.ensure(env)
    subprocess.run(["wineserver", "-p"], env=env, check=False)
    yield env
    display.stop()


@pytest.fixture(scope="module")
def ref(tmp_path_factory):
    """The reference platform on its fixed ports, serving the testbed's programs
    (modules that need other settings bring their own)."""
    options = ["--api-port", "9112", "--download-port", "8112", "--tool-port", "7112",
               "--cdn-port", "8080", "--bin-dir", str(TESTBED)]
    with RefPlatform.start(str(tmp_path_factory.mktemp("refplatform")), *options) as platform:
        yield platform


@pytest.fixture(scope="session")
def driver(wine_env):
    return Driver(wine_env)


@pytest.fixture(scope="module")
def later_processes(wine_env):
    """A stand-in first process holds the single-instance mutex for the
    module: every program the tests start is a later process, which carries
    out its URL and ends (a first one would stay with the main window)."""
    holder = subprocess.Popen(["wine", str(TESTBED / "firstprocess.exe")], env=wine_env,
                              stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                              stderr=subprocess.DEVNULL)
    assert holder.stdout.readline().strip() == b"ready", "another first process runs"
    yield
    holder.kill()
    holder.wait()


@pytest.fixture(autouse=True)
def no_program_left(wine_env):
    """A first process stays with its main window or login dialog: none
    outlives its test."""
    yield
    taskkill(wine_env, "/f", "/im", "VelmoraURL.exe")


@pytest.fixture(scope="module")
def vtest_opener(wine_env):
    """recorder.exe at C:\\velmora-e2e as the handler of the test file type
    .vtest: a document that the shell opens, and whose opening is recorded."""
    exe = copy_into_prefix(wine_env, TESTBED / "recorder.exe", "velmora-e2e/recorder.exe")
    command = '"C:\\\\velmora-e2e\\\\recorder.exe" "%1"'.replace('"', '\\"')
    reg = drive_c(wine_env) / "velmora-e2e" / "vtest.reg"
    reg.write_text("Windows Registry Editor Version 5.00\r\n\r\n"
                   "[HKEY_CLASSES_ROOT\\.vtest]\r\n@=\"VelmoraTestFile\"\r\n\r\n"
                   "[HKEY_CLASSES_ROOT\\VelmoraTestFile\\shell\\open\\command]\r\n"
                   f"@=\"{command}\"\r\n", encoding="utf-16")
    subprocess.run(["wine", "regedit", "/S", "C:\\velmora-e2e\\vtest.reg"], env=wine_env, check=True)
    return exe
