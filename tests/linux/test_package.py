"""The package as built and as installed: what it holds, what it needs, the
link handler registered for every user, and what an upgrade and a removal
leave behind."""
import configparser
import subprocess
from pathlib import Path

from desktop import DesktopUser, apt_install, apt_purge, installed_version

MIMEAPPS = Path("/usr/share/applications/mimeapps.list")
HANDLER = "x-scheme-handler/velmoraurl=velmora-assistant-url.desktop"


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
    # What an admin must know before the first 32-bit experiment or a full home.
    description = deb_field(deb, "Description")
    assert "dpkg --add-architecture i386" in description and "wine32:i386" in description
    assert "1.3 GB" in description and "PrefixDir" in description


def blended_pixels(png):
    """Pixels that are neither of the icon's two colours."""
    rgb = subprocess.run(["convert", str(png), "-depth", "8", "rgb:-"], capture_output=True,
                         check=True).stdout
    pure = {bytes((255, 255, 255)), bytes((0x1E, 0x6F, 0xD9))}
    return sum(1 for i in range(0, len(rgb), 3) if rgb[i:i + 3] not in pure)


def test_icons_are_drawn_at_their_size(deb, tmp_path):
    subprocess.run(["dpkg-deb", "-x", str(deb), str(tmp_path)], check=True)
    for size in (16, 32, 48, 64, 128):
        png = tmp_path / f"usr/share/icons/hicolor/{size}x{size}/apps/velmora-assistant.png"
        geometry = subprocess.run(["identify", "-format", "%wx%h", str(png)], capture_output=True,
                                  text=True, check=True).stdout
        assert geometry == f"{size}x{size}"
        if size > 32:
            # Drawn at its size only the outline blends; an enlarged 32 px
            # icon blurs a band several pixels wide around it.
            assert blended_pixels(png) < 2.5 * size, size


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
        assert not MIMEAPPS.exists() or HANDLER not in MIMEAPPS.read_text(encoding="utf-8")
    finally:
        apt_install(installed)
        user.remove()


def handlers():
    return MIMEAPPS.read_text(encoding="utf-8") if MIMEAPPS.exists() else None


def test_link_handler_is_set_on_installation_and_an_admins_choice_kept(installed):
    saved = handlers()
    try:
        apt_purge()
        MIMEAPPS.unlink(missing_ok=True)
        apt_install(installed)
        assert handlers() == f"[Default Applications]\n{HANDLER}\n"
        # The admin takes the handler away: an upgrade keeps it away.
        MIMEAPPS.write_text("[Default Applications]\n", encoding="utf-8")
        apt_install(installed)
        assert handlers() == "[Default Applications]\n"
        # Removal takes away the list it made, and the handler comes back
        # with the next installation.
        MIMEAPPS.write_text(f"[Default Applications]\n{HANDLER}\n\n", encoding="utf-8")
        apt_purge()
        assert handlers() is None
        apt_install(installed)
        assert HANDLER in handlers()
        # Another program's handler stays, with its list.
        MIMEAPPS.write_text(f"[Default Applications]\ntext/plain=editor.desktop\n{HANDLER}\n",
                            encoding="utf-8")
        subprocess.run(["apt-get", "remove", "-y", "-q", "velmora-assistant"],
                       stdout=subprocess.DEVNULL, check=True)
        assert handlers() == "[Default Applications]\ntext/plain=editor.desktop\n"
        apt_install(installed)
        assert handlers() == f"[Default Applications]\n{HANDLER}\ntext/plain=editor.desktop\n"
    finally:
        apt_install(installed)
        if saved is None:
            MIMEAPPS.unlink(missing_ok=True)
        else:
            MIMEAPPS.write_text(saved, encoding="utf-8")
