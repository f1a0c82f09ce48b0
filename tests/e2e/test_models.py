"""A model dropped on the real window: it replaces the test object, L shades
it, and a file that is no model boxes once and keeps the picture."""

import os
import tempfile
import time
import unittest

import harness

DUPLEXA = harness.duplexa_path()
MODELS = os.path.join(harness.REPO_ROOT, "data", "models")
SCENE = (0, 40, 800, 600)  # below the frame rate's row


def differing_pixels(a, b):
    split = SCENE[1] * a.width * 3
    return sum(1 for p, q in zip(a.pixels[split:], b.pixels[split:]) if p != q) // 3


class DroppedModels(harness.WindowedViewerCase):
    def drop(self, path):
        with harness.XdndSource(self.xvfb.display) as source:
            return source.drop(self.window, path)

    def wait_for_change(self, before, timeout=10):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            shot = self.shot()
            if differing_pixels(shot, before) > 500:
                return shot
        return self.shot()

    def test_a_dropped_stl_replaces_the_test_object_and_L_shades_it(self):
        self.assertTrue(self.drop(os.path.join(MODELS, "terrain.stl")), "the window accepts the drop")
        model = self.wait_for_change(self.start)
        # An STL opens Z up, the terrain lying level and seen edge on; B shows
        # it as the file has it, facing the camera, where shading shows most.
        self.xvfb.key(self.window, "b")
        model = self.wait_for_change(model)
        self.assertGreater(differing_pixels(model, self.start), 500, "the terrain replaces the test object")
        counts = harness.colour_counts(model, SCENE)
        self.assertGreater(counts["red"], 200, counts)
        self.assertGreater(counts["cyan"], 200, counts)

        self.xvfb.key(self.window, "l")
        shaded = self.wait_for_change(model)
        self.assertGreater(shaded.lit_pixels(*SCENE), 2 * model.lit_pixels(*SCENE),
                           "surfaces fill what the wireframe left open")
        self.assertNotIn("Error", self.viewer.stderr())

    def test_a_dropped_file_that_is_no_model_boxes_once_and_keeps_the_picture(self):
        with tempfile.NamedTemporaryFile("w", suffix=".txt", delete=False) as notes:
            notes.write("not a model\n")
        try:
            self.assertTrue(self.drop(notes.name))
            self.xvfb.answer_box("Error", "Return", self.viewer)
        finally:
            os.unlink(notes.name)
        after = self.shot()
        self.assertEqual(differing_pixels(after, self.start), 0, "the test object stays")
        errors = [line for line in self.viewer.stderr().splitlines() if line.startswith("Error: ")]
        self.assertEqual(len(errors), 1, self.viewer.stderr())
        self.assertIn(os.path.basename(notes.name), errors[0])


if __name__ == "__main__":
    unittest.main()
