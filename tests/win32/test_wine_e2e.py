#!/usr/bin/env python3
"""The real Windows program under Wine, driven as a user would.

Two virtual screens: one of 800 x 600 x 16, where the full-screen mode the
viewer asks for exists, and a larger one of 1024 x 768 x 24, where it does not
and the fall-back question comes. Boxes are found by their caption (the X
window name) and their text is read from the stderr echo every box writes.

    test_wine_e2e.py path/to/duplexa.exe
Needs: wine64, Xvfb, xdotool, xwininfo, ImageMagick (import, convert).
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

EXE = None
REPO = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
sys.path.insert(0, os.path.join(REPO, "tests", "e2e"))
import harness  # noqa: E402  (its XDND drag source)
WINE = "/usr/lib/wine/wine64" if os.access("/usr/lib/wine/wine64", os.X_OK) else (shutil.which("wine64") or "wine")
WINESERVER = "/usr/lib/wine/wineserver" if os.access("/usr/lib/wine/wineserver", os.X_OK) else "wineserver"
TIMEOUT = 30

QUESTION = ("Start FullScreen?", "Would You Like To Run In Fullscreen Mode?")
BAD_MODE = ("Chyba pri inicializacii grafickeho rezimu", "The graphics mode is not supported.")
FALL_BACK = ("Chyba", "Chyba pri inicializacii grafickeho rezimu. Chcete pokracovat v okne?")
DECLINED = ("ERROR", "Program se uzavrie.")
NO_IMAGE = ("data/font.bmp", "Chyba načítania obrázka.")
NO_INIT = ("ERROR", "Chyba pri inicializácii.")


def wine_env(display):
    env = dict(os.environ)
    env.update({
        "DISPLAY": display,
        "WINEPREFIX": os.environ.get("DUPLEXA_WINEPREFIX",
                                     os.path.join(os.path.dirname(os.path.abspath(EXE)), "wineprefix")),
        "WINEDEBUG": "-all",
        "WINEDLLOVERRIDES": "mscoree,mshtml=",
        "WINEARCH": "win64",
    })
    return env


def start_xvfb(screen):
    read_end, write_end = os.pipe()
    server = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0", screen, "-nolisten", "tcp"],
                              pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write_end)
    number = b""
    with os.fdopen(read_end, "rb") as pipe:
        while not number.endswith(b"\n"):
            chunk = pipe.read(1)
            if not chunk:
                break
            number += chunk
    if not number.strip():
        server.kill()
        raise RuntimeError("Xvfb did not start")
    return server, ":" + number.decode().strip()


def stop_wineserver(env):
    # The desktop process of a prefix belongs to one display: a clean server
    # for each screen.
    subprocess.run([WINESERVER, "-k"], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    subprocess.run([WINESERVER, "-w"], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)


def ensure_prefix(env):
    if not os.path.exists(os.path.join(env["WINEPREFIX"], "system.reg")):
        os.makedirs(os.path.dirname(env["WINEPREFIX"]), exist_ok=True)
        subprocess.run([WINE, "wineboot", "-i"], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        subprocess.run([WINESERVER, "-w"], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def xdotool(env, *args):
    return subprocess.run(["xdotool", *args], env=env, capture_output=True, text=True).stdout


class Viewer:
    """One run of duplexa.exe under Wine, with its stderr kept in a file."""

    def __init__(self, env, cwd, args=()):
        self.env = env
        self.log = tempfile.TemporaryFile()
        self.process = subprocess.Popen([WINE, os.path.abspath(EXE)] + list(args), env=env, cwd=cwd,
                                        stdout=subprocess.DEVNULL, stderr=self.log)

    def stderr(self):
        self.log.seek(0)
        return self.log.read().decode("utf-8", "replace")

    def find_window(self, title, timeout=TIMEOUT, other_than=None):
        """The visible X window whose name is exactly title."""
        pattern = "^" + re.escape(title) + "$"
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            found = [w for w in xdotool(self.env, "search", "--onlyvisible", "--name", pattern).split()
                     if w != other_than]
            if found:
                time.sleep(0.5)  # let the box finish laying itself out
                return found[0]
            if self.process.poll() is not None:
                break
            time.sleep(0.2)
        raise AssertionError("no window %r came up; exit %r; stderr:\n%s"
                             % (title, self.process.poll(), self.stderr()))

    def answer_box(self, box, key):
        """Waits for the box, checks its caption and text, answers with key."""
        caption, text = box
        window = self.find_window(caption)
        echo = "%s: %s" % (caption, text)
        assert echo in self.stderr(), "box %r without text %r; stderr:\n%s" % (caption, text, self.stderr())
        # A second press only when the box is plainly still waiting: a press
        # too many would answer the next box.
        for _ in range(3):
            said = len(self.stderr())
            self.press(window, key)
            if self.wait_answered(window, said):
                return
        raise AssertionError("box %r did not take %r" % (caption, key))

    def press(self, window, key):
        # Wine takes keys only into the window it believes focused.
        xdotool(self.env, "windowfocus", window)
        time.sleep(0.3)
        xdotool(self.env, "key", key)

    def press_until_exit(self, window, key, timeout=TIMEOUT):
        """Presses key (Escape, Alt+F4) until the viewer exits: a key that
        arrives while Wine is still activating the new window can be lost."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            self.press(window, key)
            try:
                return self.process.wait(timeout=3)
            except subprocess.TimeoutExpired:
                pass
        raise AssertionError("the viewer did not exit on %r; stderr:\n%s" % (key, self.stderr()))

    def wait_answered(self, window, said, timeout=8):
        """True once the box is gone, the viewer has said more, or it ended."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if self.process.poll() is not None or len(self.stderr()) != said:
                return True
            visible = xdotool(self.env, "search", "--onlyvisible", "--name", ".").split()
            if window not in visible:
                return True
            time.sleep(0.1)
        return False

    def geometry(self, window):
        info = subprocess.run(["xwininfo", "-id", window], env=self.env, capture_output=True, text=True).stdout
        value = lambda label: int(re.search(label + r":\s+(-?\d+)", info).group(1))
        return (value("Absolute upper-left X"), value("Absolute upper-left Y"), value("Width"), value("Height"))

    def pixels(self, x, y, width, height):
        """RGB bytes of a screen rectangle."""
        shot = subprocess.run(["import", "-window", "root", "-crop", "%dx%d+%d+%d" % (width, height, x, y),
                               "+repage", "-depth", "8", "rgb:-"], env=self.env, capture_output=True)
        return shot.stdout

    def wait_exit(self, timeout=TIMEOUT):
        try:
            return self.process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            raise AssertionError("the viewer did not exit; stderr:\n" + self.stderr())

    def kill(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()
        self.log.close()


def colour_counts(rgb):
    """Counts of lit, red and cyan pixels in RGB bytes."""
    lit = red = cyan = 0
    for i in range(0, len(rgb) - 2, 3):
        r, g, b = rgb[i], rgb[i + 1], rgb[i + 2]
        if r > 60 or g > 60 or b > 60:
            lit += 1
        if r > 150 and g < 90 and b < 90:
            red += 1
        if r < 90 and g > 150 and b > 150:
            cyan += 1
    return lit, red, cyan


class ScreenCase(unittest.TestCase):
    SCREEN = None

    @classmethod
    def setUpClass(cls):
        cls.xvfb, display = start_xvfb(cls.SCREEN)
        cls.env = wine_env(display)
        ensure_prefix(cls.env)
        stop_wineserver(cls.env)
        # A server (and desktop) that stays up between runs saves each
        # start of the viewer a Wine start-up.
        subprocess.run([WINESERVER, "-p"], env=cls.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    @classmethod
    def tearDownClass(cls):
        stop_wineserver(cls.env)
        cls.xvfb.terminate()
        cls.xvfb.wait()

    def setUp(self):
        self.viewers = []

    def tearDown(self):
        for viewer in self.viewers:
            viewer.kill()

    def start(self, cwd=REPO, args=()):
        viewer = Viewer(self.env, cwd, args)
        self.viewers.append(viewer)
        return viewer

    def assert_shows_object(self, viewer, window, x, y):
        """The centre of the client area has the red and cyan anaglyph lines."""
        time.sleep(1.0)  # a few frames
        rgb = viewer.pixels(x + 200, y + 100, 400, 400)
        self.assertEqual(400 * 400 * 3, len(rgb), "no screenshot")
        lit, red, cyan = colour_counts(rgb)
        self.assertGreater(lit, 100, "the centre of the window is black")
        self.assertGreater(red, 20, "no red (left eye) lines")
        self.assertGreater(cyan, 20, "no cyan (right eye) lines")


class FullScreenModeExists(ScreenCase):
    SCREEN = "800x600x16"

    def test_yes_switches_to_full_screen_and_escape_exits_with_0(self):
        viewer = self.start()
        viewer.answer_box(QUESTION, "y")
        window = viewer.find_window("Duplexa 01")
        self.assertEqual((0, 0, 800, 600), viewer.geometry(window), "a borderless 800 x 600 pop-up at (0, 0)")
        self.assert_shows_object(viewer, window, 0, 0)
        self.assertNotIn(BAD_MODE[0], viewer.stderr())
        self.assertEqual(0, viewer.press_until_exit(window, "Escape"))

    def test_f1_reopens_the_window_in_full_screen(self):
        viewer = self.start()
        viewer.answer_box(QUESTION, "n")
        window = viewer.find_window("Duplexa 01")
        x, y = viewer.geometry(window)[:2]
        self.assert_shows_object(viewer, window, x, y)  # running, not still activating
        viewer.press(window, "F1")
        # A new window, context and font: the old window is destroyed.
        reopened = viewer.find_window("Duplexa 01", other_than=window)
        self.assertEqual((0, 0, 800, 600), viewer.geometry(reopened))
        self.assert_shows_object(viewer, reopened, 0, 0)
        self.assertEqual(0, viewer.press_until_exit(reopened, "Escape"))
        self.assertNotIn("ERROR", viewer.stderr())


class FullScreenModeMissing(ScreenCase):
    SCREEN = "1024x768x24"

    def test_no_opens_an_800_by_600_window(self):
        viewer = self.start()
        viewer.answer_box(QUESTION, "n")
        window = viewer.find_window("Duplexa 01")
        x, y, width, height = viewer.geometry(window)
        self.assertEqual((800, 600), (width, height), "client area")
        self.assert_shows_object(viewer, window, x, y)
        self.assertEqual(0, viewer.press_until_exit(window, "Escape"))

    def test_rate_help_page_and_without_glasses_mode(self):
        viewer = self.start()
        viewer.answer_box(QUESTION, "n")
        window = viewer.find_window("Duplexa 01")
        x, y = viewer.geometry(window)[:2]
        self.assert_shows_object(viewer, window, x, y)
        self.save_client(viewer, x, y, "anaglyph")
        rate_row = lambda: colour_counts(viewer.pixels(x, y, 60, 16))[0]
        help_rows = lambda: colour_counts(viewer.pixels(x + 165, y + 112, 209, 16))[0]  # "Program: Duplexa 01"
        self.assertGreater(rate_row(), 10, "the frame rate in the top left cells")

        xdotool(self.env, "windowfocus", window)
        time.sleep(0.3)
        xdotool(self.env, "keydown", "h")
        time.sleep(1.0)
        shown = help_rows()
        self.save_client(viewer, x, y, "help")
        xdotool(self.env, "keyup", "h")
        time.sleep(1.0)
        self.assertGreater(shown, 50, "the help page while H is held")
        self.assertLess(help_rows(), shown / 2, "gone when H is released")

        viewer.press(window, "d")
        time.sleep(1.0)
        lit, red, cyan = colour_counts(viewer.pixels(x + 50, y + 100, 700, 400))
        self.assertGreater(lit, 300, "the two white images")
        self.assertEqual((0, 0), (red, cyan), "no anaglyph colours without glasses")
        self.save_client(viewer, x, y, "without-glasses")
        self.assertEqual(0, viewer.press_until_exit(window, "Escape"))

    def test_output_modes_place_the_eyes_and_page_flip_is_not_available(self):
        viewer = self.start()
        viewer.answer_box(QUESTION, "n")
        window = viewer.find_window("Duplexa 01")
        x, y = viewer.geometry(window)[:2]
        self.assert_shows_object(viewer, window, x, y)

        def lit_while_held(key):
            """(x, y) of the lit scene pixels of the client area, y from its top."""
            xdotool(self.env, "windowfocus", window)
            time.sleep(0.3)
            xdotool(self.env, "keydown", key)
            time.sleep(1.0)
            rgb = viewer.pixels(x, y + 52, 800, 548)
            xdotool(self.env, "keyup", key)
            time.sleep(0.3)
            return [(i // 3 % 800, i // 3 // 800 + 52) for i in range(0, len(rgb) - 2, 3)
                    if max(rgb[i], rgb[i + 1], rgb[i + 2]) > 60]

        def assert_places(mode, left_place):
            for key, eye in (("k", True), ("j", False)):
                pixels = lit_while_held(key)
                self.assertGreater(len(pixels), 200, "%s: no image with %s held" % (mode, key))
                stray = [p for p in pixels if left_place(*p) != eye]
                self.assertEqual([], stray[:10], "%s, %s held: %d of %d lit pixels outside the eye's place"
                                 % (mode, key, len(stray), len(pixels)))

        for _ in range(2):
            viewer.press(window, "m")
        time.sleep(0.5)
        assert_places("side-by-side", lambda px, py: px < 400)

        # Rows need a stencil buffer: the window is reopened with one (X may
        # give the new window the old one's id).
        for _ in range(3):
            viewer.press(window, "m")
        time.sleep(3.0)
        window = viewer.find_window("Duplexa 01")
        x, y = viewer.geometry(window)[:2]
        assert_places("rows", lambda px, py: py % 2 == 0)

        for _ in range(2):
            viewer.press(window, "m")
        time.sleep(0.5)
        # Page-flip: Mesa has no stereo format; a notice, and the checkerboard stays.
        viewer.press(window, "m")
        time.sleep(0.5)
        notice = colour_counts(viewer.pixels(x, y + 16, 500, 16))[0]
        self.save_client(viewer, x, y, "page-flip-not-available")
        self.assertGreater(notice, 100, "the notice that page-flip is not available")
        assert_places("checkerboard", lambda px, py: (px + py) % 2 == 0)
        self.assertIn(window, xdotool(self.env, "search", "--onlyvisible", "--name", "^Duplexa 01$").split(),
                      "the window was not reopened")
        self.assertEqual(0, viewer.press_until_exit(window, "Escape"))

    def test_dropped_obj_and_stl_replace_what_is_shown(self):
        viewer = self.start()
        viewer.answer_box(QUESTION, "n")
        window = viewer.find_window("Duplexa 01")
        x, y = viewer.geometry(window)[:2]
        self.assert_shows_object(viewer, window, x, y)
        before = viewer.pixels(x, y + 40, 800, 560)
        for name in ("torus_knot.obj", "terrain.stl"):
            with harness.XdndSource(self.env["DISPLAY"]) as source:
                accepted = source.drop(window, os.path.join(REPO, "data", "models", name), x + 400, y + 300)
            self.assertTrue(accepted, "the window takes the drop of " + name)
            time.sleep(1.5)
            after = viewer.pixels(x, y + 40, 800, 560)
            self.assertNotEqual(before, after, name + " replaces the picture")
            lit, red, cyan = colour_counts(after)
            self.assertGreater(red, 200, name)
            self.assertGreater(cyan, 200, name)
            self.save_client(viewer, x, y, "dropped-" + name.split(".")[0])
            before = after
        self.assertNotIn("Error:", viewer.stderr())
        self.assertEqual(0, viewer.press_until_exit(window, "Escape"))

    def save_client(self, viewer, x, y, name):
        """With DUPLEXA_WINE_SHOTS set to a folder, keeps the client area as PNG
        (to compare with the Linux viewer's look)."""
        folder = os.environ.get("DUPLEXA_WINE_SHOTS")
        if folder:
            subprocess.run(["import", "-window", "root", "-crop", "800x600+%d+%d" % (x, y), "+repage",
                            os.path.join(folder, name + ".png")], env=self.env)

    def test_window_option_opens_the_window_without_asking(self):
        viewer = self.start(args=["--window"])
        window = viewer.find_window("Duplexa 01")
        x, y = viewer.geometry(window)[:2]
        self.assert_shows_object(viewer, window, x, y)
        self.assertNotIn(QUESTION[0], viewer.stderr(), "no question was asked")
        self.assertEqual(0, viewer.press_until_exit(window, "Escape"))

    def test_help_prints_and_a_usage_error_exits_with_2(self):
        run = lambda *args: subprocess.run([WINE, os.path.abspath(EXE), *args], env=self.env, cwd=REPO,
                                           capture_output=True, timeout=TIMEOUT)
        shown = run("--help")
        self.assertEqual(0, shown.returncode, shown.stderr)
        self.assertIn(b"-w, --window", shown.stdout)
        refused = run("--window", "--fullscreen")
        self.assertEqual(2, refused.returncode)
        self.assertIn(b"usage: duplexa", refused.stderr)
        self.assertNotIn(QUESTION[0].encode(), refused.stderr)

    def test_render_writes_the_start_picture_as_png(self):
        folder = tempfile.mkdtemp(prefix="duplexa-render-")
        try:
            out = os.path.join(folder, "start.png")
            run = subprocess.run([WINE, os.path.abspath(EXE), "--render", out, "--size", "640x480"], env=self.env,
                                 cwd=REPO, capture_output=True, timeout=TIMEOUT)
            self.assertEqual(0, run.returncode, run.stderr)
            self.assertEqual([b"start.png"], [name.encode() for name in os.listdir(folder)], "nothing else")
            rgb = subprocess.run(["convert", out, "-depth", "8", "rgb:-"], capture_output=True, check=True).stdout
            self.assertEqual(640 * 480 * 3, len(rgb))
            lit, red, cyan = colour_counts(rgb)
            self.assertGreater(red, 20, "the left eye in red")
            self.assertGreater(cyan, 20, "the right eye in cyan")
            self.assertEqual([], xdotool(self.env, "search", "--onlyvisible", "--name", "Duplexa").split(),
                             "no window was shown")
            # A model from the command line, through the cross-built importer.
            for model in ("torus_knot.obj", "terrain.stl"):
                path = os.path.join(folder, model + ".png")
                run = subprocess.run([WINE, os.path.abspath(EXE), os.path.join(REPO, "data", "models", model),
                                      "--render", path], env=self.env, cwd=REPO, capture_output=True, timeout=TIMEOUT)
                self.assertEqual(0, run.returncode, run.stderr)
                rgb = subprocess.run(["convert", path, "-depth", "8", "rgb:-"], capture_output=True,
                                     check=True).stdout
                self.assertGreater(colour_counts(rgb)[0], 2000, model + ": the model fills the picture")
        finally:
            shutil.rmtree(folder, ignore_errors=True)

    def test_closing_the_window_exits_with_0(self):
        viewer = self.start()
        viewer.answer_box(QUESTION, "n")
        window = viewer.find_window("Duplexa 01")
        self.assertEqual(0, viewer.press_until_exit(window, "alt+F4"))

    def test_fall_back_accepted_opens_a_window(self):
        viewer = self.start()
        viewer.answer_box(QUESTION, "y")
        viewer.answer_box(BAD_MODE, "Return")
        viewer.answer_box(FALL_BACK, "y")
        window = viewer.find_window("Duplexa 01")
        self.assertEqual((800, 600), viewer.geometry(window)[2:])
        self.assertEqual(0, viewer.press_until_exit(window, "Escape"))

    def test_fall_back_declined_ends_with_1(self):
        viewer = self.start()
        viewer.answer_box(QUESTION, "y")
        viewer.answer_box(BAD_MODE, "Return")
        viewer.answer_box(FALL_BACK, "n")
        viewer.answer_box(DECLINED, "Return")
        self.assertEqual(1, viewer.wait_exit())
        self.assertNotIn("Duplexa 01", xdotool(self.env, "search", "--name", "Duplexa"))

    def test_missing_font_image_ends_with_1(self):
        empty = tempfile.mkdtemp(prefix="duplexa-nofont-")
        try:
            viewer = self.start(cwd=empty)
            viewer.answer_box(QUESTION, "n")
            viewer.answer_box(NO_IMAGE, "Return")
            viewer.answer_box(NO_INIT, "Return")
            self.assertEqual(1, viewer.wait_exit())
        finally:
            shutil.rmtree(empty, ignore_errors=True)


if __name__ == "__main__":
    if len(sys.argv) < 2:
        sys.exit("usage: test_wine_e2e.py duplexa.exe")
    EXE = sys.argv.pop(1)
    result = unittest.main(exit=False, verbosity=2).result
    failed = len(result.failures) + len(result.errors)
    print("%d passed, %d failed" % (result.testsRun - failed, failed))
    sys.exit(1 if failed else 0)
