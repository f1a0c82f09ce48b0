// What the SDL backend offers beyond the platform interface: the SDL window
// behind a handle, for tests that feed SDL events to a window.
#pragma once

#include <SDL.h>

#include "platform/platform.h"

// The SDL window of a live window handle, or null.
SDL_Window* sdl_window_of(WindowHandle window);
