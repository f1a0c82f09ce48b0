"""Pictures out: --render without a display, F12 on a real window, the
failure paths, and the reference pictures that guard every output mode.

    DUPLEXA_UPDATE_PICTURES=1 python3 tests/e2e/test_pictures.py build/duplexa
rewrites the references in tests/pictures/ (review them before committing).
"""

import glob
import os
import subprocess
import tempfile
import time
import unittest

import harness
import pictures

DUPLEXA = harness.duplexa_path()
REFERENCES = os.path.join(harness.REPO_ROOT, "tests", "pictures")
LOOK = os.path.join(harness.REPO_ROOT, "tests", "data", "look")
DIFFERENCES = os.path.join(tempfile.gettempdir(), "duplexa-picture-differences")

# name: the options of its render (every one 400 x 300, the start state).
CASES = {
    "anaglyph": [],
    "anaglyph-blue-red-swapped": ["--colours", "blue-red", "--swap-eyes"],
    "free-view": ["--mode", "free-view"],
    "mono": ["--mono"],
    "side-by-side": ["--mode", "side-by-side"],
    "side-by-side-half": ["--mode", "side-by-side-half"],
    "top-bottom": ["--mode", "top-bottom"],
    "rows": ["--mode", "rows"],
    "columns": ["--mode", "columns"],
    "checkerboard": ["--mode", "checkerboard"],
    "model": [os.path.join(harness.REPO_ROOT, "data", "models", "torus_knot.obj")],
    "model-shaded-rows": ["--shaded", "--mode", "rows", os.path.join(harness.REPO_ROOT, "data", "models", "sphere.ply")],
    # Models with a look of their own open shaded.
    "look-gltf": ["--mono", os.path.join(LOOK, "checker-cube.gltf")],
    "look-glb": ["--mono", os.path.join(LOOK, "checker-cube.glb")],
    "look-ply": ["--mono", os.path.join(LOOK, "coloured-pyramid.ply")],
    "look-obj": ["--mono", os.path.join(LOOK, "two-materials.obj")],
    # And through red-cyan glasses with the colours kept.
    "look-gltf-optimised": ["--anaglyph", "optimised", os.path.join(LOOK, "checker-cube.gltf")],
    "look-glb-optimised": ["--anaglyph", "optimised", os.path.join(LOOK, "checker-cube.glb")],
    "look-ply-optimised": ["--anaglyph", "optimised", os.path.join(LOOK, "coloured-pyramid.ply")],
    "look-obj-optimised": ["--anaglyph", "optimised", os.path.join(LOOK, "two-materials.obj")],
    # The mixing anaglyph methods and the pairs added to today's six.
    "anaglyph-optimised": ["--anaglyph", "optimised"],
    "anaglyph-green-magenta": ["--colours", "green-magenta"],
    "anaglyph-amber-blue-optimised": ["--colours", "amber-blue", "--anaglyph", "optimised"],
    "model-shaded-optimised": ["--shaded", "--anaglyph", "optimised",
                               os.path.join(harness.REPO_ROOT, "data", "models", "torus_knot.obj")],
    "model-shaded-green-magenta-optimised": ["--shaded", "--colours", "green-magenta", "--anaglyph", "optimised",
                                             os.path.join(harness.REPO_ROOT, "data", "models", "torus_knot.obj")],
    "model-shaded-amber-blue": ["--shaded", "--colours", "amber-blue",
                                os.path.join(harness.REPO_ROOT, "data", "models", "sphere.ply")],
}


def no_display_env():
    env = dict(os.environ)
    for name in ("DISPLAY", "WAYLAND_DISPLAY"):
        env.pop(name, None)
    return env


def render(path, *args, flag="--render"):
    return subprocess.run([DUPLEXA, flag, path, *args], env=no_display_env(), capture_output=True, timeout=60)


def blank_top(image, rows):
    """The overlay's lines (frame rate, notice, readout) are no part of the scene."""
    image.pixels = bytes(rows * image.width * 3) + image.pixels[rows * image.width * 3:]
    return image


