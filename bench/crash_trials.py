#!/usr/bin/env python3
"""Crash trials: kill -9 at random moments of a download, a segmented download
and each store's save; after every kill a restart must finish the download with
the served bytes and every store must load a whole old or new content.

    bench/crash_trials.py [--count N] [--build build/native] [--junit report.xml]
    bench/crash_trials.py --wine [--build build/win] ...   (with scripts/wine-env.sh sourced)

The test command runs it with a small count; by hand use --count 100. Under
Wine the Windows build's saves (replace with write-through) are the ones tried.
"""
import argparse
import hashlib
import http.server
import os
import random
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time

SIZE = 3 * 1024 * 1024
PIECE = 16384


class SlowRangeHandler(http.server.BaseHTTPRequestHandler):
    """Serves one file with byte ranges, slowly enough to be killed mid-way."""
    content = b""

    def log_message(self, *args):
        pass

    def do_GET(self):
        data, first = self.content, 0
        last = len(data) - 1
        spec = self.headers.get("Range", "")
        if spec.startswith("bytes="):
            a, _, b = spec[6:].partition("-")
            first = int(a)
            last = min(int(b), last) if b else last
            if first > last:
                self.send_response(416)
                self.send_header("Content-Range", f"bytes */{len(data)}")
                self.send_header("Content-Length", "0")
                self.end_headers()
                return
            self.send_response(206)
            self.send_header("Content-Range", f"bytes {first}-{last}/{len(data)}")
        else:
            self.send_response(200)
        self.send_header("Accept-Ranges", "bytes")
        self.send_header("Content-Length", str(last - first + 1))
        self.end_headers()
        try:
            for at in range(first, last + 1, PIECE):
                self.wfile.write(data[at:min(at + PIECE, last + 1)])
                time.sleep(0.003)
        except (BrokenPipeError, ConnectionResetError):
            pass


WINE = {"on": False, "startup": 0.0}


def store_path(path):
    """The program's path form: "\\" between the parts (under Wine on drive Z:)."""
    return ("Z:" if WINE["on"] else "") + path.replace("/", "\\")


KILLS = {"made": 0}


def kill_at_random(command, longest):
    """Starts the command and kills it with SIGKILL after a random moment;
    returns False when it ended on its own before that."""
    process = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        process.wait(timeout=WINE["startup"] + random.uniform(0.01, longest))
        return False
    except subprocess.TimeoutExpired:
        process.send_signal(signal.SIGKILL)
        process.wait()
        KILLS["made"] += 1
        return True


def digest(path):
    with open(path, "rb") as f:
        return hashlib.md5(f.read()).hexdigest()


def trial_download(subject, url, work, expected):
    target = os.path.join(work, "whole.bin")
    kill_at_random([*subject, "download", url, store_path(target)], 0.8)
    if subprocess.run([*subject, "download", url, store_path(target)]).returncode != 0:
        return "the restarted download failed"
    return None if digest(target) == expected else "the resumed file differs"


def trial_segmented(subject, url, work, expected):
    kill_at_random([*subject, "segmented", url, store_path(work)], 0.3)
    if subprocess.run([*subject, "segmented", url, store_path(work)]).returncode != 0:
        return "the restarted segmented download failed"
    target = os.path.join(work, "data.bin")
    return None if digest(target) == expected else "the resumed segmented file differs"


def trial_store(subject, store, work):
    if subprocess.run([*subject, "save", store, store_path(work), "1"]).returncode != 0:
        return "the first save failed"
    kill_at_random([*subject, "save", store, store_path(work), "100000"], 0.5)
    check = subprocess.run([*subject, "check", store, store_path(work)], capture_output=True,
                           text=True)
    if check.returncode != 0:
        return f"after the kill the store loads no whole content ({check.stdout.strip()})"
    return None


def startup_time(exe):
    """How long the program takes under Wine to get nowhere (a bad command),
    measured warm: the first start of a session also starts its services."""
    took = 0.0
    for _ in range(2):
        began = time.monotonic()
        subprocess.run(["wine", exe], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        took = time.monotonic() - began
    return took


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--count", type=int, default=3)
    parser.add_argument("--build", default=os.path.join(os.path.dirname(__file__), "..",
                                                        "build", "native"))
    parser.add_argument("--junit")
    parser.add_argument("--wine", action="store_true", help="the Windows build under Wine")
    args = parser.parse_args()
    subject = os.path.abspath(os.path.join(args.build, "bench", "crash_subject"))
    if args.wine:
        # A Windows process under Wine is the very process started here, so
        # SIGKILL ends it as a power cut would; its start-up takes a while.
        WINE.update(on=True, startup=startup_time(subject + ".exe"))
        subject = ["wine", subject + ".exe"]
    else:
        subject = [subject]
    SlowRangeHandler.content = os.urandom(SIZE)
    expected = hashlib.md5(SlowRangeHandler.content).hexdigest()
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), SlowRangeHandler)
    server.daemon_threads = True
    threading.Thread(target=server.serve_forever, daemon=True).start()
    url = f"http://127.0.0.1:{server.server_address[1]}/data.bin"

    kinds = {
        "download": lambda work: trial_download(subject, url, work, expected),
        "segmented": lambda work: trial_segmented(subject, url, work, expected),
        "save filelist.dat": lambda work: trial_store(subject, "list", work),
        "save Velmora.data": lambda work: trial_store(subject, "accounts", work),
        "save VelmoraURL.dat": lambda work: trial_store(subject, "state", work),
    }
    failures = {}
    for name, trial in kinds.items():
        for i in range(args.count):
            work = tempfile.mkdtemp(prefix="velmora-crash-")
            try:
                problem = trial(work)
            finally:
                shutil.rmtree(work, ignore_errors=True)
            if problem:
                failures.setdefault(name, []).append(f"trial {i + 1}: {problem}")
        print(f"crash trials, {name}: {args.count - len(failures.get(name, []))}"
              f"/{args.count} passed, {KILLS['made']} killed so far")
    server.shutdown()
    if args.junit:
        with open(args.junit, "w") as report:
            suite = "crash-wine" if args.wine else "crash"
            report.write(f'<testsuite name="{suite}">')
            for name in kinds:
                report.write(f'<testcase classname="{suite}" name="{name}">')
                if name in failures:
                    report.write(f'<failure>{"; ".join(failures[name])}</failure>')
                report.write("</testcase>")
            report.write("</testsuite>")
    for name, problems in failures.items():
        print(f"FAILED {name}: " + "; ".join(problems), file=sys.stderr)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
