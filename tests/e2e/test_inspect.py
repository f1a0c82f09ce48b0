"""Looking a model over: every shape of model fits in the frame of every
output mode and window shape (measured bounding boxes of lit pixels of
--render pictures); a Z-up STL stands up by itself and lies down with
--up y; --info tells what a file holds; and the turntable answers real
pointer drags and wheel turns on a window under Xvfb, leaving the pointer
where the user put it."""

import os
import subprocess
import tempfile
import time
import unittest

import harness
import pictures

DUPLEXA = harness.duplexa_path()

# Each eye's part of the drawing area, as fractions (left, top, right, bottom).
WHOLE = [(0, 0, 1, 1)]
HALVES_ACROSS = [(0, 0, 0.5, 1), (0.5, 0, 1, 1)]
HALVES_DOWN = [(0, 0, 1, 0.5), (0, 0.5, 1, 1)]
MODES = {
    "anaglyph": WHOLE, "free-view": HALVES_ACROSS, "side-by-side": HALVES_ACROSS, "side-by-side-half": HALVES_ACROSS,
    "top-bottom": HALVES_DOWN, "rows": WHOLE, "columns": WHOLE, "checkerboard": WHOLE,
}
SIZES = ["400x300", "240x400", "480x200"]


def no_display_env():
    env = dict(os.environ)
    for name in ("DISPLAY", "WAYLAND_DISPLAY"):
        env.pop(name, None)
    return env


def write_box_obj(path, sx, sy, sz):
    corners = [(x * sx / 2, y * sy / 2, z * sz / 2) for x in (-1, 1) for y in (-1, 1) for z in (-1, 1)]
    faces = [(1, 2, 4, 3), (5, 7, 8, 6), (1, 5, 6, 2), (3, 4, 8, 7), (1, 3, 7, 5), (2, 6, 8, 4)]
    with open(path, "w") as out:
        for c in corners:
            out.write("v %g %g %g\n" % c)
        for f in faces:
            out.write("f %d %d %d %d\n" % f)


def write_box_stl(path, sx, sy, sz):
    """An ASCII STL box, as a CAD program writes a part: its height along z."""
    c = lambda i: ((i & 1) * sx, (i >> 1 & 1) * sy, (i >> 2 & 1) * sz)
    quads = [(0, 2, 3, 1), (4, 5, 7, 6), (0, 1, 5, 4), (2, 6, 7, 3), (0, 4, 6, 2), (1, 3, 7, 5)]
    with open(path, "w") as out:
        out.write("solid part\n")
        for a, b, d, e in quads:
            for tri in ((a, b, d), (a, d, e)):
                out.write(" facet normal 0 0 0\n  outer loop\n")
                for i in tri:
                    out.write("   vertex %g %g %g\n" % c(i))
                out.write("  endloop\n endfacet\n")
        out.write("endsolid part\n")


def lit_box(image, rect):
    """(left, top, right, bottom) of the lit pixels inside rect, or None."""
    left, top, right, bottom = rect
    rows = [y for y in range(top, bottom) if image.lit_pixels(left, y, right, y + 1)]
    span = harness.lit_extent(image, rect)
    if not rows or not span:
        return None
    return span[0], rows[0], span[1], rows[-1]


def render(*args):
    out = os.path.join(tempfile.mkdtemp(), "shot.png")
    result = subprocess.run([DUPLEXA, "--render", out, *args], env=no_display_env(), capture_output=True,
                            timeout=60)
    if result.returncode != 0:
        raise AssertionError("render %s failed: %s" % (args, result.stderr.decode(errors="replace")))
    return pictures.read_png(out)


