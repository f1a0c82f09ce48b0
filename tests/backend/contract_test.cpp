// The backend contract: what the shared code relies on from every platform
// backend, checked through platform.h alone on each of them (the scripted
// system, SDL on its offscreen driver, Windows under Wine). The system's own
// doings (minimise, restore, keys, the close box) come through system.h.
#include "tests/backend/backend_fixture.h"  // <windows.h> first

std::vector<Message> delivered;
std::vector<Message> pointer_delivered;

// The shell's window procedure, stood in for: it records, ends the loop on
// WM_CLOSE as the shell does, and leaves the rest to the default procedure.
LResult handle_window_message(WindowHandle window, unsigned message, WParam wparam, LParam lparam) {
    if (shell_reads(message)) delivered.push_back(Message{window, message, wparam, lparam});
    if (pointer_message(message)) pointer_delivered.push_back(Message{window, message, wparam, lparam});
    if (message == WM_CLOSE) {
        platform_post_quit_message(0);
        return 0;
    }
    return platform_default_window_proc(window, message, wparam, lparam);
}

namespace {

TEST_F(Backend, ClassLifetimeFollowsWin32Rules) {
    EXPECT_FALSE(platform_register_window_class(system_instance(), class_name)) << "already registered";
    EXPECT_EQ(platform_create_window(0, "Other", "x", WS_OVERLAPPEDWINDOW, 0, 0, 64, 64, system_instance()), nullptr)
        << "no window of a class never registered";
    WindowHandle w = open_window();
    ASSERT_NE(w, nullptr);
    EXPECT_FALSE(platform_unregister_window_class(class_name, system_instance())) << "a window of the class is alive";
    EXPECT_TRUE(platform_destroy_window(w));
    windows.clear();
    EXPECT_FALSE(platform_destroy_window(w)) << "already destroyed";
    EXPECT_TRUE(platform_unregister_window_class(class_name, system_instance()));
    EXPECT_TRUE(platform_register_window_class(system_instance(), class_name)) << "registers again after unregistering";
}

TEST_F(Backend, PixelFormatThenContextThenDrawingIntoTheWindow) {
    WindowHandle w = open_shown_window();
    ASSERT_NE(w, nullptr);
    DeviceContext dc = platform_get_dc(w);
    ASSERT_NE(dc, nullptr);
    EXPECT_EQ(platform_get_dc(w), dc) << "the window's own device context (CS_OWNDC)";
    EXPECT_EQ(platform_create_context(dc), nullptr) << "no context before a pixel format";

    PixelFormatDescriptor pfd = basic_format();
    const int format = platform_choose_pixel_format(dc, &pfd);
    ASSERT_GT(format, 0);
    EXPECT_FALSE(platform_set_pixel_format(dc, 0, &pfd)) << "format 0 does not exist";
    ASSERT_TRUE(platform_set_pixel_format(dc, format, &pfd));
    PixelFormatDescriptor got = {};
    ASSERT_GE(platform_describe_pixel_format(dc, format, &got), format);
    EXPECT_TRUE(got.dwFlags & PFD_SUPPORT_OPENGL);
    EXPECT_TRUE(got.dwFlags & PFD_DOUBLEBUFFER);
    EXPECT_GT(got.cDepthBits, 0);

    RenderContext rc = platform_create_context(dc);
    ASSERT_NE(rc, nullptr);
    ASSERT_TRUE(platform_make_current(dc, rc));
    EXPECT_NE(glGetString(GL_VERSION), nullptr);
    glClearColor(1.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    unsigned char pixel[4] = {};
    glReadBuffer(GL_BACK);
    glReadPixels(32, 32, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, pixel);
    EXPECT_GE(pixel[0], 240);
    EXPECT_LE(pixel[1], 8);
    EXPECT_LE(pixel[2], 8);
    EXPECT_TRUE(platform_swap_buffers(dc));

    EXPECT_TRUE(platform_make_current(nullptr, nullptr));
    EXPECT_TRUE(platform_delete_context(rc));
    EXPECT_TRUE(platform_release_dc(w, dc));
    EXPECT_FALSE(platform_swap_buffers(nullptr));
}

// The entry points beyond GL 1.1 come from the context that is current.
TEST_F(Backend, TheCurrentContextGivesTheBufferEntryPoints) {
    WindowHandle w = open_shown_window();
    ASSERT_NE(w, nullptr);
    DeviceContext dc = platform_get_dc(w);
    PixelFormatDescriptor pfd = basic_format();
    ASSERT_TRUE(platform_set_pixel_format(dc, platform_choose_pixel_format(dc, &pfd), &pfd));
    RenderContext rc = platform_create_context(dc);
    ASSERT_TRUE(platform_make_current(dc, rc));
    const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
    ASSERT_NE(version, nullptr);
    if (version[0] > '1' || (version[0] == '1' && version[2] >= '5')) {
        EXPECT_NE(platform_get_gl_proc_address("glGenBuffers"), nullptr) << version;
        EXPECT_NE(platform_get_gl_proc_address("glBindBuffer"), nullptr) << version;
    }
    platform_set_swap_interval(0);  // any answer; the swap still works
    EXPECT_TRUE(platform_swap_buffers(dc));
    EXPECT_TRUE(platform_make_current(nullptr, nullptr));
    EXPECT_TRUE(platform_delete_context(rc));
    EXPECT_TRUE(platform_release_dc(w, dc));
}

// The minimised loop waits for messages: a waiting one ends the wait and is
// still there to be read.
TEST_F(Backend, WaitingForAMessageEndsWithOneWaitingAndRemovesNothing) {
    WindowHandle w = open_shown_window();
    ASSERT_NE(w, nullptr);
    system_key(w, 'Q', true);
    system_settle();
    EXPECT_TRUE(platform_wait_message(5000));
    const Message m = next_read();
    EXPECT_EQ(m.message, static_cast<unsigned>(WM_KEYDOWN));
    EXPECT_EQ(m.wparam, static_cast<WParam>('Q'));
}

TEST_F(Backend, ShownWindowHasHadItsClientSizeAndTheActivation) {
    WindowHandle w = open_window(320, 240);
    ASSERT_NE(w, nullptr);
    platform_show_window(w);
    pump();
    const Message* size = nullptr;
    bool activated = false;
    for (const Message& m : delivered) {
        EXPECT_EQ(m.window, w);
        if (m.message == WM_SIZE) size = &m;
        if (m.message == WM_ACTIVATE) activated = loword(m.wparam) != 0 && hiword(m.wparam) == 0;
    }
    ASSERT_NE(size, nullptr) << "creating or showing gives the client size";
    EXPECT_EQ(loword(size->lparam), 320u);
    EXPECT_EQ(hiword(size->lparam), 240u);
    EXPECT_TRUE(activated) << "showing activates, not minimised";

    PlatformRect rect = {-1, -1, -1, -1};
    ASSERT_TRUE(platform_get_client_rect(w, &rect));
    EXPECT_EQ(rect.left, 0);
    EXPECT_EQ(rect.top, 0);
    EXPECT_EQ(rect.right, 320);
    EXPECT_EQ(rect.bottom, 240);
}

// Windows empties the client area first and deactivates after, reporting the
// window minimised; restoring gives the size back first, then the activation.
TEST_F(Backend, MinimiseAndRestoreGiveTheSizeBeforeTheActivation) {
    WindowHandle w = open_shown_window();
    ASSERT_NE(w, nullptr);
    system_minimise(w);
    pump();
    ASSERT_FALSE(delivered.empty());
    EXPECT_EQ(delivered[0].message, static_cast<unsigned>(WM_SIZE)) << "nothing before the size";
    EXPECT_EQ(delivered[0].wparam, static_cast<WParam>(SIZE_MINIMIZED));
    EXPECT_EQ(delivered[0].lparam, 0);
    for (const Message& m : delivered) {
        EXPECT_EQ(m.window, w);
        if (m.message == WM_ACTIVATE) {
            EXPECT_NE(hiword(m.wparam), 0u) << "the minimised flag is the high word";
        }
    }

    delivered.clear();
    system_restore(w);
    pump();
    ASSERT_EQ(kinds(delivered), (std::vector<unsigned>{WM_SIZE, WM_ACTIVATE}));
    EXPECT_EQ(loword(delivered[0].lparam), 320u);
    EXPECT_EQ(hiword(delivered[0].lparam), 240u);
    EXPECT_NE(loword(delivered[1].wparam), 0u);
    EXPECT_EQ(hiword(delivered[1].wparam), 0u);
}

TEST_F(Backend, TheCloseBoxReachesTheProcedureWhoseQuitEndsTheLoop) {
    WindowHandle w = open_shown_window();
    ASSERT_NE(w, nullptr);
    system_close(w);
    Message m = next_read();
    if (m.message == WM_CLOSE) {  // posted, where Windows sends it from the close box's command
        platform_dispatch_message(&m);
        m = next_read();
    }
    EXPECT_EQ(kinds(delivered), std::vector<unsigned>{WM_CLOSE});
    EXPECT_EQ(delivered.empty() ? nullptr : delivered[0].window, w);
    ASSERT_EQ(m.message, static_cast<unsigned>(WM_QUIT));
    EXPECT_EQ(m.wparam, 0u);
    EXPECT_EQ(m.window, nullptr);
}

TEST_F(Backend, QuitComesOnceAfterWhatIsAlreadyWaiting) {
    WindowHandle w = open_shown_window();
    ASSERT_NE(w, nullptr);
    system_key(w, 'Q', true);
    system_key(w, 'Q', false);
    Message m = next_read();  // the system has both keys now
    ASSERT_EQ(m.message, static_cast<unsigned>(WM_KEYDOWN));
    EXPECT_EQ(m.wparam, static_cast<WParam>('Q'));
    EXPECT_EQ(m.window, w);
    platform_post_quit_message(3);

    m = next_read();
    EXPECT_EQ(m.message, static_cast<unsigned>(WM_KEYUP)) << "what was waiting comes first";
    m = next_read();
    ASSERT_EQ(m.message, static_cast<unsigned>(WM_QUIT));
    EXPECT_EQ(m.wparam, 3u);
    EXPECT_EQ(m.window, nullptr);
    delivered.clear();
    platform_dispatch_message(&m);
    EXPECT_TRUE(delivered.empty()) << "a message without a window reaches no window procedure";
    while (platform_peek_message(&m)) {
        EXPECT_NE(m.message, static_cast<unsigned>(WM_QUIT)) << "one WM_QUIT per post";
    }
}

// Dragging and the wheel: the client position in signed words, the held
// buttons and Shift as MK_ flags, the wheel's turn in signed WHEEL_DELTA
// steps, in the order they were made.
TEST_F(Backend, PointerMovesAndWheelTurnsReachTheProcedure) {
    WindowHandle w = open_shown_window();
    ASSERT_NE(w, nullptr);
    pointer_delivered.clear();
    system_pointer(w, 40, 30, MK_LBUTTON);
    pump();
    system_pointer(w, 57, 21, MK_LBUTTON | MK_SHIFT);
    pump();
    system_wheel(w, -2, 0);
    pump();
    const Message* move = nullptr;
    const Message* wheel = nullptr;
    for (const Message& m : pointer_delivered) {
        EXPECT_EQ(m.window, w);
        if (m.message == WM_MOUSEMOVE && signed_loword(m.lparam) == 57) move = &m;
        if (m.message == WM_MOUSEWHEEL) wheel = &m;
    }
    ASSERT_NE(move, nullptr) << "the last move arrives";
    EXPECT_EQ(signed_hiword(move->lparam), 21);
    EXPECT_EQ(move->wparam & (MK_LBUTTON | MK_RBUTTON | MK_SHIFT), static_cast<WParam>(MK_LBUTTON | MK_SHIFT));
    ASSERT_NE(wheel, nullptr);
    EXPECT_EQ(wheel_delta_of(wheel->wparam), -2 * WHEEL_DELTA);
    EXPECT_GT(wheel - move, 0) << "in the order they were made";
}

TEST_F(Backend, ShowCursorKeepsTheDisplayCounter) {
    const int start = platform_show_cursor(true) - 1;
    EXPECT_EQ(platform_show_cursor(false), start);
    EXPECT_EQ(platform_show_cursor(false), start - 1);
    EXPECT_EQ(platform_show_cursor(false), start - 2);
    EXPECT_EQ(platform_show_cursor(true), start - 1);
    EXPECT_EQ(platform_show_cursor(true), start);
}

}  // namespace
