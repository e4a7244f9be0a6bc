"""Byte-exact HTTP/1.1 serving for the reference platform.

Every request is read raw, recorded byte for byte, handed to a handler that
returns a Reply, and the reply is written with the fault switches that apply
to it. One request per connection, like the assistant's own client.
"""

import base64
import os
import socket
import socketserver
import threading
import time

HEADER_LIMIT = 65536
BODY_LIMIT = 16 * 1024 * 1024
READ_TIMEOUT = 10.0

REASONS = {200: "OK", 206: "Partial Content", 400: "Bad Request", 403: "Forbidden",
           404: "Not Found", 416: "Range Not Satisfiable", 500: "Internal Server Error",
           502: "Bad Gateway", 503: "Service Unavailable"}


class Request:
    """One request as it came from the wire."""

    def __init__(self, raw, head_end):
        self.raw = raw
        head = raw[:head_end].decode("latin-1")
        lines = head.split("\r\n")
        parts = lines[0].split(" ")
        self.method = parts[0] if parts else ""
        self.target = parts[1] if len(parts) > 1 else ""
        self.headers = []
        for line in lines[1:]:
            name, sep, value = line.partition(":")
            if sep:
                self.headers.append((name.strip(), value.strip()))
        self.body = raw[head_end + 4:]
        self.path, _, self.query = self.target.partition("?")

    def header(self, name):
        for key, value in self.headers:
            if key.lower() == name.lower():
                return value
        return None

    def content_length(self):
        try:
            return max(0, min(int(self.header("Content-Length") or 0), BODY_LIMIT))
        except ValueError:
            return 0


class Reply:
    """Status, headers in order, body bytes. Content-Length is added on sending."""

    def __init__(self, status=200, body=b"", headers=None, content_type="text/html"):
        self.status = status
        self.body = body if isinstance(body, bytes) else body.encode("utf-8")
        self.headers = list(headers or [])
        if content_type and not any(k.lower() == "content-type" for k, _ in self.headers):
            self.headers.insert(0, ("Content-Type", content_type))


def error_page(status):
    reason = REASONS.get(status, "Error")
    body = "<html><head><title>%d %s</title></head><body><h1>%d %s</h1></body></html>" % (
        status, reason, status, reason)
    return Reply(status, body)


def read_request(sock):
    """Reads the header block and Content-Length body bytes; None if nothing came."""
    sock.settimeout(READ_TIMEOUT)
    data = b""
    try:
        while b"\r\n\r\n" not in data and len(data) < HEADER_LIMIT:
            chunk = sock.recv(65536)
            if not chunk:
                break
            data += chunk
        head_end = data.find(b"\r\n\r\n")
        if head_end < 0:
            return Request(data + b"\r\n\r\n", len(data)) if data else None
        request = Request(data, head_end)
        wanted = head_end + 4 + request.content_length()
        while len(data) < wanted:
            chunk = sock.recv(min(65536, wanted - len(data)))
            if not chunk:
                break
            data += chunk
    except OSError:
        if not data:
            return None
        head_end = data.find(b"\r\n\r\n")
        if head_end < 0:
            return Request(data + b"\r\n\r\n", len(data))
    return Request(data, data.find(b"\r\n\r\n"))


class Recorder:
    """Writes each request to <dir>/<seq>-<server>.req and one index line."""

    def __init__(self, directory):
        self.directory = directory
        self.lock = threading.Lock()
        self.seq = 0
        os.makedirs(directory, exist_ok=True)
        self.reset()

    def reset(self):
        with self.lock:
            for name in os.listdir(self.directory):
                if name.endswith(".req") or name == "index.tsv":
                    os.remove(os.path.join(self.directory, name))
            self.seq = 0
            open(os.path.join(self.directory, "index.tsv"), "wb").close()

    def record(self, server, request):
        with self.lock:
            self.seq += 1
            name = "%06d-%s.req" % (self.seq, server)
            with open(os.path.join(self.directory, name), "wb") as f:
                f.write(request.raw)
            line = "%d\t%s\t%s\t%s\t%d\t%s\n" % (
                self.seq, server, request.method, request.target.replace("\t", " "),
                len(request.raw), name)
            with open(os.path.join(self.directory, "index.tsv"), "ab") as f:
                f.write(line.encode("latin-1", "replace"))
            return self.seq


