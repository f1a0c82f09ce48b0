#!/usr/bin/env python3
"""Takes the README's pictures from the real program on a private Xvfb
screen: docs/anaglyph.png (glasses mode, the start picture), docs/help.png
(the help page, H held), and the sample torus knot dropped on the window,
docs/model.png (wireframe) and docs/model-shaded.png (after L).

    python3 scripts/screenshots.py [path-to-duplexa]   (default: build/duplexa)

Needs Xvfb, xdotool, xwininfo and ImageMagick's import, as the end-to-end
tests do; it drives the viewer through their harness.
"""

import os
import sys
import time

REPO_ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(REPO_ROOT, "tests", "e2e"))

import harness  # noqa: E402


def save(xvfb, window_id, name):
    """Saves the 800 x 600 client area, once the picture has settled, as a PNG
    in docs/. The window sits at the screen's corner without decorations, so
    the window is the client area."""
    xvfb.settled_screenshot(window_id)
    # Grabbing the screen stalls the viewer's frames; a moment of frames
    # without grabs lets the printed rate be an ordinary one again.
    time.sleep(0.3)
    path = os.path.join(REPO_ROOT, "docs", name)
    xvfb.run("import", "-window", window_id, "-depth", "8", "png:" + path)
    print("wrote", os.path.relpath(path, REPO_ROOT))


def main():
    duplexa = os.path.abspath(sys.argv[1] if len(sys.argv) > 1
                              else os.path.join(REPO_ROOT, "build", "duplexa"))
    if not os.access(duplexa, os.X_OK):
        sys.exit("no viewer at %s: build it first (make build)" % duplexa)
    os.makedirs(os.path.join(REPO_ROOT, "docs"), exist_ok=True)

    with harness.Xvfb("800x600x24") as xvfb:
        viewer, window = harness.start_windowed(duplexa, xvfb)
        window_id = window["id"]
        try:
            save(xvfb, window_id, "anaglyph.png")
            with xvfb.holding(window_id, "h"):
                save(xvfb, window_id, "help.png")
            with harness.XdndSource(xvfb.display) as source:
                if not source.drop(window_id, os.path.join(REPO_ROOT, "data", "models", "torus_knot.obj")):
                    sys.exit("the viewer did not take the dropped model")
            time.sleep(1.0)
            save(xvfb, window_id, "model.png")
            xvfb.key(window_id, "l")
            time.sleep(1.0)
            save(xvfb, window_id, "model-shaded.png")
        finally:
            code = harness.stop_with_escape(xvfb, viewer, window_id)
        if code != 0:
            sys.exit("the viewer ended with code %d:\n%s" % (code, viewer.stderr()))


if __name__ == "__main__":
    main()
