import subprocess

import pytest

from winehost import APP_EXE, TESTBED, Display, Driver, wine_environment


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
    subprocess.run(["wine", "taskkill", "/f", "/im", "VelmoraURL.exe"], env=wine_env,
                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
