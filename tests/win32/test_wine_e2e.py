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
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

EXE = None
REPO = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
sys.path.insert(0, os.path.join(REPO, "tests", "e2e"))
import harness  # noqa: E402
from harness import colour_counts  # noqa: E402

WINE = "/usr/lib/wine/wine64" if os.access("/usr/lib/wine/wine64", os.X_OK) else (shutil.which("wine64") or "wine")
WINESERVER = "/usr/lib/wine/wineserver" if os.access("/usr/lib/wine/wineserver", os.X_OK) else "wineserver"
TIMEOUT = 30
# Client-area rectangles (left, top, right, bottom) of the 800 x 600 window.
CENTRE = (200, 100, 600, 500)
SCENE = (0, 52, 800, 600)  # below the overlay's rows

QUESTION = ("Start FullScreen?", "Would You Like To Run In Fullscreen Mode?")
BAD_MODE = ("Chyba pri inicializacii grafickeho rezimu", "The graphics mode is not supported.")
FALL_BACK = ("Chyba", "Chyba pri inicializacii grafickeho rezimu. Chcete pokracovat v okne?")
DECLINED = ("ERROR", "Program se uzavrie.")
NO_IMAGE = ("data/font.bmp", "Chyba načítania obrázka.")
NO_INIT = ("ERROR", "Chyba pri inicializácii.")


class WineViewer(harness.Viewer):
    """duplexa.exe started by Wine's 64-bit loader (Debian's `wine` wrapper
    complains about the missing 32-bit half), which is slower to show a window."""

    window_timeout = TIMEOUT

    def command(self, path, args):
        return [WINE, path] + list(args)


def wineserver(env, *args):
    subprocess.run([WINESERVER, *args], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)


