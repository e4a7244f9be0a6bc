#!/usr/bin/env python3
"""The resident program's start under Wine: the time from the program's start
until its first window is on the screen (the floating window, or the login
dialog where no account logs in by itself), for one or more builds of the
program, in alternating rounds so that each meets the same load. Run inside a display
with the project's Wine environment (scripts/wine-env.sh) and a warm
wineserver; prints every round and then the medians.

  bench/startup_bench.py ROUNDS NAME=PATH/VelmoraURL.exe...
"""
import statistics
import subprocess
import sys
import time

FIRST_WINDOWS = "^(Velmora助手|登录Velmora平台)$"


def window_shown():
    found = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", FIRST_WINDOWS],
                           stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    return found.returncode == 0 and found.stdout.strip() != b""


def end_program(process):
    subprocess.run(["wine", "taskkill", "/f", "/im", "VelmoraURL.exe"],
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        process.wait(timeout=20)
    except subprocess.TimeoutExpired:
        process.kill()
    deadline = time.monotonic() + 10
    while window_shown() and time.monotonic() < deadline:
        time.sleep(0.05)


def one_start(exe):
    """Seconds until the window shows, or None when it never did."""
    start = time.monotonic()
    process = subprocess.Popen(["wine", exe], stdin=subprocess.DEVNULL,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    shown = None
    while time.monotonic() - start < 30:
        if window_shown():
            shown = time.monotonic() - start
            break
        time.sleep(0.01)
    end_program(process)
    return shown


def main():
    rounds = int(sys.argv[1])
    builds = [arg.split("=", 1) for arg in sys.argv[2:]]
    for _, exe in builds:  # warm-up: the system's libraries into the page cache
        one_start(exe)
    times = {name: [] for name, _ in builds}
    for i in range(rounds):
        for name, exe in builds:
            shown = one_start(exe)
            print("round %d %s %s" % (i + 1, name, "%.3f s" % shown if shown else "no window"))
            if shown:
                times[name].append(shown)
    print("| build | median s | rounds |")
    print("|---|---|---|")
    for name, values in times.items():
        median = "%.3f" % statistics.median(values) if values else "-"
        print("| %s | %s | %d |" % (name, median, len(values)))


if __name__ == "__main__":
    main()
