"""The package that a school's IT staff deploy: a silent per-machine install
into a clean prefix registers the link scheme before the program ever ran,
a higher version replaces it in place, and the uninstall removes program,
shortcut and registration but leaves the users' data. The policy IT gave
holds through upgrades and repairs, and one product of either architecture
is on a machine at a time. Signed builds verify."""

import os
import re
import shutil
import subprocess
import time

import pytest

from winehost import ROOT, WIN_BUILD, wine32_available

BUILD_MSI = ROOT / "installer" / "build-msi.sh"
SIGN = ROOT / "installer" / "sign.sh"
UNINSTALL_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall"


def build_version():
    cache = (WIN_BUILD / "CMakeCache.txt").read_text()
    return re.search(r"^CMAKE_PROJECT_VERSION:STATIC=(.*)$", cache, re.M).group(1)


def higher_version(version):
    # Windows Installer compares the first three fields only.
    major, minor, patch, tweak = (int(p) for p in version.split("."))
    return f"{major}.{minor}.{patch + 1}.{tweak}"


class Prefix:
    """A clean Wine prefix of the test's own, as a freshly set-up machine."""

    def __init__(self, path, env):
        self.path = path
        self.env = dict(env, WINEPREFIX=str(path))
        subprocess.run(["wineboot", "-i"], env=self.env, check=True, capture_output=True)
        subprocess.run(["wineserver", "-w"], env=self.env, check=True)

    def wine(self, *args, timeout=120):
        return subprocess.run(["wine", *args], env=self.env, capture_output=True,
                              stdin=subprocess.DEVNULL, timeout=timeout)

    def start(self, url):
        # Not through pipes: the program stays with its main window and would
        # hold them open.
        subprocess.run(["wine", "start", url], env=self.env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)

    def msiexec(self, *args):
        return self.wine("msiexec", *args).returncode

    def reg_query(self, key, *options):
        r = self.wine("reg", "query", key, *options)
        return r.stdout.decode("gbk", "replace") if r.returncode == 0 else None

    def drive_c(self, relative):
        return self.path / "drive_c" / relative

    def windows(self, linux_path):
        return "Z:" + str(linux_path).replace("/", "\\")

    def shortcuts(self):
        return sorted(self.drive_c("").rglob("Velmora资源平台助手.lnk"))

    def stop(self):
        subprocess.run(["wineserver", "-k"], env=self.env, check=False)
        subprocess.run(["wineserver", "-w"], env=self.env, check=False)


def package_and_its_upgrade(build, out, name):
    """The build's package, one of a higher version, and the build's version."""
    if not shutil.which("wixl"):
        pytest.fail("wixl is not installed")
    version = build_version()
    first, second = out / f"{name}.msi", out / f"{name}-next.msi"
    subprocess.run([str(BUILD_MSI), str(build), str(first)], check=True)
    subprocess.run([str(BUILD_MSI), str(build), str(second), higher_version(version)],
                   check=True)
    return first, second, version


@pytest.fixture(scope="module")
def packages(tmp_path_factory):
    return package_and_its_upgrade(WIN_BUILD, tmp_path_factory.mktemp("msi"), "VelmoraURL")


@pytest.fixture(scope="module")
def machine(tmp_path_factory, wine_env):
    prefix = Prefix(tmp_path_factory.mktemp("machine") / "prefix", wine_env)
    yield prefix
    prefix.stop()


def installed_versions(prefix, *view):
    # The products of each architecture are listed in its own registry view,
    # as on Windows; `wine reg` is the 32-bit one where 32-bit Wine is installed.
    text = prefix.reg_query(UNINSTALL_KEY, "/s", *view) or ""
    return re.findall(r"DisplayVersion\s+REG_SZ\s+(\S+)", text)


def wait_for_log_line(path, text, timeout=30):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if path.exists() and text in path.read_bytes().decode("gbk", "replace"):
            return True
        time.sleep(0.2)
    return False


