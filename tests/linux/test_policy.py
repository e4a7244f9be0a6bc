"""policy.conf as the launcher turns it into the registry file that replaces
each prefix's policy key: what IT writes there, and what must never get in."""
import subprocess

import pytest

from desktop import PACKAGE_DIR

KEY = r"HKEY_LOCAL_MACHINE\Software\Policies\Velmora\Assistant"


def run_prefix_function(function, text, *args):
    r = subprocess.run(["bash", "-c", f'source "$0"; {function} "$@"', PACKAGE_DIR / "prefix.sh",
                        *args], input=text.encode(), capture_output=True, check=True)
    return r.stdout.decode(), r.stderr.decode()


def policy_values(conf):
    reg, warnings = run_prefix_function("velmora_policy_reg", conf)
    lines = reg.split("\r\n")
    # The key is taken away first, so that a setting removed from the file
    # is removed from the prefix too.
    assert lines.index(f"[-{KEY}]") < lines.index(f"[{KEY}]")
    values = dict(line.split("=", 1) for line in lines if line.startswith('"'))
    return values, warnings


OFF = "dword:00000000"
CASES = [
    ("nothing set", "", {'"UpdateCheck"': OFF}, 0),
    ("every setting", "Server = edu.example.cn\nCdnServer = 10.1.2.3:8000\n"
     "CdnAnnouncements = 0\nResourceDir = D:\\课程\n",
     {'"Server"': '"edu.example.cn"', '"CdnServer"': '"10.1.2.3:8000"',
      '"CdnAnnouncements"': OFF, '"UpdateCheck"': OFF, '"ResourceDir"': '"D:\\\\课程"'}, 0),
    ("update check stays off on Linux", "UpdateCheck = 1\n", {'"UpdateCheck"': OFF}, 0),
    ("comments, blank and CRLF lines, any case of the names, the last one counts",
     "# Server = a\r\n; x\r\n\r\n  server=host1:9112\r\nSERVER = host2:9112\r\n",
     {'"Server"': '"host2:9112"', '"UpdateCheck"': OFF}, 0),
    ("a Linux directory as the prefix sees it", "ResourceDir = /srv/velmora files\n",
     {'"ResourceDir"': '"Z:\\\\srv\\\\velmora files"', '"UpdateCheck"': OFF}, 0),
    ("announcements on", "CdnAnnouncements = 1\n",
     {'"CdnAnnouncements"': "dword:00000001", '"UpdateCheck"': OFF}, 0),
    ("values that cannot be used are left out and reported",
     "Server = two words\nServer = host:0\nCdnServer = cache.school\nCdnServer = cache:70000\n"
     "CdnAnnouncements = yes\nResourceDir = relative\\dir\nResourceDir = C:\\a\\..\\..\\windows\n"
     "Colour = red\njust text\n", {'"UpdateCheck"': OFF}, 9),
    ("nothing breaks out of its value into the registry file",
     'Server = a"b\nResourceDir = C:\\x"\n'
     'ResourceDir = C:\\x\\"\\r\\n[HKEY_LOCAL_MACHINE\\Software]\n', {'"UpdateCheck"': OFF}, 3),
    ("a bad line leaves the good ones", "Server = host:9112\nCdnServer = nope\n",
     {'"Server"': '"host:9112"', '"UpdateCheck"': OFF}, 1),
]


@pytest.mark.parametrize("conf,expected,warnings", [c[1:] for c in CASES],
                         ids=[c[0] for c in CASES])
def test_policy_file_to_registry(conf, expected, warnings):
    values, reported = policy_values(conf)
    assert values == expected
    assert len(reported.splitlines()) == warnings, reported


def test_documents_go_to_the_desktop_and_programs_stay_in_the_prefix(tmp_path):
    globs = tmp_path / "globs2"
    globs.write_text("50:application/pdf:*.pdf\n50:application/x-foo:*.FOO\n"
                     "50:application/x-ms-dos-executable:*.exe\n50:application/x-ms-shortcut:*.lnk\n"
                     "50:text/x-c:*.[ch]\n50:text/x-makefile:makefile\n")
    types = run_prefix_function("velmora_document_types", "", str(globs))[0].split()
    assert {"pdf", "foo", "docx", "txt"} <= set(types)
    assert not {"exe", "lnk", "bat", "msi", "makefile"} & set(types)
    assert not [t for t in types if not t.replace("_", "").replace("-", "").replace("+", "").isalnum()]
