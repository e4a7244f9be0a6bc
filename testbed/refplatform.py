#!/usr/bin/env python3
"""Reference platform: the peers the assistant talks to, on loopback.

Serves the platform's HTTP interface, the download service, the tool server
and a CDN server, each on its own port, plus a control port for tests. Every
request is recorded byte for byte; fault switches bend the replies (see
reffaults.py). When ready it prints one line with its ports and writes them
to the ready file as key=value lines. SIGTERM or SIGINT stops it cleanly.

  refplatform.py [--api-port 9112] [--download-port 8112] [--tool-port 7112]
                 [--cdn-port 8080] [--control-port 0] [--free-ports]
                 [--state-dir DIR] [--record-dir DIR] [--ready-file FILE]
                 [--seed DIR] [--bin-dir DIR]... [--announce-to HOST:PORT]
                 [--tls-dir DIR]

With --tls-dir the platform interface, the download service and the tool
server speak HTTPS on their ports (certificates made into DIR by reftls.py;
the CDN server and the control port stay HTTP), and three more download
ports serve a certificate for another host, an expired one and one from an
authority nobody trusts (download_wronghost, download_expired,
download_untrusted in the ready file, with tls_ca the test authority).
"""

import argparse
import hashlib
import json
import os
import re
import signal
import socket
import struct
import sys
import tempfile
import threading
import urllib.parse

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from refapi import PlatformApi, PlatformState, json_reply  # noqa: E402
from reffaults import FaultSet  # noqa: E402
from refsign import signature_file  # noqa: E402
from refhttp import HttpServer, Recorder, Reply, error_page  # noqa: E402
import reftls  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
TOOL_DIRECTORY = "VelmoraTool"


def parse_range(value, size):
    """(start, end) inclusive of a "bytes=a-b" / "bytes=a-" / "bytes=-n" value;
    None when absent or malformed, "unsatisfiable" when it starts past the end."""
    if not value or not value.strip().lower().startswith("bytes="):
        return None
    first = value.strip()[6:].split(",")[0].strip()
    start_text, sep, end_text = first.partition("-")
    if not sep:
        return None
    try:
        if not start_text:
            count = int(end_text)
            return (max(0, size - count), size - 1) if count > 0 and size else "unsatisfiable"
        start = int(start_text)
        end = int(end_text) if end_text else size - 1
    except ValueError:
        return None
    if start >= size or end < start:
        return "unsatisfiable"
    return start, min(end, size - 1)


def serve_bytes(request, fault, data, content_type="application/octet-stream"):
    """200 with the whole content, or 206 for a satisfiable Range."""
    wanted = None if fault.get("ignore_range") else parse_range(request.header("Range"), len(data))
    headers = [("Accept-Ranges", "bytes")]
    if wanted == "unsatisfiable":
        headers.append(("Content-Range", "bytes */%d" % len(data)))
        return Reply(416, b"", headers, content_type)
    if wanted is None:
        return Reply(200, data, headers, content_type)
    start, end = wanted
    headers.append(("Content-Range", "bytes %d-%d/%d" % (start, end, len(data))))
    return Reply(206, data[start:end + 1], headers, content_type)


def safe_name(name):
    """A plain file name: no directories, no parent references."""
    return bool(name) and "/" not in name and "\\" not in name and name not in (".", "..")


