"""Full screen asked for on a screen without an 800 x 600 x 16 mode: the error
box, then the question whether to go on in a window."""

import unittest

import harness

DUPLEXA = harness.duplexa_path()

MODE_CAPTION = "Chyba pri inicializacii grafickeho rezimu"
MODE_LINE = MODE_CAPTION + ": The graphics mode is not supported."
QUESTION_LINE = "Chyba: Chyba pri inicializacii grafickeho rezimu. Chcete pokracovat v okne?"


def start_and_reach_the_question(xvfb):
    viewer = harness.Viewer(DUPLEXA, xvfb)
    xvfb.answer_box("Start FullScreen?", "Return", viewer)
    xvfb.answer_box(MODE_CAPTION, "Return", viewer)
    box = xvfb.wait_window("Chyba", viewer)
    return viewer, box


class FallBack(unittest.TestCase):
    def test_yes_goes_on_in_an_800_by_600_window(self):
        with harness.Xvfb("1024x768x24") as xvfb:
            watcher = harness.RootWatcher(xvfb.display)
            viewer, box = start_and_reach_the_question(xvfb)
            xvfb.run("xdotool", "key", "--window", box["id"], "Return")
            window = xvfb.wait_window("Duplexa 01", viewer)
            self.assertEqual((window["x"], window["y"], window["width"], window["height"]),
                             (0, 0, 800, 600), window)
            self.assertNotIn("fullscreen-enter", watcher.kinds())

            xvfb.key(window["id"], "Escape")
            self.assertEqual(viewer.wait(), 0, viewer.stderr())
            lines = viewer.stderr().splitlines()
            self.assertIn(MODE_LINE, lines)
            self.assertIn(QUESTION_LINE, lines)
            self.assertLess(lines.index(MODE_LINE), lines.index(QUESTION_LINE),
                            "the error comes before the question")
            self.assertNotIn("ERROR: Program se uzavrie.", lines)
            watcher.close()

    def test_no_says_the_program_will_close_and_fails(self):
        with harness.Xvfb("1024x768x24") as xvfb:
            viewer, box = start_and_reach_the_question(xvfb)
            xvfb.run("xdotool", "key", "--window", box["id"], "Escape")
            xvfb.answer_box("ERROR", "Return", viewer)
            self.assertEqual(viewer.wait(), 1, viewer.stderr())
            lines = viewer.stderr().splitlines()
            self.assertEqual(lines.count("ERROR: Program se uzavrie."), 1, lines)
            self.assertIsNone(xvfb.find_window("Duplexa 01"), "no window was opened")


if __name__ == "__main__":
    unittest.main()
