"""Without a display the viewer says so on standard error and fails."""

import os
import unittest

import harness

DUPLEXA = harness.duplexa_path()


def run_without_display(display):
    env = dict(os.environ)
    env.pop("WAYLAND_DISPLAY", None)
    env.pop("SDL_VIDEODRIVER", None)
    if display is None:
        env.pop("DISPLAY", None)
    else:
        env["DISPLAY"] = display
    viewer = harness.Viewer(DUPLEXA, env=env, timeout=30)
    return viewer.wait(), viewer.stderr()


class NoDisplay(unittest.TestCase):
    def check(self, display):
        code, stderr = run_without_display(display)
        self.assertEqual(code, 1, stderr)
        self.assertIn("cannot open a display", stderr)
        # The boxes that could not be shown are still told on stderr.
        self.assertIn("Start FullScreen?: Would You Like To Run In Fullscreen Mode?", stderr)
        self.assertIn("ERROR: Chyba pri registracii triedy okna.", stderr)

    def test_display_unset(self):
        self.check(None)

    def test_display_pointing_nowhere(self):
        self.check(":4095")


if __name__ == "__main__":
    unittest.main()
