"""Answering No to the start-up question: an 800 x 600 window showing the object."""

import time
import unittest

import harness

DUPLEXA = harness.duplexa_path()


class WindowedStart(unittest.TestCase):
    def test_no_opens_an_800_by_600_window_at_the_corner_showing_the_object(self):
        with harness.Xvfb("1024x768x24") as xvfb:
            watcher, viewer, window = harness.start_watched(DUPLEXA, xvfb, "Escape")
            self.assertEqual((window["width"], window["height"]), (800, 600), window)
            self.assertEqual((window["x"], window["y"]), (0, 0), window)

            shot, lit = xvfb.wait_for_object()
            self.assertGreater(lit, 300, "expected the object's lines in the centre of the window")
            for name, (left, top) in {"top right": (720, 0), "bottom left": (0, 520),
                                      "bottom right": (720, 520)}.items():
                self.assertEqual(shot.lit_pixels(left, top, left + 80, top + 80), 0,
                                 "expected a black %s corner, away from the object" % name)
            self.assertEqual(shot.lit_pixels(820, 0, 1024, 768), 0,
                             "nothing is drawn outside the 800 x 600 client area")
            self.assertNotIn("fullscreen-enter", watcher.kinds(), "a window asks for no full screen")

            xvfb.key(window["id"], "Escape")
            self.assertEqual(viewer.wait(), 0, viewer.stderr())
            self.assertIn("Start FullScreen?: Would You Like To Run In Fullscreen Mode?", viewer.stderr())
            watcher.close()

    def test_the_pointer_is_parked_before_the_question_and_a_move_then_turns_the_first_view(self):
        with harness.Xvfb("1024x768x24") as xvfb:
            viewer = harness.Viewer(DUPLEXA, xvfb)
            box = xvfb.wait_window("Start FullScreen?", viewer)
            self.assertEqual(xvfb.pointer(), (400, 300), "parked while the question is shown")
            xvfb.run("xdotool", "mousemove", "440", "300")
            xvfb.run("xdotool", "key", "--window", box["id"], "Escape")
            window = xvfb.wait_window("Duplexa 01", viewer)
            shot, lit = xvfb.wait_for_object()
            centre = harness.lit_centroid_x(shot, 100, 60, 700, 560)
            self.assertIsNotNone(centre)
            self.assertLess(centre, 400 - 40, "the move made while answering turned the view right")
            xvfb.key(window["id"], "Escape")
            self.assertEqual(viewer.wait(), 0, viewer.stderr())

    def test_the_mouse_turns_the_view_and_the_pointer_stays_parked(self):
        with harness.Xvfb("1024x768x24") as xvfb:
            viewer = harness.Viewer(DUPLEXA, xvfb)
            xvfb.answer_box("Start FullScreen?", "Escape", viewer)
            window = xvfb.wait_window("Duplexa 01", viewer)
            shot, lit = xvfb.wait_for_object()
            self.assertGreater(lit, 300)
            # Xvfb starts the pointer in the middle of its screen; the camera
            # parks it at (400, 300) and puts it back there in every frame.
            self.assertEqual(xvfb.pointer(), (400, 300))
            before = harness.lit_centroid_x(shot, 100, 60, 700, 560)

            # A move that lands between a frame's reading of the pointer and
            # its parking is lost (a hand never notices): repeat it if so.
            for _ in range(5):
                xvfb.run("xdotool", "mousemove", "440", "300")
                time.sleep(0.5)
                after = harness.lit_centroid_x(xvfb.screenshot(), 100, 60, 700, 560)
                self.assertIsNotNone(after, "the object is still in view")
                if abs(after - before) > 1:
                    break
            self.assertEqual(xvfb.pointer(), (400, 300), "the pointer is parked again")
            self.assertLess(after, before - 40,
                            "moving the mouse right turns the view right, so the object moves left")

            xvfb.key(window["id"], "Escape")
            self.assertEqual(viewer.wait(), 0, viewer.stderr())


if __name__ == "__main__":
    unittest.main()
