"""The Linux side of the desktop tests: the package built from the Windows
build and installed on this machine, an ordinary user of a desktop, and the
UI driver run in that user's prefix of the assistant."""
import os
import pwd
import shutil
import subprocess
import tempfile
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
WIN_BUILD = ROOT / "build" / "win"
TESTBED = WIN_BUILD / "testbed"
PACKAGE_DIR = ROOT / "installer" / "linux"

# The reference platform's account and the login dialog's controls.
SERVER = "127.0.0.1:9112"
ACCOUNT, PASSWORD = "13800000001", "123456"
LOGIN_USER, LOGIN_PASSWORD, LOGIN_SERVER, IDOK, IDYES = 1000, 1001, 1010, 1, 6
DIALOG = "#32770"


def build_package(out_dir):
    """The path of the package built from this tree's Windows build."""
    r = subprocess.run([str(PACKAGE_DIR / "build-deb.sh"), str(WIN_BUILD), str(out_dir)],
                       capture_output=True, text=True, check=True)
    return Path(r.stdout.strip())


def installed_version():
    r = subprocess.run(["dpkg-query", "-W", "-f=${Status} ${Version}", "velmora-assistant"],
                       capture_output=True, text=True)
    return r.stdout.split()[-1] if r.stdout.startswith("install ok installed") else None


def apt_install(deb):
    # Reinstalled even at the same version, so that its scripts run again.
    subprocess.run(["apt-get", "install", "-y", "-q", "--reinstall", "--allow-downgrades",
                    str(deb)],
                   env=dict(os.environ, DEBIAN_FRONTEND="noninteractive"),
                   stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, check=True)


def make_dirs(path):
    """Makes the directory and its missing parents; returns those it made,
    deepest first, for remove_dirs."""
    made = []
    while not path.exists():
        made.append(path)
        path = path.parent
    for directory in reversed(made):
        directory.mkdir()
    return made


def remove_dirs(made):
    for directory in made:
        if directory.exists() and not any(directory.iterdir()):
            directory.rmdir()


def apt_purge():
    subprocess.run(["apt-get", "purge", "-y", "-q", "velmora-assistant"],
                   env=dict(os.environ, DEBIAN_FRONTEND="noninteractive"),
                   stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, check=True)


class DesktopUser:
    """A user made for the test, with a home of its own; commands run as that
    user on the test's display, as a desktop session would start them."""

    def __init__(self, name, display):
        self.name, self.display = name, display
        subprocess.run(["useradd", "-m", "-s", "/bin/bash", name], check=True)
        self.home = Path(pwd.getpwnam(name).pw_dir)
        self.prefix = self.home / ".local/share/velmora/prefix"

    def env(self, **extra):
        env = {"HOME": str(self.home), "USER": self.name, "LOGNAME": self.name,
               "PATH": "/usr/local/bin:/usr/bin:/bin", "DISPLAY": self.display, "LANG": "C.UTF-8"}
        env.update(extra)
        return env

    def wine_env(self):
        return self.env(WINEPREFIX=str(self.prefix), LC_ALL="zh_CN.UTF-8", WINEDEBUG="-all",
                        WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree,mshtml=")

    def command(self, args, env):
        return ["runuser", "-u", self.name, "--", "env", "-i",
                *[f"{k}={v}" for k, v in env.items()], *map(str, args)]

    def run(self, *args, timeout=120, env=None):
        # Output through a file: programs started from here may hold a pipe open.
        with tempfile.TemporaryFile() as out:
            r = subprocess.run(self.command(args, env or self.env()), stdout=out,
                               stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL, timeout=timeout)
            out.seek(0)
            return r.returncode, out.read().decode("utf-8", "replace").strip()

    def start(self, *args, env=None):
        return subprocess.Popen(self.command(args, env or self.env()), stdin=subprocess.DEVNULL,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def write(self, relative, text, mode=0o644):
        path = self.home / relative
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_text(text, encoding="utf-8")
        path.chmod(mode)
        subprocess.run(["chown", "-R", self.name, str(self.home)], check=True)
        return path

    def remove(self):
        self.run("wineserver", "-k", env=self.wine_env(), timeout=30)
        subprocess.run(["pkill", "-KILL", "-u", self.name], check=False)
        time.sleep(0.5)
        subprocess.run(["userdel", "-r", self.name], stderr=subprocess.DEVNULL, check=False)


class Driver:
    """testbed/win/uidriver.exe in the user's prefix of the assistant."""

    def __init__(self, user, tools_dir):
        self.user = user
        for name in ("uidriver.exe", "mainwndprobe.exe"):
            shutil.copyfile(TESTBED / name, tools_dir / name)
            shutil.chown(tools_dir / name, user.name)
        self.exe = tools_dir / "uidriver.exe"
        self.probe_exe = tools_dir / "mainwndprobe.exe"

    def run(self, *args, timeout=60):
        return self.user.run("wine", self.exe, *args, env=self.user.wine_env(), timeout=timeout)

    def probe(self, *args):
        return self.user.run("wine", self.probe_exe, *args, env=self.user.wine_env())

    def wait_window(self, cls, caption, ms=30000):
        rc, out = self.run("wait", cls, caption, ms)
        return out if rc == 0 else None

    def windows(self):
        return self.run("list")[1]


def wait_for(predicate, timeout=60.0, step=0.3):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        value = predicate()
        if value:
            return value
        time.sleep(step)
    return None


def link(query):
    return f"velmoraurl://res:{query}&server={SERVER}"


def prefix_ready(user):
    """The driver joins the prefix only once the launcher has made it."""
    assert wait_for(lambda: (user.prefix / ".velmora-version").exists(), timeout=120), \
        "the launcher did not make the prefix"


def log_in(driver, ms=90000):
    dialog = driver.wait_window(DIALOG, "登录Velmora平台", ms)
    assert dialog, "no login dialog: " + driver.windows()
    driver.run("settext", dialog, LOGIN_SERVER, SERVER)
    driver.run("settext", dialog, LOGIN_USER, ACCOUNT)
    driver.run("settext", dialog, LOGIN_PASSWORD, PASSWORD)
    driver.run("click", dialog, IDOK)
    assert driver.run("gone", dialog, 20000)[0] == 0, "the login dialog stayed open: " + driver.windows()
