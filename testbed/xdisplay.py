"""A private X display for a test. Its number is drawn far above those that
Xvfb -displayfd hands out: inside a network namespace of its own an X server
does not see the abstract socket of the session's display, would take that
display's number, and on its end would remove the socket through which the
session's programs reach their screen."""
import os
import random
import subprocess
import time


def start_display(size="1280x800"):
    """(":N", the Xvfb process) of a display of SIZE that accepts clients."""
    for _ in range(20):
        number = random.randint(400, 899)
        socket = f"/tmp/.X11-unix/X{number}"
        if os.path.exists(f"/tmp/.X{number}-lock") or os.path.exists(socket):
            continue
        process = subprocess.Popen(["Xvfb", f":{number}", "-screen", "0", size + "x24",
                                    "-nolisten", "tcp"],
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + 5
        while time.monotonic() < deadline and process.poll() is None:
            if os.path.exists(socket):
                return f":{number}", process
            time.sleep(0.1)
        stop_display(process)
    raise RuntimeError("no X display could be started")


def stop_display(process):
    process.terminate()
    process.wait()
