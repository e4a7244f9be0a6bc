"""Certificates for the reference platform's HTTPS mode, made with the openssl
command into a directory of the test's own:

    ca.pem            the test authority that the tests trust
    good.pem/.key     for every name the tests reach the platform by
    wronghost.pem     from the test authority, for another host name
    expired.pem       from the test authority, valid only in 2020
    untrusted.pem     for the right names, from an authority nobody trusts
"""

import os
import ssl
import subprocess

# The names the tests and the journey use for the platform.
SERVER_NAMES = ["localhost", "www.velmora.cn", "edu.velmora.cn", "velmora.test"]
SERVER_ADDRESSES = ["127.0.0.1"]
KINDS = ("good", "wronghost", "expired", "untrusted")

CA_CONFIG = """[ca]
default_ca = testca
[testca]
database = {dir}/index.txt
new_certs_dir = {dir}
serial = {dir}/serial
default_md = sha256
policy = anything
unique_subject = no
[anything]
commonName = supplied
"""

LEAF_EXTENSIONS = """[leaf]
basicConstraints = CA:FALSE
keyUsage = digitalSignature, keyEncipherment
extendedKeyUsage = serverAuth
subjectAltName = {names}
"""


def run_openssl(*args):
    subprocess.run(["openssl"] + list(args), check=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.PIPE)


def make_authority(directory, name, common_name):
    run_openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "3650",
                "-keyout", os.path.join(directory, name + ".key"),
                "-out", os.path.join(directory, name + ".pem"), "-subj", "/CN=" + common_name,
                "-addext", "basicConstraints=critical,CA:TRUE",
                "-addext", "keyUsage=critical,keyCertSign,cRLSign")


def issue(directory, authority, name, alt_names, start, end):
    """A server certificate `name`.pem/.key issued by `authority` for the
    given subjectAltName entries and validity (openssl's YYMMDDHHMMSSZ)."""
    workdir = os.path.join(directory, "ca-" + authority)
    os.makedirs(workdir, exist_ok=True)
    for file, text in (("index.txt", ""), ("serial", "1000\n")):
        path = os.path.join(workdir, file)
        if not os.path.exists(path):
            with open(path, "w") as f:
                f.write(text)
    config = os.path.join(workdir, "ca.cnf")
    with open(config, "w") as f:
        f.write(CA_CONFIG.format(dir=workdir))
    extensions = os.path.join(workdir, name + ".ext")
    with open(extensions, "w") as f:
        f.write(LEAF_EXTENSIONS.format(names=",".join(alt_names)))
    key, request = os.path.join(directory, name + ".key"), os.path.join(workdir, name + ".csr")
    run_openssl("req", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", request,
                "-subj", "/CN=" + alt_names[0].split(":", 1)[1])
    run_openssl("ca", "-batch", "-notext", "-config", config,
                "-cert", os.path.join(directory, authority + ".pem"),
                "-keyfile", os.path.join(directory, authority + ".key"),
                "-in", request, "-out", os.path.join(directory, name + ".pem"),
                "-startdate", start, "-enddate", end, "-extfile", extensions, "-extensions", "leaf")


def ensure_certificates(directory):
    """Makes the set once per directory; returns the test authority's file."""
    os.makedirs(directory, exist_ok=True)
    ca = os.path.join(directory, "ca.pem")
    if all(os.path.exists(os.path.join(directory, k + ".pem")) for k in KINDS) and os.path.exists(ca):
        return ca
    right = ["DNS:" + n for n in SERVER_NAMES] + ["IP:" + a for a in SERVER_ADDRESSES]
    now, later = "250101000000Z", "351231000000Z"
    make_authority(directory, "ca", "Velmora Test CA")
    make_authority(directory, "otherca", "Velmora Untrusted CA")
    issue(directory, "ca", "good", right, now, later)
    issue(directory, "ca", "wronghost", ["DNS:wrong.velmora.test"], now, later)
    issue(directory, "ca", "expired", right, "200101000000Z", "201231000000Z")
    issue(directory, "otherca", "untrusted", right, now, later)
    return ca


def server_context(directory, kind):
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(os.path.join(directory, kind + ".pem"),
                            os.path.join(directory, kind + ".key"))
    return context
