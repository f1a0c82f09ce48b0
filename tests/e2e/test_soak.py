"""Soak: the viewer on a real window under Xvfb, driven with random held and
tapped keys from its key table, mouse presses and moves, and F1 switches
between window and full screen, for a bounded time.

It checks that the viewer stays alive and responsive (turning the camera
changes the picture), that its resident memory after warm-up grows by no
more than RSS_GROWTH_BOUND_KB, and that Escape still ends it with code 0.

The duration is DUPLEXA_SOAK_SECONDS (default 60; scripts/soak.sh sets it).
"""

import os
import random
import time
import unittest

import harness

DUPLEXA = harness.duplexa_path()
SOAK_SECONDS = float(os.environ.get("DUPLEXA_SOAK_SECONDS", "60"))
# Mesa, SDL and X keep caches that settle during warm-up; past that, a leak
# of a window's worth per F1 switch (a context, a font) would exceed this in
# a few dozen switches. llvmpipe compiles a variant of its shaders for each
# new combination of state the random keys reach and keeps them: measured
# growth 1.5 to 9.6 MiB over the run, while F1 switches alone grow by 0.3 MiB
# over 30.
RSS_GROWTH_BOUND_KB = 12 * 1024
# The help page, the output modes and the model code bring more shader
# variants and library caches than a few switches settle.
WARM_UP_SWITCHES = 10
F1_INTERVAL = SOAK_SECONDS / 40  # at least 30 switches in the bounded run, with time to spare

# The key table, in xdotool's names; Escape and F1 are driven separately.
HELD_OR_TAPPED = ["shift", "Prior", "Next", "Left", "Up", "Right", "Down",
                  "d", "e", "h", "i", "j", "k", "o", "q", "r", "s", "u", "w", "x", "y", "z"]


def resident_kb(pid):
    with open("/proc/%d/status" % pid) as status:
        for line in status:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    raise AssertionError("no VmRSS for process %d" % pid)


