#!/usr/bin/env python3
"""Launcher and client of the reference platform for tests.

As a module:
    with RefPlatform.start(state_dir) as ref:      # free ports, waits until ready
        ref.set_faults({"server": "download", "close_after": 3})
        ref.requests("api")[-1].raw                # what the assistant sent
As a command (used by the CTest fixture):
    refclient.py start STATE_DIR [refplatform options...]
    refclient.py stop STATE_DIR
"""

import json
import os
import signal
import subprocess
import sys
import time
import urllib.request

HERE = os.path.dirname(os.path.abspath(__file__))
SERVER = os.path.join(HERE, "refplatform.py")
READY_TIMEOUT = 20.0


class RecordedRequest:
    def __init__(self, seq, server, method, target, path):
        self.seq, self.server, self.method, self.target, self.path = seq, server, method, target, path

    @property
    def raw(self):
        with open(self.path, "rb") as f:
            return f.read()

    @property
    def body(self):
        raw = self.raw
        return raw[raw.find(b"\r\n\r\n") + 4:]


def read_ready_file(path):
    values = {}
    with open(path, "r") as f:
        for line in f:
            key, _, value = line.rstrip("\n").partition("=")
            values[key] = int(value) if value.isdigit() else value
    return values


class RefPlatform:
    """A running reference platform, reached through its control port."""

    def __init__(self, ready, process=None):
        self.ready = ready
        self.process = process
        self.host = ready["host"]

    @classmethod
    def start(cls, state_dir, *options):
        os.makedirs(state_dir, exist_ok=True)
        ready_file = os.path.join(state_dir, "ready")
        if os.path.exists(ready_file):
            os.remove(ready_file)
        log = open(os.path.join(state_dir, "refplatform.log"), "ab")
        args = [sys.executable, SERVER, "--state-dir", state_dir, "--ready-file", ready_file]
        if not any(o.endswith("-port") or o == "--free-ports" for o in options):
            args.append("--free-ports")
        process = subprocess.Popen(args + list(options), stdout=log, stderr=log,
                                   stdin=subprocess.DEVNULL, start_new_session=True)
        log.close()
        deadline = time.monotonic() + READY_TIMEOUT
        while not os.path.exists(ready_file):
            if process.poll() is not None or time.monotonic() > deadline:
                process.kill()
                raise RuntimeError("reference platform did not start; see %s" % log.name)
            time.sleep(0.02)
        return cls(read_ready_file(ready_file), process)

    @classmethod
    def attach(cls, state_dir):
        return cls(read_ready_file(os.path.join(state_dir, "ready")))

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()

    def port(self, server):
        return self.ready["%s_port" % server]

    def url(self, server, path):
        return "http://%s:%d%s" % (self.host, self.port(server), path)

    def control(self, path, body=None):
        data = body if isinstance(body, (bytes, type(None))) else json.dumps(body).encode("utf-8")
        request = urllib.request.Request(self.url("control", path), data=data,
                                         method="POST" if data is not None else "GET")
        with urllib.request.urlopen(request, timeout=10) as reply:
            return json.loads(reply.read().decode("utf-8"))

    def set_faults(self, *entries):
        return self.control("/faults", list(entries))

    def clear_faults(self):
        return self.control("/faults/clear", b"")

    def reset(self):
        return self.control("/reset", b"")

    def state(self):
        return self.control("/state")

    def announce(self, **spec):
        return self.control("/announce", spec)

    def put_file(self, server, name, data=None, generate=None):
        query = "?generate=%d" % generate if generate is not None else ""
        return self.control("/files/%s/%s%s" % (server, name, query), data or b"")

    def set_cdn_holds(self, fids):
        return self.control("/cdn/holds", list(fids))

    def requests(self, server=None):
        directory = self.ready["record_dir"]
        found = []
        with open(os.path.join(directory, "index.tsv"), "r", encoding="latin-1") as f:
            for line in f:
                seq, name, method, target, _, file_name = line.rstrip("\n").split("\t")
                if server in (None, name):
                    found.append(RecordedRequest(int(seq), name, method, target,
                                                 os.path.join(directory, file_name)))
        return found

    def stop(self):
        if self.process is None:
            stop_pid(int(self.ready["pid"]))
            return
        self.process.terminate()
        try:
            self.process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()


def is_reference_platform(pid):
    try:
        with open("/proc/%d/cmdline" % pid, "rb") as f:
            return b"refplatform.py" in f.read()
    except OSError:
        return False


def stop_pid(pid):
    """SIGTERM to a reference platform started earlier, then wait for it to be
    gone (SIGKILL after 10 s). A stale pid of some other program is left alone."""
    if not is_reference_platform(pid):
        return
    try:
        os.kill(pid, signal.SIGTERM)
    except ProcessLookupError:
        return
    deadline = time.monotonic() + 10
    while time.monotonic() < deadline:
        if not is_reference_platform(pid):
            return
        time.sleep(0.05)
    os.kill(pid, signal.SIGKILL)


def main(argv):
    if len(argv) < 2 or argv[0] not in ("start", "stop"):
        print(__doc__, file=sys.stderr)
        return 2
    command, state_dir = argv[0], argv[1]
    if command == "start":
        ready_file = os.path.join(state_dir, "ready")
        if os.path.exists(ready_file):
            stop_pid(int(read_ready_file(ready_file)["pid"]))
        ref = RefPlatform.start(state_dir, *argv[2:])
        print(" ".join("%s=%s" % kv for kv in ref.ready.items()))
        return 0
    ready_file = os.path.join(state_dir, "ready")
    if os.path.exists(ready_file):
        RefPlatform.attach(state_dir).stop()
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
