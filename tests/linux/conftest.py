import os
import shutil
import sys

import pytest

from desktop import ROOT, WIN_BUILD, DesktopUser, apt_install, apt_purge, build_package, installed_version

sys.path.insert(0, str(ROOT / "testbed"))
from refclient import RefPlatform  # noqa: E402
from xdisplay import start_display, stop_display  # noqa: E402

TOOLS = ("dpkg-deb", "x86_64-w64-mingw32-strip", "convert")


@pytest.fixture(scope="session")
def deb(tmp_path_factory):
    if not (WIN_BUILD / "VelmoraURL.exe").exists():
        pytest.skip("the Windows build has no VelmoraURL.exe")
    missing = [tool for tool in TOOLS if not shutil.which(tool)]
    if missing:
        pytest.skip("cannot build the package without " + ", ".join(missing))
    return build_package(tmp_path_factory.mktemp("deb"))


@pytest.fixture(scope="session")
def installed(deb):
    """The package as a school installs it, purged again at the end when the
    machine did not have it before."""
    if os.geteuid() != 0 or not shutil.which("apt-get"):
        pytest.skip("installing the package needs root and apt-get")
    before = installed_version()
    apt_install(deb)
    yield deb
    if before is None:
        apt_purge()


def needs_desktop_session():
    if os.environ.get("VELMORA_ISOLATED") != "1":
        pytest.skip("fixed ports and built-in hosts: run under scripts/isolated.sh")
    for tool in ("Xvfb", "xdg-open", "runuser", "useradd"):
        if not shutil.which(tool):
            pytest.skip(f"no {tool} on this machine")


@pytest.fixture(scope="session")
def display():
    needs_desktop_session()
    name, xvfb = start_display()
    yield name
    stop_display(xvfb)


@pytest.fixture(scope="module")
def desktop_user(installed, display):
    user = DesktopUser("velmora-desk%d" % (os.getpid() % 10000), display)
    yield user
    user.remove()


@pytest.fixture(scope="module")
def platform(tmp_path_factory):
    options = ["--api-port", "9112", "--download-port", "8112", "--tool-port", "7112",
               "--cdn-port", "8080", "--bin-dir", str(WIN_BUILD / "testbed")]
    with RefPlatform.start(str(tmp_path_factory.mktemp("refplatform")), *options) as ref:
        yield ref
