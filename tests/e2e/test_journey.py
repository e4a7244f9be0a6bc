"""The main job's journey, run as a user runs it: `./velmora.sh journey`
carries a student through the real program under Wine. It must pass, show
each step that ran in a screenshot and end with the captioned overview."""
import os
import subprocess

import pytest

from winehost import ROOT, wine32_available, wine_environment

OUT = ROOT / "build" / "demo"


def walk(**settings):
    env = wine_environment()
    env.pop("DISPLAY", None)  # the journey brings its own screen
    env.update(settings)
    try:
        result = subprocess.run([str(ROOT / "velmora.sh"), "demo"], env=env, cwd=ROOT,
                                stdin=subprocess.DEVNULL, capture_output=True, timeout=1800)
    finally:
        # The journey ends the prefix's wineserver; the tests after it want one.
        subprocess.run(["wineserver", "-p"], env=wine_environment(), check=False)
    return result.returncode, result.stdout.decode("utf-8", "replace")


@pytest.fixture(scope="module")
def journey():
    return walk()


def steps(out=OUT):
    rows = (out / "steps.tsv").read_text(encoding="utf-8").splitlines()
    return [row.split("\t") for row in rows]


def test_every_step_ran_and_passed(journey):
    status, output = journey
    assert status == 0, output[-4000:]
    outcomes = steps()
    assert len(outcomes) == 12, outcomes
    # Every piece of the journey is in the build: a step that skips has lost
    # the window or command it drives.
    assert [outcome for outcome, _, _ in outcomes] == ["ok"] * 12, output[-4000:]


def test_each_screenshot_is_a_whole_screen_and_the_overview_names_them(journey):
    captions = [line.split("\t") for line in
                (OUT / "captions.tsv").read_text(encoding="utf-8").splitlines()]
    assert captions and captions[0][0] == "01-login"
    for name, caption in captions:
        shot = OUT / f"{name}.png"
        assert shot.exists() and caption, name
        size = subprocess.run(["identify", "-format", "%wx%h", str(shot)], capture_output=True,
                              check=True).stdout.decode()
        assert size == "1280x800", (name, size)
    overview = OUT / "journey.png"
    assert overview.exists() and os.path.getmtime(overview) >= os.path.getmtime(
        OUT / f"{captions[-1][0]}.png")


@pytest.mark.x86
def test_the_32_bit_program_walks_the_same_day():
    if not (ROOT / "build" / "win32" / "VelmoraURL.exe").exists():
        pytest.skip("build/win32 is not built")
    if not wine32_available():
        pytest.skip("32-bit Wine (wine32) is not installed")
    status, output = walk(VELMORA_ARCH="x86")
    assert status == 0, output[-4000:]
    outcomes = [outcome for outcome, _, _ in steps(ROOT / "build" / "demo-x86")]
    # The Linux desktop's package carries the x64 program.
    assert outcomes == ["ok"] * 11 + ["skipped"], output[-4000:]
