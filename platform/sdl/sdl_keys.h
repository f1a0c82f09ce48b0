// Keyboard translation for the SDL2 backend: SDL key events to the Win32
// virtual-key codes and key messages that the window procedure expects.
// Kept apart from the rest of the backend so that it can be tested without
// a display.
#pragma once

#include <SDL.h>

#include "platform/platform.h"

// The virtual-key code for an SDL key, or 0 for a key the program has no use
// for (the event is then dropped). Letters map to 'A'..'Z', digits to
// '0'..'9', both shifts to VK_SHIFT, both Alts to VK_MENU.
int virtual_key_from_sdl(SDL_Keycode key, SDL_Scancode scancode);

// WM_KEYDOWN / WM_KEYUP, or their system forms WM_SYSKEYDOWN / WM_SYSKEYUP
// for F10, the Alt key itself and any key while Alt is held, as Windows
// sends them.
unsigned key_message_for(bool pressed, int virtual_key, bool alt_held);

// The lParam of a key message: repeat count 1, context code (bit 29) while
// Alt is held, previous key state (bit 30) on a repeat or a release,
// transition state (bit 31) on a release. The scan code field stays 0.
LParam key_message_lparam(bool pressed, bool repeat, bool alt_held);
