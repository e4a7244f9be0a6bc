"""The publisher's signatures of the tool server's files, made as
installer/sign-tools.sh makes them (openssl signs; the DER signature is only
re-encoded as r || s), with the test keys of testbed/keys.

A signature can be bent to stand for what an attacker on the network could
serve: "missing" (none), "bad" (a good signature of other bytes), "other_key"
(a key the program does not trust), "older" (the program signed as a
build older than any that runs) and "earlier_key" (signed with the current
key, which has no right to retire a key: for the list of retired keys).

The list of retired keys, keys.retired, is signed with the next key, the
one that may retire the current key."""

import base64
import os
import subprocess
import tempfile

KEYS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "keys")
CURRENT_KEY, NEXT_KEY = "velmora-test-current", "velmora-test-next"
KEY_FILES = {CURRENT_KEY: "test-current.pem", NEXT_KEY: "test-next.pem",
             "velmora-test-other": "test-other.pem"}
PROGRAM = "VelmoraURL.exe"
RETIRED_KEYS = "keys.retired"
# Newer than any build the tests run; the "older" fault, older than any.
PROGRAM_VERSION = "999.0"
OLDER_PROGRAM_VERSION = "0.1"
FAULTS = ("missing", "bad", "other_key", "older", "earlier_key")


def header(name, version, key_id):
    return ("velmora-signature 1\nfile: %s\nversion: %s\nkey: %s\n"
            % (name, version, key_id)).encode("utf-8")


def der_to_rs(der):
    """r || s of a DER ECDSA-Sig-Value (SEQUENCE of two INTEGERs)."""
    at = 2 if der[1] < 0x80 else 2 + (der[1] & 0x7F)
    out = b""
    for _ in range(2):
        assert der[at] == 0x02
        length = der[at + 1]
        value = der[at + 2:at + 2 + length]
        out += value.lstrip(b"\0").rjust(32, b"\0")
        at += 2 + length
    return out


def sign_bytes(key_id, message):
    with tempfile.NamedTemporaryFile() as f:
        f.write(message)
        f.flush()
        der = subprocess.run(["openssl", "dgst", "-sha256", "-sign",
                              os.path.join(KEYS, KEY_FILES[key_id]), "-binary", f.name],
                             check=True, capture_output=True).stdout
    return der_to_rs(der)


def signature_file(name, data, fault=None, key_id=None, version=None):
    """The .sig text of `data` served as `name`; None for the "missing" fault."""
    if fault == "missing":
        return None
    if key_id is None:
        key_id = NEXT_KEY if name == RETIRED_KEYS else CURRENT_KEY
    if fault == "earlier_key":
        key_id = CURRENT_KEY
    if version is None:
        version = PROGRAM_VERSION if name == PROGRAM else "-"
    if fault == "older":
        version = OLDER_PROGRAM_VERSION
    if fault == "other_key":
        key_id = "velmora-test-other"
    head = header(name, version, key_id)
    signed = data + b"!" if fault == "bad" else data
    rs = sign_bytes(key_id, head + signed)
    return head + b"signature: " + base64.b64encode(rs) + b"\n"
