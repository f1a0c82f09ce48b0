"""How a frame is composed, seen on a real window: the anaglyph, the frame
rate and the help page, the picture without glasses and its image shift, the
mono view and the keys that leave out one eye."""

import unittest

import harness
from harness import GREEN, RED

DUPLEXA = harness.duplexa_path()

# Screen areas of the 800 x 600 client area (x0, y0, x1, y1), y downwards.
# The frame rate stands in the top text row; everything below it is scene.
RATE_ROW = (0, 0, 800, 16)
SCENE = (0, 20, 800, 600)


def text_row(row, left=0, right=800):
    """The screen rows of a text row of the overlay: row r spans 16 pixels
    from y = 16 r (the overlay counts from the bottom, the screen from the top)."""
    return (left, 16 * row, right, 16 * row + 16)


class Composition(harness.WindowedViewerCase):
    def press(self, key):
        self.xvfb.key(self.window, key)
        return self.shot()

    def test_glasses_mode_is_a_red_and_cyan_anaglyph_with_the_frame_rate_on_top(self):
        counts = harness.colour_counts(self.start, SCENE)
        self.assertGreater(counts["red"], 1000, counts)
        self.assertGreater(counts["cyan"], 1000, counts)
        # The front and back squares' horizontal edges coincide for the two
        # eyes: the blend adds red and cyan up to white there.
        self.assertGreater(counts["white"], 500, counts)
        self.assertEqual(counts["other"], 0, counts)
        # The left (red) image is the right (cyan) one mirrored about the
        # window's middle: the object stands centred in front of the camera.
        red = harness.channel_extent(self.start, RED, SCENE)
        cyan = harness.channel_extent(self.start, GREEN, SCENE)
        self.assertAlmostEqual(red[0] + cyan[1], 799, delta=2, msg=(red, cyan))
        self.assertAlmostEqual(red[1] + cyan[0], 799, delta=2, msg=(red, cyan))

        # The frame rate: a few white digits from the left edge in the top row.
        digits = harness.lit_extent(self.start, RATE_ROW)
        self.assertIsNotNone(digits, "expected the frame rate in the top left corner")
        self.assertLess(digits[0], 6, digits)
        self.assertLess(digits[1], 11 * 9, "at most 8 characters expected: %s" % (digits,))
        rate = self.start.lit_pixels(*RATE_ROW)
        self.assertGreater(rate, 40, "expected the digits' strokes")
        counts = harness.colour_counts(self.start, RATE_ROW)
        self.assertEqual(counts["red"] + counts["cyan"], 0, "the text is white: %s" % counts)

    def test_h_shows_the_help_page_while_held(self):
        # J and K keep the object out of the picture, so that every lit pixel
        # below the frame rate is text.
        with self.xvfb.holding(self.window, "j", "k"):
            empty = self.shot()
            self.assertEqual(empty.lit_pixels(*SCENE), 0, "J and K together leave no object")
            with self.xvfb.holding(self.window, "h"):
                page = self.shot()
            after = self.shot()

        # "Program: Duplexa 01" at column 15, row 7; "H - help" at column 15,
        # row 21; "L - model: wireframe or shaded" at column 15, row 26: 19, 8
        # and 30 characters, 11 pixels apart, in quads 16 wide.
        for row, length in ((7, 19), (21, 8), (26, 30)):
            extent = harness.lit_extent(page, text_row(row))
            self.assertIsNotNone(extent, "expected text in row %d" % row)
            self.assertGreaterEqual(extent[0], 165, "row %d starts at column 15" % row)
            self.assertLess(extent[0], 165 + 8, "row %d starts at column 15" % row)
            end = 165 + 11 * (length - 1) + 16
            self.assertGreater(extent[1], end - 12, "row %d: %d characters" % (row, length))
            self.assertLessEqual(extent[1], end, "row %d: %d characters" % (row, length))
        # The credit line at column 8, row 8 is bluish white; "Controls:" at
        # column 10, row 9; every row from 7 to 21 has text, and the lines of
        # the keys added since (M, V, C, P) follow in rows 22 to 25; none
        # above or below; A's line is row 28.
        credit = harness.lit_extent(page, text_row(8))
        self.assertTrue(88 <= credit[0] < 96, credit)
        self.assertGreater(harness.colour_counts(page, text_row(8))["other"], 50,
                           "the credit line is tinted, not pure white")
        controls = harness.lit_extent(page, text_row(9))
        self.assertTrue(110 <= controls[0] < 118, controls)
        self.assertLess(controls[1], 110 + 11 * 8 + 16 + 1, "\"Controls:\" is 9 characters")
        for row in range(7, 29):
            self.assertGreater(page.lit_pixels(*text_row(row)), 30, "text expected in row %d" % row)
        self.assertEqual(page.lit_pixels(0, 20, 800, 112), 0, "nothing between the rate and row 7")
        # The lines of the keys added since follow, one a row; nothing below.
        last = 27
        while last < 36 and page.lit_pixels(*text_row(last + 1)) > 30:
            last += 1
        self.assertEqual(page.lit_pixels(0, 16 * (last + 1), 800, 600), 0, "nothing below row %d" % last)
        self.assertGreater(page.lit_pixels(*RATE_ROW), 40, "the frame rate is still shown")

        # Released, the page is gone and the frame rate stays.
        self.assertEqual(after.lit_pixels(*SCENE), 0, "the help page goes when H is released")
        self.assertGreater(after.lit_pixels(*RATE_ROW), 40)

    def test_j_k_and_s_choose_the_images_drawn(self):
        red = harness.channel_extent(self.start, RED, SCENE)
        cyan = harness.channel_extent(self.start, GREEN, SCENE)
        with self.xvfb.holding(self.window, "j"):
            right_only = self.shot()
        with self.xvfb.holding(self.window, "k"):
            left_only = self.shot()
        with self.xvfb.holding(self.window, "j", "k"):
            neither = self.shot()
        with self.xvfb.holding(self.window, "s"):
            mono = self.shot()

        counts = harness.colour_counts(right_only, SCENE)
        self.assertEqual((counts["red"], counts["white"]), (0, 0), "J: only the right eye, %s" % counts)
        self.assertGreater(counts["cyan"], 1000, counts)
        self.assertEqual(harness.channel_extent(right_only, GREEN, SCENE), cyan,
                         "J leaves the right image where it was")
        counts = harness.colour_counts(left_only, SCENE)
        self.assertEqual((counts["cyan"], counts["white"]), (0, 0), "K: only the left eye, %s" % counts)
        self.assertGreater(counts["red"], 1000, counts)
        self.assertEqual(harness.channel_extent(left_only, RED, SCENE), red,
                         "K leaves the left image where it was")

        self.assertEqual(neither.lit_pixels(*SCENE), 0, "J and K together: no object")
        self.assertGreater(neither.lit_pixels(*RATE_ROW), 40, "the overlay is still drawn")

        # S: one white image from the camera's own place, between the eyes'.
        counts = harness.colour_counts(mono, SCENE)
        self.assertEqual((counts["red"], counts["cyan"], counts["other"]), (0, 0, 0), counts)
        self.assertGreater(counts["white"], 1000, counts)
        first, last = harness.lit_extent(mono, SCENE)
        self.assertAlmostEqual((first + last) / 2, 399.5, delta=1.5, msg=(first, last))
        self.assertTrue(cyan[0] < first < red[0], "mono lies between the eyes: %s %s %s"
                        % (cyan, (first, last), red))

        # Released, the anaglyph is back as it was.
        self.assertEqual(harness.colour_counts(self.shot(), SCENE),
                         harness.colour_counts(self.start, SCENE))

    def test_d_shows_two_white_images_apart_by_the_shift_o_and_i_change_it(self):
        red = harness.channel_extent(self.start, RED, SCENE)
        cyan = harness.channel_extent(self.start, GREEN, SCENE)
        red_x = harness.channel_mean(self.start, RED, SCENE)[0]
        cyan_x = harness.channel_mean(self.start, GREEN, SCENE)[0]

        def shift_of(picture):
            # Without glasses each eye draws the same picture as in glasses
            # mode (same scale, same parallax) into its own viewport: the left
            # eye's is moved left by half the shift (its viewport is centred at
            # (800 - shift) / 2) and the right eye's right by half. The pair's
            # outer edges are therefore the anaglyph's red left edge and cyan
            # right edge, pulled apart by the whole shift. (The images are not
            # identical, so their edges cannot simply be compared with each
            # other: near lines have a few pixels of crossed parallax.)
            first, last = harness.lit_extent(picture, SCENE)
            return (last - first) - (cyan[1] - red[0])

        two = self.press("d")
        counts = harness.colour_counts(two, SCENE)
        self.assertEqual((counts["red"], counts["cyan"], counts["other"]), (0, 0, 0),
                         "no colour without glasses: %s" % counts)
        self.assertGreater(counts["white"], 2000, counts)
        self.assertAlmostEqual(shift_of(two), 200, delta=3)

        # Each eye alone: its own image, moved by half the shift from where
        # the anaglyph showed it.
        with self.xvfb.holding(self.window, "k"):
            left_x = harness.channel_mean(self.shot(), RED, SCENE)[0]
        with self.xvfb.holding(self.window, "j"):
            right_x = harness.channel_mean(self.shot(), GREEN, SCENE)[0]
        self.assertAlmostEqual(left_x, red_x - 100, delta=1.5, msg="left image")
        self.assertAlmostEqual(right_x, cyan_x + 100, delta=1.5, msg="right image")

        # S shows one image, centred on the whole window as in glasses mode.
        with self.xvfb.holding(self.window, "s"):
            first, last = harness.lit_extent(self.shot(), SCENE)
        self.assertAlmostEqual((first + last) / 2, 399.5, delta=1.5, msg=(first, last))
        pair = harness.lit_extent(two, SCENE)
        self.assertLess(last - first, pair[1] - pair[0] - 150, "one image, not two")

        # O and I change the shift at 100 pixels per second while held.
        held = self.xvfb.hold(self.window, ["o"], 1.0)
        apart = shift_of(self.shot())
        self.assertGreater(apart - 200, 60, "O held %.2fs" % held)
        self.assertLess(apart - 200, 100 * held * 1.4 + 10, "O held %.2fs" % held)
        held = self.xvfb.hold(self.window, ["i"], 1.0)
        together = shift_of(self.shot())
        self.assertGreater(apart - together, 60, "I held %.2fs" % held)
        self.assertLess(apart - together, 100 * held * 1.4 + 10, "I held %.2fs" % held)

        # D again: the anaglyph is back.
        counts = harness.colour_counts(self.press("d"), SCENE)
        self.assertGreater(counts["red"], 1000, counts)
        self.assertGreater(counts["cyan"], 1000, counts)


if __name__ == "__main__":
    unittest.main()
