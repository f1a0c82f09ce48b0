"""Shared helpers for the end-to-end tests: a private Xvfb screen, the viewer
running on it, its windows and message boxes, real input and screenshots.

Only the standard library and the X tools (Xvfb, xdotool, xwininfo,
ImageMagick's import) are used; the few Xlib calls that no tool offers
(WM_DELETE_WINDOW, watching the root window, dropping a file as an XDND
drag source) go through ctypes.

There is no window manager on the screen: windows sit where they ask to be,
keyboard focus is set explicitly, and full-screen requests are seen as the
_NET_WM_STATE client messages a window manager would receive.
"""

import atexit
import contextlib
import ctypes
import os
import re
import select
import subprocess
import sys
import tempfile
import time
import unittest

REPO_ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
COMMAND_TIMEOUT = 15


_duplexa = None


def duplexa_path():
    """The viewer under test: the first command-line argument (ctest passes
    it), taken off argv once so that unittest does not read it."""
    global _duplexa
    if _duplexa is None:
        if len(sys.argv) < 2:
            sys.exit("usage: %s <path-to-duplexa>" % sys.argv[0])
        _duplexa = os.path.abspath(sys.argv.pop(1))
    return _duplexa


class Xvfb:
    """A private X server on a free display number (-displayfd), stopped at
    exit whatever happens."""

    # False for Wine's boxes, which ignore events sent to them.
    boxes_take_sent_keys = True

    def __init__(self, screen="1024x768x24", extra_args=(), reset=False):
        """With reset, the server resets itself whenever its last client
        leaves, as a display with nothing else on it does."""
        self.screen = screen
        self.extra_args = list(extra_args) + ([] if reset else ["-noreset"])
        self.process = None
        self.display = None

    def start(self):
        read_end, write_end = os.pipe()
        self.process = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", self.screen,
             "-nolisten", "tcp"] + self.extra_args,
            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        atexit.register(self.stop)
        number = b""
        deadline = time.monotonic() + COMMAND_TIMEOUT
        while not number.endswith(b"\n"):
            remaining = deadline - time.monotonic()
            ready, _, _ = select.select([read_end], [], [], max(remaining, 0))
            chunk = os.read(read_end, 16) if ready else b""
            if not chunk:
                os.close(read_end)
                self.stop()
                raise RuntimeError("Xvfb did not start (screen %s)" % self.screen)
            number += chunk
        os.close(read_end)
        self.display = ":" + number.decode().strip()
        return self

    def stop(self):
        if self.process and self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(timeout=5)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self.process = None

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()

    def env(self):
        env = dict(os.environ)
        env["DISPLAY"] = self.display
        env.pop("WAYLAND_DISPLAY", None)
        return env

    def run(self, *args, check=True):
        """Runs an X tool on this screen and returns its standard output."""
        result = subprocess.run(list(args), env=self.env(), capture_output=True,
                                timeout=COMMAND_TIMEOUT)
        if check and result.returncode != 0:
            raise RuntimeError("%s failed (%d): %s" % (
                " ".join(args), result.returncode, result.stderr.decode(errors="replace")))
        return result.stdout

    # ---- windows ---------------------------------------------------------

    def windows(self):
        """The top-level windows as dicts: id, name, width, height, x, y."""
        found = []
        text = self.run("xwininfo", "-root", "-children").decode(errors="replace")
        for line in text.splitlines():
            match = re.match(r'\s+(0x[0-9a-f]+) (?:"(.*)"|\(has no name\)): .*?'
                             r'(\d+)x(\d+)\+(-?\d+)\+(-?\d+)', line)
            if match:
                found.append({"id": match.group(1), "name": match.group(2),
                              "width": int(match.group(3)), "height": int(match.group(4)),
                              "x": int(match.group(5)), "y": int(match.group(6))})
        return found

    def is_viewable(self, window_id, name=None):
        """Whether the window is mapped and viewable; with a name, also that
        it still has it: a program that opens a connection for each box (SDL)
        can give the next box the id of the one before."""
        text = self.run("xwininfo", "-id", window_id, check=False).decode(errors="replace")
        if name is not None and ('%s "%s"' % (window_id, name)) not in text:
            return False
        return "IsViewable" in text

    def find_window(self, name, other_than=None):
        for window in self.windows():
            if window["name"] == name and window["id"] != other_than and self.is_viewable(window["id"]):
                return window
        return None

    def wait_window(self, name, viewer=None, timeout=None, other_than=None):
        """Waits for a mapped top-level window with exactly this name (and
        not the id other_than); fails early, with the viewer's stderr, if the
        viewer exits first. The wait is the viewer's window_timeout unless
        given."""
        timeout = timeout or (viewer.window_timeout if viewer else Viewer.window_timeout)
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            window = self.find_window(name, other_than)
            if window:
                return window
            if viewer and viewer.exited():
                raise AssertionError("the viewer exited (code %s) before window %r appeared; stderr:\n%s"
                                     % (viewer.process.returncode, name, viewer.stderr()))
            time.sleep(0.05)
        raise AssertionError("window %r did not appear within %ss; windows: %s%s" % (
            name, timeout, [w["name"] for w in self.windows()],
            ("; stderr:\n" + viewer.stderr()) if viewer else ""))

    def wait_window_gone(self, window_id, timeout=10, name=None):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if not self.is_viewable(window_id, name):
                return
            time.sleep(0.05)
        raise AssertionError("window %s is still shown after %ss" % (window_id, timeout))

    # ---- input -------------------------------------------------------------

    def answer_box(self, caption, key, viewer=None):
        """Answers the message box with this caption with a key: Return for
        the default (Yes / OK), Escape for No."""
        box = self.wait_window(caption, viewer)
        # A key that reaches a box still setting itself up is lost, so a box
        # that stays is pressed again. Where boxes take events sent to them
        # (SDL's), every press is one (XSendEvent, which xdotool uses for a
        # window without the focus, and no box here is focused): it cannot
        # reach the next box. Wine's boxes take only real keys, focused
        # first (Wine takes keys only into the window it believes focused),
        # and only once the box has plainly stayed: a real press too many
        # would answer the next box.
        if self.boxes_take_sent_keys:
            attempts = [(False, 1)] * 20
        else:
            attempts = [(True, 10)] * 3
        for number, (focused, timeout) in enumerate(attempts):
            if focused:
                self.focus(box["id"], check=False)
            self.run("xdotool", "key", "--window", box["id"], key, check=False)
            try:
                self.wait_window_gone(box["id"], timeout=timeout, name=caption)
                return box
            except AssertionError:
                if number + 1 == len(attempts):
                    raise

    def focus(self, window_id, check=True):
        """Gives the window the keyboard focus. A program sees the change a
        moment later (Wine drops keys until it has activated the window), so
        a change is followed by a short wait; a window that has the focus
        already is left alone."""
        focused = self.run("xdotool", "getwindowfocus", check=False).strip()
        if focused.isdigit() and int(focused) == int(window_id, 16):
            return
        self.run("xdotool", "windowfocus", window_id, check=check)
        time.sleep(0.3)

    def key(self, window_id, *keys, hold=0.15):
        """Presses and releases keys with the window focused (real key events).
        Each is held for a while, as a hand does: the viewer handles every
        waiting message before it draws, so a press and release that arrive
        together would never be seen held by a frame."""
        self.focus(window_id)
        for key in keys:
            self.run("xdotool", "keydown", key)
            time.sleep(hold)
            self.run("xdotool", "keyup", key)

    def key_down(self, window_id, key):
        self.focus(window_id)
        self.run("xdotool", "keydown", key)

    def key_up(self, window_id, key):
        self.focus(window_id)
        self.run("xdotool", "keyup", key)

    def hold(self, window_id, keys, seconds):
        """Holds several keys down together (pressed in order, released in
        reverse) and returns how long they were down, in seconds: at least
        `seconds`, plus the time xdotool takes to send the release."""
        self.focus(window_id)
        self.run("xdotool", "keydown", *keys)
        start = time.monotonic()
        time.sleep(seconds)
        self.run("xdotool", "keyup", *reversed(keys))
        return time.monotonic() - start

    @contextlib.contextmanager
    def holding(self, window_id, *keys):
        """Keeps keys down for the body of a with statement."""
        self.focus(window_id)
        self.run("xdotool", "keydown", *keys)
        try:
            yield
        finally:
            self.run("xdotool", "keyup", *reversed(keys), check=False)

    def hold_button(self, window_id, button, seconds, keys=()):
        """Holds a mouse button where the pointer is (the viewer keeps it on
        its window), optionally with keys; returns how long it was down."""
        self.focus(window_id)
        if keys:
            self.run("xdotool", "keydown", *keys)
        self.run("xdotool", "mousedown", str(button))
        start = time.monotonic()
        time.sleep(seconds)
        self.run("xdotool", "mouseup", str(button))
        held = time.monotonic() - start
        if keys:
            self.run("xdotool", "keyup", *reversed(keys))
        return held

    def pointer(self):
        """Where the mouse pointer is, in screen coordinates."""
        text = self.run("xdotool", "getmouselocation").decode()
        match = re.match(r"x:(-?\d+) y:(-?\d+)", text)
        return int(match.group(1)), int(match.group(2))

    def close_window(self, window_id):
        """What the close box does: WM_DELETE_WINDOW sent to the window."""
        with XConnection(self.display) as x:
            x.send_delete_window(int(window_id, 16))

    # ---- screenshots -----------------------------------------------------

    def screenshot(self, window_id="root"):
        return Image.from_ppm(self.run("import", "-window", window_id, "-depth", "8", "ppm:-"))

    def settled_screenshot(self, window_id="root", timeout=5, ignore_rows=20):
        """A screenshot once the picture has stopped changing: two shots in a
        row whose top `ignore_rows` rows differ (the frame rate printed there
        changes from frame to frame, so a frame was drawn between them) while
        everything below them agrees. After the timeout the last shot is
        returned anyway; the checks then say what is wrong."""
        previous = self.screenshot(window_id)
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            time.sleep(0.05)
            shot = self.screenshot(window_id)
            split = ignore_rows * shot.width * 3
            if (shot.pixels[split:] == previous.pixels[split:]
                    and shot.pixels[:split] != previous.pixels[:split]):
                return shot
            previous = shot
        return previous

    def wait_for_object(self, timeout=10):
        """Screenshots until the object is drawn in the middle of the 800 x
        600 picture at the screen's corner; the last shot and its lit count."""
        deadline = time.monotonic() + timeout
        while True:
            shot = self.screenshot()
            lit = shot.lit_pixels(200, 100, 600, 500)
            if lit > 300 or time.monotonic() > deadline:
                return shot, lit
            time.sleep(0.1)


