// SDL events pushed as a display delivers them, for the SDL backend's tests.
#pragma once

#include <SDL.h>

#include "platform/platform.h"

void push_window_event(WindowHandle w, Uint8 what, int data1 = 0, int data2 = 0);
// By SDL's id, which outlives the window it named.
void push_key(Uint32 window_id, bool down, SDL_Keycode key, Uint16 mod = KMOD_NONE, bool repeat = false);
void push_key(WindowHandle w, bool down, SDL_Keycode key, Uint16 mod = KMOD_NONE, bool repeat = false);
