"""Full screen: at start on a screen that offers 800 x 600 x 16, and the F1
switch between full screen and a window."""

import unittest

import harness

DUPLEXA = harness.duplexa_path()


class FullScreen(unittest.TestCase):
    def test_yes_covers_the_800_by_600_display(self):
        with harness.Xvfb("800x600x16") as xvfb:
            watcher, viewer, window = harness.start_watched(DUPLEXA, xvfb, "Return")
            self.assertEqual((window["x"], window["y"], window["width"], window["height"]),
                             (0, 0, 800, 600), window)
            watcher.wait_for("fullscreen-enter", window["id"])
            self.assertGreater(xvfb.wait_for_object()[1], 300, "expected the object on the screen")
            # The mode was there: no error box, no fall-back question.
            self.assertNotIn("Chyba", viewer.stderr())

            xvfb.key(window["id"], "Escape")
            self.assertEqual(viewer.wait(), 0, viewer.stderr())
            self.assertIn("fullscreen-leave", watcher.kinds(), "leaving restores the display")
            watcher.close()

    def test_f1_switches_to_full_screen_and_back(self):
        with harness.Xvfb("800x600x16") as xvfb:
            watcher, viewer, window = harness.start_watched(DUPLEXA, xvfb, "Escape")
            self.assertGreater(xvfb.wait_for_object()[1], 300)
            self.assertNotIn("fullscreen-enter", watcher.kinds())

            # Window -> full screen: the window is closed and a full-screen one opened.
            mark = watcher.mark()
            xvfb.key(window["id"], "F1")
            watcher.wait_for("destroy", window["id"], since=mark)
            watcher.wait_for("map", since=mark)
            watcher.wait_for("fullscreen-enter", since=mark)
            window = xvfb.wait_window("Duplexa 01", viewer)
            self.assertEqual((window["x"], window["y"], window["width"], window["height"]),
                             (0, 0, 800, 600), window)
            self.assertGreater(xvfb.wait_for_object()[1], 300, "the object is drawn after the switch")

            # Full screen -> window.
            mark = watcher.mark()
            xvfb.key(window["id"], "F1")
            watcher.wait_for("fullscreen-leave", window["id"], since=mark)
            watcher.wait_for("destroy", window["id"], since=mark)
            watcher.wait_for("map", since=mark)
            window = xvfb.wait_window("Duplexa 01", viewer)
            self.assertGreater(xvfb.wait_for_object()[1], 300)
            self.assertNotIn("fullscreen-enter", watcher.kinds(since=mark),
                             "the second switch opens an ordinary window")
            self.assertFalse(viewer.exited(), viewer.stderr())

            xvfb.key(window["id"], "Escape")
            self.assertEqual(viewer.wait(), 0, viewer.stderr())
            self.assertNotIn("Chyba", viewer.stderr(), "no box was needed on the way")
            watcher.close()


if __name__ == "__main__":
    unittest.main()