class Image:
    """An RGB screenshot, read from binary PPM."""

    def __init__(self, width, height, pixels):
        self.width = width
        self.height = height
        self.pixels = pixels

    @staticmethod
    def from_ppm(data):
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
        pos += 1
        if fields[0] != b"P6":
            raise ValueError("not a binary PPM: %r" % fields[0])
        width, height, maximum = int(fields[1]), int(fields[2]), int(fields[3])
        if maximum > 255:
            raise ValueError("16-bit PPM not expected")
        return Image(width, height, data[pos:pos + width * height * 3])

    def pixel(self, x, y):
        i = (y * self.width + x) * 3
        return tuple(self.pixels[i:i + 3])

    def lit_pixels(self, left, top, right, bottom, threshold=40):
        """How many pixels in the rectangle have any channel above threshold."""
        count = 0
        for y in range(max(top, 0), min(bottom, self.height)):
            row = self.pixels[(y * self.width + left) * 3:(y * self.width + right) * 3]
            for i in range(0, len(row), 3):
                if row[i] > threshold or row[i + 1] > threshold or row[i + 2] > threshold:
                    count += 1
        return count

    def lit_points(self, left, top, right, bottom, threshold=40):
        """The (x, y) of the pixels in the rectangle with any channel above threshold."""
        out = []
        for y in range(top, bottom):
            row = (y * self.width + left) * 3
            for x in range(left, right):
                i = row + (x - left) * 3
                if max(self.pixels[i], self.pixels[i + 1], self.pixels[i + 2]) > threshold:
                    out.append((x, y))
        return out


