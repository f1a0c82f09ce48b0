"""Ending the program: Escape, and the window's close request."""

import time
import unittest

import harness

DUPLEXA = harness.duplexa_path()


def start_windowed(xvfb):
    viewer = harness.Viewer(DUPLEXA, xvfb)
    xvfb.answer_box("Start FullScreen?", "Escape", viewer)
    return viewer, xvfb.wait_window("Duplexa 01", viewer)


class Exit(unittest.TestCase):
    def test_escape_ends_with_code_0(self):
        with harness.Xvfb() as xvfb:
            viewer, window = start_windowed(xvfb)
            xvfb.key(window["id"], "Escape")
            self.assertEqual(viewer.wait(), 0, viewer.stderr())
            self.assertIsNone(xvfb.find_window("Duplexa 01"))

    def test_holding_escape_ends_the_program_too(self):
        with harness.Xvfb() as xvfb:
            viewer, window = start_windowed(xvfb)
            xvfb.key_down(window["id"], "Escape")
            try:
                self.assertEqual(viewer.wait(), 0, viewer.stderr())
            finally:
                xvfb.run("xdotool", "keyup", "Escape", check=False)

    def test_closing_the_window_ends_with_code_0(self):
        with harness.Xvfb() as xvfb:
            viewer, window = start_windowed(xvfb)
            xvfb.close_window(window["id"])
            self.assertEqual(viewer.wait(), 0, viewer.stderr())
            self.assertNotIn("ERROR", viewer.stderr(), "closing releases everything without a box")

    def test_alt_f4_is_not_recorded_as_keys(self):
        # Without a window manager Alt+F4 closes nothing: it reaches the viewer
        # as system keys, which change no state; the viewer runs on.
        with harness.Xvfb() as xvfb:
            viewer, window = start_windowed(xvfb)
            xvfb.key(window["id"], "alt+F4", "alt+Escape", "F10")
            time.sleep(0.5)
            self.assertFalse(viewer.exited(), "Alt+Escape is a system key, not Escape; stderr:\n"
                             + viewer.stderr())
            self.assertIsNotNone(xvfb.find_window("Duplexa 01"))
            xvfb.close_window(window["id"])
            self.assertEqual(viewer.wait(), 0, viewer.stderr())


if __name__ == "__main__":
    unittest.main()