def test_install_upgrade_and_uninstall(packages, machine):
    first, second, version = packages
    program = machine.drive_c("Program Files/Velmora/VelmoraURL.exe")
    log = machine.path / "install.log"

    assert machine.msiexec("/i", machine.windows(first), "/qn", "/l*v",
                           machine.windows(log)) == 0
    assert program.is_file()
    assert log.stat().st_size > 0
    command = machine.reg_query(r"HKCR\VelmoraURL\shell\open\command", "/ve")
    assert '"C:\\Program Files\\Velmora\\VelmoraURL.exe" "%1"' in command
    assert "URL Protocol" in machine.reg_query(r"HKCR\VelmoraURL", "/v", "URL Protocol")
    assert len(machine.shortcuts()) == 1
    assert installed_versions(machine, "/reg:64") == [version]

    # A link works before the program's first start: the scheme is the installer's.
    url = "velmoraurl://installed-check"
    machine.start(url)
    appdata = machine.drive_c("users") / os.environ.get("USER", "root") / "AppData/Roaming"
    assert wait_for_log_line(appdata / "VelmoraURL.log", url)
    machine.stop()
    assert (appdata / "VelmoraWeb").is_dir()

    assert machine.msiexec("/i", machine.windows(second), "/qn") == 0
    assert installed_versions(machine, "/reg:64") == [higher_version(version)]
    assert program.is_file() and len(machine.shortcuts()) == 1

    assert machine.msiexec("/x", machine.windows(second), "/qn") == 0
    assert not program.exists()
    assert machine.shortcuts() == []
    assert machine.reg_query(r"HKCR\VelmoraURL\shell\open\command", "/ve") is None
    assert installed_versions(machine, "/reg:64") == []
    # Every user's data stays.
    assert (appdata / "VelmoraWeb").is_dir()
    assert wait_for_log_line(appdata / "VelmoraURL.log", url, timeout=1)


WIN32_BUILD = ROOT / "build" / "win32"
OBJDUMP = {"x64": "x86_64-w64-mingw32-objdump", "x86": "i686-w64-mingw32-objdump"}


def section_names(objdump, path):
    out = subprocess.run([objdump, "-h", str(path)], capture_output=True, text=True,
                         check=True).stdout
    return set(re.findall(r"^\s*\d+\s+(\S+)", out, re.M))


@pytest.mark.parametrize("arch,build", [("x64", WIN_BUILD), ("x86", WIN32_BUILD)])
def test_shipped_program_is_stripped_with_its_symbols_beside_it(arch, build):
    program, symbols = build / "VelmoraURL.exe", build / "VelmoraURL.exe.debug"
    if not program.exists():
        pytest.skip(f"{program} is not built")
    kept = section_names(OBJDUMP[arch], program)
    assert ".gnu_debuglink" in kept
    assert not {name for name in kept if name.startswith(".debug")}, kept
    assert ".debug_info" in section_names(OBJDUMP[arch], symbols)
    header = program.read_bytes()[:4096]
    machine = int.from_bytes(header[int.from_bytes(header[0x3C:0x40], "little") + 4:][:2], "little")
    assert machine == {"x64": 0x8664, "x86": 0x14C}[arch]


def test_the_32_bit_package_installs_into_the_32_bit_program_files(tmp_path_factory, wine_env):
    if not (WIN32_BUILD / "VelmoraURL.exe").exists():
        pytest.skip("build/win32 is not built")
    package = tmp_path_factory.mktemp("msi32") / "VelmoraURL-x86.msi"
    subprocess.run([str(BUILD_MSI), str(WIN32_BUILD), str(package)], check=True)
    machine = Prefix(tmp_path_factory.mktemp("machine32") / "prefix", wine_env)
    try:
        assert machine.msiexec("/i", machine.windows(package), "/qn", "UPDATECHECK=0") == 0
        program = machine.drive_c("Program Files (x86)/Velmora/VelmoraURL.exe")
        assert program.is_file()
        assert program.read_bytes() == (WIN32_BUILD / "VelmoraURL.exe").read_bytes()
        # Windows shares the scheme's key between both views; Wine keeps a
        # 32-bit package's in the 32-bit one.
        command = (machine.reg_query(r"HKCR\VelmoraURL\shell\open\command", "/ve") or
                   machine.reg_query(r"HKCR\VelmoraURL\shell\open\command", "/ve", "/reg:32"))
        assert '"C:\\Program Files (x86)\\Velmora\\VelmoraURL.exe" "%1"' in command
        # The policy key is shared by 32- and 64-bit programs.
        assert policy_values(machine) == {"UpdateCheck": "0x0"}
        assert machine.msiexec("/x", machine.windows(package), "/qn") == 0
        assert not program.exists()
        assert policy_values(machine) == {}
    finally:
        machine.stop()


