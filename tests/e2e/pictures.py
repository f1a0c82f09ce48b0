"""Comparing rendered pictures with their references, for the regression
tests and make screenshots.

Mesa's rasteriser may place a line's pixels differently by one pixel from
one version to the next, so pictures are compared as sets of lit pixels with
their colour class (which channels are on): a lit pixel of one picture must
have a pixel of the same class within one pixel in the other, both ways.
Up to 1% of the lit pixels may go unmatched (stray end points); a line moved
by two pixels or more, a missing line or a changed colour fails.
"""

import os
import subprocess

import harness

THRESHOLD = 40
TOLERANCE = 0.01


def read_png(path):
    ppm = subprocess.run(["convert", path, "-depth", "8", "ppm:-"], capture_output=True, check=True).stdout
    return harness.Image.from_ppm(ppm)


def lit_classes(image):
    """{(x, y): class} of the lit pixels; class bit 0 red, 1 green, 2 blue."""
    found = {}
    data = image.pixels
    width = image.width
    for i in range(0, len(data), 3):
        r, g, b = data[i], data[i + 1], data[i + 2]
        if r > THRESHOLD or g > THRESHOLD or b > THRESHOLD:
            pixel = i // 3
            found[(pixel % width, pixel // width)] = (r > 127) | (g > 127) << 1 | (b > 127) << 2
    return found


def unmatched(ours, theirs):
    missing = []
    for (x, y), kind in ours.items():
        if not any(theirs.get((x + dx, y + dy)) == kind for dx in (-1, 0, 1) for dy in (-1, 0, 1)):
            missing.append((x, y))
    return missing


def compare(actual, reference):
    """None when the pictures agree within the tolerance, else why not (and the
    places that differ)."""
    if (actual.width, actual.height) != (reference.width, reference.height):
        return "size %dx%d, expected %dx%d" % (actual.width, actual.height, reference.width, reference.height), []
    a, r = lit_classes(actual), lit_classes(reference)
    extra, missing = unmatched(a, r), unmatched(r, a)
    allowed = TOLERANCE * max(len(a), len(r), 1)
    if len(extra) + len(missing) <= allowed:
        return None, []
    return ("%d lit pixels not in the reference, %d of the reference's missing (of %d; %d allowed)"
            % (len(extra), len(missing), len(r), int(allowed))), extra + missing


def save_difference(actual, places, path):
    """The actual picture dimmed, with the differing places in yellow."""
    pixels = bytearray(value // 3 for value in actual.pixels)
    for x, y in places:
        i = (y * actual.width + x) * 3
        pixels[i:i + 3] = b"\xff\xff\x00"
    header = b"P6\n%d %d\n255\n" % (actual.width, actual.height)
    subprocess.run(["convert", "ppm:-", path], input=header + bytes(pixels), check=True)
    return path
