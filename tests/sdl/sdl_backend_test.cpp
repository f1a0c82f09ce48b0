// What the SDL backend does beyond the contract every backend keeps
// (tests/backend): its key and button mapping, its queue, windows replaced
// under pending input, display modes and pixel-format refusals. Run on SDL's
// offscreen video driver (real windows and GL contexts through EGL, no
// display): SDL events are pushed as a display would deliver them and the
// messages that come out of platform_peek_message are checked.
#include <SDL.h>

#include <vector>

#include "platform/sdl/sdl_platform.h"
#include "platform/win32_emulation.h"
#include "tests/backend/backend_fixture.h"
#include "tests/backend/system_sdl.h"

namespace {

using emulated::word_pair;

class SdlBackend : public Backend {
protected:
    // A shown window at the shell's size, with whatever SDL said about it
    // on its own (shown, exposed, focus) already polled away.
    WindowHandle open_shown_window() {
        WindowHandle w = open_window(800, 600);
        platform_show_window(w);
        drain();
        return w;
    }

    // What the loop reads, without dispatching it.
    static std::vector<Message> messages() {
        std::vector<Message> out;
        Message m;
        while (platform_peek_message(&m)) out.push_back(m);
        return out;
    }

    static void push_button(WindowHandle w, bool down, Uint8 button, int x, int y) {
        SDL_Event e = {};
        e.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
        e.button.windowID = SDL_GetWindowID(sdl_window_of(w));
        e.button.button = button;
        e.button.state = down ? SDL_PRESSED : SDL_RELEASED;
        e.button.x = x;
        e.button.y = y;
        ASSERT_EQ(SDL_PushEvent(&e), 1);
    }
};

// ---- Window messages -------------------------------------------------------

TEST_F(SdlBackend, SizeChangesGiveTheNewClientSize) {
    WindowHandle w = open_shown_window();
    push_window_event(w, SDL_WINDOWEVENT_SIZE_CHANGED, 640, 480);
    SDL_Event quit = {};
    quit.type = SDL_QUIT;  // SDL's own, after the last window's close: no message of ours
    SDL_PushEvent(&quit);
    std::vector<Message> got = messages();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].message, WM_SIZE);
    EXPECT_EQ(got[0].lparam, word_pair(640, 480));
    EXPECT_EQ(got[0].window, w);
}

TEST_F(SdlBackend, EventsOfADestroyedWindowAreDroppedButItsKeysReachTheNextWindow) {
    WindowHandle old_window = open_shown_window();
    WindowHandle new_window = open_shown_window();
    Uint32 old_id = SDL_GetWindowID(sdl_window_of(old_window));
    push_key(old_window, true, SDLK_UP);
    push_key(old_window, true, SDLK_DOWN);
    push_window_event(old_window, SDL_WINDOWEVENT_SIZE_CHANGED, 100, 100);
    Message first;
    ASSERT_TRUE(platform_peek_message(&first));  // the rest now waits in the queue
    EXPECT_EQ(first.message, WM_KEYDOWN);
    EXPECT_EQ(first.window, old_window);

    ASSERT_TRUE(platform_destroy_window(old_window));
    windows.erase(windows.begin());
    EXPECT_EQ(sdl_window_of(old_window), nullptr);
    push_window_event(new_window, SDL_WINDOWEVENT_SIZE_CHANGED, 640, 480);
    push_key(old_id, false, SDLK_UP);  // released after the switch, as SDL still names the old window

    std::vector<Message> got = messages();
    ASSERT_EQ(got.size(), 3u) << "the old window's WM_SIZE is gone";
    EXPECT_EQ(got[0].message, WM_KEYDOWN);
    EXPECT_EQ(got[0].wparam, static_cast<WParam>(VK_DOWN));
    EXPECT_EQ(got[1].message, WM_SIZE);
    EXPECT_EQ(got[1].lparam, word_pair(640, 480));
    EXPECT_EQ(got[2].message, WM_KEYUP);
    EXPECT_EQ(got[2].wparam, static_cast<WParam>(VK_UP));
    for (const Message& m : got) EXPECT_EQ(m.window, new_window);

    WindowHandle third = open_window();
    EXPECT_NE(third, old_window) << "a new window gets a new handle";
}