class Content:
    """The bytes the servers hand out: seed files, build outputs, test overlays."""

    def __init__(self, seed_dir, bin_dirs, files):
        self.seed_dir = seed_dir
        self.bin_dirs = bin_dirs
        self.lock = threading.Lock()
        self.file_specs = files
        self.reset()

    def reset(self):
        with self.lock:
            self.overlay = {"download": {}, "tool": {}, "cdn": {}}
            self.resources = {}
            for fid, spec in self.file_specs.items():
                data = self.read_resource(spec)
                if data is not None:
                    self.resources[fid] = data
                    spec["size"] = len(data)

    def read_resource(self, spec):
        candidates = [os.path.join(d, spec["bin"]) for d in self.bin_dirs if "bin" in spec]
        if "path" in spec:
            candidates.append(os.path.join(self.seed_dir, spec["path"]))
        for path in candidates:
            if os.path.isfile(path):
                with open(path, "rb") as f:
                    return f.read()
        return None

    def put(self, server, name, data):
        with self.lock:
            self.overlay[server][name] = data
            if server == "download":
                self.file_specs.setdefault(name, {})["size"] = len(data)

    def resource(self, fid):
        with self.lock:
            return self.overlay["download"].get(fid, self.resources.get(fid))

    def tool_file(self, name):
        with self.lock:
            if name in self.overlay["tool"]:
                return self.overlay["tool"][name]
        if not safe_name(name):
            return None
        for directory in [os.path.join(self.seed_dir, TOOL_DIRECTORY)] + self.bin_dirs:
            path = os.path.join(directory, name)
            if os.path.isfile(path):
                with open(path, "rb") as f:
                    return f.read()
        return None