def lit_centroid_x(image, left, top, right, bottom, threshold=40):
    """The mean x of the lit pixels in the rectangle, or None if none is lit."""
    points = image.lit_points(left, top, right, bottom, threshold)
    return sum(x for x, _ in points) / len(points) if points else None


# ---- measures of a picture ------------------------------------------------
#
# The viewer draws 1-pixel lines in pure colours on black: the left eye in red,
# the right eye in cyan, both in white where they cross or outside glasses
# mode. A channel above LIGHT counts as lit; below DARK as off. The colours
# stay pure on a 16-bit screen too (Wine's full-screen runs), so the same
# limits hold there.

LIGHT = 150
DARK = 80
RED, GREEN, BLUE = 0, 1, 2

_LIT_TABLE = bytes(1 if value > LIGHT else 0 for value in range(256))


def _rows(image, rect):
    left, top, right, bottom = rect
    left, right = max(left, 0), min(right, image.width)
    for y in range(max(top, 0), min(bottom, image.height)):
        start = (y * image.width + left) * 3
        yield y, left, image.pixels[start:start + (right - left) * 3]


def channel_extent(image, channel, rect):
    """(first, last) x at which the channel is lit inside rect, or None."""
    first = last = None
    for _, left, row in _rows(image, rect):
        mask = row[channel::3].translate(_LIT_TABLE)
        x = mask.find(1)
        if x < 0:
            continue
        x0, x1 = left + x, left + mask.rfind(1)
        first = x0 if first is None else min(first, x0)
        last = x1 if last is None else max(last, x1)
    return None if first is None else (first, last)