// ---- Input -------------------------------------------------------------------

TEST_F(SdlBackend, KeysBecomeKeyMessagesWithVirtualKeyCodes) {
    WindowHandle w = open_shown_window();
    push_key(w, true, SDLK_w);
    push_key(w, true, SDLK_w, KMOD_NONE, true);
    push_key(w, false, SDLK_w);
    push_key(w, true, SDLK_SPACE);  // unused: dropped
    push_key(w, true, SDLK_LSHIFT, KMOD_LSHIFT);
    push_key(w, true, SDLK_F1);
    push_key(w, true, SDLK_F4, KMOD_LALT);
    push_key(w, false, SDLK_F10);
    std::vector<Message> got = messages();
    ASSERT_EQ(got.size(), 7u);
    EXPECT_EQ(got[0].message, WM_KEYDOWN);
    EXPECT_EQ(got[0].wparam, static_cast<WParam>('W'));
    EXPECT_EQ(got[1].message, WM_KEYDOWN) << "auto-repeat is a further key-down";
    EXPECT_NE(got[1].lparam & (1 << 30), 0) << "with the previous-state bit";
    EXPECT_EQ(got[2].message, WM_KEYUP);
    EXPECT_EQ(got[2].wparam, static_cast<WParam>('W'));
    EXPECT_EQ(got[3].wparam, static_cast<WParam>(VK_SHIFT));
    EXPECT_EQ(got[4].wparam, static_cast<WParam>(VK_F1));
    EXPECT_EQ(got[5].message, WM_SYSKEYDOWN) << "a key with Alt held is a system key";
    EXPECT_EQ(got[5].wparam, static_cast<WParam>(VK_F1 + 3));
    EXPECT_EQ(got[6].message, WM_SYSKEYUP) << "F10 is a system key";
    for (const Message& m : got) EXPECT_EQ(m.window, w);
}

TEST_F(SdlBackend, LeftAndRightButtonsOnly) {
    WindowHandle w = open_shown_window();
    push_button(w, true, SDL_BUTTON_LEFT, 10, 20);
    push_button(w, false, SDL_BUTTON_LEFT, 10, 20);
    push_button(w, true, SDL_BUTTON_MIDDLE, 10, 20);
    push_button(w, true, SDL_BUTTON_RIGHT, 30, 40);
    push_button(w, false, SDL_BUTTON_RIGHT, 30, 40);
    std::vector<Message> got = messages();
    ASSERT_EQ(got.size(), 4u);
    EXPECT_EQ(got[0].message, WM_LBUTTONDOWN);
    EXPECT_EQ(got[0].lparam, word_pair(10, 20));
    EXPECT_EQ(got[1].message, WM_LBUTTONUP);
    EXPECT_EQ(got[2].message, WM_RBUTTONDOWN);
    EXPECT_EQ(got[3].message, WM_RBUTTONUP);
}

TEST_F(SdlBackend, ABurstLargerThanTheQueueArrivesWholeAndInOrder) {
    WindowHandle w = open_shown_window();
    for (int i = 0; i < 150; ++i) push_key(w, i % 2 == 0, SDLK_a + (i / 2) % 26);
    std::vector<Message> got = messages();
    ASSERT_EQ(got.size(), 150u);
    for (int i = 0; i < 150; ++i) {
        EXPECT_EQ(got[i].message, i % 2 == 0 ? WM_KEYDOWN : WM_KEYUP) << i;
        EXPECT_EQ(got[i].wparam, static_cast<WParam>('A' + (i / 2) % 26)) << i;
    }
}

// ---- Class, display mode, pixel format, context ----------------------------------

TEST_F(SdlBackend, WithoutAClassThereIsNoVideo) {
    ASSERT_TRUE(platform_unregister_window_class(class_name, system_instance()));
    EXPECT_EQ(platform_change_display_mode(800, 600, 16), DISP_CHANGE_FAILED);
    EXPECT_EQ(platform_get_focus(), nullptr);
    ASSERT_TRUE(platform_register_window_class(system_instance(), class_name));
}

