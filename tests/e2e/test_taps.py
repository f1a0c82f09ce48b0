"""Quick taps on a real window while frames are slow: with a model of half a
million faces a frame takes a good part of a second here, far longer than
a tap (press and release about 12 ms apart). Each tap must act once."""

import os
import struct
import tempfile
import time
import unittest

import harness

DUPLEXA = harness.duplexa_path()
SCENE = (0, 40, 800, 600)  # below the overlay's rate and notice rows


def write_grid_stl(path, cells):
    """A binary STL of a wavy square grid: 2 x cells x cells faces."""
    with open(path, "wb") as out:
        out.write(b"\0" * 80 + struct.pack("<I", 2 * cells * cells))
        face = struct.Struct("<12fH")
        for i in range(cells):
            x0, x1 = i / cells - 0.5, (i + 1) / cells - 0.5
            row = []
            for j in range(cells):
                y0, y1 = j / cells - 0.5, (j + 1) / cells - 0.5
                z = 0.05 * ((i + j) % 7)
                row.append(face.pack(0, 0, 1, x0, y0, z, x1, y0, z, x1, y1, z, 0))
                row.append(face.pack(0, 0, 1, x0, y0, z, x1, y1, z, x0, y1, z, 0))
            out.write(b"".join(row))


class TapsAtALowFrameRate(unittest.TestCase):
    @staticmethod
    def becomes(condition, timeout=30):
        """Whether the condition holds within the timeout, and still a few
        frames later (a second step would come within them)."""
        deadline = time.monotonic() + timeout
        while not condition():
            if time.monotonic() > deadline:
                return False
            time.sleep(0.5)
        time.sleep(2)
        return condition()

    def test_a_tap_shorter_than_a_frame_acts_once(self):
        with tempfile.TemporaryDirectory() as folder, harness.Xvfb("800x600x24") as xvfb:
            model = os.path.join(folder, "grid.stl")
            write_grid_stl(model, 500)
            viewer = harness.Viewer(DUPLEXA, xvfb, args=("--window", model))
            window = xvfb.wait_window("Duplexa 01", viewer, 30)["id"]
            # The model replaces the test object once the worker has read it.
            deadline = time.monotonic() + 60
            while xvfb.screenshot(window).lit_pixels(0, 100, 800, 600) < 20000:
                self.assertLess(time.monotonic(), deadline, "the model did not appear; " + viewer.stderr())
                time.sleep(0.5)
            # Red and cyan at the start; one step of C gives blue and red
            # (no green at all), a second would give green and red.
            self.assertIsNotNone(harness.channel_extent(xvfb.screenshot(window), harness.GREEN, SCENE))
            xvfb.focus(window)
            xvfb.run("xdotool", "key", "--delay", "12", "c")
            self.assertTrue(self.becomes(lambda: harness.channel_extent(xvfb.screenshot(window), harness.GREEN, SCENE)
                                         is None),
                              "one tap of C: one step to blue and red")
            xvfb.run("xdotool", "key", "--delay", "12", "Escape")
            self.assertEqual(viewer.wait(30), 0, viewer.stderr())


if __name__ == "__main__":
    unittest.main()
