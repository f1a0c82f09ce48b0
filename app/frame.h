// One complete frame: controls, both eyes, and the text overlay.
#pragma once

#include <cstddef>

extern char rate_text[20];
extern char parallax_text[72];  // the comfort line, while the readout is on
extern char loading_text[72];   // "loading NAME 42%", while a model file is read

void render_frame();

// The scene as the eyes see it this frame: both eyes in the output mode, or
// one image while S is held (mono). The overlay is not part of it.
void draw_scene();

// A: the next anaglyph method, passing over the mixing ones on a GL found
// without shaders; the notice names it, or says why it is not available.
void step_anaglyph_method();
// A new GL context: the mixing methods' objects of the old one are gone.
void forget_anaglyph_mixer();

// Writes a frame rate with 4 significant digits into out (never more than size
// bytes, terminator included): fixed-point from 0.1 to below 10000, exponential
// otherwise, trailing zeros after the point removed.
void format_frame_rate(float rate, char* out, std::size_t size);
