"""Fault switches of the reference platform.

An entry is a JSON object: "server" ("api", "download", "tool", "cdn" or "*"),
optionally "path" (a prefix of the request target) and "times" (how many
requests it bends; absent = until cleared), plus the switches:

  close_after: N          send N body bytes, then close
  stall: {after, seconds} pause after N body bytes
  stall_before_header: S  pause S seconds before anything is sent
  drip: {bytes, delay}    send the body in small pieces
  no_content_length       omit Content-Length
  content_length_zero     send Content-Length: 0 (with_body: still send the body)
  content_length: "text"  send this Content-Length value instead
  ignore_range            answer a ranged request with the whole file (200)
  status: N               answer status N with an error page
  reply: {status, body, headers, content_type}   answer exactly this
  raw: "text" | "base64:..."                     send these bytes, nothing else
  oversized_header: N     pad the header block to N bytes
  extra_bytes: N          send N bytes more than Content-Length
  split_header: [offsets], split_delay: S        send the header block in pieces
  sig: "missing" | "bad" | "other_key" | "older" | "earlier_key"
                          (tool server, FILE.sig) the publisher's signature
                          left out or bent (refsign.py)

Entries come from the control port and from a faults file that tests may
rewrite between requests; the first matching entry applies.
"""

import json
import os
import threading


class FaultSet:
    def __init__(self, path):
        self.path = path
        self.lock = threading.Lock()
        self.entries = []
        self.file_entries = []
        self.file_key = None

    def add(self, entries):
        with self.lock:
            self.entries.extend(entries if isinstance(entries, list) else [entries])

    def clear(self):
        with self.lock:
            self.entries = []
            self.file_entries = []
            self.file_key = None
            if self.path and os.path.exists(self.path):
                os.remove(self.path)

    def take(self, server, target):
        """The entry that bends this request, its use counted; {} for none."""
        with self.lock:
            self.reload_file()
            for entries in (self.entries, self.file_entries):
                for entry in entries:
                    if matches(entry, server, target):
                        return use(entries, entry)
        return {}

    def reload_file(self):
        """Rereads the file when it was rewritten (a new write restarts the
        "times" counts even when the text is the same)."""
        if not self.path:
            return
        try:
            info = os.stat(self.path)
            key = (info.st_ino, info.st_mtime_ns, info.st_size)
        except OSError:
            key = None
        if key == self.file_key:
            return
        self.file_key = key
        try:
            with open(self.path, "r", encoding="utf-8") as f:
                text = f.read()
        except (OSError, ValueError):
            text = ""
        try:
            loaded = json.loads(text) if text.strip() else []
        except ValueError:
            loaded = []
        self.file_entries = loaded if isinstance(loaded, list) else [loaded]


def matches(entry, server, target):
    if entry.get("server", "*") not in ("*", server):
        return False
    return target.startswith(entry.get("path", ""))


def use(entries, entry):
    if "times" in entry:
        entry["times"] = int(entry["times"]) - 1
        if entry["times"] <= 0:
            entries.remove(entry)
    return entry