class ReplyWriter:
    """Sends a reply, bending it by the fault switches of the matched entry."""

    def __init__(self, sock, fault, stopping):
        self.sock = sock
        self.fault = fault or {}
        self.stopping = stopping

    def sleep(self, seconds):
        self.stopping.wait(seconds)

    def send(self, reply):
        f = self.fault
        if "raw" in f:
            self.sock.sendall(decode_bytes(f["raw"]))
            return
        if "status" in f:
            reply = error_page(int(f["status"]))
        if "reply" in f:
            reply = scripted_reply(f["reply"])
        if "stall_before_header" in f:
            self.sleep(float(f["stall_before_header"]))
        self.send_header(self.header_block(reply))
        body = reply.body
        if f.get("content_length_zero") and not f.get("with_body"):
            body = b""
        if "extra_bytes" in f:
            body = body + b"X" * int(f["extra_bytes"])
        if "close_after" in f:
            body = body[:int(f["close_after"])]
        self.send_body(body)

    def header_block(self, reply):
        f = self.fault
        lines = ["HTTP/1.1 %d %s" % (reply.status, REASONS.get(reply.status, "Status"))]
        for name, value in reply.headers:
            lines.append("%s: %s" % (name, value))
        if "content_length" in f:
            lines.append("Content-Length: %s" % f["content_length"])
        elif f.get("content_length_zero"):
            lines.append("Content-Length: 0")
        elif not f.get("no_content_length"):
            lines.append("Content-Length: %d" % len(reply.body))
        lines.append("Connection: close")
        if "oversized_header" in f:
            size = int(f["oversized_header"])
            filler = "X-Filler: " + "a" * 1000
            while sum(len(l) + 2 for l in lines) < size:
                lines.append(filler)
        return ("\r\n".join(lines) + "\r\n\r\n").encode("utf-8")

    def send_header(self, block):
        cuts = sorted(int(c) for c in self.fault.get("split_header", []) if 0 < int(c) < len(block))
        start = 0
        for cut in cuts:
            self.sock.sendall(block[start:cut])
            self.sleep(float(self.fault.get("split_delay", 0.2)))
            start = cut
        self.sock.sendall(block[start:])

    def send_body(self, body):
        f = self.fault
        stall = f.get("stall")
        drip = f.get("drip")
        step = int(drip.get("bytes", 1)) if drip else 65536
        delay = float(drip.get("delay", 0.05)) if drip else 0.0
        stall_at = int(stall.get("after", 0)) if stall else -1
        sent = 0
        while sent < len(body) or (stall and sent == stall_at):
            if stall and sent == stall_at:
                self.sleep(float(stall.get("seconds", 30)))
                stall = None
                continue
            end = min(len(body), sent + step)
            if stall and sent < stall_at < end:
                end = stall_at
            self.sock.sendall(body[sent:end])
            sent = end
            if delay and sent < len(body):
                self.sleep(delay)
            if self.stopping.is_set():
                return


def decode_bytes(value):
    """Fault texts: plain text, or "base64:..." for arbitrary bytes."""
    if value.startswith("base64:"):
        return base64.b64decode(value[7:])
    return value.encode("utf-8")


def scripted_reply(spec):
    body = decode_bytes(spec.get("body", ""))
    headers = [tuple(h) for h in spec.get("headers", [])]
    return Reply(int(spec.get("status", 200)), body, headers,
                 spec.get("content_type", "text/plain;charset=UTF-8"))


class HttpServer(socketserver.ThreadingTCPServer):
    """One listening port; `name` tags records and selects faults."""

    daemon_threads = True
    allow_reuse_address = True

    def __init__(self, address, name, handler, context, tls=None):
        self.name = name
        self.handle_request_fn = handler
        self.context = context
        self.tls = tls  # an ssl.SSLContext in the HTTPS mode
        super().__init__(address, ConnectionHandler)

    def get_request(self):
        sock, address = super().get_request()
        if self.tls is None:
            return sock, address
        # The handshake runs on the connection's own thread (see handle), so a
        # client that refuses the certificate never holds up the next one.
        return self.tls.wrap_socket(sock, server_side=True, do_handshake_on_connect=False), address


class ConnectionHandler(socketserver.BaseRequestHandler):
    def handle(self):
        server = self.server
        context = server.context
        if server.tls is not None and not handshake(self.request):
            return
        request = read_request(self.request)
        if request is None:
            return
        recorded = server.name != "control"
        if recorded:
            context.recorder.record(server.name, request)
        fault = context.faults.take(server.name, request.target) if recorded else {}
        try:
            reply = server.handle_request_fn(request, fault)
        except Exception as exc:  # a handler bug must not kill the server
            reply = Reply(500, "handler failed: %r" % exc)
        try:
            ReplyWriter(self.request, fault, context.stopping).send(reply)
            self.request.shutdown(socket.SHUT_WR)
            drain_until_closed(self.request)
        except OSError:
            pass


def handshake(sock):
    sock.settimeout(READ_TIMEOUT)
    try:
        sock.do_handshake()
        return True
    except OSError:
        return False


def drain_until_closed(sock):
    """Waits briefly for the peer to close, so no reset discards the reply."""
    sock.settimeout(2.0)
    try:
        end = time.monotonic() + 2.0
        while time.monotonic() < end and sock.recv(65536):
            pass
    except OSError:
        pass