def lit_extent(image, rect):
    """(first, last) x at which any channel is lit inside rect, or None."""
    spans = [channel_extent(image, channel, rect) for channel in (RED, GREEN, BLUE)]
    spans = [span for span in spans if span]
    if not spans:
        return None
    return min(span[0] for span in spans), max(span[1] for span in spans)


def channel_mean(image, channel, rect):
    """The mean (x, y) of the pixels whose channel is lit inside rect, or None."""
    total_x = total_y = count = 0
    for y, left, row in _rows(image, rect):
        mask = row[channel::3].translate(_LIT_TABLE)
        lit = mask.count(1)
        if not lit:
            continue
        x = mask.find(1)
        while x >= 0:
            total_x += left + x
            x = mask.find(1, x + 1)
        total_y += y * lit
        count += lit
    return (total_x / count, total_y / count) if count else None


def colour_counts(image, rect):
    """How many pixels inside rect are red, cyan, white, or lit in another
    colour (anything else with a channel above DARK)."""
    counts = {"red": 0, "cyan": 0, "white": 0, "other": 0}
    for _, _, row in _rows(image, rect):
        if not row.translate(_LIT_TABLE).count(1) and max(row) <= DARK:
            continue
        for r, g, b in zip(row[0::3], row[1::3], row[2::3]):
            if r <= DARK and g <= DARK and b <= DARK:
                continue
            if r > LIGHT and g > LIGHT and b > LIGHT:
                counts["white"] += 1
            elif r > LIGHT and g < DARK and b < DARK:
                counts["red"] += 1
            elif r < DARK and g > LIGHT and b > LIGHT:
                counts["cyan"] += 1
            else:
                counts["other"] += 1
    return counts


