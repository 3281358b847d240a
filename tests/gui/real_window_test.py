#!/usr/bin/python3
"""The built program in a real X window, used as a person uses it.

Runs kvd62-capture on the X display in DISPLAY (an Xvfb's), with the instrument
simulator on a pseudo-terminal: starts it on a port that is not there, answers
the message that says so, types the simulator's device into "Serial port" with
xdotool, has a screenshot sent, and compares the picture area of a capture
of the X screen with the screenshot's pixels, block by block. Then a second
screenshot, whose arrival question it answers No; then Ctrl+C, whose clipboard
must hand other programs the screenshot's exact bytes, and "Export as PNG..." at
scale 3, whose file must hold each pixel as a 3 x 3 block. With "Disable Save"
ticked, a block that is no bitmap and 5 screenshots follow: each is saved from
the History window (Ctrl+H), newest first, and must equal what was sent, and the
whole session goes into one PDF ("Export PDF..."). Then
"Save every screenshot to folder..." from the picture's menu, 3 screenshots that
must land there (only the first asks, about the unsaved one on screen), and
"Stop saving to folder". Last it checks
the window's size, opens History and "Show large" again, and closes the main
window as a window manager's close button does (a WM_DELETE_WINDOW message):
the program must end, whatever else of it is open.

Usage: real_window_test.py PROGRAM SIMULATOR SCALE
Exit status 0 when all holds, 1 with the reason when not, 77 when the tools it
needs are missing (CTest counts that as skipped, and prints the reason).
"""
import ctypes
import faulthandler
import os
import queue
import select
import signal
import shutil
import struct
import subprocess
import sys
import tempfile
import threading
import time
import zlib

try:
    from Xlib import X, Xatom, display as xdisplay, protocol
except ImportError:
    print("skipped: python3-xlib is not installed")
    sys.exit(77)

CAPTION = "KVD62 screen capture V2.00"
# Client-area geometry in device-independent pixels (twips / 15).
WINDOW = (529, 273)
PICTURE = (16, 24, 388, 228)  # Image1: left, top, width, height
SELECTOR = (424 + 6, 32 + 10)  # in Combo1's text, left of its arrow
DISABLE_SAVE = (416 + 8 + 7, 8 + 224 + 8)  # Check2's box, in Frame1
# The picture's menu, by how many items down (disabled ones are skipped).
EXPORT_PNG, SAVE_TO_FOLDER, STOP_SAVING = 2, 4, 5
BOUND = 30.0  # seconds any wait may take: generous, a loaded machine is slow


class Failure(Exception):
    pass


def wait_for(what, check):
    deadline = time.monotonic() + BOUND
    while time.monotonic() < deadline:
        found = check()
        if found:
            return found
        time.sleep(0.05)
    raise Failure(f"gave up after {BOUND:.0f} s waiting for {what}")


class Pinger:
    """Tells when the program has handled every event sent to it so far: a
    window answers a window manager's ping (_NET_WM_PING) in turn, after them."""

    def __init__(self, window_id):
        self.dpy = xdisplay.Display()
        self.root = self.dpy.screen().root
        self.root.change_attributes(event_mask=X.StructureNotifyMask)  # where answers go
        self.window = self.dpy.create_resource_object("window", window_id)
        self.protocols = self.dpy.intern_atom("WM_PROTOCOLS")
        self.ping = self.dpy.intern_atom("_NET_WM_PING")
        self.sent = 0

    def settle(self):
        self.sent += 1
        self.window.send_event(protocol.event.ClientMessage(
            window=self.window, client_type=self.protocols,
            data=(32, [self.ping, self.sent, self.window.id, 0, 0])), event_mask=X.NoEventMask)
        self.dpy.flush()
        deadline = time.monotonic() + BOUND
        while time.monotonic() < deadline:
            while self.dpy.pending_events():
                event = self.dpy.next_event()
                if (event.type == X.ClientMessage and event.window == self.root and
                        list(event.data[1][:2]) == [self.ping, self.sent]):
                    return
            select.select([self.dpy], [], [], max(0.0, deadline - time.monotonic()))
        raise Failure(f"gave up after {BOUND:.0f} s waiting for the program to answer a ping")


