"""Model files that crash, exhaust or hang the importer itself, dropped one
after another on one real window: each is told in one Error box in plain
words, the picture stays, and the viewer goes on; Escape during a read that
never ends quits at once."""

import os
import time
import unittest

import harness

DUPLEXA = harness.duplexa_path()
HOSTILE = os.path.join(harness.REPO_ROOT, "tests", "data", "hostile")
SCENE = (0, 40, 800, 600)  # below the frame rate's row and the loading line

# Each file and a part of its reason. These crash Assimp 5.2.5 in the worker
# (stack overflows, out-of-range reads and writes) or are refused before it runs.
FILES = {
    "collada-self-instancing.dae": "crashed on this file",
    "collada-deep-nesting.zae": "crashed on this file",
    "x-deep-nesting-mszip.x": "crashed on this file",
    "gltf-buffer-view-offset-wraps.gltf": "crashed on this file",
    "gltf-sparse-indices-out-of-range.gltf": "crashed on this file",
    "ply-heap-overflow.ply": "crashed on this file",
    "ply-face-element-twice.ply": "crashed on this file",
    "off-face-count-underflow.off": "crashed on this file",
    "ply-no-end-header.ply": "end_header",
    "off-huge-counts.off": "1000000000",
}


def scene_pixels(image):
    split = SCENE[1] * image.width * 3
    return image.pixels[split:]


def import_workers():
    """Process ids of the viewer's import workers still running."""
    found = []
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open("/proc/%s/cmdline" % pid, "rb") as f:
                words = f.read().split(b"\0")
        except OSError:
            continue
        if len(words) > 1 and words[1] == b"--import-worker":
            found.append(pid)
    return found


class HostileModels(harness.WindowedViewerCase):
    def drop(self, path):
        with harness.XdndSource(self.xvfb.display) as source:
            return source.drop(self.window, path)

    def test_each_hostile_file_gives_one_box_and_the_viewer_goes_on(self):
        for name, reason in FILES.items():
            with self.subTest(name):
                self.assertTrue(self.drop(os.path.join(HOSTILE, name)), name)
                self.xvfb.answer_box("Error", "Return", self.viewer)
                self.assertFalse(self.viewer.exited(), self.viewer.stderr())
                errors = [line for line in self.viewer.stderr().splitlines() if line.startswith("Error: ")]
                self.assertIn(name, errors[-1])
                self.assertIn(reason, self.viewer.stderr().split(errors[-1])[-1] + errors[-1])
        errors = [line for line in self.viewer.stderr().splitlines() if line.startswith("Error: ")]
        self.assertEqual(len(errors), len(FILES), "one box per file:\n" + self.viewer.stderr())
        self.assertEqual(scene_pixels(self.shot()), scene_pixels(self.start), "the test object stays")

    def test_escape_during_a_read_that_never_ends_quits_at_once(self):
        harness.stop_with_key(self.xvfb, self.viewer, self.window)
        env = dict(self.xvfb.env(), DUPLEXA_IMPORT_TEST_FAULT="hang")
        self.viewer = harness.Viewer(DUPLEXA, env=env, args=["--window", os.path.join(harness.REPO_ROOT, "data",
                                                                                        "models", "sphere.ply")])
        self.window = self.xvfb.wait_window("Duplexa 01", self.viewer)["id"]
        time.sleep(1)
        started = time.monotonic()
        self.assertEqual(harness.stop_with_key(self.xvfb, self.viewer, self.window), 0, self.viewer.stderr())
        self.assertLess(time.monotonic() - started, 5, "Escape is not held up by the worker")
        self.assertEqual(import_workers(), [], "the worker went with the viewer")
        # tearDown stops a viewer that has already ended: start one for it.
        self.viewer, window = harness.start_windowed(DUPLEXA, self.xvfb)
        self.window = window["id"]


if __name__ == "__main__":
    unittest.main()