class Viewer:
    """The viewer running on a screen, with its output collected in files.
    A subclass that starts the program another way (through a loader, say)
    overrides command() and, if it starts more slowly, window_timeout."""

    window_timeout = 15  # seconds for a window or box to come up

    def __init__(self, path, xvfb=None, env=None, timeout=60, args=(), cwd=REPO_ROOT):
        self.path = path
        self.timeout = timeout
        self.out = tempfile.TemporaryFile()
        self.err = tempfile.TemporaryFile()
        if env is None:
            env = xvfb.env()
        self.process = subprocess.Popen(self.command(path, args), cwd=cwd, env=env, stdin=subprocess.DEVNULL,
                                        stdout=self.out, stderr=self.err)
        atexit.register(self.kill)

    def command(self, path, args):
        return [path] + list(args)

    def exited(self):
        return self.process.poll() is not None

    def wait(self, timeout=None):
        """The exit code; fails if the viewer does not end in time."""
        try:
            return self.process.wait(timeout=timeout or self.timeout)
        except subprocess.TimeoutExpired:
            self.kill()
            raise AssertionError("the viewer did not exit within %ss; stderr:\n%s"
                                 % (timeout or self.timeout, self.stderr()))

    def kill(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()

    def stderr(self):
        self.err.seek(0)
        return self.err.read().decode(errors="replace")

    def stdout(self):
        self.out.seek(0)
        return self.out.read().decode(errors="replace")


def start_windowed(path, xvfb, timeout=15):
    """Starts the viewer, answers No to the full-screen question and waits
    until its window shows the object; returns (viewer, window)."""
    viewer = Viewer(path, xvfb)
    xvfb.answer_box("Start FullScreen?", "Escape", viewer)
    window = xvfb.wait_window("Duplexa 01", viewer, timeout)
    deadline = time.monotonic() + timeout
    while xvfb.screenshot(window["id"]).lit_pixels(200, 100, 600, 500) < 300:
        if time.monotonic() > deadline:
            raise AssertionError("the object did not appear within %ss; stderr:\n%s"
                                 % (timeout, viewer.stderr()))
        if viewer.exited():
            raise AssertionError("the viewer exited (code %s); stderr:\n%s"
                                 % (viewer.process.returncode, viewer.stderr()))
        time.sleep(0.05)
    return viewer, window


def start_watched(path, xvfb, answer):
    """Starts a root-window watcher and the viewer, answers the full-screen
    question with a key (Return: Yes, Escape: No) and waits for the viewer's
    window; returns (watcher, viewer, window)."""
    watcher = RootWatcher(xvfb.display)
    viewer = Viewer(path, xvfb)
    xvfb.answer_box("Start FullScreen?", answer, viewer)
    return watcher, viewer, xvfb.wait_window("Duplexa 01", viewer)


def stop_with_key(xvfb, viewer, window_id, key="Escape", presses=1):
    """Ends a viewer that is still running with a key; returns its exit code.
    With presses > 1 the key is pressed again while the viewer still runs 3 s
    later (Wine can lose a key that comes while it activates a new window)."""
    for press in range(presses):
        if viewer.exited():
            break
        try:
            xvfb.key(window_id, key)
        except RuntimeError:
            pass  # the window may be gone already: wait() says what happened
        if press + 1 < presses:
            with contextlib.suppress(subprocess.TimeoutExpired):
                viewer.process.wait(timeout=3)
    return viewer.wait(timeout=15)



class WindowedViewerCase(unittest.TestCase):
    """One Xvfb screen for the whole class and a fresh windowed viewer for
    each test, its start picture in self.start; every test ends with Escape
    and must end with exit code 0."""

    @classmethod
    def setUpClass(cls):
        cls.xvfb = Xvfb("800x600x24").start()

    @classmethod
    def tearDownClass(cls):
        cls.xvfb.stop()

    def setUp(self):
        self.viewer, window = start_windowed(duplexa_path(), self.xvfb)
        self.window = window["id"]
        self.start = self.shot()

    def tearDown(self):
        self.assertEqual(stop_with_key(self.xvfb, self.viewer, self.window), 0, self.viewer.stderr())

    def shot(self):
        return self.xvfb.settled_screenshot(self.window)

# ---- Xlib through ctypes --------------------------------------------------

_CLIENT_MESSAGE = 33
_CREATE_NOTIFY = 16
_DESTROY_NOTIFY = 17
_MAP_NOTIFY = 19
_SUBSTRUCTURE_NOTIFY_MASK = 1 << 19


class _ClientMessageEvent(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong),
                ("message_type", ctypes.c_ulong), ("format", ctypes.c_int),
                ("data", ctypes.c_long * 5)]


class _WindowPairEvent(ctypes.Structure):
    # The common start of CreateNotify, DestroyNotify and MapNotify: the
    # window reported is the second one.
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("parent", ctypes.c_ulong),
                ("window", ctypes.c_ulong)]


class _SelectionRequestEvent(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("owner", ctypes.c_ulong), ("requestor", ctypes.c_ulong),
                ("selection", ctypes.c_ulong), ("target", ctypes.c_ulong), ("property", ctypes.c_ulong),
                ("time", ctypes.c_ulong)]


class _SelectionEvent(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("requestor", ctypes.c_ulong),
                ("selection", ctypes.c_ulong), ("target", ctypes.c_ulong), ("property", ctypes.c_ulong),
                ("time", ctypes.c_ulong)]


class _Event(ctypes.Union):
    _fields_ = [("type", ctypes.c_int), ("client", _ClientMessageEvent),
                ("pair", _WindowPairEvent), ("request", _SelectionRequestEvent),
                ("selection", _SelectionEvent), ("pad", ctypes.c_long * 24)]