class ScreenCase(unittest.TestCase):
    SCREEN = None

    @classmethod
    def setUpClass(cls):
        cls.xvfb = harness.Xvfb(cls.SCREEN).start()
        cls.xvfb.boxes_take_sent_keys = False
        cls.env = dict(cls.xvfb.env(), WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=", WINEARCH="win64",
                       WINEPREFIX=os.environ.get("DUPLEXA_WINEPREFIX", os.path.join(os.path.dirname(EXE), "wineprefix")))
        if not os.path.exists(os.path.join(cls.env["WINEPREFIX"], "system.reg")):
            os.makedirs(os.path.dirname(cls.env["WINEPREFIX"]), exist_ok=True)
            subprocess.run([WINE, "wineboot", "-i"], env=cls.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            wineserver(cls.env, "-w")
        # The desktop process of a prefix belongs to one display: a clean
        # server for each screen, kept up between runs (-p) so that each
        # start of the viewer saves a Wine start-up.
        cls.stop_wineserver()
        wineserver(cls.env, "-p")

    @classmethod
    def stop_wineserver(cls):
        wineserver(cls.env, "-k")
        wineserver(cls.env, "-w")

    @classmethod
    def tearDownClass(cls):
        cls.stop_wineserver()
        cls.xvfb.stop()

    def setUp(self):
        self.viewers = []

    def tearDown(self):
        for viewer in self.viewers:
            viewer.kill()

    def start(self, cwd=REPO, args=(), env=None):
        viewer = WineViewer(EXE, env=dict(self.env, **(env or {})), cwd=cwd, args=args, timeout=TIMEOUT)
        self.viewers.append(viewer)
        return viewer

    def run_to_end(self, *args, env=None):
        """Runs the program to its end; returns the viewer, which keeps its output."""
        viewer = self.start(args=args, env=env)
        viewer.wait()
        return viewer

    def answer(self, viewer, box, key):
        """Answers the box with this caption with a key; its text is read from
        the stderr echo every box writes."""
        self.xvfb.answer_box(box[0], key, viewer)
        self.assertIn("%s: %s" % box, viewer.stderr(), "box %r without its text" % box[0])

    def open_window(self, viewer, other_than=None):
        return self.xvfb.wait_window("Duplexa 01", viewer, other_than=other_than and other_than["id"])

    def shot(self, window):
        """The window's client area: its X window has no frame."""
        return self.xvfb.screenshot(window["id"])

    def stop(self, viewer, window, key="Escape"):
        return harness.stop_with_key(self.xvfb, viewer, window["id"], key, presses=8)

    def assert_shows_object(self, window):
        """The centre of the client area has the red and cyan anaglyph lines."""
        time.sleep(1.0)  # a few frames
        shot = self.shot(window)
        self.assertTrue(shot.width >= CENTRE[2] and shot.height >= CENTRE[3], "the centre is off the screen")
        counts = colour_counts(shot, CENTRE)
        self.assertGreater(shot.lit_pixels(*CENTRE), 100, "the centre of the window is black")
        self.assertGreater(counts["red"], 20, "no red (left eye) lines")
        self.assertGreater(counts["cyan"], 20, "no cyan (right eye) lines")

    def save_client(self, window, name):
        """With DUPLEXA_WINE_SHOTS set to a folder, keeps the client area as PNG
        (to compare with the Linux viewer's look)."""
        folder = os.environ.get("DUPLEXA_WINE_SHOTS")
        if folder:
            self.xvfb.run("import", "-window", window["id"], os.path.join(folder, name + ".png"))


class FullScreenModeExists(ScreenCase):
    SCREEN = "800x600x16"

    def test_yes_switches_to_full_screen_and_escape_exits_with_0(self):
        viewer = self.start()
        self.answer(viewer, QUESTION, "y")
        window = self.open_window(viewer)
        self.assertEqual((0, 0, 800, 600), (window["x"], window["y"], window["width"], window["height"]),
                         "a borderless 800 x 600 pop-up at (0, 0)")
        self.assert_shows_object(window)
        self.assertNotIn(BAD_MODE[0], viewer.stderr())
        self.assertEqual(0, self.stop(viewer, window))

    def test_f1_reopens_the_window_in_full_screen(self):
        viewer = self.start()
        self.answer(viewer, QUESTION, "n")
        window = self.open_window(viewer)
        self.assert_shows_object(window)  # running, not still activating
        self.xvfb.key(window["id"], "F1")
        # A new window, context and font: the old window is destroyed.
        reopened = self.open_window(viewer, other_than=window)
        self.assertEqual((0, 0, 800, 600), (reopened["x"], reopened["y"], reopened["width"], reopened["height"]))
        self.assert_shows_object(reopened)
        self.assertEqual(0, self.stop(viewer, reopened))
        self.assertNotIn("ERROR", viewer.stderr())


class FullScreenModeMissing(ScreenCase):
    SCREEN = "1024x768x24"

    def windowed(self):
        """A viewer told No, and its window once it shows the object."""
        viewer = self.start()
        self.answer(viewer, QUESTION, "n")
        window = self.open_window(viewer)
        self.assert_shows_object(window)
        return viewer, window

    def test_no_opens_an_800_by_600_window(self):
        viewer, window = self.windowed()
        self.assertEqual((800, 600), (window["width"], window["height"]), "client area")
        self.assertEqual(0, self.stop(viewer, window))

    def test_rate_help_page_and_without_glasses_mode(self):
        viewer, window = self.windowed()
        self.save_client(window, "anaglyph")
        help_rows = lambda: self.shot(window).lit_pixels(165, 112, 374, 128)  # "Program: Duplexa 01"
        self.assertGreater(self.shot(window).lit_pixels(0, 0, 60, 16), 10, "the frame rate in the top left cells")

        with self.xvfb.holding(window["id"], "h"):
            time.sleep(1.0)
            shown = help_rows()
            self.save_client(window, "help")
        time.sleep(1.0)
        self.assertGreater(shown, 50, "the help page while H is held")
        self.assertLess(help_rows(), shown / 2, "gone when H is released")

        self.xvfb.key(window["id"], "d")
        time.sleep(1.0)
        shot = self.shot(window)
        counts = colour_counts(shot, (50, 100, 750, 500))
        self.assertGreater(shot.lit_pixels(50, 100, 750, 500), 300, "the two white images")
        self.assertEqual((0, 0), (counts["red"], counts["cyan"]), "no anaglyph colours without glasses")
        self.save_client(window, "without-glasses")
        self.assertEqual(0, self.stop(viewer, window))

    def test_output_modes_place_the_eyes_and_page_flip_is_not_available(self):
        viewer, window = self.windowed()

        def assert_places(mode, left_place):
            for key, eye in (("k", True), ("j", False)):
                with self.xvfb.holding(window["id"], key):
                    time.sleep(1.0)
                    pixels = self.shot(window).lit_points(*SCENE)
                time.sleep(0.3)
                self.assertGreater(len(pixels), 200, "%s: no image with %s held" % (mode, key))
                stray = [p for p in pixels if left_place(*p) != eye]
                self.assertEqual([], stray[:10], "%s, %s held: %d of %d lit pixels outside the eye's place"
                                 % (mode, key, len(stray), len(pixels)))

        for _ in range(2):
            self.xvfb.key(window["id"], "m")
        time.sleep(0.5)
        assert_places("side-by-side", lambda px, py: px < 400)

        # Rows need a stencil buffer: the window is reopened with one (X may
        # give the new window the old one's id).
        for _ in range(3):
            self.xvfb.key(window["id"], "m")
        time.sleep(3.0)
        window = self.open_window(viewer)
        assert_places("rows", lambda px, py: py % 2 == 0)

        for _ in range(2):
            self.xvfb.key(window["id"], "m")
        time.sleep(0.5)
        # Page-flip: Mesa has no stereo format; a notice, and the checkerboard stays.
        self.xvfb.key(window["id"], "m")
        time.sleep(0.5)
        notice = self.shot(window).lit_pixels(0, 16, 500, 32)
        self.save_client(window, "page-flip-not-available")
        self.assertGreater(notice, 100, "the notice that page-flip is not available")
        assert_places("checkerboard", lambda px, py: (px + py) % 2 == 0)
        self.assertEqual(window["id"], (self.xvfb.find_window("Duplexa 01") or {}).get("id"),
                         "the window was not reopened")
        self.assertEqual(0, self.stop(viewer, window))

    def test_dropped_obj_and_stl_replace_what_is_shown(self):
        viewer, window = self.windowed()
        below_rate = 40 * 800 * 3
        before = self.shot(window).pixels[below_rate:]
        for name in ("torus_knot.obj", "terrain.stl"):
            with harness.XdndSource(self.xvfb.display) as source:
                accepted = source.drop(window["id"], os.path.join(REPO, "data", "models", name),
                                       window["x"] + 400, window["y"] + 300)
            self.assertTrue(accepted, "the window takes the drop of " + name)
            time.sleep(1.5)
            shot = self.shot(window)
            self.assertNotEqual(before, shot.pixels[below_rate:], name + " replaces the picture")
            counts = colour_counts(shot, (0, 40, 800, 600))
            self.assertGreater(counts["red"], 200, name)
            self.assertGreater(counts["cyan"], 200, name)
            self.save_client(window, "dropped-" + name.split(".")[0])
            before = shot.pixels[below_rate:]
        self.assertNotIn("Error:", viewer.stderr())
        # A file that crashes the importer takes only its worker down: one
        # box, and the terrain stays.
        with harness.XdndSource(self.xvfb.display) as source:
            self.assertTrue(source.drop(window["id"], os.path.join(REPO, "tests", "data", "hostile",
                                                                   "ply-heap-overflow.ply"),
                                        window["x"] + 400, window["y"] + 300))
        self.xvfb.answer_box("Error", "Return", viewer)
        self.assertIn("crashed on this file", viewer.stderr())
        self.assertEqual(1, viewer.stderr().count("Error:"), viewer.stderr())
        self.assertEqual(before, self.shot(window).pixels[below_rate:], "the terrain stays")
        self.assertEqual(0, self.stop(viewer, window))

    def test_window_option_opens_the_window_without_asking(self):
        viewer = self.start(args=["--window"])
        window = self.open_window(viewer)
        self.assert_shows_object(window)
        self.assertNotIn(QUESTION[0], viewer.stderr(), "no question was asked")
        self.assertEqual(0, self.stop(viewer, window))

    def test_a_mixing_anaglyph_method_runs_in_the_window(self):
        # Wine's GL has the shaders: no notice says the method is missing,
        # and the white lines mix to the red and cyan of channels.
        viewer = self.start(args=["--window", "--anaglyph", "grey"])
        window = self.open_window(viewer)
        self.assert_shows_object(window)
        self.assertLess(self.shot(window).lit_pixels(0, 16, 500, 32), 10, "no notice: grey is available")
        self.xvfb.key(window["id"], "a")
        time.sleep(0.5)
        self.assertGreater(self.shot(window).lit_pixels(0, 16, 500, 32), 100, "the notice names the next method")
        self.assertEqual(0, self.stop(viewer, window))

    def test_help_prints_and_a_usage_error_exits_with_2(self):
        shown = self.run_to_end("--help")
        self.assertEqual(0, shown.process.returncode, shown.stderr())
        self.assertIn("-w, --window", shown.stdout())
        refused = self.run_to_end("--window", "--fullscreen")
        self.assertEqual(2, refused.process.returncode)
        self.assertIn("usage: duplexa", refused.stderr())
        self.assertNotIn(QUESTION[0], refused.stderr())

    def test_render_writes_the_start_picture_as_png(self):
        folder = tempfile.mkdtemp(prefix="duplexa-render-")
        picture = lambda path: harness.Image.from_ppm(
            subprocess.run(["convert", path, "-depth", "8", "ppm:-"], capture_output=True, check=True).stdout)
        try:
            out = os.path.join(folder, "start.png")
            run = self.run_to_end("--render", out, "--size", "640x480")
            self.assertEqual(0, run.process.returncode, run.stderr())
            self.assertEqual(["start.png"], os.listdir(folder), "nothing else")
            image = picture(out)
            self.assertEqual((640, 480), (image.width, image.height))
            counts = colour_counts(image, (0, 0, 640, 480))
            self.assertGreater(counts["red"], 20, "the left eye in red")
            self.assertGreater(counts["cyan"], 20, "the right eye in cyan")
            self.assertIsNone(self.xvfb.find_window("Duplexa 01"), "no window was shown")
            # A model from the command line, through the cross-built importer.
            for model in ("torus_knot.obj", "terrain.stl"):
                path = os.path.join(folder, model + ".png")
                run = self.run_to_end(os.path.join(REPO, "data", "models", model), "--render", path)
                self.assertEqual(0, run.process.returncode, run.stderr())
                self.assertGreater(picture(path).lit_pixels(0, 0, 640, 480), 2000,
                                   model + ": the model fills the picture")
            # A worker that goes over its memory cap is ended for it, though
            # Wine leaves the job's limit unenforced: the cap's reason, not
            # the worker's own "not enforced".
            path = os.path.join(folder, "capped.png")
            run = self.run_to_end(os.path.join(REPO, "data", "models", "terrain.stl"), "--render", path,
                                  env={"DUPLEXA_IMPORT_TEST_FAULT": "memory", "DUPLEXA_IMPORT_MEMORY_MB": "256"})
            self.assertEqual(1, run.process.returncode, run.stderr())
            self.assertIn("needs more than 256 MiB", run.stderr())
            self.assertFalse(os.path.exists(path))
            # Files that crash the cross-built importer: one line, exit 1, nothing written.
            for model in ("ply-heap-overflow.ply", "gltf-sparse-indices-out-of-range.gltf"):
                path = os.path.join(folder, model + ".png")
                run = self.run_to_end(os.path.join(REPO, "tests", "data", "hostile", model), "--render", path)
                self.assertEqual(1, run.process.returncode, run.stderr())
                self.assertIn("crashed on this file", run.stderr())
                self.assertFalse(os.path.exists(path), model)
        finally:
            shutil.rmtree(folder, ignore_errors=True)

    def test_names_beyond_ascii_for_the_model_the_picture_and_the_install_folder(self):
        folder = tempfile.mkdtemp(prefix="duplexa-názvy-")
        try:
            # Installed in a folder of its own, started from another one
            # that has no data/: the font is found beside the program.
            install = os.path.join(folder, "Programy Ďalšie")
            os.makedirs(os.path.join(install, "data"))
            shutil.copy(EXE, install)
            shutil.copy(os.path.join(REPO, "data", "font.bmp"), os.path.join(install, "data"))
            exe = os.path.join(install, os.path.basename(EXE))
            model = os.path.join(folder, "uzol ž.obj")
            shutil.copy(os.path.join(REPO, "data", "models", "torus_knot.obj"), model)
            out = os.path.join(folder, "obrázok ř.png")
            run = WineViewer(exe, env=self.env, cwd=folder, args=(model, "--render", out), timeout=TIMEOUT)
            self.viewers.append(run)
            run.wait()
            self.assertEqual(0, run.process.returncode, run.stderr())
            image = harness.Image.from_ppm(
                subprocess.run(["convert", out, "-depth", "8", "ppm:-"], capture_output=True, check=True).stdout)
            self.assertGreater(image.lit_pixels(0, 0, 800, 600), 2000, "the model, read by the worker")

            viewer = WineViewer(exe, env=self.env, cwd=folder, args=("--window",), timeout=TIMEOUT)
            self.viewers.append(viewer)
            window = self.open_window(viewer)
            self.assert_shows_object(window)
            self.assertEqual(0, self.stop(viewer, window), viewer.stderr())
        finally:
            shutil.rmtree(folder, ignore_errors=True)

    def test_closing_the_window_exits_with_0(self):
        viewer = self.start()
        self.answer(viewer, QUESTION, "n")
        self.assertEqual(0, self.stop(viewer, self.open_window(viewer), "alt+F4"))

    def test_fall_back_accepted_opens_a_window(self):
        viewer = self.start()
        self.answer(viewer, QUESTION, "y")
        self.answer(viewer, BAD_MODE, "Return")
        self.answer(viewer, FALL_BACK, "y")
        window = self.open_window(viewer)
        self.assertEqual((800, 600), (window["width"], window["height"]))
        self.assertEqual(0, self.stop(viewer, window))

    def test_fall_back_declined_ends_with_1(self):
        viewer = self.start()
        self.answer(viewer, QUESTION, "y")
        self.answer(viewer, BAD_MODE, "Return")
        self.answer(viewer, FALL_BACK, "n")
        self.answer(viewer, DECLINED, "Return")
        self.assertEqual(1, viewer.wait())
        self.assertIsNone(self.xvfb.find_window("Duplexa 01"), "no window was opened")

    def test_missing_font_image_ends_with_1(self):
        # The program alone in a folder (a build tree has the font beside it).
        empty = tempfile.mkdtemp(prefix="duplexa-nofont-")
        try:
            shutil.copy(EXE, empty)
            viewer = WineViewer(os.path.join(empty, os.path.basename(EXE)), env=self.env, cwd=empty, timeout=TIMEOUT)
            self.viewers.append(viewer)
            self.answer(viewer, QUESTION, "n")
            self.answer(viewer, NO_IMAGE, "Return")
            self.answer(viewer, NO_INIT, "Return")
            self.assertEqual(1, viewer.wait())
            self.assertIn("duplexa: the font image was not found; looked for data/font.bmp in the working folder",
                          viewer.stderr())
        finally:
            shutil.rmtree(empty, ignore_errors=True)


if __name__ == "__main__":
    if len(sys.argv) < 2:
        sys.exit("usage: test_wine_e2e.py duplexa.exe")
    EXE = os.path.abspath(sys.argv.pop(1))
    result = unittest.main(exit=False, verbosity=2).result
    failed = len(result.failures) + len(result.errors)
    print("%d passed, %d failed" % (result.testsRun - failed, failed))
    sys.exit(1 if failed else 0)
