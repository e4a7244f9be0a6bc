"""A resource link of a server named with https:// carried out by the real
program under Wine (Schannel) against the reference platform in its HTTPS
mode: refused while its certificate's authority is not trusted (the user is
told, nothing is requested), then logged in, downloaded and opened over TLS
once the authority is in the prefix's machine Root store."""
import os
import subprocess

import pytest

from refclient import RefPlatform
from test_resource_links import QUESTION, USER_DIR, Assistant, helper, resource, roaming  # noqa: F401
from winehost import TESTBED, drive_c

pytestmark = [pytest.mark.skipif(os.environ.get("VELMORA_ISOLATED") != "1",
                                 reason="fixed ports and built-in hosts: run under scripts/isolated.sh"),
              pytest.mark.usefixtures("later_processes")]

WORK = "velmora-e2e"
SERVER = "https://localhost:9112"


@pytest.fixture(scope="module")
def ref(tmp_path_factory):
    """The reference platform on its fixed ports, its interface, download and
    tool servers over HTTPS."""
    state = tmp_path_factory.mktemp("refplatform-tls")
    options = ["--api-port", "9112", "--download-port", "8112", "--tool-port", "7112",
               "--cdn-port", "8080", "--bin-dir", str(TESTBED),
               "--tls-dir", str(state / "certificates")]
    with RefPlatform.start(str(state), *options) as platform:
        yield platform


def trustca(env, verb, ca):
    subprocess.run(["wine", str(TESTBED / "trustca.exe"), verb, ca], env=env, check=True,
                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                   timeout=60)


@pytest.fixture
def assistant(wine_env, ref, roaming, vtest_opener, request):  # noqa: F811
    ref.reset()
    assert helper(wine_env, "account", "https://localhost", 9112, "13800000001", "123456", 0) == 0
    log = drive_c(wine_env) / WORK / f"{request.node.name[:60]}.log"
    log.unlink(missing_ok=True)
    env = dict(wine_env, VELMORA_RECORDER_LOG=f"C:\\{WORK}\\{log.name}")
    yield Assistant(env, ref, roaming, log)


def test_an_untrusted_certificate_is_told_and_nothing_is_sent(assistant, ref):
    pid = assistant.follow(resource(ref, "e2e-tls-refused", 300000), server=SERVER)
    text = assistant.answer(1)  # IDOK, the notice's only button
    assert "服务器 localhost 的证书无效（证书不是由受信任的机构颁发的），已停止连接。" in text
    assert assistant.ended(pid)
    assert ref.requests("api") == [] and ref.requests("download") == []
    assert assistant.opened(timeout=2) == []


def test_a_trusted_server_logs_in_downloads_and_opens_over_tls(assistant, ref, wine_env):
    trustca(wine_env, "add", ref.ready["tls_ca"])
    try:
        link = resource(ref, "e2e-tls", 300000)
        assert assistant.ended(assistant.follow(link, server=SERVER))
        opened = assistant.opened()
        assert len(opened) == 1 and opened[0].endswith(f'{USER_DIR}\\FILE\\e2e-tls.vtest"')
        # The same request bytes as over HTTP, the host as the entry names it.
        download = [r for r in ref.requests("download") if r.target.endswith("fid=e2e-tls")]
        assert len(download) == 1
        assert b"\r\nHost: localhost:8112\r\n" in download[0].raw
        assert any(r.target.startswith("/user/loginPhone.yks") for r in ref.requests("api"))
    finally:
        trustca(wine_env, "remove", ref.ready["tls_ca"])
