#!/usr/bin/python3
"""The Windows program under Wine, in a real X window, on a COM port.

Wine opens COMn through the link $WINEPREFIX/dosdevices/comn: here it names the
instrument simulator's pseudo-terminal, and Wine's list of ports (the SERIALCOMM
key) names it as COM10, a port Windows opens only as \\\\.\\COM10. Starts
PROGRAM.exe with --save-dir and no port: it must find COM10 itself. Checks the
window's caption and 529 x 273 client area and saves a capture of it to
CAPTURE.png; sends two screenshots, which must be saved byte for byte; unplugs
(the simulator ends, the link goes) and plugs a new line in as COM10, whose
screenshot must be saved too; then closes the window as a window manager's close
button does and checks that the program ended. Last, the Windows simulator beside
PROGRAM.exe sends a screenshot on COM11, which must come out of the
pseudo-terminal linked there byte for byte.

The program is started with a JPEG photo named on its command line, which it
must show before the first screenshot (JPEG is a Qt plug-in the installer must
bring). Then the console twin beside it, kvd62-capture.com, is run as a Command
Prompt runs it: --version prints, a bad option sets %ERRORLEVEL% to 2, and
--no-window on COM12 prints the path of the screenshot it saved into a folder
named beyond ASCII, in UTF-8 to a pipe.

Usage: wine_window_test.py PROGRAM.exe SIMULATOR CAPTURE.png
Needs WINEPREFIX set, wine, xdotool and python3-xlib, on an X display. Wine
lists every /dev/ttyS* the machine has as COM1, COM2 ... before COM10, and
cannot say which is an adapter (the order that puts adapters first is tested
with Windows' own answers in tst_platform): run it where those are not serial
devices (scripts/windows.sh binds /dev/null over them), as on a laptop whose only
port is the adapter.
"""
import os
import pty
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from real_window_test import (CAPTION, PICTURE, WINDOW, Failure, client_origin,  # noqa: E402
                              close_as_window_manager, ends_with_test, save_capture,
                              send_screenshot, start_simulator, wait_for)
from Xlib import X, display as xdisplay  # noqa: E402

PORT = 10
PHOTO = os.path.join(os.path.dirname(os.path.abspath(__file__)), "bench-photo.jpg")
PHOTO_COLOUR = (230, 120, 20)  # the photo is this colour throughout


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


def picture_colour(dpy, window_id):
    """The colour at the middle of the window's picture."""
    _, ox, oy = client_origin(dpy, window_id)
    left, top, width, height = PICTURE
    image = dpy.screen().root.get_image(ox + left + width // 2, oy + top + height // 2, 1, 1,
                                        X.ZPixmap, 0xFFFFFFFF)
    b, g, r = image.data[0:3]
    return (r, g, b)


class Line:
    """The simulator on a fresh pseudo-terminal, plugged in as COM10 (or `port`)."""

    def __init__(self, simulator, count, copies, port=PORT):
        self.process = start_simulator(simulator, "--count", str(count), "--copy-to", copies)
        self.device = self.process.stdout.readline().decode().strip()
        self.link = os.path.join(os.environ["WINEPREFIX"], "dosdevices", f"com{port}")
        if os.path.lexists(self.link):
            os.remove(self.link)
        os.symlink(self.device, self.link)

    def unplug(self):
        self.process.stdin.close()
        self.process.wait(timeout=30)
        os.remove(self.link)


def windows_path(path):
    return subprocess.run(["winepath", "-w", path], capture_output=True, text=True,
                          check=True).stdout.strip()


def check_windows_simulator(program, work):
    """The simulator.exe beside PROGRAM.exe sends one screenshot on COM11."""
    master, slave = pty.openpty()
    link = os.path.join(os.environ["WINEPREFIX"], "dosdevices", "com11")
    if os.path.lexists(link):
        os.remove(link)
    os.symlink(os.ttyname(slave), link)
    copies = os.path.join(work, "windows-simulator")
    os.mkdir(copies)
    simulator = os.path.join(os.path.dirname(program), "kvd62-simulator.exe")
    try:
        sent = subprocess.run(["wine", simulator, "--device", "COM11", "--count", "1",
                               "--copy-to", windows_path(copies)],
                              input=b"\n", capture_output=True, timeout=60)
        if sent.returncode != 0:
            raise Failure(f"the Windows simulator failed: {sent.stderr.decode().strip()}")
        os.set_blocking(master, False)
        received = b""
        while True:
            try:
                chunk = os.read(master, 4096)
            except BlockingIOError:
                break
            if not chunk:
                break
            received += chunk
        with open(os.path.join(copies, "screenshot-1.bmp"), "rb") as copy:
            if received != copy.read():
                raise Failure(f"the Windows simulator's {len(received)} bytes on COM11 differ "
                              "from the screenshot it says it sent")
    finally:
        os.remove(link)
        os.close(master)
        os.close(slave)


def finished(folder):
    """The names of the files written whole into the folder, in arrival order: a
    file still being written is there under a temporary name (NAME.part-N)."""
    return sorted(name for name in os.listdir(folder) if ".part-" not in name)


def saved(folder):
    """The files in the folder, in the order of their names (arrival order)."""
    return [open(os.path.join(folder, name), "rb").read() for name in finished(folder)]


