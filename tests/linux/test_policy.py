"""policy.conf as the launcher turns it into the registry file that replaces
each prefix's policy key: what IT writes there, and what must never get in."""
import os
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
    ("a byte-order mark before the first setting", "\ufeffServer = host1:9112\r\nCdnAnnouncements = 0\r\n",
     {'"Server"': '"host1:9112"', '"CdnAnnouncements"': OFF, '"UpdateCheck"': OFF}, 0),
    ("a byte-order mark before a comment", "\ufeff# settings\nServer = host1\n",
     {'"Server"': '"host1"', '"UpdateCheck"': OFF}, 0),
    # Absent, the program requires signatures; IT may relax it during a move.
    ("unsigned tools allowed during a move", "RequireSignedTools = 0\n",
     {'"RequireSignedTools"': OFF, '"UpdateCheck"': OFF}, 0),
    ("signed tools required in so many words", "requiresignedtools=1\r\n",
     {'"RequireSignedTools"': "dword:00000001", '"UpdateCheck"': OFF}, 0),
    ("a signature switch that is not 0 or 1 is left out", "RequireSignedTools = no\n"
     "RequireSignedTools = 00\n", {'"UpdateCheck"': OFF}, 2),
    ("the place for prefixes is the launcher's, not the program's",
     "PrefixDir = /var/local/velmora\nPrefixDir = var/local\n", {'"UpdateCheck"': OFF}, 1),
]


@pytest.mark.parametrize("conf,expected,warnings", [c[1:] for c in CASES],
                         ids=[c[0] for c in CASES])
def test_policy_file_to_registry(conf, expected, warnings):
    values, reported = policy_values(conf)
    assert values == expected
    assert len(reported.splitlines()) == warnings, reported


PREFIX_ROOTS = [
    ("in the home by default", None, "", ""),
    ("the policy's place", None, "PrefixDir = /var/local/velmora\n", "/var/local/velmora"),
    ("the policy's place after a byte-order mark", None, "\ufeffprefixdir=/srv/p\r\n", "/srv/p"),
    ("the environment wins", "/scratch/velmora", "PrefixDir = /var/local/velmora\n",
     "/scratch/velmora"),
    ("a relative place is not used", "scratch", "", ""),
    ("a relative place in the policy is not used", None, "PrefixDir = local\n", ""),
]


@pytest.mark.parametrize("env,conf,expected", [c[1:] for c in PREFIX_ROOTS],
                         ids=[c[0] for c in PREFIX_ROOTS])
def test_place_for_prefixes(tmp_path, env, conf, expected):
    policy = tmp_path / "policy.conf"
    policy.write_text(conf, encoding="utf-8")
    extra = {"VELMORA_POLICY": str(policy)}
    if env is not None:
        extra["VELMORA_PREFIX_DIR"] = env
    r = subprocess.run(["bash", "-c", 'source "$0"; velmora_prefix_root', PACKAGE_DIR / "prefix.sh"],
                       capture_output=True, text=True, check=True,
                       env=dict(os.environ, **extra))
    assert r.stdout.strip() == expected