class Pictures(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="duplexa-pictures-")

    def tearDown(self):
        for name in os.listdir(self.dir):
            path = os.path.join(self.dir, name)
            if os.path.islink(path) or os.path.isfile(path):
                os.remove(path)
        os.rmdir(self.dir)

    def assert_alike(self, actual, reference, name):
        why, places = pictures.compare(actual, reference)
        if why:
            os.makedirs(DIFFERENCES, exist_ok=True)
            saved = pictures.save_difference(actual, places, os.path.join(DIFFERENCES, name + ".png"))
            self.fail("%s: %s; differences in yellow: %s" % (name, why, saved))

    def test_every_output_mode_matches_its_reference(self):
        update = os.environ.get("DUPLEXA_UPDATE_PICTURES")
        cases = [(name, args, "--render") for name, args in CASES.items()] + [("pair", [], "--render-pair")]
        for name, args, flag in cases:
            with self.subTest(name):
                out = os.path.join(self.dir, name + ".png")
                result = render(out, "--size", "400x300", *args, flag=flag)
                self.assertEqual(result.returncode, 0, result.stderr)
                reference = os.path.join(REFERENCES, name + ".png")
                if update:
                    os.replace(out, reference)
                    continue
                self.assert_alike(pictures.read_png(out), pictures.read_png(reference), name)

    def test_render_without_a_display_is_the_windows_start_picture(self):
        out = os.path.join(self.dir, "start.png")
        result = render(out)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stderr, b"")
        with harness.Xvfb("800x600x24") as xvfb:
            viewer = harness.Viewer(DUPLEXA, xvfb, args=["--window"])
            window = xvfb.wait_window("Duplexa 01", viewer)
            shot = xvfb.settled_screenshot(window["id"])
            self.assertEqual(harness.stop_with_key(xvfb, viewer, window["id"]), 0, viewer.stderr())
        self.assert_alike(blank_top(pictures.read_png(out), 20), blank_top(shot, 20), "window-vs-render")

    def test_f12_saves_what_is_shown_and_the_pair(self):
        os.symlink(os.path.join(harness.REPO_ROOT, "data"), os.path.join(self.dir, "data"))
        with harness.Xvfb("800x600x24") as xvfb:
            viewer = harness.Viewer(DUPLEXA, xvfb, args=["--window", "--mode", "side-by-side"], cwd=self.dir)
            window = xvfb.wait_window("Duplexa 01", viewer)
            xvfb.settled_screenshot(window["id"])
            xvfb.key(window["id"], "F12")
            deadline = time.monotonic() + 15
            while len(glob.glob(os.path.join(self.dir, "duplexa-*.png"))) < 2 and time.monotonic() < deadline:
                time.sleep(0.1)
            self.assertEqual(harness.stop_with_key(xvfb, viewer, window["id"]), 0, viewer.stderr())
        saved = sorted(glob.glob(os.path.join(self.dir, "duplexa-*.png")))
        self.assertEqual(len(saved), 2, saved)
        shown, pair = [p for p in saved if not p.endswith("-pair.png")][0], [p for p in saved if p.endswith("-pair.png")][0]
        self.assertEqual(pair, shown[:-4] + "-pair.png")
        self.assertEqual(glob.glob(os.path.join(self.dir, "*.part")), [], "no temporary file is left")
        # The same state rendered offscreen: what the window showed, no overlay.
        for path, flag in ((shown, "--render"), (pair, "--render-pair")):
            expected = os.path.join(self.dir, "expected.png")
            self.assertEqual(render(expected, "--mode", "side-by-side", flag=flag).returncode, 0)
            self.assert_alike(pictures.read_png(path), pictures.read_png(expected), os.path.basename(path))

    def test_a_textured_model_in_a_window_is_what_render_draws(self):
        model = os.path.join(LOOK, "checker-cube.glb")
        with harness.Xvfb("800x600x24") as xvfb:
            viewer = harness.Viewer(DUPLEXA, xvfb, args=["--window", model])
            window = xvfb.wait_window("Duplexa 01", viewer)
            start = xvfb.settled_screenshot(window["id"])
            deadline = time.monotonic() + 20
            shot = start
            while shot.pixels == start.pixels and time.monotonic() < deadline:
                time.sleep(0.2)
                shot = xvfb.settled_screenshot(window["id"])
            self.assertEqual(harness.stop_with_key(xvfb, viewer, window["id"]), 0, viewer.stderr())
        out = os.path.join(self.dir, "expected.png")
        self.assertEqual(render(out, model).returncode, 0)
        self.assert_alike(blank_top(shot, 20), blank_top(pictures.read_png(out), 20), "textured-window-vs-render")

    def test_a_missing_texture_leaves_the_model_open_in_its_colours_and_is_counted(self):
        out = os.path.join(self.dir, "missing.png")
        result = render(out, "--mono", os.path.join(LOOK, "missing-texture.obj"))
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stderr, b"duplexa: 1 texture could not be read\n")
        image = pictures.read_png(out)
        # The material's own blue (0.2, 0.4, 0.9) where its texture would be.
        blue = sum(1 for i in range(0, len(image.pixels), 3)
                   if image.pixels[i + 2] > 100 and image.pixels[i + 2] > 2 * image.pixels[i])
        self.assertGreater(blue, 1000)

    def test_a_mixing_method_looks_the_same_in_the_window_in_f12_and_in_render(self):
        args = ["--anaglyph", "optimised", "--shaded", os.path.join(harness.REPO_ROOT, "data", "models",
                                                                    "torus_knot.obj")]
        os.symlink(os.path.join(harness.REPO_ROOT, "data"), os.path.join(self.dir, "data"))
        with harness.Xvfb("800x600x24") as xvfb:
            viewer = harness.Viewer(DUPLEXA, xvfb, args=["--window"] + args, cwd=self.dir)
            window = xvfb.wait_window("Duplexa 01", viewer)
            time.sleep(2)  # the model arrives from the import worker
            shot = xvfb.settled_screenshot(window["id"])
            xvfb.key(window["id"], "F12")
            deadline = time.monotonic() + 15
            while len(glob.glob(os.path.join(self.dir, "duplexa-*.png"))) < 2 and time.monotonic() < deadline:
                time.sleep(0.1)
            self.assertEqual(harness.stop_with_key(xvfb, viewer, window["id"]), 0, viewer.stderr())
        shown = [p for p in glob.glob(os.path.join(self.dir, "duplexa-*.png")) if not p.endswith("-pair.png")]
        self.assertEqual(len(shown), 1, shown)
        expected = os.path.join(self.dir, "expected.png")
        result = render(expected, *args)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stderr, b"", "no fallback to channels")
        self.assert_alike(pictures.read_png(shown[0]), pictures.read_png(expected), "mixed-f12-vs-render")
        self.assert_alike(blank_top(pictures.read_png(expected), 20), blank_top(shot, 20), "mixed-window-vs-render")

    def test_failures_say_one_line_exit_1_and_leave_nothing(self):
        missing_folder = os.path.join(self.dir, "no", "such", "folder", "out.png")
        for args, says in (([missing_folder], b"cannot write"),
                           ([os.path.join(self.dir, "a.png"), "--size", "0x0"], b"bad picture size"),
                           ([os.path.join(self.dir, "a.png"), "--size", "16385x10"], b"bad picture size"),
                           ([os.path.join(self.dir, "a.png"), "--size", "wide"], b"bad picture size"),
                           ([os.path.join(self.dir, "a.png"), "--mode", "page-flip"], b"stereo display"),
                           ([os.path.join(self.dir, "a.png"), "/etc/hostname"], b"cannot open the model")):
            with self.subTest(args=args):
                result = render(*args)
                self.assertEqual(result.returncode, 1, result.stderr)
                self.assertEqual(result.stderr.count(b"\n"), 1, result.stderr)
                self.assertIn(says, result.stderr)
                self.assertEqual(os.listdir(self.dir), [], "nothing partial is left behind")


if __name__ == "__main__":
    unittest.main()
