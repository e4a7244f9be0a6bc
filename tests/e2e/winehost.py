"""The Wine side of the end-to-end tests: the project's prefix and display,
the UI driver, and paths between Linux and Windows."""
import os
import shutil
import subprocess
import sys
import tempfile
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "testbed"))
from xdisplay import start_display, stop_display  # noqa: E402
WIN_BUILD = ROOT / "build" / "win"
APP_EXE = WIN_BUILD / "VelmoraURL.exe"
TESTBED = WIN_BUILD / "testbed"


def wine32_available():
    """32-bit Windows programs run here: Debian's 32-bit Wine is installed."""
    return Path("/usr/lib/i386-linux-gnu/wine/i386-windows/kernel32.dll").exists()


def wine_environment():
    env = os.environ.copy()
    env.update(
        WINEPREFIX=str(ROOT / "build" / "wineprefix"),
        LC_ALL="zh_CN.UTF-8",
        WINEDEBUG="-all",
        WINEDLLOVERRIDES="winemenubuilder.exe=d;winedbg.exe=d;mscoree,mshtml=",
    )
    # The project's `wine`: the prefix's own programs are its 64-bit ones.
    shim = str(ROOT / "scripts" / "wine64")
    if shim not in env.get("PATH", "").split(os.pathsep):
        env["PATH"] = shim + os.pathsep + env.get("PATH", "")
    return env


def taskkill(env, *args):
    """The prefix's taskkill with ARGS."""
    subprocess.run(["wine", "taskkill", *args], env=env, stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def windows_path(path):
    """Z:\\... form of a Linux path, as Windows programs see it."""
    return "Z:" + str(Path(path).resolve()).replace("/", "\\")


def drive_c(env):
    return Path(env["WINEPREFIX"]) / "drive_c"


class Display:
    """A private Xvfb when the caller has no display of its own."""

    def __init__(self):
        self.process = None

    def ensure(self, env):
        if env.get("DISPLAY"):
            return
        env["DISPLAY"], self.process = start_display()

    def stop(self):
        if self.process:
            stop_display(self.process)


class Driver:
    """testbed/win/uidriver.exe: find, read and click windows of other processes."""

    def __init__(self, env):
        self.env = env
        self.exe = str(TESTBED / "uidriver.exe")

    def run(self, *args, timeout=60):
        # Output goes through a file, not a pipe: programs that the driver
        # starts inherit its standard handles and would hold a pipe open.
        with tempfile.TemporaryFile() as out:
            r = subprocess.run(["wine", self.exe, *map(str, args)], env=self.env, stdout=out,
                               stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL,
                               timeout=timeout)
            out.seek(0)
            return r.returncode, out.read().decode("utf-8", "replace").strip()

    def launch(self, command_line):
        rc, out = self.run("launch", command_line)
        assert rc == 0, f"could not start {command_line}"
        return int(out)

    def wait_window(self, cls, caption, ms=15000):
        rc, out = self.run("wait", cls, caption, ms)
        return out if rc == 0 else None

    def text(self, hwnd, control=0xFFFF):
        rc, out = self.run("text", hwnd, control)
        return out if rc == 0 else None

    def click(self, hwnd, control):
        assert self.run("click", hwnd, control)[0] == 0

    def gone(self, hwnd, ms=10000):
        return self.run("gone", hwnd, ms)[0] == 0

    def wait_process(self, pid, ms=30000):
        rc, out = self.run("waitpid", pid, ms)
        return int(out) if rc == 0 else None

    def windows(self):
        return self.run("list")[1]


def wait_for_file_text(path, timeout=15.0):
    """The file's text once something was written to it, else ''."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if path.exists() and path.stat().st_size > 0:
            time.sleep(0.2)
            return path.read_text(encoding="utf-8")
        time.sleep(0.1)
    return ""


def copy_into_prefix(env, source, relative):
    target = drive_c(env) / relative
    target.parent.mkdir(parents=True, exist_ok=True)
    shutil.copyfile(source, target)
    return target
