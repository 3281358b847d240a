#!/usr/bin/python3
"""The Windows program under Wine, in a real X window, on a COM port.

Wine opens COMn through the link $WINEPREFIX/dosdevices/comn: here it names the
instrument simulator's pseudo-terminal. Starts PROGRAM.exe with --port 10 (a
port that Windows opens only as \\\\.\\COM10) and --save-dir, checks the
window's caption and 529 x 273 client area and saves a capture of it to
CAPTURE.png; sends two screenshots, which must be saved byte for byte; unplugs
(the simulator ends, the link goes) and plugs a new line in as COM10, whose
screenshot must be saved too; then closes the window as a window manager's close
button does and checks that the program ended.

Usage: wine_window_test.py PROGRAM.exe SIMULATOR CAPTURE.png
Needs WINEPREFIX set, wine, xdotool and python3-xlib, on an X display.
"""
import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from real_window_test import (CAPTION, WINDOW, Failure, client_origin,  # noqa: E402
                              close_as_window_manager, save_capture, send_screenshot,
                              wait_for)
from Xlib import display as xdisplay  # noqa: E402

PORT = 10


def find_window_starting(prefix):
    out = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", f"^{prefix}"],
                         capture_output=True, text=True).stdout.split()
    return int(out[0]) if out else None


def holds(device):
    """Whether any process of this machine has `device` open (Wine's server or
    the program itself holds the port's descriptor)."""
    real = os.path.realpath(device)
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            for fd in os.listdir(f"/proc/{pid}/fd"):
                if os.path.realpath(f"/proc/{pid}/fd/{fd}") == real:
                    return True
        except OSError:
            continue
    return False


class Line:
    """The simulator on a fresh pseudo-terminal, plugged in as COM10."""

    def __init__(self, simulator, count, copies):
        self.process = subprocess.Popen([simulator, "--count", str(count), "--copy-to", copies],
                                        stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                        stderr=subprocess.PIPE)
        self.device = self.process.stdout.readline().decode().strip()
        self.link = os.path.join(os.environ["WINEPREFIX"], "dosdevices", f"com{PORT}")
        if os.path.lexists(self.link):
            os.remove(self.link)
        os.symlink(self.device, self.link)

    def unplug(self):
        self.process.stdin.close()
        self.process.wait(timeout=30)
        os.remove(self.link)


def saved(folder):
    return sorted(open(os.path.join(folder, name), "rb").read() for name in os.listdir(folder))


def run(program, simulator, capture, work):
    folder = os.path.join(work, "saved")
    os.mkdir(folder)
    windows_folder = subprocess.run(["winepath", "-w", folder], capture_output=True,
                                    text=True, check=True).stdout.strip()
    line = Line(simulator, 2, work)
    app = subprocess.Popen(["wine", program, "--port", str(PORT), "--save-dir", windows_folder])
    dpy = xdisplay.Display()
    try:
        window_id = wait_for(f'a window captioned "{CAPTION} - saving to ..."',
                             lambda: find_window_starting(CAPTION + " - saving to "))
        window, _, _ = client_origin(dpy, window_id)
        size = window.get_geometry()
        if (size.width, size.height) != WINDOW:
            raise Failure(f"the window is {size.width} x {size.height}, not "
                          f"{WINDOW[0]} x {WINDOW[1]}")
        # The port is opened once the window has been painted.
        wait_for(f"the program to open COM{PORT}", lambda: holds(line.device))
        save_capture(dpy, window_id, capture)

        sent = [send_screenshot(line.process, work) for _ in range(2)]
        wait_for("two screenshots saved", lambda: len(os.listdir(folder)) == 2)
        if saved(folder) != sorted(sent):
            raise Failure("the saved screenshots differ from those sent")

        line.unplug()
        wait_for(f"the program to let go of the unplugged COM{PORT}",
                 lambda: not holds(line.device))
        line = Line(simulator, 1, work)
        wait_for(f"the program to open COM{PORT} again", lambda: holds(line.device))
        sent.append(send_screenshot(line.process, work))
        wait_for("the screenshot after the replug saved", lambda: len(os.listdir(folder)) == 3)
        if saved(folder) != sorted(sent):
            raise Failure("the screenshot after the replug differs from the one sent")

        close_as_window_manager(dpy, window_id)
        try:
            status = app.wait(timeout=30)
        except subprocess.TimeoutExpired:
            raise Failure("the program did not end when its window was closed")
        if status != 0:
            raise Failure(f"the program ended with status {status}")
        print(f"under Wine: window {WINDOW[0]} x {WINDOW[1]}, captured to {capture}; "
              f"3 screenshots through COM{PORT} saved byte for byte, across an unplug; "
              "closed and ended")
    finally:
        if app.poll() is None:
            app.kill()
        line.process.kill()


if __name__ == "__main__":
    if len(sys.argv) != 4:
        print(__doc__)
        sys.exit(2)
    try:
        with tempfile.TemporaryDirectory() as work:
            run(sys.argv[1], sys.argv[2], os.path.abspath(sys.argv[3]), work)
    except Failure as failure:
        print(f"FAIL: {failure}")
        sys.exit(1)