TEST_F(SdlBackend, DisplayModeIsCheckedAgainstTheDisplay) {
    EXPECT_EQ(platform_change_display_mode(12345, 17, 16), DISP_CHANGE_BADMODE);
    WindowHandle popup = open_window(800, 600, WS_POPUP);
    ASSERT_NE(popup, nullptr);
    EXPECT_EQ(SDL_GetWindowFlags(sdl_window_of(popup)) & SDL_WINDOW_FULLSCREEN, 0u)
        << "without a changed mode a pop-up is an ordinary borderless window";
    EXPECT_NE(SDL_GetWindowFlags(sdl_window_of(popup)) & SDL_WINDOW_BORDERLESS, 0u);
    WindowHandle framed = open_window();
    EXPECT_NE(SDL_GetWindowFlags(sdl_window_of(framed)) & SDL_WINDOW_RESIZABLE, 0u);
    EXPECT_EQ(SDL_GetWindowFlags(sdl_window_of(framed)) & SDL_WINDOW_BORDERLESS, 0u);

    // The offscreen driver lists no usable mode; under X the success path is
    // covered end to end.
    SDL_DisplayMode mode;
    if (SDL_GetDisplayMode(0, 0, &mode) != 0 || mode.w <= 0 || SDL_BITSPERPIXEL(mode.format) == 0) return;
    int bits = SDL_BITSPERPIXEL(mode.format);
    EXPECT_EQ(platform_change_display_mode(mode.w, mode.h, bits + 1), DISP_CHANGE_BADMODE);
    ASSERT_EQ(platform_change_display_mode(mode.w, mode.h, bits), DISP_CHANGE_SUCCESSFUL);
    WindowHandle full = open_window(800, 600, WS_POPUP);
    EXPECT_NE(SDL_GetWindowFlags(sdl_window_of(full)) & SDL_WINDOW_FULLSCREEN, 0u);
    EXPECT_EQ(platform_restore_display_mode(), DISP_CHANGE_SUCCESSFUL);
    EXPECT_EQ(SDL_GetWindowFlags(sdl_window_of(full)) & SDL_WINDOW_FULLSCREEN, 0u);
}

TEST_F(SdlBackend, ChoosePixelFormatRefusesWhatNoFormatMeets) {
    WindowHandle w = open_shown_window();
    DeviceContext dc = platform_get_dc(w);
    ASSERT_NE(dc, nullptr);
    PixelFormatDescriptor pfd = basic_format();
    PixelFormatDescriptor no_gl = pfd;
    no_gl.dwFlags = PFD_DRAW_TO_WINDOW | PFD_DOUBLEBUFFER;
    EXPECT_EQ(platform_choose_pixel_format(dc, &no_gl), 0);
    PixelFormatDescriptor colour_index = pfd;
    colour_index.iPixelType = 1;  // PFD_TYPE_COLORINDEX
    EXPECT_EQ(platform_choose_pixel_format(dc, &colour_index), 0);
    EXPECT_EQ(platform_choose_pixel_format(dc, nullptr), 0);
    EXPECT_EQ(platform_choose_pixel_format(nullptr, &pfd), 0);

    // wglCreateContext leaves the current context as it was; SDL's own call would not.
    ASSERT_TRUE(platform_set_pixel_format(dc, platform_choose_pixel_format(dc, &pfd), &pfd));
    RenderContext rc = platform_create_context(dc);
    ASSERT_NE(rc, nullptr);
    EXPECT_EQ(SDL_GL_GetCurrentContext(), nullptr);
    EXPECT_TRUE(platform_delete_context(rc));
}

// ---- Cursor --------------------------------------------------------------------

TEST(SdlCursor, AParkBeforeVideoIsRememberedUntilVideoComesUp) {
    PlatformPoint point = {-1, -1};
    ASSERT_TRUE(platform_set_cursor_pos(400, 300));
    ASSERT_TRUE(platform_get_cursor_pos(&point));
    EXPECT_EQ(point.x, 400);
    EXPECT_EQ(point.y, 300);
    EXPECT_FALSE(platform_get_cursor_pos(nullptr));
}

}  // namespace
