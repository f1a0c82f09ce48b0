"""The output modes on a real window: M steps through them, V swaps the eyes.
With K held only the left eye is drawn, with J held only the right; each
mode must put their lit pixels exactly where it promises, and V must trade
the places. Page-flip has no stereo pixel format under Xvfb: M passes it with
a notice and the viewer stays where it was."""

import time
import unittest

import harness

DUPLEXA = harness.duplexa_path()

# Below the overlay's rate, notice and parallax rows; y downwards.
SCENE = (0, 52, 800, 600)
NOTICE_ROW = (0, 16, 800, 32)

# Mode order of M from the start (anaglyph).
ORDER = ["anaglyph", "free-view", "side-by-side", "side-by-side-half", "top-bottom",
         "rows", "columns", "checkerboard"]


# Where each mode puts the left eye's place: a test on the pixel (x, y).
LEFT_PLACE = {
    "side-by-side": lambda x, y: x < 400,
    "side-by-side-half": lambda x, y: x < 400,
    "top-bottom": lambda x, y: y < 300,
    "rows": lambda x, y: y % 2 == 0,
    "columns": lambda x, y: x % 2 == 0,
    "checkerboard": lambda x, y: (x + y) % 2 == 0,
}


class OutputModes(harness.WindowedViewerCase):
    def step_to(self, mode):
        """Presses M until the viewer is in mode, following the window when a
        mode with a stencil buffer reopens it."""
        for _ in range(ORDER.index(mode)):
            self.press_m()

    def press_m(self):
        old = self.window
        self.xvfb.key(self.window, "m")
        # A reopening replaces the window; wait for the new one to draw.
        deadline = time.monotonic() + 15
        while time.monotonic() < deadline:
            if self.xvfb.is_viewable(old):
                time.sleep(0.1)
                if self.xvfb.is_viewable(old):
                    return
            window = self.xvfb.find_window("Duplexa 01")
            if window and window["id"] != old:
                self.window = window["id"]
                self.xvfb.focus(self.window)
                return
            time.sleep(0.05)
        self.fail("no window after M; stderr:\n" + self.viewer.stderr())

    def eye_shots(self):
        """(left eye only, right eye only): K held, then J held."""
        with self.xvfb.holding(self.window, "k"):
            left = self.shot()
        with self.xvfb.holding(self.window, "j"):
            right = self.shot()
        return left, right

    def assert_places(self, mode, image, eye, swapped):
        pixels = image.lit_points(*SCENE)
        self.assertGreater(len(pixels), 200, "%s, %s eye: expected its image" % (mode, eye))
        on_left_place = LEFT_PLACE[mode]
        want_left_place = (eye == "left") != swapped
        stray = [p for p in pixels if on_left_place(*p) != want_left_place]
        self.assertEqual(stray[:10], [], "%s, %s eye%s: %d of %d lit pixels outside its place" % (
            mode, eye, " (swapped)" if swapped else "", len(stray), len(pixels)))

    def check_mode(self, mode):
        left, right = self.eye_shots()
        self.assert_places(mode, left, "left", False)
        self.assert_places(mode, right, "right", False)
        self.xvfb.key(self.window, "v")
        left, right = self.eye_shots()
        self.assert_places(mode, left, "left", True)
        self.assert_places(mode, right, "right", True)
        self.xvfb.key(self.window, "v")

    def test_split_modes_put_each_eye_in_its_half_and_v_trades_them(self):
        for mode in ["side-by-side", "side-by-side-half", "top-bottom"]:
            with self.subTest(mode=mode):
                self.step_to(mode) if mode == "side-by-side" else self.press_m()
                self.check_mode(mode)

    def test_squeezed_halves_draw_the_object_narrower_than_the_plain_ones(self):
        self.step_to("side-by-side")
        with self.xvfb.holding(self.window, "k"):
            plain = harness.lit_extent(self.shot(), (0, 52, 400, 600))
        self.press_m()
        with self.xvfb.holding(self.window, "k"):
            squeezed = harness.lit_extent(self.shot(), (0, 52, 400, 600))
        # Each half keeps the whole area's 4:3 aspect: squeezed to half width.
        ratio = (squeezed[1] - squeezed[0]) / (plain[1] - plain[0])
        self.assertAlmostEqual(ratio, (400 / 600) / (800 / 600), delta=0.08, msg=(plain, squeezed))

    def test_interleaved_modes_put_each_eye_on_its_own_pixels_and_v_trades_them(self):
        self.step_to("rows")
        for mode in ["rows", "columns", "checkerboard"]:
            with self.subTest(mode=mode):
                if mode != "rows":
                    self.press_m()
                self.check_mode(mode)

    def test_page_flip_is_not_available_and_m_stays_then_moves_on(self):
        self.step_to("checkerboard")
        before = self.shot()
        self.press_m()  # page-flip: no stereo pixel format here
        after = self.shot()
        self.assertGreater(after.lit_pixels(*NOTICE_ROW), 100, "expected the notice that page-flip is missing")
        # Still the checkerboard: the left eye only on even x + y.
        with self.xvfb.holding(self.window, "k"):
            self.assert_places("checkerboard", self.shot(), "left", False)
        self.assertTrue(self.xvfb.is_viewable(self.window), "the window was not reopened")
        self.assertGreater(len(before.lit_points(*SCENE)), 200)
        # The next M passes over page-flip to the anaglyph.
        self.press_m()
        counts = harness.colour_counts(self.shot(), SCENE)
        self.assertGreater(counts["red"], 500, counts)
        self.assertGreater(counts["cyan"], 500, counts)

    def test_anaglyph_swap_trades_the_colours_and_free_view_the_viewports(self):
        left, right = self.eye_shots()
        self.assertGreater(harness.colour_counts(left, SCENE)["red"], 500)
        self.assertGreater(harness.colour_counts(right, SCENE)["cyan"], 500)
        self.xvfb.key(self.window, "v")
        left, right = self.eye_shots()
        counts = harness.colour_counts(left, SCENE)
        self.assertGreater(counts["cyan"], 500, counts)
        self.assertEqual(counts["red"], 0, counts)
        self.assertGreater(harness.colour_counts(right, SCENE)["red"], 500)

        self.press_m()  # free-view, still swapped
        left, right = self.eye_shots()
        swapped = (harness.lit_centroid_x(left, *SCENE), harness.lit_centroid_x(right, *SCENE))
        self.xvfb.key(self.window, "v")
        left, right = self.eye_shots()
        plain = (harness.lit_centroid_x(left, *SCENE), harness.lit_centroid_x(right, *SCENE))
        # The left viewport starts at 0, the right one at the 200-pixel shift.
        self.assertAlmostEqual(plain[1] - plain[0], 200, delta=25, msg=plain)
        self.assertAlmostEqual(swapped[0] - swapped[1], 200, delta=25, msg=swapped)

    def test_c_steps_the_anaglyph_colours(self):
        # From row 2 (red-cyan) three steps to row 5: cyan left, red right.
        self.xvfb.key(self.window, "c", "c", "c")
        left, right = self.eye_shots()
        left, right = harness.colour_counts(left, SCENE), harness.colour_counts(right, SCENE)
        self.assertGreater(left["cyan"], 500, left)
        self.assertEqual(left["red"], 0, left)
        self.assertGreater(right["red"], 500, right)
        self.assertEqual(right["cyan"], 0, right)


if __name__ == "__main__":
    unittest.main()
