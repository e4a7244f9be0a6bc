"""velmoraurl:// links of the file and exe forms, carried out by the real
program under Wine: what it asks, and what it starts or opens."""
import subprocess
import urllib.parse

import pytest

from winehost import APP_EXE, Driver, drive_c, wait_for_file_text, windows_path

WORK = "velmora-e2e"  # below C:\
QUESTION = ("#32770", "提示")
IDYES, IDNO = 6, 7


@pytest.fixture
def run(wine_env, vtest_opener, later_processes, request):
    """Starts the program with one URL; returns (driver, pid, recorder log path)."""
    log = drive_c(wine_env) / WORK / f"{request.node.name}.log"
    log.unlink(missing_ok=True)
    env = dict(wine_env, VELMORA_RECORDER_LOG=f"C:\\{WORK}\\{log.name}")
    driver = Driver(env)

    def start(url):
        pid = driver.launch(f'"{windows_path(APP_EXE)}" "{url}"')
        return driver, pid, log
    return start


def answer_question(driver, answer):
    box = driver.wait_window(*QUESTION)
    assert box, "no question was shown"
    text = driver.text(box)
    driver.click(box, answer)
    assert driver.gone(box)
    return text


def test_exe_form_asks_and_starts_the_exact_command_line_on_yes(run):
    driver, pid, log = run(f"velmoraurl://exe:'C:\\{WORK}\\recorder.exe' '-a b'")
    question = answer_question(driver, IDYES)
    assert f"C:/{WORK}/recorder.exe" in question and "-a b" in question
    assert wait_for_file_text(log).splitlines() == [f'"C:/{WORK}/recorder.exe" "-a b"']
    assert driver.wait_process(pid) is not None


def test_exe_form_starts_nothing_on_no(run):
    driver, pid, log = run(f"velmoraurl://exe:'C:\\{WORK}\\recorder.exe' '/c del x'")
    answer_question(driver, IDNO)
    assert driver.wait_process(pid) is not None
    assert wait_for_file_text(log, timeout=3) == ""


def test_file_form_opens_a_document_at_once(run, wine_env):
    document = drive_c(wine_env) / WORK / "课件 1.vtest"
    document.write_text("lesson")
    name = urllib.parse.quote(document.name.encode("utf-8"))
    driver, pid, log = run(f"velmoraurl://file:C:/{WORK}/{name}")
    recorded = wait_for_file_text(log).strip().replace("/", "\\")
    assert recorded == f'"C:\\{WORK}\\recorder.exe" "C:\\{WORK}\\课件 1.vtest"'
    assert driver.wait_process(pid) is not None
    assert driver.wait_window(*QUESTION, ms=500) is None


@pytest.mark.parametrize("answer, opened", [(IDNO, False), (IDYES, True)])
def test_file_form_asks_before_running_a_program(run, answer, opened):
    driver, pid, log = run(f"velmoraurl://file:C:/{WORK}/recorder.exe")
    question = answer_question(driver, answer)
    assert f"C:/{WORK}/recorder.exe" in question
    assert driver.wait_process(pid) is not None
    assert bool(wait_for_file_text(log, timeout=10 if opened else 3)) == opened


def test_file_form_asks_before_opening_a_path_on_another_machine(run):
    driver, pid, log = run("velmoraurl://file:\\\\otherhost\\share\\lesson.vtest")
    question = answer_question(driver, IDNO)
    assert "//otherhost/share/lesson.vtest" in question
    assert driver.wait_process(pid) is not None


@pytest.mark.parametrize("url", ["velmoraurl://other:x", "velmoraurl://file", "http://example/x"])
def test_a_url_of_no_kind_does_nothing(run, url):
    driver, pid, log = run(url)
    assert driver.wait_process(pid) is not None
    assert driver.wait_window(*QUESTION, ms=300) is None
    assert wait_for_file_text(log, timeout=1) == ""


def test_a_link_reaches_the_program_through_the_registered_scheme(run, wine_env):
    # Any earlier start registered the scheme; start one to be sure of it.
    driver, pid, _ = run("velmoraurl://other:register-first")
    assert driver.wait_process(pid) is not None
    log = drive_c(wine_env) / WORK / "scheme.log"
    log.unlink(missing_ok=True)
    env = dict(wine_env, VELMORA_RECORDER_LOG=f"C:\\{WORK}\\scheme.log")
    subprocess.Popen(["wine", "start", f"velmoraurl://exe:'C:\\{WORK}\\recorder.exe' 'via scheme'"],
                     env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    answer_question(Driver(env), IDYES)
    assert wait_for_file_text(log).splitlines() == [f'"C:/{WORK}/recorder.exe" "via scheme"']
