#include <gtest/gtest.h>

#include "platform/sdl/sdl_keys.h"

namespace {

int vk(SDL_Keycode key, SDL_Scancode scancode = SDL_SCANCODE_UNKNOWN) { return virtual_key_from_sdl(key, scancode); }

TEST(SdlKeyMapping, LettersBecomeUpperCaseCodes) {
    for (char c = 'a'; c <= 'z'; ++c) EXPECT_EQ(vk(c), c - 'a' + 'A') << "key '" << c << "'";
}

TEST(SdlKeyMapping, EveryKeyTheViewerReads) {
    EXPECT_EQ(vk(SDLK_LSHIFT), VK_SHIFT);
    EXPECT_EQ(vk(SDLK_RSHIFT), VK_SHIFT);
    EXPECT_EQ(vk(SDLK_ESCAPE), VK_ESCAPE);
    EXPECT_EQ(vk(SDLK_PAGEUP), VK_PRIOR);
    EXPECT_EQ(vk(SDLK_PAGEDOWN), VK_NEXT);
    EXPECT_EQ(vk(SDLK_LEFT), VK_LEFT);
    EXPECT_EQ(vk(SDLK_UP), VK_UP);
    EXPECT_EQ(vk(SDLK_RIGHT), VK_RIGHT);
    EXPECT_EQ(vk(SDLK_DOWN), VK_DOWN);
    EXPECT_EQ(vk(SDLK_F1), VK_F1);
    EXPECT_EQ(vk(SDLK_F10), VK_F10);
    EXPECT_EQ(vk(SDLK_F12), VK_F1 + 11);
    EXPECT_EQ(vk(SDLK_LALT), VK_MENU);
    EXPECT_EQ(vk(SDLK_RALT), VK_MENU);
    EXPECT_EQ(vk(SDLK_0), '0');
    EXPECT_EQ(vk(SDLK_9), '9');
}

TEST(SdlKeyMapping, UnknownKeysGiveZero) {
    EXPECT_EQ(vk(SDLK_UNKNOWN), 0);
    EXPECT_EQ(vk(SDLK_SPACE), 0);
    EXPECT_EQ(vk(SDLK_RETURN), 0);
    EXPECT_EQ(vk(SDLK_F13), 0);
    EXPECT_EQ(vk(SDLK_KP_ENTER), 0);
    EXPECT_EQ(vk(SDLK_a - 1), 0);
    EXPECT_EQ(vk(SDLK_z + 1), 0);
    EXPECT_EQ(vk(-1), 0);
    EXPECT_EQ(vk(0x7FFFFFFF, static_cast<SDL_Scancode>(9999)), 0);
    // An unknown key at a letter's position is still unknown: only a non-Latin
    // letter falls back to the position.
    EXPECT_EQ(vk(SDLK_CAPSLOCK, SDL_SCANCODE_A), 0);
    EXPECT_EQ(vk(SDLK_UNKNOWN, SDL_SCANCODE_A), 0);
}

TEST(SdlKeyMapping, NonLatinLettersFallBackToTheKeyPosition) {
    // Cyrillic 'ф' sits where Latin 'a' is on a Russian layout.
    EXPECT_EQ(vk(0x0444, SDL_SCANCODE_A), 'A');
    EXPECT_EQ(vk(0x044F, SDL_SCANCODE_Z), 'Z');
    // A non-Latin key off the letter block stays unknown.
    EXPECT_EQ(vk(0x0451, SDL_SCANCODE_GRAVE), 0);
}

TEST(SdlKeyMessages, PlainKeysAreOrdinaryKeyMessages) {
    EXPECT_EQ(key_message_for(true, 'W', false), WM_KEYDOWN);
    EXPECT_EQ(key_message_for(false, 'W', false), WM_KEYUP);
    EXPECT_EQ(key_message_for(true, VK_F1, false), WM_KEYDOWN);
    EXPECT_EQ(key_message_for(true, VK_ESCAPE, false), WM_KEYDOWN);
}

TEST(SdlKeyMessages, AltCombinationsF10AndAltAreSystemKeys) {
    EXPECT_EQ(key_message_for(true, 'W', true), WM_SYSKEYDOWN);
    EXPECT_EQ(key_message_for(false, 'W', true), WM_SYSKEYUP);
    EXPECT_EQ(key_message_for(true, VK_F10, false), WM_SYSKEYDOWN);
    EXPECT_EQ(key_message_for(false, VK_F10, false), WM_SYSKEYUP);
    EXPECT_EQ(key_message_for(true, VK_MENU, false), WM_SYSKEYDOWN);
    EXPECT_EQ(key_message_for(false, VK_MENU, true), WM_SYSKEYUP);
    EXPECT_EQ(key_message_for(true, VK_F1 + 3, true), WM_SYSKEYDOWN) << "Alt+F4";
}

TEST(SdlKeyMessages, LParamCarriesRepeatContextAndTransitionBits) {
    EXPECT_EQ(key_message_lparam(true, false, false), 0x00000001);
    EXPECT_EQ(key_message_lparam(true, true, false), 0x40000001) << "auto-repeat: previously down";
    EXPECT_EQ(key_message_lparam(false, false, false), 0xC0000001);
    EXPECT_EQ(key_message_lparam(true, false, true), 0x20000001);
    EXPECT_EQ(key_message_lparam(false, false, true), 0xE0000001);
    EXPECT_GT(key_message_lparam(false, false, false), 0) << "zero-extended, as on 64-bit Windows";
}

}  // namespace
