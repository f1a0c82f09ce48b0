"""The controls on a real window, with real key presses and mouse buttons:
flying (arrows, buttons, Shift, Page Up/Down, the mouse, R), the stereo
settings (W/Q, X/Z, U, Y, E) and F1 with the settings kept.

Every check compares pictures before and after a control, with wide margins:
llvmpipe's frame rate varies a lot on a busy machine, and the viewer turns
every per-second rate into per-frame steps by the measured rate, so what
counts is how long a key was held, not how many frames saw it."""

import time
import unittest

import harness
from harness import GREEN, RED

DUPLEXA = harness.duplexa_path()

SCENE = (0, 20, 800, 600)  # below the frame rate's text row
# The bottom rows cross only the slanted quad's two long edges, the nearest
# lines of the object (about 2 units from the camera at home). Their horizontal
# offset between the red (left eye) and cyan (right eye) images is their
# parallax: crossed (red to the right of cyan) by about 30 pixels at the start.
BOTTOM = (0, 560, 800, 600)


def parallax(picture):
    """Red lines' mean x minus cyan lines' mean x in the bottom rows: the
    rows are the same for both eyes, so this is the same points' parallax.
    Where the lines coincide they are white and count for both."""
    return (harness.channel_mean(picture, RED, BOTTOM)[0]
            - harness.channel_mean(picture, GREEN, BOTTOM)[0])


def width(picture):
    first, last = harness.lit_extent(picture, SCENE)
    return last - first


def centre(picture):
    """Where the left eye's image is: the mean of its lit pixels."""
    return harness.channel_mean(picture, RED, SCENE)


class Controls(harness.WindowedViewerCase):
    def hold(self, keys, seconds):
        held = self.xvfb.hold(self.window, keys, seconds)
        return self.shot(), held

    def assert_home(self, message):
        """R is pressed and the picture is the start picture again."""
        self.xvfb.key(self.window, "r")
        home = self.shot()
        self.assertEqual(harness.lit_extent(home, SCENE), harness.lit_extent(self.start, SCENE),
                         "R brings the camera home after " + message)
        self.assertEqual(harness.colour_counts(home, SCENE), harness.colour_counts(self.start, SCENE),
                         "R brings the camera home after " + message)

    # ---- flying --------------------------------------------------------------

    def test_up_arrow_and_left_button_fly_closer_and_r_comes_home(self):
        # 25 units per second from 5 units away: a short press only.
        start = width(self.start)
        closer, held = self.hold(["Up"], 0.06)
        self.assertGreater(width(closer), start + 40, "Up held %.2fs: the object grows" % held)
        self.assert_home("Up")

        # With Shift (5 units per second) the button may be held longer.
        held = self.xvfb.hold_button(self.window, 1, 0.2, keys=("shift",))
        self.assertGreater(width(self.shot()), start + 40,
                           "left button held %.2fs with Shift: the object grows" % held)
        self.assert_home("the left button")

    def test_down_arrow_and_right_button_fly_back_and_shift_slows_them(self):
        start = width(self.start)
        back, held = self.hold(["Down"], 0.2)
        fast = width(back)
        self.assertLess(fast, start - 100, "Down held %.2fs: the object shrinks" % held)
        self.assert_home("Down")

        # Shift: 5 units per second instead of 25, so the same time moves
        # far less. (Shift goes down first and up last.)
        slow_back, slow_held = self.hold(["shift", "Down"], 0.2)
        slow = width(slow_back)
        self.assertLess(slow, start - 10, "Shift+Down held %.2fs still moves back" % slow_held)
        self.assertGreater(slow, fast + 50, "Shift+Down (%.2fs) moves less than Down (%.2fs)"
                           % (slow_held, held))
        self.assert_home("Shift+Down")

        held = self.xvfb.hold_button(self.window, 3, 0.2)
        self.assertLess(width(self.shot()), start - 100,
                        "right button held %.2fs: the object shrinks" % held)
        self.assert_home("the right button")

    def test_arrows_page_keys_and_the_mouse_turn_the_view(self):
        x0, y0 = centre(self.start)
        # With Shift the keys turn 0.5 a second: a fifth of a second turns
        # the view by some 6 degrees, about 70 pixels.
        cases = [(["shift", "Right"], "x", -1, "Right turns right: the object moves left"),
                 (["shift", "Left"], "x", +1, "Left turns left: the object moves right"),
                 (["shift", "Prior"], "y", -1, "Page Up tilts the view down: the object moves up"),
                 (["shift", "Next"], "y", +1, "Page Down tilts the view up: the object moves down")]
        for keys, axis, sign, message in cases:
            picture, held = self.hold(keys, 0.2)
            x, y = centre(picture)
            moved = (x - x0) if axis == "x" else (y - y0)
            self.assertGreater(moved * sign, 25, "%s (held %.2fs, moved %.1f)" % (message, held, moved))
            other = (y - y0) if axis == "x" else (x - x0)
            self.assertLess(abs(other), 5, "%s, and only that way" % message)
            self.assert_home(keys[1])

        # The mouse: 0.005 per pixel away from the park point, which the
        # viewer puts the pointer back to in every frame. A move that lands
        # between a frame's reading of the pointer and its parking is lost
        # (a hand moving the mouse never notices): such a move is repeated.
        for target, axis, sign, message in (((440, 300), "x", -1, "right: the object moves left"),
                                            ((400, 260), "y", +1, "up: the object moves down")):
            for _ in range(5):
                self.xvfb.run("xdotool", "mousemove", *map(str, target))
                picture = self.shot()
                x, y = centre(picture)
                moved = (x - x0) if axis == "x" else (y - y0)
                if abs(moved) > 1:
                    break
            self.assertEqual(self.xvfb.pointer(), (400, 300), "the pointer is parked again")
            self.assertGreater(moved * sign, 25, "the mouse moved %s (moved %.1f)" % (message, moved))
            self.assert_home("the mouse")

    # ---- stereo settings -------------------------------------------------------

    def test_w_and_q_move_the_focus_only_without_auto_focus_y_e_and_u_restore_it(self):
        start = parallax(self.start)
        self.assertGreater(start, 15, "the nearest lines start with crossed parallax")

        # Auto focus on: the focal length follows the camera's distance in
        # every frame, so Q leaves nothing behind.
        self.hold(["q"], 0.4)
        self.assertAlmostEqual(parallax(self.shot()), start, delta=0.5, msg="Q with auto focus")

        self.xvfb.key(self.window, "u")
        nearer, held = self.hold(["q"], 0.4)
        self.assertLess(parallax(nearer), start - 8,
                        "Q (%.2fs) brings the zero-parallax plane nearer, to the nearest lines" % held)
        time.sleep(0.3)
        self.assertAlmostEqual(parallax(self.shot()), parallax(nearer), delta=0.5,
                               msg="without auto focus the change stays")
        self.hold(["y"], 0.2)
        self.assertAlmostEqual(parallax(self.shot()), start, delta=0.5, msg="Y focuses on the object")

        further, held = self.hold(["w"], 0.4)
        self.assertGreater(parallax(further), start + 8,
                           "W (%.2fs) moves the zero-parallax plane away" % held)
        self.hold(["e"], 0.2)
        self.assertAlmostEqual(parallax(self.shot()), start, delta=0.5, msg="E resets the stereo")

        further, held = self.hold(["w"], 0.3)
        self.assertGreater(parallax(further), start + 5, "W (%.2fs), still without auto focus" % held)
        self.xvfb.key(self.window, "u")
        self.assertAlmostEqual(parallax(self.shot()), start, delta=0.5,
                               msg="U again: auto focus puts the plane back on the object")

    def test_x_and_z_change_the_eye_separation_and_e_resets_it(self):
        start = parallax(self.start)
        narrower, held = self.hold(["x"], 0.5)
        self.assertLess(parallax(narrower), start - 2, "X (%.2fs) narrows the separation" % held)
        self.assertGreater(parallax(narrower), 5, "X (%.2fs) only narrows it" % held)
        time.sleep(0.3)
        self.assertAlmostEqual(parallax(self.shot()), parallax(narrower), delta=0.5,
                               msg="the ratio stays under auto focus")
        self.hold(["e"], 0.2)
        self.assertAlmostEqual(parallax(self.shot()), start, delta=0.5, msg="E resets the ratio")

        wider, held = self.hold(["z"], 0.5)
        self.assertGreater(parallax(wider), start + 2, "Z (%.2fs) widens the separation" % held)
        # E acts after the rig's own keys in every frame: held together with
        # Z it keeps the default.
        self.hold(["e", "z"], 0.3)
        self.assertAlmostEqual(parallax(self.shot()), start, delta=0.5, msg="E wins over Z")


