// What the SDL backend offers beyond the platform interface: the SDL window
// behind a handle, for tests that feed SDL events to a window.
#pragma once

#include <SDL.h>

#include "platform/platform.h"

// The SDL window of a live window handle, or null.
SDL_Window* sdl_window_of(WindowHandle window);

// Process-wide tuning an SDL program does once, before its first window:
// keeps glibc from trimming the heap after every draw of Mesa's software
// rasteriser (each glyph of the help page would otherwise pay fresh page
// faults: about 15 instead of 240 frames per second).
void sdl_tune_process();

// Where platform_get_gl_proc_address looks while no SDL window is up: the
// offscreen context of --render sets its own system's lookup (EGL's).
extern void* (*sdl_offscreen_proc_lookup)(const char* name);
