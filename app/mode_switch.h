// Changing the output mode while the viewer runs. A mode may need buffers the
// open window's pixel format lacks (a stencil buffer, left and right back
// buffers); the loop then reopens the window the way F1 does, with the same
// full-screen state and every stereo and camera setting kept. A system that
// has no such format is told once, and the viewer stays in the mode it was in.
#pragma once

#include "stereo/output_mode.h"

// Set when a switch needs a new window; the loop reopens before the next frame.
extern bool reopen_requested;

// Takes mode at once when the window's format serves it; otherwise asks the
// system (no window made) and requests the reopening, or tells the user.
void switch_output_mode(OutputMode mode);

// M: the next mode, passing over modes found unavailable on this system.
void step_output_mode();

// Before each opening: the pixel format the mode in force (or the one a
// reopening is for) needs.
void prepare_opening();

// After each opening: the mode a reopening was for is taken, and a mode the
// new window's format cannot serve (a start-up mode the system lacks) falls
// back to the anaglyph, saying so.
void settle_output_mode();

// Back to a fresh start: nothing pending, nothing found missing.
void reset_mode_switch();