pinger = None


def settle():
    pinger.settle()


def xdotool(*args):
    # Bounded: "windowfocus --sync" waits as long as the focus does not come.
    try:
        return subprocess.run(["xdotool", *args], check=True, capture_output=True, text=True,
                              timeout=BOUND).stdout
    except subprocess.TimeoutExpired:
        raise Failure(f"gave up after {BOUND:.0f} s waiting for xdotool {' '.join(args)}")


def find_window(name):
    """A window of that name that is on screen (mapped): one that is only created
    cannot take the focus yet."""
    out = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", f"^{name}$"],
                         capture_output=True, text=True, timeout=BOUND).stdout.split()
    return int(out[0]) if out else None


def decode_screenshot(data):
    """The screenshot's pixels as rows of (r, g, b), top row first."""
    width, height = struct.unpack_from("<ii", data, 18)
    offset = struct.unpack_from("<I", data, 10)[0]
    palette = [tuple(data[54 + 4 * i:57 + 4 * i][::-1]) for i in range(2)]
    row_bytes = (width + 31) // 32 * 4
    rows = []
    for y in range(height):
        start = offset + (height - 1 - y) * row_bytes
        bits = data[start:start + row_bytes]
        rows.append([palette[(bits[x // 8] >> (7 - x % 8)) & 1] for x in range(width)])
    return rows


def client_origin(dpy, window_id):
    window = dpy.create_resource_object("window", window_id)
    at = window.translate_coords(dpy.screen().root, 0, 0)
    return window, -at.x, -at.y


def check_picture(dpy, window_id, screenshot, scale):
    """Every pixel of the screenshot is the colour at its block's centre."""
    rows = decode_screenshot(screenshot)
    _, ox, oy = client_origin(dpy, window_id)
    left, top, width, height = (round(v * scale) for v in PICTURE)
    image = dpy.screen().root.get_image(ox + left, oy + top, width, height, X.ZPixmap, 0xFFFFFFFF)
    data = image.data
    wrong = 0
    for y, row in enumerate(rows):
        for x, colour in enumerate(row):
            px = int((x + 0.5) * width / len(row))
            py = int((y + 0.5) * height / len(rows))
            b, g, r = data[(py * width + px) * 4:(py * width + px) * 4 + 3]
            wrong += (r, g, b) != colour
    if wrong:
        raise Failure(f"{wrong} of {len(rows) * len(rows[0])} pixel blocks differ from the screenshot")


def save_capture(dpy, window_id, path):
    """A window as it is on screen (the whole screen, with every dialog on it,
    for None), as a PNG file."""
    if window_id is None:
        size, ox, oy = dpy.screen().root.get_geometry(), 0, 0
    else:
        window, ox, oy = client_origin(dpy, window_id)
        size = window.get_geometry()
    image = dpy.screen().root.get_image(ox, oy, size.width, size.height, X.ZPixmap, 0xFFFFFFFF)
    pixels = bytes(image.data)  # blue, green, red, unused
    rgb = bytearray(size.width * size.height * 3)
    for channel in range(3):
        rgb[channel::3] = pixels[2 - channel::4]
    line = size.width * 3
    rows = b"".join(b"\x00" + rgb[y * line:(y + 1) * line] for y in range(size.height))

    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))

    with open(path, "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n" +
                  chunk(b"IHDR", struct.pack(">IIBBBBB", size.width, size.height, 8, 2, 0, 0, 0)) +
                  chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))


def close_as_window_manager(dpy, window_id):
    window = dpy.create_resource_object("window", window_id)
    protocols = dpy.intern_atom("WM_PROTOCOLS")
    delete = dpy.intern_atom("WM_DELETE_WINDOW")
    event = protocol.event.ClientMessage(window=window, client_type=protocols,
                                         data=(32, [delete, X.CurrentTime, 0, 0, 0]))
    window.send_event(event, event_mask=X.NoEventMask)
    dpy.flush()


def send_screenshot(simulator, copies):
    """Has the simulator send one screenshot; returns the bytes it sent."""
    simulator.stdin.write(b"\n")
    simulator.stdin.flush()
    while True:
        try:
            line = simulator.said.get(timeout=BOUND)
        except queue.Empty:
            raise Failure(f"gave up after {BOUND:.0f} s waiting for the simulator to send")
        if not line:
            raise Failure("the simulator ended without sending a screenshot")
        if line.startswith(b"Sent screenshot"):
            break
    with open(os.path.join(copies, f"screenshot-{int(line.split()[-1])}.bmp"), "rb") as sent:
        return sent.read()


def start_simulator(path, *options):
    """The simulator, told to send by a line on its input; what it says on its
    standard error goes line by line into `said`, a queue that a wait can give
    up on (an empty line when it ends)."""
    simulator = subprocess.Popen([path, *options], stdin=subprocess.PIPE,
                                 stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                 preexec_fn=ends_with_test)
    simulator.said = queue.Queue()

    def pass_on_lines():
        for line in iter(simulator.stderr.readline, b""):
            simulator.said.put(line)
        simulator.said.put(b"")

    threading.Thread(target=pass_on_lines, daemon=True).start()
    return simulator


def ends_with_test():
    """For Popen's preexec_fn: the program ends when this test does, however it
    ends (CTest's timeout kills the test, and no finally runs then)."""
    ctypes.CDLL(None, use_errno=True).prctl(1, signal.SIGKILL)  # PR_SET_PDEATHSIG


def run(program, simulator_path, scale, copies):
    for tool in ("xdotool", "xclip", "pdftotext", "pdfimages"):
        if shutil.which(tool) is None:
            print(f"skipped: {tool} is not installed")
            sys.exit(77)
    dpy = xdisplay.Display()
    env = dict(os.environ, QT_SCALE_FACTOR=str(scale), QT_QPA_PLATFORM="xcb")
    simulator = start_simulator(simulator_path, "--count", "12", "--unreadable", "3",
                                "--copy-to", copies)
    device = simulator.stdout.readline().decode().strip()
    # Started on a port that is not there, so that start-up always ends in the same
    # message: whether this machine has serial ports, and how long trying them
    # takes, then cannot decide when the message comes and catches the typing.
    missing_port = os.path.join(copies, "no-such-port")
    app = subprocess.Popen([program, "--port", missing_port], env=env, preexec_fn=ends_with_test)
    try:
        window_id = wait_for(f'a window captioned "{CAPTION}"', lambda: find_window(CAPTION))
        global pinger
        pinger = Pinger(window_id)
        message = wait_for('the message "Serial port"', lambda: find_window("Serial port"))
        xdotool("windowfocus", "--sync", str(message))
        xdotool("key", "Return")
        wait_for("the start-up message to close", lambda: not find_window("Serial port"))

        click(window_id, SELECTOR, scale)
        xdotool("key", "ctrl+a")
        xdotool("type", "--delay", "5", device)
        xdotool("key", "Return")
        # As a person presses the instrument's button once the port is chosen:
        # what comes before the program has the line open is not its to read.
        wait_for(f"the program to open {device}", lambda: holds_open(app.pid, device))

        first = send_screenshot(simulator, copies)
        wait_for("the first screenshot on screen",
                 lambda: _shows(dpy, window_id, first, scale))

        second = send_screenshot(simulator, copies)
        question = wait_for('the question "Incoming data"', lambda: find_window("Incoming data"))
        xdotool("windowfocus", "--sync", str(question))
        xdotool("key", "alt+n")
        wait_for("the second screenshot on screen",
                 lambda: _shows(dpy, window_id, second, scale))

        # Ctrl+C: other programs get the screenshot's own file bytes.
        xdotool("windowfocus", "--sync", str(window_id))
        xdotool("key", "ctrl+c")
        wait_for("the screenshot's bytes on the clipboard",
                 lambda: _clipboard("image/bmp") == second)

        export_png(window_id, second, copies, scale)
        save_from_history(dpy, window_id, simulator, copies, scale)
        save_to_folder(dpy, window_id, simulator, copies, scale)

        window, _, _ = client_origin(dpy, window_id)
        size = window.get_geometry()
        want = tuple(round(v * scale) for v in WINDOW)
        if (size.width, size.height) != want:
            raise Failure(f"the window is {size.width} x {size.height}, not {want[0]} x {want[1]}")

        open_large_from_history(window_id)
        close_as_window_manager(dpy, window_id)
        try:
            status = app.wait(timeout=BOUND)
        except subprocess.TimeoutExpired:
            raise Failure("the program did not end when its window was closed with History "
                          'and "Show large" open')
        if status != 0:
            raise Failure(f"the program ended with status {status}")
        print(f"scale {scale}: both screenshots shown pixel for pixel; copied byte for byte; "
              f"exported as a PNG at scale 3; 5 screenshots and a dropped block saved from the "
              f"history, and the session as one PDF; 3 saved to a "
              f"folder; window {want[0]} x {want[1]}; closed with History open and ended")
    except Failure:
        capture = os.path.abspath(f"real-window-scale-{scale:g}.png")
        save_capture(dpy, None, capture)
        print(f"the screen as it was: {capture}")
        describe_failure(app.pid, device)
        raise
    finally:
        if app.poll() is None:
            app.kill()
        simulator.kill()


def save_from_history(dpy, window_id, simulator, copies, scale):
    click(window_id, DISABLE_SAVE, scale)
    dropped = send_screenshot(simulator, copies)
    shots = [send_screenshot(simulator, copies) for _ in range(5)]
    wait_for("the fifth screenshot on screen", lambda: _shows(dpy, window_id, shots[-1], scale))
    xdotool("windowfocus", "--sync", str(window_id))
    xdotool("key", "ctrl+h")
    history = wait_for('the window "History"', lambda: find_window("^History$"))
    newest_first = [(shot, "Save screenshot as", "bmp") for shot in reversed(shots)]
    for row, (sent, title, suffix) in enumerate(newest_first + [(dropped, "Save dropped block as",
                                                                 "bin")]):
        xdotool("windowfocus", "--sync", str(history))
        xdotool("key", "Home", *["Down"] * row, "ctrl+s")
        path = os.path.join(copies, f"history-row-{row}.{suffix}")
        answer_dialog(title, path)
        wait_for(f"{path} written", lambda: _read(path) == sent)
    export_session_pdf(history, copies, shots=7, dropped=1)
    # Without a window manager every window opens over the main one: close it.
    close_as_window_manager(dpy, history)
    wait_for('the window "History" to close', lambda: not find_window("^History$"))


def open_large_from_history(window_id):
    """History (Ctrl+H) and its newest screenshot shown large (Enter), left open."""
    xdotool("windowfocus", "--sync", str(window_id))
    xdotool("key", "ctrl+h")
    history = wait_for('the window "History"', lambda: find_window("^History$"))
    xdotool("windowfocus", "--sync", str(history))
    xdotool("key", "Home", "Return")
    wait_for('the screenshot shown large', lambda: find_window("Screenshot of .*"))


def export_png(window_id, shown, copies, scale):
    choose_from_picture_menu(window_id, scale, EXPORT_PNG)
    answer_dialog("PNG scale", "3")
    path = os.path.join(copies, "shown.png")
    answer_dialog("Export as PNG", path)
    rows = decode_screenshot(shown)
    want = [[colour for colour in row for _ in range(3)] for row in rows for _ in range(3)]
    if wait_for(f"{path} written", lambda: _read(path) and decode_png(_read(path))) != want:
        raise Failure(f"{path} is not the screenshot with each pixel a 3 x 3 block")


def export_session_pdf(history, copies, shots, dropped):
    """"Export PDF..." (Alt+D) with nothing more than one selected: all of it."""
    xdotool("windowfocus", "--sync", str(history))
    xdotool("key", "alt+d")
    answer_dialog("Add comment to your PDF", "Bench 4")
    path = os.path.join(copies, "session.pdf")
    answer_dialog("Export PDF", path)
    wait_for(f"{path} written", lambda: os.path.exists(path))
    text = subprocess.run(["pdftotext", path, "-"], capture_output=True, text=True).stdout
    images = subprocess.run(["pdfimages", "-list", path], capture_output=True,
                            text=True).stdout.splitlines()[2:]
    heading = f"kvd62-capture: {shots} screenshots, {dropped} dropped block, "
    if (not text.startswith(heading) or text.count("Bench 4") != shots + dropped
            or text.count("Dropped: it ") != dropped or len(images) != shots):
        raise Failure(f"{path} holds {len(images)} pictures and the text {text!r}")


def decode_png(data):
    """A paletted 8-bit PNG's pixels as rows of (r, g, b), as Qt writes one."""
    chunks, at = {}, 8
    while at < len(data):
        size, = struct.unpack_from(">I", data, at)
        kind = data[at + 4:at + 8]
        chunks[kind] = chunks.get(kind, b"") + data[at + 8:at + 8 + size]
        at += 12 + size
    width, height, depth, colour = struct.unpack_from(">IIBB", chunks[b"IHDR"])
    if (depth, colour) != (8, 3):
        raise Failure(f"the PNG is not paletted (bit depth {depth}, colour type {colour})")
    palette = [tuple(chunks[b"PLTE"][i:i + 3]) for i in range(0, len(chunks[b"PLTE"]), 3)]
    raw, rows, above = zlib.decompress(chunks[b"IDAT"]), [], bytes(width)
    for y in range(height):
        kind, line = raw[y * (width + 1)], bytearray(raw[y * (width + 1) + 1:(y + 1) * (width + 1)])
        for x in range(width):
            left, up, corner = (line[x - 1] if x else 0), above[x], (above[x - 1] if x else 0)
            guess = left + up - corner
            nearest = min((abs(guess - left), 0, left), (abs(guess - up), 1, up),
                          (abs(guess - corner), 2, corner))[2]
            line[x] = (line[x] + (0, left, up, (left + up) // 2, nearest)[kind]) & 0xFF
        rows.append([palette[index] if index < len(palette) else None for index in line])
        above = line
    return rows


def save_to_folder(dpy, window_id, simulator, copies, scale):
    folder = os.path.join(copies, "folder")
    os.mkdir(folder)
    click(window_id, DISABLE_SAVE, scale)  # unticked: only the folder keeps the question away
    choose_from_picture_menu(window_id, scale, SAVE_TO_FOLDER)
    answer_dialog("Save every screenshot to folder", folder)
    wait_for("the caption to say where screenshots go",
             lambda: f" - saving to {folder}" in xdotool("getwindowname", str(window_id)))
    # The first asks about the one on screen, received with "Disable Save" ticked
    # and never saved; the ones that go to the folder ask nothing.
    sent = [send_screenshot(simulator, copies)]
    question = wait_for('the question "Incoming data"', lambda: find_window("Incoming data"))
    xdotool("windowfocus", "--sync", str(question))
    xdotool("key", "alt+n")
    sent += [send_screenshot(simulator, copies) for _ in range(2)]
    # Sorted by name, they come in the order sent.
    wait_for(f"3 screenshots in {folder}, in order by name",
             lambda: [_read(os.path.join(folder, name)) or b""
                      for name in sorted(os.listdir(folder))] == sent)
    if find_window("Incoming data"):
        raise Failure("a question was asked while every screenshot went to a folder")

    choose_from_picture_menu(window_id, scale, STOP_SAVING)
    wait_for("the caption to stop saying where screenshots go",
             lambda: " - saving to " not in xdotool("getwindowname", str(window_id)))
    last = send_screenshot(simulator, copies)
    wait_for("the screenshot after the stop on screen",
             lambda: _shows(dpy, window_id, last, scale))
    if len(os.listdir(folder)) != 3:
        raise Failure(f"{folder} holds {len(os.listdir(folder))} files after the stop, not 3")


def click(window_id, point, scale, button="1"):
    x, y = (round(v * scale) for v in point)
    # No window manager gives the window the keyboard: focus it as one would.
    xdotool("windowfocus", "--sync", str(window_id))
    xdotool("mousemove", "--window", str(window_id), str(x), str(y), "click", button)


def choose_from_picture_menu(window_id, scale, down):
    left, top, width, height = PICTURE
    click(window_id, (left + width / 2, top + height / 2), scale, button="3")
    # The menu takes the keyboard once it is up, under the pointer.
    wait_for("the picture's menu", lambda: _window_under_pointer() != str(window_id))
    xdotool("key", *["Down"] * down, "Return")


def answer_dialog(title, text):
    """Types a text (a path, a comment) into the dialog of that title (its text
    box has the keyboard) and accepts it."""
    dialog = wait_for(f'the dialog "{title}"', lambda: find_window(f"^{title}$"))
    xdotool("windowfocus", "--sync", str(dialog))
    xdotool("key", "ctrl+a")
    xdotool("type", "--delay", "5", text)
    xdotool("key", "Return")
    # Enter first closes the text box's list of completions where Qt keeps one
    # open (on a slow machine it may be open, though empty, when the text is
    # typed); only the next Enter accepts. Once the program has handled every key,
    # a dialog still open had its list closed: press Enter again, as a person would.
    settle()
    if find_window(f"^{title}$") == dialog:
        xdotool("key", "Return")
    wait_for(f'the dialog "{title}" to close', lambda: not find_window(f"^{title}$"))


def _window_under_pointer():
    where = dict(line.split("=", 1) for line in xdotool("getmouselocation", "--shell").split())
    return where.get("WINDOW")


def _read(path):
    try:
        with open(path, "rb") as file:
            return file.read()
    except OSError:
        return None


def holds_open(pid, device):
    try:
        return any(os.path.realpath(f"/proc/{pid}/fd/{fd}") == os.path.realpath(device)
                   for fd in os.listdir(f"/proc/{pid}/fd"))
    except OSError:
        return False


def describe_failure(pid, device):
    """What a log can tell where the capture cannot be looked at (a removed root):
    the windows on screen, and whether the program has the line open."""
    ids = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "."],
                         capture_output=True, text=True).stdout.split()
    names = [subprocess.run(["xdotool", "getwindowname", i], capture_output=True,
                            text=True).stdout.strip() for i in ids]
    print("windows on screen: " + "; ".join(f'"{name}"' for name in names))
    held = holds_open(pid, device)
    print(f"the program {'has' if held else 'does not have'} {device} open")


def _clipboard(target):
    got = subprocess.run(["xclip", "-selection", "clipboard", "-t", target, "-o"],
                         capture_output=True, timeout=BOUND)
    return got.stdout if got.returncode == 0 else None


def _shows(dpy, window_id, screenshot, scale):
    try:
        check_picture(dpy, window_id, screenshot, scale)
        return True
    except Failure:
        return False


if __name__ == "__main__":
    if len(sys.argv) != 4:
        print(__doc__)
        sys.exit(2)
    # Where it stands, should it still run when CTest is about to end it (its
    # timeout is 120 s): every wait gives up sooner, so that is a hang.
    faulthandler.dump_traceback_later(110, exit=True)
    try:
        with tempfile.TemporaryDirectory() as copies:
            run(sys.argv[1], sys.argv[2], float(sys.argv[3]), copies)
    except Failure as failure:
        print(f"FAIL: {failure}")
        sys.exit(1)