class Platform:
    """The four served peers and the control port over shared state."""

    def __init__(self, args):
        self.args = args
        with open(os.path.join(args.seed, "platform.json"), "r", encoding="utf-8") as f:
            seed = json.load(f)
        self.content = Content(args.seed, args.bin_dir, seed.get("files", {}))
        self.state = PlatformState(seed)
        self.state.files = self.content.file_specs
        self.cdn_fids = set(seed.get("cdn", {}).get("fids", []))
        self.seed_cdn_fids = set(self.cdn_fids)
        self.api = PlatformApi(self.state)
        self.recorder = Recorder(args.record_dir)
        self.faults = FaultSet(os.path.join(args.state_dir, "faults.json"))
        self.stopping = threading.Event()
        self.servers = {}

    # -- the peers ---------------------------------------------------------

    def download(self, request, fault):
        query = urllib.parse.parse_qs(request.query)
        if request.path != "/file/downLoad":
            return error_page(404)
        fid = query.get("fid", [""])[0]
        data = self.content.resource(fid)
        if data is None:
            return error_page(404)
        kind = "video/mp4" if query.get("ft", [""])[0] == "3" else "application/octet-stream"
        return serve_bytes(request, fault, data, kind)

    def tool(self, request, fault):
        prefix = "/%s/" % TOOL_DIRECTORY
        if not request.path.startswith(prefix):
            return error_page(404)
        name = urllib.parse.unquote(request.path[len(prefix):])
        data = self.content.tool_file(name)
        if data is None and name.endswith(".sig"):
            data = self.sign_tool_file(name[:-len(".sig")], fault.get("sig"))
        if data is None:
            return error_page(404)
        if name.lower().endswith(".ini"):
            data = self.fill_digests(data)
        return serve_bytes(request, fault, data)

    def sign_tool_file(self, name, fault):
        """The publisher's signature of a served tool file, bent by the fault
        switch "sig" (refsign.FAULTS); None where there is none to serve."""
        content = self.content.tool_file(name)
        if content is None:
            return None
        return signature_file(name, content, fault)

    def fill_digests(self, data):
        """${md5:NAME} in a description file becomes the digest of tool file NAME."""
        def digest(match):
            content = self.content.tool_file(match.group(1).decode("latin-1"))
            return hashlib.md5(content).hexdigest().encode() if content is not None else b""
        return re.sub(rb"\$\{md5:([^}]+)\}", digest, data)

    def cdn(self, request, fault):
        query = urllib.parse.parse_qs(request.query)
        if request.path == "/command/check.do":
            return json_reply({"ret": 0})
        if request.path == "/command/find.do":
            fid = query.get("fid", [""])[0]
            data = self.content.resource(fid)
            if fid not in self.cdn_fids or data is None:
                return json_reply({"ret": 1})
            return json_reply({"ret": 0, "path": self.cdn_path(fid), "size": len(data)})
        if request.path.startswith("/files/"):
            name = request.path[len("/files/"):]
            with self.content.lock:
                data = self.content.overlay["cdn"].get(name)
            fid = name.rpartition(".")[0] or name
            if data is None and fid in self.cdn_fids:
                data = self.content.resource(fid)
            if data is not None:
                return serve_bytes(request, fault, data)
        return error_page(404)

    def cdn_path(self, fid):
        ext = self.content.file_specs.get(fid, {}).get("ext", "bin")
        return "/files/%s.%s" % (fid, ext)

    # -- the control port --------------------------------------------------

    def control(self, request, fault):
        path, body = request.path, request.body
        if path == "/ready":
            return json_reply(self.ports())
        if path == "/state":
            return json_reply(self.state.snapshot())
        if path == "/faults":
            self.faults.add(json.loads(body or b"[]"))
            return json_reply({"ret": 0})
        if path == "/faults/clear":
            self.faults.clear()
            return json_reply({"ret": 0})
        if path == "/reset":
            self.reset()
            return json_reply({"ret": 0})
        if path == "/announce":
            announce(json.loads(body or b"{}"), self.default_cdn_server())
            return json_reply({"ret": 0})
        if path == "/cdn/holds":
            self.cdn_fids = set(json.loads(body or b"[]"))
            return json_reply({"ret": 0})
        if path.startswith("/files/"):
            return self.put_file(request)
        if path == "/stop":
            self.stopping.set()
            return json_reply({"ret": 0})
        return error_page(404)

    def put_file(self, request):
        server, _, name = request.path[len("/files/"):].partition("/")
        if server not in ("download", "tool", "cdn") or not name:
            return error_page(400)
        query = urllib.parse.parse_qs(request.query)
        data = request.body
        if "generate" in query:
            data = pattern_bytes(int(query["generate"][0]))
        self.content.put(server, urllib.parse.unquote(name), data)
        return json_reply({"ret": 0, "size": len(data)})

    def reset(self):
        self.faults.clear()
        self.recorder.reset()
        self.state.reset()
        self.content.reset()
        self.state.files = self.content.file_specs
        self.cdn_fids = set(self.seed_cdn_fids)

    # -- running -----------------------------------------------------------

    def start(self):
        host = self.args.host
        handlers = [("api", self.args.api_port, self.api), ("download", self.args.download_port, self.download),
                    ("tool", self.args.tool_port, self.tool), ("cdn", self.args.cdn_port, self.cdn),
                    ("control", self.args.control_port, self.control)]
        tls_dir = self.args.tls_dir
        if tls_dir:
            reftls.ensure_certificates(tls_dir)
            handlers += [("download_" + kind, 0, self.download) for kind in reftls.KINDS[1:]]
        for name, port, handler in handlers:
            server = HttpServer((host, port), name, handler, self, self.tls_context(name))
            self.servers[name] = server
            threading.Thread(target=server.serve_forever, args=(0.05,), name=name, daemon=True).start()

    def tls_context(self, name):
        if not self.args.tls_dir or name in ("cdn", "control"):
            return None
        kind = name.partition("_")[2] or "good"
        return reftls.server_context(self.args.tls_dir, kind)

    def ports(self):
        ports = {"%s_port" % name: server.server_address[1] for name, server in self.servers.items()}
        ports.update(host=self.args.host, record_dir=os.path.abspath(self.args.record_dir),
                     faults_file=os.path.abspath(self.faults.path), pid=os.getpid())
        if self.args.tls_dir:
            ports.update(tls_ca=os.path.join(os.path.abspath(self.args.tls_dir), "ca.pem"))
        return ports

    def default_cdn_server(self):
        return "%s:%d" % (self.args.host, self.servers["cdn"].server_address[1])

    def stop(self):
        self.stopping.set()
        for server in self.servers.values():
            server.shutdown()
            server.server_close()