class FullScreenSwitch(unittest.TestCase):
    def test_f1_keeps_the_stereo_settings_and_escape_ends_with_0(self):
        # A screen that offers 800 x 600 at 16 bits, so the switch succeeds.
        with harness.Xvfb("800x600x16") as xvfb:
            watcher = harness.RootWatcher(xvfb.display)
            viewer, window = harness.start_windowed(DUPLEXA, xvfb)
            window_id = window["id"]
            try:
                start = xvfb.settled_screenshot(window_id)
                red = harness.channel_extent(start, RED, SCENE)
                cyan = harness.channel_extent(start, GREEN, SCENE)

                def shift_of(picture):
                    # Without glasses the pair's outer edges are the
                    # anaglyph's red left and cyan right edges pulled apart
                    # by the shift (see test_composition).
                    first, last = harness.lit_extent(picture, SCENE)
                    return (last - first) - (cyan[1] - red[0])

                def without_glasses(picture, where):
                    counts = harness.colour_counts(picture, SCENE)
                    self.assertEqual((counts["red"], counts["cyan"]), (0, 0),
                                     "%s: still without glasses, %s" % (where, counts))
                    self.assertGreater(counts["white"], 2000, "%s: %s" % (where, counts))

                xvfb.key(window_id, "d")
                held = xvfb.hold(window_id, ["o"], 0.5)
                picture = xvfb.settled_screenshot(window_id)
                without_glasses(picture, "after D")
                shift = shift_of(picture)
                self.assertGreater(shift, 230, "O held %.2fs" % held)

                for where, request in (("full screen", "fullscreen-enter"),
                                       ("a window again", "fullscreen-leave")):
                    # The new window may get the old one's id again: follow
                    # the old one's destruction and the new one's mapping.
                    mark = watcher.mark()
                    xvfb.key(window_id, "F1")
                    watcher.wait_for(request, since=mark)
                    watcher.wait_for("destroy", window_id, since=mark)
                    watcher.wait_for("map", since=mark)
                    window_id = xvfb.wait_window("Duplexa 01", viewer)["id"]
                    picture = xvfb.settled_screenshot(window_id)
                    without_glasses(picture, where)
                    self.assertAlmostEqual(shift_of(picture), shift, delta=2,
                                           msg="the shift is kept in " + where)
            finally:
                code = harness.stop_with_key(xvfb, viewer, window_id)
                watcher.close()
            self.assertEqual(code, 0, viewer.stderr())


if __name__ == "__main__":
    unittest.main()
