"""What the end-to-end runs share: their failures and steps, one Xvfb server with the tools
that act on it, and the pictures of windows that ImageMagick's `import` writes."""

import ctypes
import os
import signal
import subprocess
import time


class Failure(Exception):
    pass


START = time.monotonic()


def note(step):
    """Prints the step being done, so that a failing run's output shows how far it got."""
    print("[%6.2f s] %s" % (time.monotonic() - START, step), flush=True)


def check(condition, message):
    if not condition:
        raise Failure(message)


def wait_until(what, predicate, timeout=20.0, interval=0.05):
    deadline = time.monotonic() + timeout
    while True:
        result = predicate()
        if result:
            return result
        if time.monotonic() > deadline:
            raise Failure("timed out waiting for " + what)
        time.sleep(interval)


def end_with_parent():
    """Run in a started child: it gets SIGTERM when this driver dies, even by SIGKILL (as on a
    ctest timeout), so no server or program outlives a broken run."""
    libc = ctypes.CDLL(None, use_errno=True)
    libc.prctl(1, signal.SIGTERM)  # PR_SET_PDEATHSIG


class XDisplay:
    """One Xvfb server and the tools that act on it."""

    def __init__(self, work):
        read_end, write_end = os.pipe()
        self.log = open(os.path.join(work, "xvfb.log"), "wb")
        # -displayfd lets the server pick a free display number and tell it.
        self.server = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24", "-dpi", "96",
             "-nolisten", "tcp"],
            pass_fds=(write_end,), stdout=self.log, stderr=subprocess.STDOUT,
            preexec_fn=end_with_parent)
        os.close(write_end)
        number = b""
        deadline = time.monotonic() + 20
        while not number.endswith(b"\n") and time.monotonic() < deadline and self.server.poll() is None:
            chunk = os.read(read_end, 16)
            if not chunk:
                break
            number += chunk
        os.close(read_end)
        if not number.strip().isdigit():
            self.stop()
            raise Failure("Xvfb gave no display number")
        self.name = ":" + number.strip().decode()

    def env(self):
        env = dict(os.environ)
        env["DISPLAY"] = self.name
        return env

    def run(self, *args, ok_codes=(0,)):
        result = subprocess.run(list(args), env=self.env(), capture_output=True, timeout=30)
        if result.returncode not in ok_codes:
            raise Failure("%s failed: %s" % (" ".join(args), result.stderr.decode(errors="replace")))
        return result.stdout.decode(errors="replace")

    def xdotool(self, *args, ok_codes=(0,)):
        return self.run("xdotool", *args, ok_codes=ok_codes)

    def stop(self):
        if self.server.poll() is None:
            self.server.terminate()
            try:
                self.server.wait(10)
            except subprocess.TimeoutExpired:
                self.server.kill()
                self.server.wait()
        self.log.close()

    def send_close_request(self, window):
        """Asks a window to close as a window manager's close box does (WM_DELETE_WINDOW)."""
        x11 = ctypes.CDLL("libX11.so.6")
        x11.XOpenDisplay.restype = ctypes.c_void_p
        x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
        x11.XInternAtom.restype = ctypes.c_ulong
        x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
        x11.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long,
                                   ctypes.c_void_p]
        x11.XFlush.argtypes = [ctypes.c_void_p]
        x11.XCloseDisplay.argtypes = [ctypes.c_void_p]

        class ClientMessage(ctypes.Structure):
            _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong),
                        ("send_event", ctypes.c_int), ("display", ctypes.c_void_p),
                        ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                        ("format", ctypes.c_int), ("data", ctypes.c_long * 5)]

        class Event(ctypes.Union):
            _fields_ = [("xclient", ClientMessage), ("pad", ctypes.c_long * 24)]

        display = x11.XOpenDisplay(self.name.encode())
        check(display, "cannot open display " + self.name)
        try:
            event = Event()
            event.xclient.type = 33  # ClientMessage
            event.xclient.window = window
            event.xclient.message_type = x11.XInternAtom(display, b"WM_PROTOCOLS", 0)
            event.xclient.format = 32
            event.xclient.data[0] = x11.XInternAtom(display, b"WM_DELETE_WINDOW", 0)
            event.xclient.data[1] = 0  # CurrentTime
            check(x11.XSendEvent(display, window, 0, 0, ctypes.byref(event)) != 0,
                  "XSendEvent failed")
            x11.XFlush(display)
        finally:
            x11.XCloseDisplay(display)


class Picture:
    """A window's picture, read from the PPM that `import` writes."""

    def __init__(self, path):
        with open(path, "rb") as f:
            data = f.read()
        fields = []
        pos = 0
        while len(fields) < 4:
            while data[pos:pos + 1].isspace():
                pos += 1
            if data[pos:pos + 1] == b"#":
                pos = data.index(b"\n", pos) + 1
                continue
            end = pos
            while not data[end:end + 1].isspace():
                end += 1
            fields.append(data[pos:end])
            pos = end
        check(fields[0] == b"P6" and fields[3] == b"255", "unexpected picture format")
        self.width, self.height = int(fields[1]), int(fields[2])
        self.pixels = data[pos + 1:]

    def at(self, x, y):
        i = (y * self.width + x) * 3
        return tuple(self.pixels[i:i + 3])

    def count_not(self, colour, left, top, right, bottom):
        """Pixels of the rectangle [left, right) x [top, bottom) that differ from colour."""
        return sum(1 for y in range(top, bottom) for x in range(left, right)
                   if self.at(x, y) != colour)