def register_port(port, device):
    """Lists `device` as COM`port` in Wine's ports, as plugging an adapter in
    lists it in Windows'; Wine reads the list when it starts."""
    subprocess.run(["wine", "reg", "add", r"HKLM\Software\Wine\Ports", "/v", f"COM{port}",
                    "/d", device, "/f"], check=True, capture_output=True)
    subprocess.run(["wineserver", "-k"], capture_output=True)
    subprocess.run(["wineserver", "-w"], check=True, capture_output=True)
    # Wine's device manager fills its list of ports (a volatile key, as on
    # Windows) anew each time Wine starts, while the first program is already
    # running: a program started at once could look before COM10 is listed. On
    # Windows the list is filled at boot, so wait for it here.
    wait_for(f"Wine to list COM{port}",
             lambda: f"COM{port}" in subprocess.run(
                 ["wine", "reg", "query", r"HKLM\HARDWARE\DEVICEMAP\SERIALCOMM"],
                 capture_output=True, text=True).stdout.split())


def check_console(program, simulator, work):
    """kvd62-capture.com, run by name from a Command Prompt in its folder."""
    folder = os.path.dirname(program)

    def prompt(command, **options):
        return subprocess.run(["wine", "cmd", "/c", command], cwd=folder, capture_output=True,
                              timeout=120, **options)

    version = prompt("kvd62-capture --version")
    if b"kvd62-capture 2.0" not in version.stdout:
        raise Failure(f"--version in a Command Prompt printed {version.stdout!r}")
    bogus = prompt("kvd62-capture --bogus & echo %ERRORLEVEL%")
    if bogus.stdout.split()[-1:] != [b"2"] or b"Unknown option" not in bogus.stderr:
        raise Failure(f"a bad option in a Command Prompt gave {bogus.stdout!r} {bogus.stderr!r}")

    # From a batch file, as a script runs it: Wine's start of cmd from Linux would
    # escape the quotes around the folder. cmd reads a batch file in the
    # console's code page (437 here).
    shots = os.path.join(work, "Prüfstand Ölpumpe")
    os.mkdir(shots)
    batch = os.path.join(work, "capture-one.cmd")
    with open(batch, "w", encoding="cp437", newline="\r\n") as script:
        script.write("@kvd62-capture --no-window --port COM12 --save-dir "
                     f'"{windows_path(shots)}" --count 1\n')
    line = Line(simulator, 1, work, port=12)
    try:
        capture = subprocess.Popen(["wine", "cmd", "/c", windows_path(batch)], cwd=folder,
                                   stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                   preexec_fn=ends_with_test)
        wait_for("kvd62-capture.com to open COM12", lambda: holds(line.device))
        send_screenshot(line.process, work)
        out, err = capture.communicate(timeout=120)
    finally:
        line.process.kill()
    names = os.listdir(shots)
    if capture.returncode != 0 or len(names) != 1:
        raise Failure(f"--no-window in a Command Prompt ended with {capture.returncode}, "
                      f"{len(names)} files saved: {err.decode(errors='replace')}")
    printed = out.decode("utf-8").strip()
    if printed != windows_path(os.path.join(shots, names[0])):
        raise Failure(f"--no-window printed {printed!r} for {names[0]}")


def run(program, simulator, capture, work):
    folder = os.path.join(work, "saved")
    os.mkdir(folder)
    windows_folder = windows_path(folder)
    line = Line(simulator, 2, work)
    register_port(PORT, line.device)
    app = subprocess.Popen(["wine", program, "--save-dir", windows_folder, windows_path(PHOTO)],
                           preexec_fn=ends_with_test)
    dpy = xdisplay.Display()
    try:
        window_id = wait_for(f'a window captioned "{CAPTION} - saving to ..."',
                             lambda: find_window_starting(CAPTION + " - saving to "))
        window, _, _ = client_origin(dpy, window_id)
        size = window.get_geometry()
        if (size.width, size.height) != WINDOW:
            raise Failure(f"the window is {size.width} x {size.height}, not "
                          f"{WINDOW[0]} x {WINDOW[1]}")
        # The port is found and opened once the window has been painted.
        wait_for(f"the program to find and open COM{PORT} by itself", lambda: holds(line.device))
        save_capture(dpy, window_id, capture)
        wait_for("the JPEG photo named on the command line shown",
                 lambda: all(abs(a - b) <= 8
                             for a, b in zip(picture_colour(dpy, window_id), PHOTO_COLOUR)))

        sent = [send_screenshot(line.process, work) for _ in range(2)]
        wait_for("two screenshots saved", lambda: len(finished(folder)) == 2)
        if saved(folder) != sent:
            raise Failure("the saved screenshots differ from those sent")

        line.unplug()
        wait_for(f"the program to let go of the unplugged COM{PORT}",
                 lambda: not holds(line.device))
        line = Line(simulator, 1, work)
        wait_for(f"the program to open COM{PORT} again", lambda: holds(line.device))
        sent.append(send_screenshot(line.process, work))
        wait_for("the screenshot after the replug saved", lambda: len(finished(folder)) == 3)
        if saved(folder) != sent:
            raise Failure("the screenshot after the replug differs from the one sent")

        close_as_window_manager(dpy, window_id)
        try:
            status = app.wait(timeout=30)
        except subprocess.TimeoutExpired:
            raise Failure("the program did not end when its window was closed")
        if status != 0:
            raise Failure(f"the program ended with status {status}")
        check_windows_simulator(program, work)
        check_console(program, simulator, work)
        print(f"under Wine: COM{PORT} found at start; "
              f"window {WINDOW[0]} x {WINDOW[1]}, captured to {capture}; a JPEG photo shown; "
              f"3 screenshots through COM{PORT} saved byte for byte, across an unplug; "
              "closed and ended; the Windows simulator sent a screenshot on COM11; "
              "kvd62-capture.com answered --version, --bogus and --no-window in a "
              "Command Prompt")
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
