#!/usr/bin/env python3
"""A student machine's side of the LAN cache, as the assistant does it.

  lanclient.py listen [--timeout S]      prints "server" of the first announcement
  lanclient.py open SERVER FID OUT PLATFORM
      asks SERVER (host:port) for FID; downloads from the answered path when it
      holds the file, else from the platform's download service; prints JSON
      {"source": "cdn"|"platform", "ret": N}
  lanclient.py get URL OUT [--from N] [--to M]
      GET into OUT, with "Range: bytes=N-" (or N-M); prints the status
  lanclient.py status URL                prints the status of a GET
  lanclient.py hold-heads SERVER COUNT SECONDS
      opens COUNT connections that each send an unfinished request head,
      prints "open N" once they are open and holds them SECONDS
  lanclient.py lookups SERVER COUNT PREFIX
      looks up COUNT distinct ids PREFIX0.. at once from 32 threads; prints
      JSON {status: count}, "error" for a connection that failed
  lanclient.py segments URL SIZE COUNT
      GETs the SIZE bytes of URL in COUNT ranges at once; prints JSON
      {status: count}
"""

import collections
import json
import resource
import socket
import struct
import sys
import time
import urllib.error
import urllib.request
from concurrent.futures import ThreadPoolExecutor

ANNOUNCE_PORT = 20214


def listen(timeout):
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as sock:
        sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        sock.bind(("0.0.0.0", ANNOUNCE_PORT))
        sock.settimeout(timeout)
        buffer = b""
        while True:
            data, _ = sock.recvfrom(1024 - len(buffer))
            buffer += data
            if len(buffer) < 4:
                continue
            (length,) = struct.unpack("<i", buffer[:4])
            if len(buffer) < 4 + length:
                continue
            message = json.loads(buffer[4:4 + length].decode("utf-8"))
            buffer = b""
            if int(message.get("msgid", -1)) == 0:
                return message["server"]


def get(url, out, start=None, end=None):
    request = urllib.request.Request(url)
    if start is not None:
        request.add_header("Range", "bytes=%d-%s" % (start, "" if end is None else end))
    with urllib.request.urlopen(request, timeout=60) as reply, open(out, "ab") as f:
        while True:
            block = reply.read(65536)
            if not block:
                return reply.status
            f.write(block)


def status(url):
    try:
        with urllib.request.urlopen(url, timeout=30) as reply:
            return reply.status
    except urllib.error.HTTPError as error:
        return error.code


def hold_heads(server, count, seconds):
    soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    resource.setrlimit(resource.RLIMIT_NOFILE, (hard, hard))
    host, port = server.rsplit(":", 1)
    held = []
    for _ in range(count):
        try:
            sock = socket.create_connection((host, int(port)), timeout=2)
            sock.sendall(b"GET /command/check.do HTTP/1.1\r\nHost: " + host.encode() + b"\r\n")
            held.append(sock)
        except OSError:
            pass
    print("open %d" % len(held), flush=True)
    time.sleep(seconds)
    for sock in held:
        sock.close()


def lookups(server, count, prefix):
    def one(number):
        try:
            return status("http://%s/command/find.do?fid=%s%d" % (server, prefix, number))
        except OSError:
            return "error"
    with ThreadPoolExecutor(max_workers=32) as pool:
        return dict(collections.Counter(str(s) for s in pool.map(one, range(count))))


def segments(url, size, count):
    step = -(-size // count)

    def one(start):
        request = urllib.request.Request(url, headers={
            "Range": "bytes=%d-%d" % (start, min(size, start + step) - 1)})
        try:
            with urllib.request.urlopen(request, timeout=60) as reply:
                reply.read()
                return reply.status
        except urllib.error.HTTPError as error:
            return error.code
    with ThreadPoolExecutor(max_workers=count) as pool:
        return dict(collections.Counter(str(s) for s in pool.map(one, range(0, size, step))))


def open_resource(server, fid, out, platform):
    with urllib.request.urlopen("http://%s/command/find.do?fid=%s" % (server, fid), timeout=60) as r:
        found = json.loads(r.read().decode("utf-8"))
    if int(found.get("ret", 0)) == 0:
        get("http://%s%s" % (server, found["path"]), out)
        return {"source": "cdn", "ret": 0, "size": int(found["size"])}
    get("http://%s:8112/file/downLoad?ft=1&u=2&fid=%s" % (platform, fid), out)
    return {"source": "platform", "ret": int(found["ret"])}


def main(argv):
    if argv[0] == "listen":
        timeout = float(argv[2]) if len(argv) > 2 and argv[1] == "--timeout" else 30.0
        print(listen(timeout))
    elif argv[0] == "open":
        print(json.dumps(open_resource(*argv[1:5])))
    elif argv[0] == "get":
        options = dict(zip(argv[3::2], argv[4::2]))
        start = int(options["--from"]) if "--from" in options else None
        end = int(options["--to"]) if "--to" in options else None
        print(get(argv[1], argv[2], start, end))
    elif argv[0] == "status":
        print(status(argv[1]))
    elif argv[0] == "hold-heads":
        hold_heads(argv[1], int(argv[2]), float(argv[3]))
    elif argv[0] == "lookups":
        print(json.dumps(lookups(argv[1], int(argv[2]), argv[3])))
    elif argv[0] == "segments":
        print(json.dumps(segments(argv[1], int(argv[2]), int(argv[3]))))
    else:
        print(__doc__, file=sys.stderr)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
