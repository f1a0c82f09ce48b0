// The anaglyph methods that mix the eyes' colours: the GL objects they need
// in the context in use, and the A key.
#pragma once

// Whether this frame's anaglyph is mixed. A GL that cannot mix (no shaders,
// an area beyond its textures) says so once and the viewer goes on with
// channels.
bool mixing_ready();
// Both eyes drawn and mixed by the method in force (mixing_ready first).
void draw_mixed_scene(bool draw_left, bool draw_right, void (*draw_object)(), const float (*bounds)[3], int count);

// A: the next anaglyph method, passing over the mixing ones on a GL found
// without shaders; the notice names it, or says why it is not available.
void step_anaglyph_method();
// A new GL context: the mixing methods' objects of the old one are gone.
void forget_anaglyph_mixer();
