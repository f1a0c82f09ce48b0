"""Runs every benchmark beside its baseline and prints one table.

    python3 bench/run_bench.py BUILD_DIR [--seconds S] [--repeats N]

The frame-loop, start-up and memory figures run on a private Xvfb screen
(tests/e2e/harness.py); the render and loader figures use Google Benchmark.
Each figure is the median of alternating runs of the subject and its
baseline, so both see the same machine load.
"""

import argparse
import json
import os
import platform
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
REPO_ROOT = os.path.dirname(HERE)
sys.path.insert(0, os.path.join(REPO_ROOT, "tests", "e2e"))
import harness  # noqa: E402


def machine():
    model = "unknown"
    try:
        for line in subprocess.run(["lscpu"], capture_output=True, text=True).stdout.splitlines():
            if line.startswith("Model name:"):
                model = line.split(":", 1)[1].strip()
    except OSError:
        pass
    return "%s, %d cores, %s" % (model, os.cpu_count() or 0, platform.platform())


def fields(text):
    """'fps 12.3 frames 45 rss_kb 6789' -> {'fps': 12.3, ...}"""
    words = text.split()
    return {words[i]: float(words[i + 1]) for i in range(0, len(words) - 1, 2)}


def run_program(args, env, timeout=120):
    t0 = time.monotonic_ns()
    env = dict(env, DUPLEXA_BENCH_T0=str(t0))
    result = subprocess.run(args, env=env, cwd=REPO_ROOT, capture_output=True, text=True, timeout=timeout)
    if result.returncode != 0:
        raise RuntimeError("%s failed (%d): %s" % (" ".join(args), result.returncode, result.stderr))
    return fields(result.stdout.strip().splitlines()[-1])


def alternate(subject, baseline, env, repeats, key):
    """Median of `key` over alternating runs of subject and baseline."""
    a, b, extra_a, extra_b = [], [], [], []
    for _ in range(repeats):
        ra = run_program(subject, env)
        rb = run_program(baseline, env)
        a.append(ra[key])
        b.append(rb[key])
        extra_a.append(ra)
        extra_b.append(rb)
    return statistics.median(a), statistics.median(b), extra_a, extra_b


def process_seconds(args, env, repeats):
    """Median wall time of whole runs of a program, from start to exit."""
    times = []
    for _ in range(repeats):
        start = time.monotonic()
        result = subprocess.run(args, env=env, cwd=REPO_ROOT, capture_output=True, timeout=120)
        times.append(time.monotonic() - start)
        if result.returncode != 0:
            raise RuntimeError("%s failed (%d): %s" % (" ".join(args), result.returncode, result.stderr))
    return statistics.median(times)