def pattern_bytes(count):
    """Deterministic content whose every byte tells its offset modulo 251."""
    block = bytes(i % 251 for i in range(251))
    return (block * (count // 251 + 1))[:count]


def announce(spec, default_server):
    """One CDN announcement: 4-byte little-endian length, then the JSON payload,
    optionally cut into several datagrams."""
    payload = spec.get("payload")
    if payload is None:
        payload = json.dumps({"msgid": spec.get("msgid", 0), "cmdid": spec.get("cmdid", 1),
                              "server": spec.get("server", default_server)})
    payload = payload.encode("utf-8")
    length = int(spec.get("length", len(payload)))
    datagram = struct.pack("<i", length) + payload
    host, _, port = spec.get("to", "127.0.0.1:20214").rpartition(":")
    chunks = spec.get("chunks") or [len(datagram)]
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as sock:
        # A LAN's host announces to the broadcast address of its network.
        sock.setsockopt(socket.SOL_SOCKET, socket.SO_BROADCAST, 1)
        if spec.get("source_port"):
            sock.bind(("127.0.0.1", int(spec["source_port"])))
        offset = 0
        for size in chunks:
            sock.sendto(datagram[offset:offset + int(size)], (host, int(port)))
            offset += int(size)
        if offset < len(datagram):
            sock.sendto(datagram[offset:], (host, int(port)))


def announce_cdn_server(platform, args):
    """--announce-to: once at start, or every --announce-every seconds, so an
    assistant started later still hears of the CDN server."""
    if not args.announce_to:
        return

    def run():
        while True:
            announce({"to": args.announce_to}, platform.default_cdn_server())
            if args.announce_every <= 0 or platform.stopping.wait(args.announce_every):
                return

    threading.Thread(target=run, name="announcer", daemon=True).start()


def write_ready_file(path, ports):
    directory = os.path.dirname(os.path.abspath(path))
    fd, temp = tempfile.mkstemp(dir=directory, prefix=".ready")
    with os.fdopen(fd, "w") as f:
        for key, value in ports.items():
            f.write("%s=%s\n" % (key, value))
    os.replace(temp, path)


def parse_args(argv):
    parser = argparse.ArgumentParser(description="reference platform for the assistant's tests")
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--api-port", type=int, default=9112)
    parser.add_argument("--download-port", type=int, default=8112)
    parser.add_argument("--tool-port", type=int, default=7112)
    parser.add_argument("--cdn-port", type=int, default=8080)
    parser.add_argument("--control-port", type=int, default=0)
    parser.add_argument("--free-ports", action="store_true", help="let the system choose every port")
    parser.add_argument("--state-dir", default=None)
    parser.add_argument("--record-dir", default=None)
    parser.add_argument("--ready-file", default=None)
    parser.add_argument("--seed", default=os.path.join(HERE, "seed"))
    parser.add_argument("--bin-dir", action="append", default=[])
    parser.add_argument("--announce-to", default=None)
    parser.add_argument("--announce-every", type=float, default=0.0)
    parser.add_argument("--tls-dir", default=None, help="serve HTTPS with certificates made here")
    args = parser.parse_args(argv)
    if args.free_ports:
        args.api_port = args.download_port = args.tool_port = args.cdn_port = args.control_port = 0
    args.state_dir = args.state_dir or tempfile.mkdtemp(prefix="refplatform-")
    os.makedirs(args.state_dir, exist_ok=True)
    args.record_dir = args.record_dir or os.path.join(args.state_dir, "requests")
    return args


def main(argv):
    args = parse_args(argv)
    platform = Platform(args)
    signal.signal(signal.SIGTERM, lambda *_: platform.stopping.set())
    signal.signal(signal.SIGINT, lambda *_: platform.stopping.set())
    try:
        platform.start()
    except OSError as exc:
        print("refplatform: cannot listen: %s" % exc, file=sys.stderr)
        return 1
    ports = platform.ports()
    if args.ready_file:
        write_ready_file(args.ready_file, ports)
    print("refplatform ready " + " ".join("%s=%s" % kv for kv in ports.items()), flush=True)
    announce_cdn_server(platform, args)
    while not platform.stopping.wait(3600):
        pass
    platform.stop()
    if args.ready_file and os.path.exists(args.ready_file):
        os.remove(args.ready_file)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
