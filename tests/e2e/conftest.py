import subprocess

import pytest

from winehost import APP_EXE, Display, Driver, wine_environment


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