def google_benchmark(program, extra=()):
    result = subprocess.run([program, "--benchmark_format=json"] + list(extra), cwd=REPO_ROOT,
                            capture_output=True, text=True, timeout=900)
    if result.returncode != 0:
        raise RuntimeError("%s failed: %s" % (program, result.stderr))
    times = {}
    for b in json.loads(result.stdout)["benchmarks"]:
        name = b["name"].split("/min_time")[0]
        scale = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}[b.get("time_unit", "ns")]
        times[name] = b["real_time"] * scale  # milliseconds
    return times


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build")
    parser.add_argument("--seconds", type=float, default=3.0, help="length of one frame-loop run")
    parser.add_argument("--repeats", type=int, default=3)
    options = parser.parse_args()
    bench = os.path.join(os.path.abspath(options.build), "bench")
    viewer = os.path.join(bench, "viewer_bench")
    bare = os.path.join(bench, "bare_sdl")
    rows = []

    def row(figure, subject, baseline, ratio, note=""):
        rows.append((figure, subject, baseline, ratio, note))

    with harness.Xvfb("1024x768x24") as xvfb:
        env = xvfb.env()
        seconds = str(options.seconds)
        rss = None
        for mode, label in (("glasses", "glasses mode, overlay"), ("noglasses", "without glasses mode"),
                            ("help", "glasses mode, help page held")):
            fps, bare_fps, runs, bare_runs = alternate([viewer, "loop", mode, seconds], [bare, "loop", seconds],
                                                       env, options.repeats, "fps")
            row("frame loop fps: " + label, "%.0f" % fps, "%.0f" % bare_fps, "%.3f" % (fps / bare_fps),
                "%.2f ms vs %.2f ms a frame" % (1000 / fps, 1000 / bare_fps))
            if rss is None:
                rss = (statistics.median(r["rss_kb"] for r in runs), statistics.median(r["rss_kb"] for r in bare_runs))
        # Each output mode and the comfort readout against the anaglyph, the
        # viewer's own default, in the same alternating runs. Page-flip needs
        # a stereo pixel format, which Mesa's software renderer has not.
        for mode in ("free-view", "side-by-side", "side-by-side-half", "top-bottom", "rows", "columns",
                     "checkerboard", "parallax"):
            fps, anaglyph_fps, _, _ = alternate([viewer, "loop", mode, seconds], [viewer, "loop", "glasses", seconds],
                                                env, options.repeats, "fps")
            label = "glasses mode, comfort readout on" if mode == "parallax" else "output mode " + mode
            row("frame loop fps: " + label, "%.0f" % fps, "%.0f" % anaglyph_fps, "%.3f" % (fps / anaglyph_fps),
                "baseline: anaglyph (glasses mode, overlay)")
        # The mixing anaglyph methods against channels, the whole frame at
        # 800 x 600 (overlay and swap included); target <= 1.3.
        for method in ("grey", "half-colour", "optimised"):
            fps, channels_fps, _, _ = alternate([viewer, "loop", method, seconds],
                                                [viewer, "loop", "glasses", seconds], env, options.repeats, "fps")
            row("frame loop fps: anaglyph method " + method, "%.0f" % fps, "%.0f" % channels_fps,
                "%.3f" % (channels_fps / fps), "baseline: channels; ratio: frame time / channels' (target <= 1.3)")
        start, bare_start, _, _ = alternate([viewer, "first-frame"], [bare, "first-frame"], env,
                                            max(options.repeats, 5), "startup_ms")
        row("start-up to first frame shown, ms", "%.1f" % start, "%.1f" % bare_start, "%.2f" % (start / bare_start),
            "windowed, question answered in code")
        row("resident memory, MiB (running, glasses)", "%.1f" % (rss[0] / 1024), "%.1f" % (rss[1] / 1024),
            "%.2f" % (rss[0] / rss[1]), "VmRSS after the loop")

    # --render from process start to PNG written, against a process that only
    # makes the offscreen context and reads back one cleared frame; alternated.
    no_display = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
    picture = os.path.join(os.path.abspath(options.build), "bench-render.png")
    ours, bare_ms = [], []
    for _ in range(max(options.repeats, 5)):
        ours.append(process_seconds([os.path.join(os.path.abspath(options.build), "duplexa"), "--render", picture],
                                    no_display, 1))
        bare_ms.append(process_seconds([os.path.join(bench, "bare_offscreen")], no_display, 1))
    ours, bare_ms = statistics.median(ours) * 1000, statistics.median(bare_ms) * 1000
    row("--render 800x600 to PNG, ms (process start to exit)", "%.1f" % ours, "%.1f" % bare_ms,
        "%.2f" % (ours / bare_ms), "baseline: same offscreen context, one cleared frame read back")

    render = google_benchmark(os.path.join(bench, "render_bench"))
    for name, label in (("BM_render_frame_glasses", "glasses"), ("BM_render_frame_noglasses", "without glasses"),
                        ("BM_render_frame_help", "help page")):
        row("render_frame ms, offscreen: " + label, "%.3f" % render[name], "%.3f" % render["BM_clear_only"],
            "%.2f" % (render[name] / render["BM_clear_only"]), "baseline: clear only; both end with glFinish")
    for name, method in (("BM_render_frame_grey", "grey"), ("BM_render_frame_half_colour", "half-colour"),
                         ("BM_render_frame_optimised", "optimised")):
        row("render_frame ms, offscreen: anaglyph method " + method, "%.3f" % render[name],
            "%.3f" % render["BM_render_frame_glasses"], "%.2f" % (render[name] / render["BM_render_frame_glasses"]),
            "baseline: channels (glasses); target <= 1.3")
    row("render_frame ms, offscreen: comfort readout on", "%.3f" % render["BM_render_frame_parallax"],
        "%.3f" % render["BM_render_frame_glasses"],
        "%.3f" % (render["BM_render_frame_parallax"] / render["BM_render_frame_glasses"]),
        "baseline: the same frame without it; the figures alone: %.2f us" % (render["BM_measure_parallax"] * 1000))
    # Target: the fitted separation at most 5 % of a frame of the same model.
    row("fit-parallax ms, 1,000,000 vertices (sampled)", "%.3f" % render["BM_fit_parallax_million"],
        "%.3f" % render["BM_render_frame_glasses"],
        "%.3f" % (render["BM_fit_parallax_million"] / render["BM_render_frame_glasses"]),
        "baseline: a whole frame of the test object; the fit in the frame (on a change only): %.2f ms"
        % render["BM_frame_fit_million"])

    loader = google_benchmark(os.path.join(bench, "loader_bench"))
    megabytes = 4096 * 4096 * 3 / 1e6
    for fmt in ("rgb24", "pal8", "rgb16", "rle8"):
        ours, stb = loader["BM_decode_ours/" + fmt], loader["BM_decode_stb/" + fmt]
        row("decode 4096x4096 %s, ms" % fmt, "%.1f" % ours, "%.1f" % stb, "%.2f" % (ours / stb),
            "%.0f vs %.0f MB/s of output%s" % (megabytes / ours * 1000, megabytes / stb * 1000,
                                               "; stb reads no RLE: it decodes the same picture as plain 8-bit"
                                               if fmt == "rle8" else ""))
    memory = subprocess.run([os.path.join(bench, "loader_bench"), "memory"], capture_output=True, text=True,
                            timeout=300, cwd=REPO_ROOT).stdout
    for line in memory.splitlines():
        words = line.split()
        f = fields(" ".join(words[2:]))
        row("decode peak memory %s, MiB" % words[1], "%.1f" % (f["ours_kb"] / 1024), "%.1f" % (f["stb_kb"] / 1024),
            "%.2f" % (f["ours_kb"] / f["stb_kb"]), "output %.1f MiB; ours/output %.2f" % (
                f["output_kb"] / 1024, f["ours_kb"] / f["output_kb"]))

    model_bench = os.path.join(bench, "model_bench")
    with tempfile.TemporaryDirectory(prefix="duplexa-bench-") as folder:
        subprocess.run([model_bench, "generate", folder], check=True, timeout=300)
        for kind, name in (("binary STL", "big.stl"), ("OBJ", "big.obj")):
            path = os.path.join(folder, name)
            ours, theirs, our_runs, their_runs = alternate([model_bench, "load", path], [model_bench, "assimp", path],
                                                           os.environ, max(options.repeats, 5), "ms")
            row("load 1M-triangle %s, ms" % kind, "%.0f" % ours, "%.0f" % theirs, "%.2f" % (ours / theirs),
                "baseline: Assimp's ReadFile alone (same validation flag); ours: import, conversion, fit")
            our_peak = statistics.median(r["peak_kb"] for r in our_runs)
            their_peak = statistics.median(r["peak_kb"] for r in their_runs)
            row("peak memory, load 1M-triangle %s, MiB" % kind, "%.1f" % (our_peak / 1024),
                "%.1f" % (their_peak / 1024), "%.2f" % (our_peak / their_peak), "VmHWM of a process that only loads")
            # The worker also builds the edges and the lighter mesh: the
            # baseline does the same work in one process.
            worker, inproc, _, _ = alternate([model_bench, "worker", path], [model_bench, "inprocess", path],
                                             os.environ, max(options.repeats, 7), "ms")
            row("load 1M-triangle %s through the import worker, ms" % kind, "%.0f" % worker, "%.0f" % inproc,
                "%.2f" % (worker / inproc), "baseline: the same work in-process (the load, then the edges and the "
                "lighter mesh); target <= 1.15; against the load alone (%.0f ms): %.2f" % (ours, worker / ours))
            # Medians of three runs: one stall of the machine is no pause of ours.
            runs = [fields(subprocess.run([model_bench, "loading", path], capture_output=True, text=True,
                                          timeout=300, check=True, cwd=REPO_ROOT).stdout) for _ in range(3)]
            during = {k: statistics.median(r[k] for r in runs) for k in runs[0]}
            row("while loading 1M-triangle %s: longest frame interval / longest still percentage, ms" % kind,
                "%.0f" % during["longest_frame_ms"], "%.0f" % during["longest_still_ms"], "",
                "targets: frame <= 100, percentage <= 500 (the last figure counted until the model shows); "
                "%d frames drawn, longest poll %.0f ms" % (during["frames"], during["longest_poll_ms"]))
        crashed = fields(subprocess.run([model_bench, "crash", os.path.join(folder, "big.stl")],
                                        capture_output=True, text=True, timeout=60, check=True).stdout)
        row("a crashing worker: from its start to the viewer's reason, ms", "%.0f" % crashed["ms"], "", "",
            "target <= 1000 after its death")
        extras = fields(subprocess.run([model_bench, "extras", os.path.join(folder, "big.stl")],
                                       capture_output=True, text=True, timeout=300, check=True).stdout)
        row("1M-triangle STL: edges and the lighter mesh built / the import, ms", "%.0f" % extras["extras_ms"],
            "%.0f" % extras["import_ms"], "%.2f" % (extras["extras_ms"] / extras["import_ms"]),
            "target <= 0.5; %d edges, %d lighter triangles; steps: weld %.0f, edges %.0f, lighter mesh %.0f, "
            "its edges %.0f ms" % (extras["edges"], extras["lighter"], extras["weld_ms"], extras["edges_ms"],
                                   extras["lighter_ms"], extras["lighter_edges_ms"]))
        frames = subprocess.run([model_bench, "frames", os.path.join(folder, "big.stl"), str(options.seconds)],
                                capture_output=True, text=True, timeout=1800, check=True, cwd=REPO_ROOT).stdout
        figures = {}
        for line in frames.splitlines():
            words = line.split()
            figures[words[0]] = fields(" ".join(words[1:]))
        for style in ("wireframe", "shaded"):
            now, before = figures[style], figures[style + "-before"]
            row("1M-triangle STL %s: stereo frame / one mono draw, ms" % style, "%.0f" % now["stereo_ms"],
                "%.0f" % now["mono_ms"], "%.2f" % (now["stereo_ms"] / now["mono_ms"]),
                "offscreen (OSMesa), glasses mode, full mesh, medians of alternating rounds; both end with glFinish")
            row("1M-triangle STL %s: stereo frame / as before (client arrays, outlined faces), ms" % style,
                "%.0f" % now["stereo_ms"], "%.0f" % before["stereo_ms"],
                "%.2f" % (now["stereo_ms"] / before["stereo_ms"]),
                "target: wireframe <= the shaded frame before / 3, shaded <= 0.8")
        row("1M-triangle STL wireframe / shaded stereo frame, ms", "%.0f" % figures["wireframe"]["stereo_ms"],
            "%.0f" % figures["shaded"]["stereo_ms"],
            "%.2f" % (figures["wireframe"]["stereo_ms"] / figures["shaded"]["stereo_ms"]), "target <= 1")
        for name in sorted(k for k in figures if k.startswith("moving-")):
            f = figures[name]
            row("1M-triangle STL while turning, %s: frames per second" % name[len("moving-"):],
                "%.1f" % (1000.0 / f["moving_ms"]), "%.1f" % (1000.0 / figures["shaded"]["stereo_ms"]),
                "%.2f" % (figures["shaded"]["stereo_ms"] / f["moving_ms"]),
                "target >= 15 fps; baseline: the full shaded stereo frame; lighter mesh %s, %d triangles" %
                ("drawn" if f["lighter"] else "NOT drawn", f["triangles"]))
        variants = subprocess.run([model_bench, "variants", os.path.join(folder, "big.stl"), str(options.seconds)],
                                  capture_output=True, text=True, timeout=1800, check=True, cwd=REPO_ROOT).stdout
        for line in variants.splitlines():
            words = line.split()
            if words[0] == "variant":
                row("1M-triangle STL, one mono draw: " + " ".join(words[1:-2]) + ", ms", words[-1], "", "",
                    "alternating rounds, medians")
        memory = figures["memory"]
        row("GL buffers of the 1M-triangle STL / its vertex data as client arrays, MiB",
            "%.1f" % (memory["gpu_bytes"] / 1048576.0), "%.1f" % (memory["vertex_bytes"] / 1048576.0),
            "%.2f" % (memory["gpu_bytes"] / memory["vertex_bytes"]),
            "buffers hold positions, normals, faces, edges and the lighter mesh")
        look = fields(subprocess.run([model_bench, "look", folder, str(options.seconds)], capture_output=True,
                                     text=True, timeout=900, check=True, cwd=REPO_ROOT).stdout)
        row("1M-triangle sheet shaded: with a 4096 x 4096 texture / its colour alone, stereo frame ms",
            "%.0f" % look["textured_ms"], "%.0f" % look["plain_ms"], "%.2f" % (look["textured_ms"] / look["plain_ms"]),
            "offscreen (OSMesa), glasses mode, medians; target <= 1.2")
        row("the textured sheet's load: import / texture upload, ms", "%.0f" % look["import_ms"],
            "%.0f" % look["upload_ms"], "",
            "the upload is the load's (show_model); first frame %.0f ms, the next %.0f ms" % (
                look["first_frame_ms"], look["frame_ms"]))

    print()
    print("Machine: " + machine())
    print("Command: " + " ".join([os.path.relpath(sys.argv[0], REPO_ROOT)] + sys.argv[1:]))
    print("Ratios: subject / baseline (fps: higher is better; times and memory: lower is better)")
    print()
    widths = [max(len(r[i]) for r in rows + [("figure", "subject", "baseline", "ratio", "")]) for i in range(4)]
    header = ("figure", "subject", "baseline", "ratio", "note")
    for r in [header] + rows:
        print("  ".join([r[0].ljust(widths[0])] + [r[i].rjust(widths[i]) for i in (1, 2, 3)] + [r[4]]))


if __name__ == "__main__":
    main()