@pytest.fixture(scope="module")
def x86_packages(tmp_path_factory):
    if not (WIN32_BUILD / "VelmoraURL.exe").exists():
        pytest.skip("build/win32 is not built")
    if not wine32_available():
        pytest.skip("32-bit Wine (wine32) is not installed")
    return package_and_its_upgrade(WIN32_BUILD, tmp_path_factory.mktemp("msi32-cycle"),
                                   "VelmoraURL-x86")


# The labs' two kinds of PC: 64-bit Windows keeps a 32-bit program apart
# (its shell runs from syswow64), 32-bit Windows has one Program Files.
X86_MACHINES = {
    "64-bit-windows": ("win64", "Program Files (x86)", r"C:\windows\syswow64\start.exe",
                       ("/reg:32",)),
    "32-bit-windows": ("win32", "Program Files", "start", ()),
}


@pytest.mark.x86
@pytest.mark.parametrize("windows", X86_MACHINES)
def test_the_32_bit_program_opens_a_link_and_is_upgraded_in_place(windows, x86_packages,
                                                                   tmp_path_factory, wine_env):
    first, second, version = x86_packages
    arch, program_files, start, view = X86_MACHINES[windows]
    machine = Prefix(tmp_path_factory.mktemp(f"machine-{windows}") / "prefix",
                     dict(wine_env, WINEARCH=arch))
    try:
        assert machine.msiexec("/i", machine.windows(first), "/qn", "UPDATECHECK=0") == 0
        program = machine.drive_c(f"{program_files}/Velmora/VelmoraURL.exe")
        assert program.read_bytes() == (WIN32_BUILD / "VelmoraURL.exe").read_bytes()
        # The 32-bit shell finds the scheme where the 32-bit package put it,
        # and the link starts the 32-bit program before it ever ran.
        url = "velmoraurl://installed-check-x86"
        subprocess.run(["wine", start, url], env=machine.env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)
        appdata = machine.drive_c("users") / os.environ.get("USER", "root") / "AppData/Roaming"
        assert wait_for_log_line(appdata / "VelmoraURL.log", url)
        machine.stop()

        assert machine.msiexec("/i", machine.windows(second), "/qn") == 0
        assert installed_versions(machine, *view) == [higher_version(version)]
        assert program.is_file() and len(machine.shortcuts()) == 1

        assert machine.msiexec("/x", machine.windows(second), "/qn") == 0
        assert not program.exists()
        assert machine.shortcuts() == []
        assert installed_versions(machine, *view) == []
        assert (appdata / "VelmoraWeb").is_dir()
    finally:
        machine.stop()


def test_program_and_package_carry_a_verifiable_signature(packages, tmp_path):
    cert, key = tmp_path / "cert.pem", tmp_path / "key.pem"
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1",
                    "-subj", "/CN=Velmora test signing", "-keyout", str(key), "-out", str(cert)],
                   check=True, capture_output=True)
    program = tmp_path / "VelmoraURL.exe"
    shutil.copyfile(WIN_BUILD / "VelmoraURL.exe", program)
    package = tmp_path / "VelmoraURL.msi"
    subprocess.run([str(SIGN), str(program), str(cert), str(key)], check=True)
    subprocess.run([str(BUILD_MSI), str(WIN_BUILD), str(package)], check=True,
                   env=dict(os.environ, VELMORA_SIGN_CERT=str(cert), VELMORA_SIGN_KEY=str(key)))
    for signed in (program, package):
        r = subprocess.run(["osslsigncode", "verify", "-CAfile", str(cert), "-in", str(signed)],
                           capture_output=True, text=True)
        assert r.returncode == 0 and "Succeeded" in r.stdout, r.stdout + r.stderr
    unsigned = subprocess.run(["osslsigncode", "verify", "-CAfile", str(cert), "-in",
                               str(WIN_BUILD / "VelmoraURL.exe")], capture_output=True)
    assert unsigned.returncode != 0