def _xlib():
    lib = ctypes.CDLL("libX11.so.6")
    lib.XOpenDisplay.restype = ctypes.c_void_p
    lib.XOpenDisplay.argtypes = [ctypes.c_char_p]
    lib.XCloseDisplay.argtypes = [ctypes.c_void_p]
    lib.XInternAtom.restype = ctypes.c_ulong
    lib.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    lib.XGetAtomName.restype = ctypes.c_void_p
    lib.XGetAtomName.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
    lib.XFree.argtypes = [ctypes.c_void_p]
    lib.XDefaultRootWindow.restype = ctypes.c_ulong
    lib.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
    lib.XSelectInput.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_long]
    lib.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long,
                               ctypes.POINTER(_Event)]
    lib.XFlush.argtypes = [ctypes.c_void_p]
    lib.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
    lib.XPending.argtypes = [ctypes.c_void_p]
    lib.XNextEvent.argtypes = [ctypes.c_void_p, ctypes.POINTER(_Event)]
    lib.XCreateSimpleWindow.restype = ctypes.c_ulong
    lib.XCreateSimpleWindow.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                                        ctypes.c_uint, ctypes.c_uint, ctypes.c_uint, ctypes.c_ulong,
                                        ctypes.c_ulong]
    lib.XDestroyWindow.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
    lib.XSetSelectionOwner.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong, ctypes.c_ulong]
    lib.XChangeProperty.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong, ctypes.c_ulong,
                                    ctypes.c_int, ctypes.c_int, ctypes.c_char_p, ctypes.c_int]
    return lib


class XConnection:
    def __init__(self, display):
        self.lib = _xlib()
        self.dpy = self.lib.XOpenDisplay(display.encode())
        if not self.dpy:
            raise RuntimeError("cannot open display %s" % display)

    def close(self):
        if self.dpy:
            self.lib.XCloseDisplay(self.dpy)
            self.dpy = None

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def atom(self, name):
        return self.lib.XInternAtom(self.dpy, name.encode(), 0)

    def atom_name(self, atom):
        pointer = self.lib.XGetAtomName(self.dpy, atom)
        if not pointer:
            return None
        name = ctypes.string_at(pointer).decode()
        self.lib.XFree(pointer)
        return name

    def send_delete_window(self, window):
        event = _Event()
        event.client.type = _CLIENT_MESSAGE
        event.client.window = window
        event.client.message_type = self.atom("WM_PROTOCOLS")
        event.client.format = 32
        event.client.data[0] = self.atom("WM_DELETE_WINDOW")
        event.client.data[1] = 0  # CurrentTime
        self.lib.XSendEvent(self.dpy, window, 0, 0, ctypes.byref(event))
        self.lib.XSync(self.dpy, 0)


_SELECTION_REQUEST = 30
_SELECTION_NOTIFY = 31


