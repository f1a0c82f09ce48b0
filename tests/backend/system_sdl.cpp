// SDL on its offscreen video driver: real windows and GL contexts through
// EGL, no display; the user's doings arrive as the events a display gives.
#include <SDL.h>

#include <cstdlib>

#include "platform/sdl/sdl_platform.h"
#include "tests/backend/system.h"

namespace {

void push_window_event(WindowHandle w, Uint8 what) {
    SDL_Event e = {};
    e.type = SDL_WINDOWEVENT;
    e.window.windowID = SDL_GetWindowID(sdl_window_of(w));
    e.window.event = what;
    SDL_PushEvent(&e);
}

}  // namespace

bool system_up(std::string* why) {
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        *why = std::string("SDL's offscreen video driver is not available here: ") + SDL_GetError();
        return false;
    }
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    return true;
}

void system_reset() {}
InstanceHandle system_instance() { return nullptr; }

void system_minimise(WindowHandle w) { push_window_event(w, SDL_WINDOWEVENT_MINIMIZED); }
void system_restore(WindowHandle w) { push_window_event(w, SDL_WINDOWEVENT_RESTORED); }

void system_key(WindowHandle w, int vk, bool down) {
    SDL_Event e = {};
    e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    e.key.windowID = SDL_GetWindowID(sdl_window_of(w));
    e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
    e.key.keysym.sym = SDLK_a + (vk - 'A');  // letters only
    e.key.keysym.scancode = SDL_GetScancodeFromKey(e.key.keysym.sym);
    SDL_PushEvent(&e);
}

void system_close(WindowHandle w) { push_window_event(w, SDL_WINDOWEVENT_CLOSE); }
void system_settle() {}