POLICY_KEY = r"HKLM\Software\Policies\Velmora\Assistant"
INSTALL_KEY = r"HKLM\Software\Velmora\Assistant\Install"  # what the package was given


def policy_values(prefix):
    text = prefix.reg_query(POLICY_KEY) or ""
    return dict((m.group(1), m.group(3)) for m in
                re.finditer(r"^\s*(\w+)\s+(REG_SZ|REG_DWORD)\s+(.*?)\s*$", text, re.M))


def test_package_properties_become_the_machine_policy(packages, tmp_path_factory, wine_env):
    first = packages[0]
    machine = Prefix(tmp_path_factory.mktemp("policy") / "prefix", wine_env)
    try:
        # Without properties nothing is set: the design's behaviour.
        assert machine.msiexec("/i", machine.windows(first), "/qn") == 0
        assert policy_values(machine) == {}
        assert machine.msiexec("/x", machine.windows(first), "/qn") == 0

        assert machine.msiexec("/i", machine.windows(first), "/qn", "SERVER=bad host name",
                               "CDNSERVER=10.1.0.8:8000", "UPDATECHECK=0",
                               r"RESOURCEDIR=D:\Velmora") == 0
        assert policy_values(machine) == {"Server": "bad host name",
                                          "CdnServer": "10.1.0.8:8000",
                                          "UpdateCheck": "0x0",
                                          "ResourceDir": r"D:\Velmora"}
        # The program reads them: a value it cannot use is logged and left out.
        url = "velmoraurl://policy-check"
        machine.start(url)
        appdata = machine.drive_c("users") / os.environ.get("USER", "root") / "AppData/Roaming"
        assert wait_for_log_line(appdata / "VelmoraURL.log", url)
        assert wait_for_log_line(appdata / "VelmoraURL.log",
                                 "Server (not host, host:port or https://host[:port])")
        machine.stop()

        # The removal reads back what the install was given: the values go
        # with the product (Wine's installer skips a component whose
        # condition is false at removal).
        assert machine.msiexec("/x", machine.windows(first), "/qn") == 0
        assert not machine.drive_c("Program Files/Velmora/VelmoraURL.exe").exists()
        assert policy_values(machine) == {}
        assert machine.reg_query(INSTALL_KEY, "/reg:64") is None
    finally:
        machine.stop()


def repair(prefix, package):
    # What "msiexec /fa" asks for; Wine's msiexec takes /f only with a
    # product code, and then not at all.
    return prefix.msiexec("/i", prefix.windows(package), "/qn", "REINSTALL=ALL",
                          "REINSTALLMODE=amus")


GIVEN = ("SERVER=platform.school.cn:9112", "UPDATECHECK=0", r"RESOURCEDIR=D:\Velmora",
         "REQUIRESIGNEDTOOLS=0")
HELD = {"Server": "platform.school.cn:9112", "UpdateCheck": "0x0", "ResourceDir": r"D:\Velmora",
        "RequireSignedTools": "0x0"}