class XdndSource(XConnection):
    """A file manager's side of a drag and drop (the XDND protocol, version
    5): offers one file as text/uri-list to a window, drops it there and
    hands over the file's URI when the window asks for the data. xdotool
    cannot drop files; SDL and Wine both take drops this way."""

    def __init__(self, display):
        super().__init__(display)
        root = self.lib.XDefaultRootWindow(self.dpy)
        self.window = self.lib.XCreateSimpleWindow(self.dpy, root, 0, 0, 1, 1, 0, 0, 0)
        self.uri_list = self.atom("text/uri-list")
        self.selection = self.atom("XdndSelection")
        self.lib.XSetSelectionOwner(self.dpy, self.selection, self.window, 0)
        self.replies = []
        self.data = b""

    def close(self):
        if self.dpy:
            self.lib.XDestroyWindow(self.dpy, self.window)
        super().close()

    def _send(self, target, name, data):
        event = _Event()
        event.client.type = _CLIENT_MESSAGE
        event.client.window = target
        event.client.message_type = self.atom(name)
        event.client.format = 32
        for i, value in enumerate(data):
            event.client.data[i] = value
        self.lib.XSendEvent(self.dpy, target, 0, 0, ctypes.byref(event))
        self.lib.XFlush(self.dpy)

    def _serve(self, seconds, until=None):
        """Answers requests for the data and records the target's replies
        until a reply named `until` comes or the time is up."""
        deadline = time.monotonic() + seconds
        event = _Event()
        while time.monotonic() < deadline:
            self.lib.XSync(self.dpy, 0)
            while self.lib.XPending(self.dpy) > 0:
                self.lib.XNextEvent(self.dpy, ctypes.byref(event))
                if event.type == _SELECTION_REQUEST:
                    request = event.request
                    reply = _Event()
                    reply.selection.type = _SELECTION_NOTIFY
                    reply.selection.requestor = request.requestor
                    reply.selection.selection = request.selection
                    reply.selection.target = request.target
                    reply.selection.time = request.time
                    reply.selection.property = 0
                    if request.target == self.uri_list and request.property:
                        self.lib.XChangeProperty(self.dpy, request.requestor, request.property,
                                                 self.uri_list, 8, 0, self.data, len(self.data))
                        reply.selection.property = request.property
                    self.lib.XSendEvent(self.dpy, request.requestor, 0, 0, ctypes.byref(reply))
                    self.lib.XFlush(self.dpy)
                elif event.type == _CLIENT_MESSAGE:
                    name = self.atom_name(event.client.message_type)
                    self.replies.append((name, event.client.data[1]))
                    if name == until:
                        return True
            time.sleep(0.02)
        return until is None

    def drop(self, target, path, x=400, y=300, timeout=10):
        """Drags `path` over window `target` (an id as text or a number) at
        screen point (x, y) and drops it there. True when the window
        accepted the drop and said it was finished."""
        target = int(target, 0) if isinstance(target, str) else target
        self.data = b"file://" + os.path.abspath(path).encode() + b"\r\n"
        self._send(target, "XdndEnter", [self.window, 5 << 24, self.uri_list, 0, 0])
        self._serve(0.3)
        self._send(target, "XdndPosition", [self.window, 0, (x << 16) | y, 0, self.atom("XdndActionCopy")])
        if not self._serve(timeout, until="XdndStatus") or not self.replies[-1][1] & 1:
            self._send(target, "XdndLeave", [self.window, 0, 0, 0, 0])
            return False
        self._send(target, "XdndDrop", [self.window, 0, 0, 0, 0])
        return self._serve(timeout, until="XdndFinished")


class RootWatcher(XConnection):
    """Records what a window manager would see on the root window: windows
    created, mapped and destroyed, and the state requests (_NET_WM_STATE)
    that windows send it. Start it before the viewer."""

    def __init__(self, display):
        super().__init__(display)
        self.root = self.lib.XDefaultRootWindow(self.dpy)
        self.lib.XSelectInput(self.dpy, self.root, _SUBSTRUCTURE_NOTIFY_MASK)
        self.lib.XSync(self.dpy, 0)
        self.wm_state = self.atom("_NET_WM_STATE")
        self.fullscreen_atom = self.atom("_NET_WM_STATE_FULLSCREEN")
        self.events = []

    def poll(self):
        event = _Event()
        self.lib.XSync(self.dpy, 0)
        while self.lib.XPending(self.dpy) > 0:
            self.lib.XNextEvent(self.dpy, ctypes.byref(event))
            if event.type == _CLIENT_MESSAGE and event.client.message_type == self.wm_state:
                atoms = (event.client.data[1], event.client.data[2])
                if self.fullscreen_atom in atoms:
                    action = {0: "leave", 1: "enter", 2: "toggle"}.get(event.client.data[0], "?")
                    self.events.append(("fullscreen-" + action, hex(event.client.window)))
            elif event.type == _CREATE_NOTIFY:
                self.events.append(("create", hex(event.pair.window)))
            elif event.type == _MAP_NOTIFY:
                self.events.append(("map", hex(event.pair.window)))
            elif event.type == _DESTROY_NOTIFY:
                self.events.append(("destroy", hex(event.pair.window)))
        return self.events

    def kinds(self, since=0):
        return [kind for kind, _ in self.poll()[since:]]

    def mark(self):
        """A position in the record, for wait_for(since=...)."""
        return len(self.poll())

    def wait_for(self, kind, window_id=None, since=0, timeout=10):
        """Waits for an event of this kind (for this window, if given) at or
        after the position `since`."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            for event_kind, event_window in self.poll()[since:]:
                if event_kind == kind and window_id in (None, event_window):
                    return
            time.sleep(0.05)
        raise AssertionError("expected a %r event%s within %ss; saw %s" % (
            kind, " for " + window_id if window_id else "", timeout, self.events[since:]))