class Soak(unittest.TestCase):
    def setUp(self):
        self.random = random.Random(int(os.environ.get("DUPLEXA_SOAK_SEED", "1")))

    def current_window(self, xvfb, viewer, timeout=15):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            self.assertFalse(viewer.exited(), "the viewer died; stderr:\n" + viewer.stderr())
            window = xvfb.find_window("Duplexa 01")
            if window:
                return window
            time.sleep(0.05)
        raise AssertionError("no viewer window within %ss; windows: %s" % (timeout, xvfb.windows()))

    def switch(self, xvfb, viewer, watcher, window):
        """F1, held long enough for a frame to see it (the loop reads every
        waiting message before it draws, so a press and release handled in
        one pass would not switch); pressed once more if a slow frame missed
        it. The X server may give the new window the old one's id, so the
        switch is seen as a destroy followed by a map."""
        for attempt in range(2):
            mark = watcher.mark()
            xvfb.key(window["id"], "F1", hold=0.3)
            try:
                watcher.wait_for("destroy", window["id"], since=mark, timeout=5 + 10 * attempt)
                break
            except AssertionError:
                if attempt == 1:
                    raise
        watcher.wait_for("map", since=mark)
        return self.current_window(xvfb, viewer)

    def random_action(self, xvfb, window):
        kind = self.random.random()
        if kind < 0.45:  # a key held for a while
            key = self.random.choice(HELD_OR_TAPPED)
            xvfb.key(window["id"], key, hold=self.random.uniform(0.05, 0.6))
        elif kind < 0.75:  # a quick tap
            xvfb.key(window["id"], self.random.choice(HELD_OR_TAPPED), hold=0.03)
        elif kind < 0.9:  # a mouse button pressed over the window
            button = self.random.choice(["1", "3"])
            xvfb.run("xdotool", "mousedown", button)
            time.sleep(self.random.uniform(0.05, 0.4))
            xvfb.run("xdotool", "mouseup", button)
        else:  # the mouse moved: the camera turns and parks the cursor again
            xvfb.run("xdotool", "mousemove_relative", "--", str(self.random.randint(-40, 40)),
                     str(self.random.randint(-40, 40)))
            time.sleep(0.05)

    def check_responsive(self, xvfb, window):
        """Back to a known view (R home, E stereo reset, Y focus), then turning
        the camera must change what is shown."""
        xvfb.key(window["id"], "r", "e", "y", hold=0.1)
        before = xvfb.screenshot()
        lit = before.lit_pixels(0, 0, 800, 600)
        self.assertGreater(lit, 300, "expected the object after R, E and Y")
        xvfb.key(window["id"], "Right", hold=0.4)
        after = xvfb.screenshot()
        self.assertNotEqual(before.pixels, after.pixels, "the picture did not change while the camera turned")
        xvfb.key(window["id"], "r", hold=0.1)

    def fill_the_heap(self, xvfb, window):
        """The help page makes Mesa's software rasteriser take its largest
        blocks, which the viewer's heap keeps for reuse (up to its trim
        threshold) instead of faulting them in again every glyph: drawn once
        before the baseline, that pool is part of it, not growth."""
        for _ in range(2):  # glasses mode, then without glasses, and back
            xvfb.hold(window["id"], ["h"], 1.0)
            xvfb.key(window["id"], "d", hold=0.1)

    def test_random_input_for_a_bounded_time(self):
        with harness.Xvfb("800x600x16") as xvfb:
            watcher = harness.RootWatcher(xvfb.display)
            viewer = harness.Viewer(DUPLEXA, xvfb, timeout=30)
            xvfb.answer_box("Start FullScreen?", "Escape", viewer)
            window = self.current_window(xvfb, viewer)
            xvfb.run("xdotool", "mousemove", "400", "300")

            switches = 0
            probes = 0
            baseline_kb = None
            samples = []
            start = time.monotonic()
            next_switch = start + F1_INTERVAL
            next_probe = start + SOAK_SECONDS / 6
            while time.monotonic() - start < SOAK_SECONDS or switches < 30:
                self.assertFalse(viewer.exited(), "the viewer died; stderr:\n" + viewer.stderr())
                now = time.monotonic()
                if now >= next_switch:
                    window = self.switch(xvfb, viewer, watcher, window)
                    switches += 1
                    next_switch = now + F1_INTERVAL
                    if switches == WARM_UP_SWITCHES:
                        self.fill_the_heap(xvfb, window)
                        baseline_kb = resident_kb(viewer.process.pid)
                    elif baseline_kb is not None:
                        samples.append(resident_kb(viewer.process.pid))
                elif now >= next_probe:
                    self.check_responsive(xvfb, window)
                    probes += 1
                    next_probe = now + SOAK_SECONDS / 6
                else:
                    self.random_action(xvfb, window)

            self.check_responsive(xvfb, window)
            samples.append(resident_kb(viewer.process.pid))
            # The last few switches' middle value: one switch's passing peak
            # (a glyph burst, a context being made) is not growth; a leak of
            # a window's worth per switch still shows over twenty switches.
            final_kb = sorted(samples[-5:])[len(samples[-5:]) // 2]
            growth = final_kb - baseline_kb
            print("soak: %.0f s, %d F1 switches, %d probes; VmRSS after warm-up %d kB, final %d kB, "
                  "growth %d kB (bound %d kB), highest %d kB" % (
                      time.monotonic() - start, switches, probes + 1, baseline_kb, final_kb, growth,
                      RSS_GROWTH_BOUND_KB, max(samples + [final_kb])))
            self.assertGreaterEqual(switches, 30)
            self.assertLessEqual(growth, RSS_GROWTH_BOUND_KB,
                                 "resident memory grew from %d kB to %d kB" % (baseline_kb, final_kb))

            xvfb.key(window["id"], "Escape")
            self.assertEqual(viewer.wait(), 0, viewer.stderr())
            entered = watcher.kinds().count("fullscreen-enter")
            self.assertGreaterEqual(entered, switches // 2, "every other switch enters full screen")
            watcher.close()


if __name__ == "__main__":
    unittest.main()
