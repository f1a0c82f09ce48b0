// The fixture of the backend tests: a registered class, windows sized as the
// shell sizes them, and a stand-in for the shell's window procedure that
// records what reaches it. Used by the contract every backend keeps and by
// each backend's own tests.
#pragma once

#include "platform/platform.h"  // <windows.h> first

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/backend/system.h"

// What reached the window procedure, of the messages the shell reads.
extern std::vector<Message> delivered;

inline bool shell_reads(unsigned message) {
    return message == WM_SIZE || message == WM_ACTIVATE || message == WM_CLOSE || message == WM_KEYDOWN ||
           message == WM_KEYUP;
}

// The pointer's messages, kept apart: a real system sends moves of its own
// whenever the pointer happens to be over a window.
extern std::vector<Message> pointer_delivered;
inline bool pointer_message(unsigned message) { return message == WM_MOUSEMOVE || message == WM_MOUSEWHEEL; }

constexpr const char* class_name = "OpenGL";

// Double-buffered RGBA drawn by OpenGL, 16-bit colour and depth.
inline PixelFormatDescriptor basic_format() {
    PixelFormatDescriptor pfd = {};
    pfd.nSize = sizeof pfd;
    pfd.nVersion = 1;
    pfd.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    pfd.cColorBits = pfd.cDepthBits = 16;
    return pfd;
}

class Backend : public ::testing::Test {
protected:
    std::vector<WindowHandle> windows;

    void SetUp() override {
        std::string why;
        if (!system_up(&why)) GTEST_SKIP() << why;
        ASSERT_TRUE(platform_register_window_class(system_instance(), class_name));
        delivered.clear();
        pointer_delivered.clear();
    }

    void TearDown() override {
        platform_make_current(nullptr, nullptr);
        for (WindowHandle w : windows) platform_destroy_window(w);
        windows.clear();
        drain();
        platform_unregister_window_class(class_name, system_instance());
        system_reset();
        delivered.clear();
    }

    // A window with this client size, sized as the shell sizes it.
    WindowHandle open_window(int width = 320, int height = 240, unsigned style = WS_OVERLAPPEDWINDOW) {
        const unsigned ex_style = WS_EX_APPWINDOW | WS_EX_WINDOWEDGE;
        PlatformRect rect = {0, 0, width, height};
        EXPECT_TRUE(platform_adjust_window_rect(&rect, style, ex_style));
        WindowHandle w =
            platform_create_window(ex_style, class_name, "Duplexa ščťž", style | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, 0,
                                   0, rect.right - rect.left, rect.bottom - rect.top, system_instance());
        if (w) windows.push_back(w);
        return w;
    }

    // A shown window with all it was sent on the way already delivered.
    WindowHandle open_shown_window() {
        WindowHandle w = open_window();
        if (!w) return nullptr;
        platform_show_window(w);
        pump();
        delivered.clear();
        return w;
    }

    static void drain() {
        Message m;
        while (platform_peek_message(&m)) {
            platform_translate_message(&m);
            platform_dispatch_message(&m);
        }
    }

    // Everything the system has for the window procedure, delivered.
    static void pump() {
        drain();
        system_settle();
        drain();
    }

    static std::vector<unsigned> kinds(const std::vector<Message>& messages) {
        std::vector<unsigned> out;
        for (const Message& m : messages) out.push_back(m.message);
        return out;
    }

    // The next message the loop reads, passing over those the shell does not.
    static Message next_read() {
        Message m = {};
        for (int tries = 0; tries < 100; ++tries) {
            if (!platform_peek_message(&m)) {
                system_settle();
                continue;
            }
            if (m.message == WM_QUIT || shell_reads(m.message)) return m;
            platform_translate_message(&m);
            platform_dispatch_message(&m);
        }
        return Message{nullptr, 0, 0, 0};
    }
};
