"""The manifest inside the built programs: how each Windows release that a
school may run reads the program's DPI awareness from it.

A release takes the first value of the dpiAwareness list that it knows and,
once it reads dpiAwareness at all, ignores dpiAware. Windows 10 1607 reads
dpiAwareness but knows only unaware, system and permonitor; permonitorv2
came with 1703. Windows 7 and 8.1 read dpiAware only."""
import re
import xml.etree.ElementTree as ET

import pytest

from winehost import ROOT

SETTINGS_2005 = "{http://schemas.microsoft.com/SMI/2005/WindowsSettings}"
SETTINGS_2016 = "{http://schemas.microsoft.com/SMI/2016/WindowsSettings}"
KNOWN = {
    "1607": {"unaware", "system", "permonitor"},
    "1703": {"unaware", "system", "permonitor", "permonitorv2"},
}


def embedded_manifest(program):
    """The manifest resource: the XML as the build put it into the program."""
    found = re.search(rb"<assembly\b.*?</assembly>", program.read_bytes(), re.S)
    assert found, f"{program} holds no manifest"
    return ET.fromstring(found.group(0))


def awareness(manifest, release):
    """What the release makes of the list: the first value it knows, or None
    (the process is then DPI unaware)."""
    element = manifest.find(f".//{SETTINGS_2016}dpiAwareness")
    values = [value.strip().lower() for value in element.text.split(",")] if element is not None else []
    return next((value for value in values if value in KNOWN[release]), None)


@pytest.mark.parametrize("build", ["win", "win32"])
def test_every_windows_release_runs_the_program_dpi_aware(build):
    program = ROOT / "build" / build / "VelmoraURL.exe"
    if not program.exists():
        pytest.skip(f"no {build} build")
    manifest = embedded_manifest(program)
    assert {release: awareness(manifest, release) for release in KNOWN} == \
        {"1607": "system", "1703": "permonitorv2"}
    legacy = manifest.find(f".//{SETTINGS_2005}dpiAware")
    assert legacy is not None and legacy.text.strip().lower() == "true"  # Windows 7 and 8.1
