"""What a new user meets first: an X server without core fonts (no box can be
shown), the command line, and the installed program started from anywhere."""

import os
import shutil
import subprocess
import tempfile
import time
import unittest

import harness

DUPLEXA = harness.duplexa_path()
BUILD_DIR = os.path.dirname(DUPLEXA)


def wait_for_picture(xvfb, viewer, window, timeout=15):
    """Screenshots the window until the object is drawn; returns the shot."""
    deadline = time.monotonic() + timeout
    while True:
        shot = xvfb.screenshot(window["id"])
        if shot.lit_pixels(200, 100, 600, 500) > 300 or time.monotonic() > deadline:
            return shot
        if viewer.exited():
            raise AssertionError("the viewer exited; stderr:\n" + viewer.stderr())
        time.sleep(0.1)


class FirstContact(unittest.TestCase):
    def test_without_x_core_fonts_the_unanswered_question_opens_a_window(self):
        # No core fonts (SDL's X11 boxes need them) and no zenity to fall back on.
        empty_path = tempfile.mkdtemp()
        self.addCleanup(os.rmdir, empty_path)
        with harness.Xvfb("800x600x24", extra_args=["-fp", "built-ins"]) as xvfb:
            watcher = harness.RootWatcher(xvfb.display)
            env = xvfb.env()
            env["PATH"] = empty_path
            viewer = harness.Viewer(DUPLEXA, env=env)
            window = xvfb.wait_window("Duplexa 01", viewer)
            self.assertEqual((window["width"], window["height"]), (800, 600), window)
            shot = wait_for_picture(xvfb, viewer, window)
            self.assertGreater(shot.lit_pixels(200, 100, 600, 500), 300)
            self.assertNotIn("fullscreen-enter", watcher.kinds(), "no full screen without an answer")
            lines = viewer.stderr().splitlines()
            question = "Start FullScreen?: Would You Like To Run In Fullscreen Mode?"
            self.assertIn(question, lines)
            self.assertIn("duplexa: no answer: opening a window", lines)
            self.assertLess(lines.index(question), lines.index("duplexa: no answer: opening a window"))
            self.assertEqual(harness.stop_with_key(xvfb, viewer, window["id"]), 0, viewer.stderr())
            watcher.close()

    def test_window_option_opens_the_window_without_asking(self):
        with harness.Xvfb("800x600x24") as xvfb:
            viewer = harness.Viewer(DUPLEXA, xvfb, args=["--window"])
            window = xvfb.wait_window("Duplexa 01", viewer)
            wait_for_picture(xvfb, viewer, window)
            self.assertIsNone(xvfb.find_window("Start FullScreen?"))
            self.assertNotIn("Start FullScreen?", viewer.stderr(), "no question was asked")
            self.assertEqual(harness.stop_with_key(xvfb, viewer, window["id"]), 0, viewer.stderr())

    def test_help_and_usage_errors_need_no_display(self):
        env = dict(os.environ)
        env.pop("DISPLAY", None)
        env.pop("WAYLAND_DISPLAY", None)
        help_run = subprocess.run([DUPLEXA, "--help"], env=env, capture_output=True, timeout=15)
        self.assertEqual(help_run.returncode, 0)
        self.assertIn(b"--window", help_run.stdout)
        self.assertEqual(help_run.stderr, b"")
        bad = subprocess.run([DUPLEXA, "-w", "-f"], env=env, capture_output=True, timeout=15)
        self.assertEqual(bad.returncode, 2)
        self.assertIn(b"usage: duplexa", bad.stderr)
        self.assertNotIn(b"Start FullScreen?", bad.stderr, "nothing was shown")

    def test_installed_program_started_from_the_root_finds_its_font(self):
        prefix = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, prefix)
        subprocess.run(["cmake", "--install", BUILD_DIR, "--prefix", prefix, "--component", "Unspecified"],
                       check=True, capture_output=True, timeout=60)
        program = os.path.join(prefix, "bin", "duplexa")
        for installed in ("share/duplexa/font.bmp", "share/applications/duplexa.desktop",
                          "share/icons/hicolor/scalable/apps/duplexa.svg"):
            self.assertTrue(os.path.isfile(os.path.join(prefix, installed)), installed)
        with harness.Xvfb("800x600x24") as xvfb:
            viewer = harness.Viewer(program, xvfb, args=["--window"], cwd="/")
            window = xvfb.wait_window("Duplexa 01", viewer)
            shot = wait_for_picture(xvfb, viewer, window)
            self.assertGreater(shot.lit_pixels(0, 0, 60, 16), 20, "the frame rate is printed")
            self.assertNotIn("font.bmp", viewer.stderr(), "the font was found")
            self.assertEqual(harness.stop_with_key(xvfb, viewer, window["id"]), 0, viewer.stderr())

    def test_a_build_started_from_another_folder_finds_its_font(self):
        with harness.Xvfb("800x600x24") as xvfb:
            viewer = harness.Viewer(DUPLEXA, xvfb, args=["--window"], cwd="/")
            window = xvfb.wait_window("Duplexa 01", viewer)
            shot = wait_for_picture(xvfb, viewer, window)
            self.assertGreater(shot.lit_pixels(0, 0, 60, 16), 20, "the frame rate is printed")
            self.assertEqual(harness.stop_with_key(xvfb, viewer, window["id"]), 0, viewer.stderr())

    def test_a_missing_font_is_told_in_english_beside_its_box(self):
        alone = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, alone)
        shutil.copy(DUPLEXA, alone)
        with harness.Xvfb("800x600x24") as xvfb:
            viewer = harness.Viewer(os.path.join(alone, "duplexa"), xvfb, args=["--window"], cwd=alone)
            xvfb.answer_box("data/font.bmp", "Return", viewer)
            xvfb.answer_box("ERROR", "Return", viewer)
            self.assertEqual(viewer.wait(30), 1)
            self.assertIn("duplexa: the font image was not found; looked for data/font.bmp in the working folder, "
                          + alone + "/../share/duplexa/font.bmp, " + alone + "/data/font.bmp", viewer.stderr())

    def test_reopening_the_window_keeps_the_display_of_a_server_with_no_other_client(self):
        # Top-bottom to rows needs a stencil buffer: the window is made again.
        with harness.Xvfb("800x600x24", reset=True) as xvfb:
            viewer = harness.Viewer(DUPLEXA, xvfb, args=["--window", "--mode", "top-bottom"])
            window = xvfb.wait_window("Duplexa 01", viewer)
            wait_for_picture(xvfb, viewer, window)
            xvfb.key(window["id"], "m")
            again = xvfb.wait_window("Duplexa 01", viewer, other_than=window["id"])
            shot = wait_for_picture(xvfb, viewer, again)
            self.assertGreater(shot.lit_pixels(200, 100, 600, 500), 300, viewer.stderr())
            self.assertEqual(harness.stop_with_key(xvfb, viewer, again["id"]), 0, viewer.stderr())


if __name__ == "__main__":
    unittest.main()
