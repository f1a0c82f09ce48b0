// One complete frame: controls, both eyes, and the text overlay.
#pragma once

#include <cstddef>

extern char rate_text[20];
extern char parallax_text[72];  // the comfort line, while the readout is on
extern char loading_text[72];   // "loading NAME 42%", while a model file is read

void render_frame();

// Writes a frame rate with 4 significant digits into out (never more than size
// bytes, terminator included): fixed-point from 0.1 to below 10000, exponential
// otherwise, trailing zeros after the point removed.
void format_frame_rate(float rate, char* out, std::size_t size);
