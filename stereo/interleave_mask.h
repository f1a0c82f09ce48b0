// The stencil mask of the interleaved modes (rows, columns, checkerboard):
// bit 1 on the pixels that show the left eye's place, 0 on the others. It is
// drawn once per window size and pattern, never per frame.
#pragma once

#include "stereo/output_mode.h"

// A new size or a new context: the mask must be drawn again before use.
void invalidate_interleave_mask();

// Draws the mask for mode over a width x height drawing area unless it is
// already there. Leaves the stencil test on with GL_KEEP operations, the
// viewport the whole area, and every other state as it found it.
void prepare_interleave_mask(OutputMode mode, int width, int height);

// Whether the pixel (x, y), counted from the top-left pixel, is the left
// eye's place in an interleaved mode of a drawing area height pixels high.
bool interleave_left_place(OutputMode mode, int x, int y);