# What IT gave the first install holds through an upgrade given nothing, or
# given one value anew (which wins), and through a repair; the removal of the
# product takes the values and what the package remembered of them.
@pytest.mark.parametrize("given_to_upgrade,policy", [
    ((), HELD),
    (("UPDATECHECK=1", "CDNANNOUNCEMENTS=0"), dict(HELD, UpdateCheck="0x1", CdnAnnouncements="0x0")),
], ids=["nothing", "a-value-anew"])
def test_policy_holds_through_upgrade_and_repair_and_goes_with_the_product(
        packages, tmp_path_factory, wine_env, given_to_upgrade, policy):
    first, second, version = packages
    machine = Prefix(tmp_path_factory.mktemp("policy-upgrade") / "prefix", wine_env)
    try:
        assert machine.msiexec("/i", machine.windows(first), "/qn", *GIVEN) == 0
        assert policy_values(machine) == HELD

        assert machine.msiexec("/i", machine.windows(second), "/qn", *given_to_upgrade) == 0
        assert installed_versions(machine, "/reg:64") == [higher_version(version)]
        assert policy_values(machine) == policy

        assert repair(machine, second) == 0
        assert policy_values(machine) == policy

        assert machine.msiexec("/x", machine.windows(second), "/qn") == 0
        assert policy_values(machine) == {}
        assert machine.reg_query(INSTALL_KEY, "/reg:64") is None
    finally:
        machine.stop()


def table(package, name):
    text = subprocess.run(["msiinfo", "export", str(package), name], capture_output=True,
                          check=True).stdout.decode("gbk", "replace")
    return [line.rstrip("\r").split("\t") for line in text.splitlines()[3:]]


@pytest.fixture(scope="module")
def both_packages(packages, tmp_path_factory):
    if not (WIN32_BUILD / "VelmoraURL.exe").exists():
        pytest.skip("build/win32 is not built")
    x86 = tmp_path_factory.mktemp("msi-x86") / "VelmoraURL-x86.msi"
    subprocess.run([str(BUILD_MSI), str(WIN32_BUILD), str(x86)], check=True)
    return {"x64": packages[0], "x86": x86}


def test_packages_are_chinese_keep_their_properties_when_managed_and_share_no_component(
        both_packages):
    components = {}
    for arch, package in both_packages.items():
        summary = subprocess.run(["msiinfo", "suminfo", str(package)], capture_output=True,
                                 check=True).stdout.decode("gbk", "replace")
        assert f"Template: {'Intel' if arch == 'x86' else 'x64'};2052" in summary
        properties = dict(row[:2] for row in table(package, "Property"))
        assert properties["ProductLanguage"] == "2052"
        secure = set(properties["SecureCustomProperties"].split(";"))
        assert {"SERVER", "CDNSERVER", "CDNANNOUNCEMENTS", "UPDATECHECK", "RESOURCEDIR",
                "REQUIRESIGNEDTOOLS"} <= secure
        components[arch] = {row[1] for row in table(package, "Component")}
    assert components["x64"].isdisjoint(components["x86"])


# One product at a time: either architecture's package replaces the other
# (the same version included), takes over its policy, and its removal leaves
# neither program nor registration behind.
@pytest.mark.parametrize("first,then", [("x64", "x86"), ("x86", "x64")])
def test_either_architecture_replaces_the_other(both_packages, first, then, tmp_path_factory,
                                                wine_env):
    version = build_version()
    views = {"x64": "/reg:64", "x86": "/reg:32"}
    programs = {"x64": "Program Files", "x86": "Program Files (x86)"}
    machine = Prefix(tmp_path_factory.mktemp(f"replace-{first}") / "prefix", wine_env)
    try:
        assert machine.msiexec("/i", machine.windows(both_packages[first]), "/qn", *GIVEN) == 0
        assert machine.msiexec("/i", machine.windows(both_packages[then]), "/qn") == 0
        assert installed_versions(machine, views[then]) == [version]
        assert installed_versions(machine, views[first]) == []
        assert not machine.drive_c(f"{programs[first]}/Velmora").exists()
        assert machine.drive_c(f"{programs[then]}/Velmora/VelmoraURL.exe").is_file()
        assert policy_values(machine) == HELD

        assert machine.msiexec("/x", machine.windows(both_packages[then]), "/qn") == 0
        for arch in ("x64", "x86"):
            assert installed_versions(machine, views[arch]) == []
            assert not machine.drive_c(f"{programs[arch]}/Velmora").exists()
            assert machine.reg_query(r"HKCR\VelmoraURL", views[arch]) is None
            assert machine.reg_query(INSTALL_KEY, views[arch]) is None
        assert policy_values(machine) == {}
    finally:
        machine.stop()
