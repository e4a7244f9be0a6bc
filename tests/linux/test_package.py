"""The package as built and as installed: what it holds, what it needs, the
link handler registered for every user, and what an upgrade and a removal
leave behind."""
import configparser
import subprocess

import pytest

from desktop import DesktopUser, apt_install, installed_version


def deb_field(deb, field):
    return subprocess.run(["dpkg-deb", "-f", str(deb), field], capture_output=True, text=True,
                          check=True).stdout.strip()


def deb_files(deb):
    listing = subprocess.run(["dpkg-deb", "-c", str(deb)], capture_output=True, text=True,
                             check=True).stdout
    return {line.split()[-1].lstrip(".") for line in listing.splitlines()}


def test_package_needs_64_bit_wine_and_a_chinese_font(deb):
    assert deb.name.startswith("velmora-assistant_") and deb.name.endswith("_amd64.deb")
    depends = {d.strip().split()[0] for d in deb_field(deb, "Depends").split(",")}
    assert {"wine", "wine64", "fonts-wqy-microhei"} <= depends
    assert "wine32" not in depends


def test_package_holds_the_program_launcher_and_desktop_entries(deb, tmp_path):
    files = deb_files(deb)
    assert {"/opt/velmora/VelmoraURL.exe", "/usr/bin/velmora-assistant",
            "/usr/share/applications/velmora-assistant.desktop",
            "/usr/share/applications/velmora-assistant-url.desktop",
            "/usr/share/icons/hicolor/48x48/apps/velmora-assistant.png",
            "/etc/velmora/policy.conf", "/etc/xdg/autostart/velmora-assistant.desktop"} <= files
    subprocess.run(["dpkg-deb", "-x", str(deb), str(tmp_path)], check=True)
    sections = subprocess.run(["x86_64-w64-mingw32-objdump", "-h",
                               str(tmp_path / "opt/velmora/VelmoraURL.exe")],
                              capture_output=True, text=True, check=True).stdout
    assert ".debug_info" not in sections
    entries = {}
    for name in ("velmora-assistant", "velmora-assistant-url"):
        parser = configparser.ConfigParser(interpolation=None)
        parser.optionxform = str
        parser.read(tmp_path / f"usr/share/applications/{name}.desktop", encoding="utf-8")
        entries[name] = parser["Desktop Entry"]
    assert entries["velmora-assistant-url"]["MimeType"] == "x-scheme-handler/velmoraurl;"
    assert entries["velmora-assistant-url"]["Exec"] == "velmora-assistant %u"
    assert entries["velmora-assistant"]["Exec"] == "velmora-assistant"
    # IT's edits of these survive an upgrade.
    conffiles = subprocess.run(["dpkg-deb", "-I", str(deb), "conffiles"], capture_output=True,
                               text=True, check=True).stdout.split()
    assert set(conffiles) == {"/etc/velmora/policy.conf",
                              "/etc/xdg/autostart/velmora-assistant.desktop"}


def test_installed_package_handles_the_links_of_every_user(installed, display):
    user = DesktopUser("velmora-pkg", display)
    try:
        rc, handler = user.run("xdg-mime", "query", "default", "x-scheme-handler/velmoraurl")
        assert (rc, handler) == (0, "velmora-assistant-url.desktop")
    finally:
        user.remove()
    locales = subprocess.run(["locale", "-a"], capture_output=True, text=True).stdout.split()
    assert "zh_CN.utf8" in locales


def test_upgrade_and_removal_keep_each_users_prefix(installed, display):
    user = DesktopUser("velmora-upg", display)
    try:
        data = user.write(".local/share/velmora/prefix/drive_c/users/keep.txt", "a user's file")
        apt_install(installed)  # the same package again, as an upgrade runs its scripts
        assert data.read_text(encoding="utf-8") == "a user's file"
        subprocess.run(["apt-get", "remove", "-y", "-q", "velmora-assistant"],
                       stdout=subprocess.DEVNULL, check=True)
        assert installed_version() is None
        assert data.read_text(encoding="utf-8") == "a user's file"
        mimeapps = "/usr/share/applications/mimeapps.list"
        with open(mimeapps, encoding="utf-8") as f:
            assert "velmoraurl" not in f.read()
    finally:
        apt_install(installed)
        user.remove()
