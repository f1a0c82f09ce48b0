#include "platform/sdl/sdl_keys.h"

int virtual_key_from_sdl(SDL_Keycode key, SDL_Scancode scancode) {
    if (key >= SDLK_a && key <= SDLK_z) return 'A' + (key - SDLK_a);
    if (key >= SDLK_0 && key <= SDLK_9) return '0' + (key - SDLK_0);

    switch (key) {
    case SDLK_LSHIFT:
    case SDLK_RSHIFT: return VK_SHIFT;
    case SDLK_LALT:
    case SDLK_RALT: return VK_MENU;
    case SDLK_ESCAPE: return VK_ESCAPE;
    case SDLK_PAGEUP: return VK_PRIOR;
    case SDLK_PAGEDOWN: return VK_NEXT;
    case SDLK_LEFT: return VK_LEFT;
    case SDLK_UP: return VK_UP;
    case SDLK_RIGHT: return VK_RIGHT;
    case SDLK_DOWN: return VK_DOWN;
    case SDLK_F1:
    case SDLK_F2:
    case SDLK_F3:
    case SDLK_F4:
    case SDLK_F5:
    case SDLK_F6:
    case SDLK_F7:
    case SDLK_F8:
    case SDLK_F9:
    case SDLK_F10:
    case SDLK_F11:
    case SDLK_F12: return VK_F1 + (key - SDLK_F1);
    default: break;
    }

    // HACK: under a non-Latin layout (Cyrillic, Greek) the letter keys give
    // non-ASCII key codes, yet Windows still reports 'A'..'Z' for them; the
    // key's position is the best stand-in.
    if (key >= 0x80 && !(key & SDLK_SCANCODE_MASK) && scancode >= SDL_SCANCODE_A && scancode <= SDL_SCANCODE_Z)
        return 'A' + (scancode - SDL_SCANCODE_A);
    return 0;
}

unsigned key_message_for(bool pressed, int virtual_key, bool alt_held) {
    bool system = alt_held || virtual_key == VK_MENU || virtual_key == VK_F10;
    if (system) return pressed ? WM_SYSKEYDOWN : WM_SYSKEYUP;
    return pressed ? WM_KEYDOWN : WM_KEYUP;
}

LParam key_message_lparam(bool pressed, bool repeat, bool alt_held) {
    std::uint32_t bits = 1;
    if (alt_held) bits |= 1u << 29;
    if (repeat || !pressed) bits |= 1u << 30;
    if (!pressed) bits |= 1u << 31;
    return static_cast<LParam>(bits);
}
