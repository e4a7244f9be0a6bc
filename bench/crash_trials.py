#!/usr/bin/env python3
"""Crash trials: kill -9 at random moments of a download, a segmented download
and each store's save; after every kill a restart must finish the download with
the served bytes and every store must load a whole old or new content.

The subject prints its progress; each kill waits for a random point of the
work to be reported, so that it falls inside the work. A trial whose subject
ended before its kill proves nothing: it is counted apart, never as passed.

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
PAUSE = 0.003         # after each piece of a whole file
RANGE_PAUSE = 0.02    # after each piece of a bounded range: ten of them run at once


class SlowRangeHandler(http.server.BaseHTTPRequestHandler):
    """Serves one file with byte ranges, slowly enough to be killed mid-way."""
    content = b""

    def log_message(self, *args):
        pass

    def do_GET(self):
        data, first = self.content, 0
        last = len(data) - 1
        spec = self.headers.get("Range", "")
        pause = PAUSE
        if spec.startswith("bytes="):
            a, _, b = spec[6:].partition("-")
            pause = RANGE_PAUSE if b else PAUSE
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
                time.sleep(pause)
        except (BrokenPipeError, ConnectionResetError):
            pass


WINE = {"on": False}


def store_path(path):
    """The program's path form: "\\" between the parts (under Wine on drive Z:)."""
    return ("Z:" if WINE["on"] else "") + path.replace("/", "\\")


def kill_at_progress(command, reached, jitter=0.0):
    """Starts the command and kills it with SIGKILL once a line "progress
    <done> <total>" that it prints satisfies reached(done, total), after up to
    `jitter` seconds more. Returns its exit status: -SIGKILL when the kill
    ended it, else it ended on its own first."""
    process = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    for line in process.stdout:
        fields = line.split()
        if len(fields) == 3 and fields[0] == b"progress" and reached(int(fields[1]),
                                                                     int(fields[2])):
            time.sleep(random.uniform(0, jitter))
            process.send_signal(signal.SIGKILL)
            break
    process.stdout.close()
    return process.wait()


def killed_mid_work(status):
    """(killed, problem) of a kill_at_progress status."""
    if status == -signal.SIGKILL:
        return True, None
    return False, None if status == 0 else f"it ended with status {status} before its kill"


def share(low, high):
    """A random point between the shares low and high of a download."""
    point = random.uniform(low, high)
    return lambda done, total: done >= point * total


def run_quietly(command):
    return subprocess.run(command, stdout=subprocess.DEVNULL).returncode == 0


def digest(path):
    with open(path, "rb") as f:
        return hashlib.md5(f.read()).hexdigest()


# Each trial returns (killed mid-work, problem or None).

def trial_download(subject, url, work, expected):
    target = os.path.join(work, "whole.bin")
    killed, problem = killed_mid_work(
        kill_at_progress([*subject, "download", url, store_path(target)], share(0.05, 0.9)))
    if problem:
        return killed, problem
    if not run_quietly([*subject, "download", url, store_path(target)]):
        return killed, "the restarted download failed"
    return killed, None if digest(target) == expected else "the resumed file differs"


def trial_segmented(subject, url, work, expected):
    killed, problem = killed_mid_work(
        kill_at_progress([*subject, "segmented", url, store_path(work)], share(0.05, 0.8)))
    if problem:
        return killed, problem
    if not run_quietly([*subject, "segmented", url, store_path(work)]):
        return killed, "the restarted segmented download failed"
    target = os.path.join(work, "data.bin")
    return killed, None if digest(target) == expected else "the resumed segmented file differs"


def trial_store(subject, store, work):
    if not run_quietly([*subject, "save", store, store_path(work), "1"]):
        return False, "the first save failed"
    # Some generations in, and then anywhere inside a save.
    generation = random.randint(2, 200)
    killed, problem = killed_mid_work(
        kill_at_progress([*subject, "save", store, store_path(work), "100000"],
                         lambda done, total: done >= generation, jitter=0.005))
    if problem:
        return killed, problem
    check = subprocess.run([*subject, "check", store, store_path(work)], capture_output=True,
                           text=True)
    if check.returncode != 0:
        return killed, f"after the kill the store loads no whole content ({check.stdout.strip()})"
    return killed, None


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
        # SIGKILL ends it as a power cut would.
        WINE["on"] = True
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
        killed = passed = 0
        for i in range(args.count):
            work = tempfile.mkdtemp(prefix="velmora-crash-")
            try:
                was_killed, problem = trial(work)
            finally:
                shutil.rmtree(work, ignore_errors=True)
            killed += was_killed
            if problem:
                failures.setdefault(name, []).append(f"trial {i + 1}: {problem}")
            elif was_killed:
                passed += 1
        print(f"crash trials, {name}: {passed}/{args.count} passed, {killed} killed mid-work, "
              f"{args.count - killed} ended before the kill", flush=True)
        if killed == 0:
            failures.setdefault(name, []).append("no trial was killed mid-work")
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