class InFrame(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = tempfile.mkdtemp()
        cls.shapes = {}
        # A bottle, a vase of flowers, a circuit board on its edge, a pig
        # seen end on, a long rod, a flat plate, and a box the size of a point.
        for name, size in {"tall": (1, 10, 1), "tall-and-deep": (2, 8, 6), "flat": (10, 0.2, 10),
                           "long": (10, 0.3, 0.3), "wide-and-tall": (6, 6, 0.3), "point": (1e-7, 1e-7, 1e-7)}.items():
            path = os.path.join(cls.dir, name + ".obj")
            write_box_obj(path, *size)
            cls.shapes[name] = path

    def test_every_shape_fits_in_every_mode_and_window_shape(self):
        for name, path in self.shapes.items():
            for mode, parts in MODES.items():
                # Without glasses the images stand the shift (200 pixels) apart:
                # halves of the 400-pixel area.
                for size in SIZES if mode != "free-view" else SIZES[:1]:
                    with self.subTest(shape=name, mode=mode, size=size):
                        shot = render("--size", size, "--mode", mode, path)
                        for part in parts:
                            rect = (round(part[0] * shot.width), round(part[1] * shot.height),
                                    round(part[2] * shot.width), round(part[3] * shot.height))
                            box = lit_box(shot, rect)
                            if box is None:
                                self.assertEqual(name, "point", "something is drawn in %s" % (rect,))
                                continue
                            self.assertGreater(box[0], rect[0], "clear of the left edge: %s in %s" % (box, rect))
                            self.assertGreater(box[1], rect[1], "clear of the top edge: %s in %s" % (box, rect))
                            self.assertLess(box[2], rect[2] - 1, "clear of the right edge: %s in %s" % (box, rect))
                            self.assertLess(box[3], rect[3] - 1, "clear of the bottom edge: %s in %s" % (box, rect))


class UpAxis(unittest.TestCase):
    def test_a_z_up_stl_stands_up_and_lies_down_with_up_y_and_info_tells_its_size(self):
        path = os.path.join(tempfile.mkdtemp(), "column.stl")
        write_box_stl(path, 1, 1, 10)
        standing = lit_box(render("--size", "400x300", path), (0, 0, 400, 300))
        lying = lit_box(render("--size", "400x300", "--up", "y", path), (0, 0, 400, 300))
        self.assertGreater(standing[3] - standing[1], 4 * (standing[2] - standing[0]), "Z up: tall and thin")
        self.assertLess(lying[3] - lying[1], 2 * (lying[2] - lying[0]), "Y up: the column points at the viewer")
        self.assertEqual(render("--size", "400x300", "--up", "z", path).pixels,
                         render("--size", "400x300", path).pixels, "--up z is what an STL gets by itself")

        info = subprocess.run([DUPLEXA, "--info", path], env=no_display_env(), capture_output=True,
                              timeout=60)
        self.assertEqual(info.returncode, 0, info.stderr)
        self.assertEqual(info.stdout.decode().strip(), "column.stl  12 faces  36 vertices  1 mesh  1 x 1 x 10")


class Turntable(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.xvfb = harness.Xvfb("800x600x24").start()

    @classmethod
    def tearDownClass(cls):
        cls.xvfb.stop()

    def test_real_drags_and_wheel_turns_move_the_model_and_leave_the_pointer_where_it_is(self):
        viewer = harness.Viewer(DUPLEXA, self.xvfb, args=["--window", "--turntable"])
        window = self.xvfb.wait_window("Duplexa 01", viewer)["id"]
        x = self.xvfb
        try:
            start = x.settled_screenshot(window)
            x.focus(window)
            x.run("xdotool", "mousemove", "--window", window, "300", "300")
            x.run("xdotool", "mousedown", "1")
            for step in range(1, 11):
                x.run("xdotool", "mousemove", "--window", window, str(300 + 12 * step), "300")
                time.sleep(0.02)
            x.run("xdotool", "mouseup", "1")
            turned = x.settled_screenshot(window)
            self.assertNotEqual(harness.colour_counts(turned, (0, 20, 800, 600)),
                                harness.colour_counts(start, (0, 20, 800, 600)), "a left drag turns the model")

            x.run("xdotool", "mousemove", "--window", window, "150", "120")
            time.sleep(0.3)
            where = x.pointer()
            time.sleep(0.3)
            self.assertEqual(x.pointer(), where, "the pointer stays where the user put it")
            self.assertNotEqual(where, (400, 300))

            x.key(window, "r")
            home = x.settled_screenshot(window)
            self.assertEqual(harness.lit_extent(home, (0, 20, 800, 600)), harness.lit_extent(start, (0, 20, 800, 600)),
                             "R brings the turntable home")
            for _ in range(3):
                x.run("xdotool", "click", "4")  # the wheel away from the user
                time.sleep(0.05)
            closer = x.settled_screenshot(window)
            home_span = harness.lit_extent(home, (0, 20, 800, 600))
            closer_span = harness.lit_extent(closer, (0, 20, 800, 600))
            self.assertGreater(closer_span[1] - closer_span[0], home_span[1] - home_span[0] + 20,
                               "the wheel zooms in")
        finally:
            self.assertEqual(harness.stop_with_key(x, viewer, window), 0, viewer.stderr())


if __name__ == "__main__":
    unittest.main()
