// SDL on its offscreen video driver: real windows and GL contexts through
// EGL, no display; the user's doings arrive as the events a display gives.
#include "tests/backend/system_sdl.h"

#include <cstdlib>

#include "platform/sdl/sdl_platform.h"
#include "tests/backend/system.h"

void push_window_event(WindowHandle w, Uint8 what, int data1, int data2) {
    SDL_Event e = {};
    e.type = SDL_WINDOWEVENT;
    e.window.windowID = SDL_GetWindowID(sdl_window_of(w));
    e.window.event = what;
    e.window.data1 = data1;
    e.window.data2 = data2;
    SDL_PushEvent(&e);
}

void push_key(Uint32 window_id, bool down, SDL_Keycode key, Uint16 mod, bool repeat) {
    SDL_Event e = {};
    e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    e.key.windowID = window_id;
    e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
    e.key.repeat = repeat ? 1 : 0;
    e.key.keysym.sym = key;
    e.key.keysym.scancode = SDL_GetScancodeFromKey(key);
    e.key.keysym.mod = mod;
    SDL_PushEvent(&e);
}

void push_key(WindowHandle w, bool down, SDL_Keycode key, Uint16 mod, bool repeat) {
    push_key(SDL_GetWindowID(sdl_window_of(w)), down, key, mod, repeat);
}

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
void system_key(WindowHandle w, int vk, bool down) { push_key(w, down, SDLK_a + (vk - 'A')); /* letters only */ }
void system_close(WindowHandle w) { push_window_event(w, SDL_WINDOWEVENT_CLOSE); }
void system_settle() {}

void system_pointer(WindowHandle w, int x, int y, unsigned flags) {
    SDL_Event e = {};
    e.type = SDL_MOUSEMOTION;
    e.motion.windowID = SDL_GetWindowID(sdl_window_of(w));
    e.motion.state = (flags & MK_LBUTTON ? SDL_BUTTON_LMASK : 0) | (flags & MK_RBUTTON ? SDL_BUTTON_RMASK : 0);
    e.motion.x = x;
    e.motion.y = y;
    push_key(w, (flags & MK_SHIFT) != 0, SDLK_LSHIFT);
    SDL_PushEvent(&e);
}

void system_wheel(WindowHandle w, int notches, unsigned flags) {
    SDL_Event e = {};
    e.type = SDL_MOUSEWHEEL;
    e.wheel.windowID = SDL_GetWindowID(sdl_window_of(w));
    e.wheel.y = notches;
    e.wheel.direction = SDL_MOUSEWHEEL_NORMAL;
    push_key(w, (flags & MK_SHIFT) != 0, SDLK_LSHIFT);
    SDL_PushEvent(&e);
}
